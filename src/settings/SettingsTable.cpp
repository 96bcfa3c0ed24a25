#include "SettingsTable.h"

#include "NumberText.h"

#include <algorithm>
#include <array>
#include <functional>
#include <tuple>
#include <type_traits>
#include <utility>

namespace SettingsTable {

namespace {

QByteArrayList splitWords(const char* packed)
{
    return packed && *packed ? QByteArray(packed).split('|') : QByteArrayList();
}

// The type of one value of a field: the field's, or its elements'.
template <class T> struct ValueOf
{
    using type = T;
};
template <class T, std::size_t n> struct ValueOf<std::array<T, n>>
{
    using type = T;
};

} // namespace

template <auto field> Member Member::of(const char* name)
{
    using T = std::remove_cvref_t<decltype(std::declval<ModSet&>().*field)>;
    Member m;
    m.name = name;
    using Value = typename ValueOf<T>::type;
    if constexpr (requires { std::tuple_size<T>::value; }) {
        m.elements = int(std::tuple_size_v<T>) - 1; // element 0 is not used
        m.at = [](ModSet& s, int e) -> Ref { return &(s.*field)[std::size_t(e)]; };
    } else {
        m.at = [](ModSet& s, int) -> Ref { return &(s.*field); };
    }
    if constexpr (std::is_same_v<Value, double>)
        m.kind = Kind::Real;
    else if constexpr (std::is_same_v<Value, bool>)
        m.kind = Kind::Flag;
    else if constexpr (std::is_same_v<Value, QString>)
        m.kind = Kind::Text;
    return m;
}

Member Member::list(const char* items, const char* replyWords, const char* commandWords) const
{
    Member m = *this;
    m.texts = QString::fromUtf8(items).split(QLatin1Char('|'), Qt::SkipEmptyParts);
    m.words = splitWords(replyWords ? replyWords : items);
    m.sent = splitWords(commandWords);
    if (m.kind == Kind::Integer)
        m.kind = Kind::Choice;
    return m;
}

Member Member::counted(const char* items, const char* countWords) const
{
    Member m = list(items, countWords);
    m.counts = true;
    return m;
}

Member Member::otherwise(qint32 code) const
{
    Member m = *this;
    m.orElse = code;
    return m;
}

Member Member::item(int word, int bit) const
{
    Member m = *this;
    m.itemBit = (word - 1) * 8 + bit;
    return m;
}

Member Member::ruled(Rule r) const
{
    Member m = *this;
    m.rule = r;
    return m;
}

Member Member::shownIn(const char* control) const
{
    Member m = *this;
    m.controlName = control;
    return m;
}

Member Member::blank() const
{
    Member m = *this;
    m.blankShown = true;
    return m;
}

QString Member::nameOf(int element) const
{
    const QString n = QLatin1String(name);
    return elements ? QStringLiteral("%1[%2]").arg(n).arg(element) : n;
}

QString Member::control(int element) const
{
    static const char* const prefix[] = {"Combo", "Text", "Text", "Check", "Text"};
    const QString base = controlName ? QString::fromLatin1(controlName)
                                     : QString::fromLatin1(prefix[int(kind)]) + QLatin1String(name);
    return elements ? base + QString::number(element - 1) : base;
}

std::optional<qint32> Member::code(int position) const
{
    if (position < 0 || position >= texts.size())
        return std::nullopt;
    return counts ? codeOfWord(position) : position;
}

std::optional<int> Member::position(qint32 value) const
{
    for (int p = 0; p < texts.size(); ++p)
        if (code(p) == value)
            return p;
    return std::nullopt;
}

qint32 Member::codeOfWord(int index) const
{
    return counts ? qint32(ReadNumber(words.at(index))) : index;
}

int Row::fields() const
{
    if (reply == Reply::Items)
        return 9;
    int n = 0;
    for (const Member& m : members)
        n += std::max(m.elements, 1);
    return n;
}

#define FIELD(f) Member::of<&ModSet::f>(#f)

const std::vector<Row>& rows()
{
    static const std::vector<Row> table = {
        // From here on the instrument answers without headers.
        Row(":HEAD OFF", Reply::Any, nullptr, Arg::None, {}),
        Row(":WIR?", Reply::Word, ":WIR ", Arg::Word,
            {FIELD(Wiring)
                 .list("1P2W|1P3W|3P3W2M|3P3W3M|3P4W|3P4W4I", "1P2W|1P3W|3P3W|3P3W3M|3P4W|3P4W4I")
                 .ruled(Rule::Wiring)}),
        Row(":CIRC?", Reply::Word, ":CIRC", Arg::Blanks,
            {FIELD(CirNum).counted("x1|x2|x3|x4", "1|2|3|4").ruled(Rule::Wiring)}),
        Row(":SAMP?", Reply::Word, ":SAMP ", Arg::Word,
            {FIELD(Sampling).list("PLL|FIXED", "PLL|FIX")}),
        Row(":FREQ?", Reply::Word, ":FREQ ", Arg::Word, {FIELD(Freq).list("50Hz|60Hz", "50|60")}),
        Row(":OPER?", Reply::Word, ":OPER ", Arg::Word, {FIELD(VarMethod).list("OFF|ON")}),
        Row(":AVE?", Reply::Numbers, ":AVE", Arg::Blanks,
            {FIELD(Average).counted(" 1| 2| 5|10|20", "1|2|5|10|20")}),
        Row(":VOLT:RANG?", Reply::Word, ":VOLT:RANG ", Arg::Word,
            {FIELD(URange).list("150|300|600")}),
        Row(":VT?", Reply::Numbers, ":VT", Arg::Blanks, {FIELD(VT)}),
        Row(":CURR:RANG?", Reply::Numbers, ":CURR:RANG", Arg::Circuits,
            {FIELD(IRange)
                 .list("0.5|1|5|10|50|100|200|500|1k|5k", "0.5|1|5|10|50|100|200|500|1000|5000")
                 .ruled(Rule::Sensor)}),
        Row(":CT?", Reply::Numbers, ":CT", Arg::Circuits, {FIELD(CT)}),
        // The instrument answers "FLX-5k" but is told "FLX-5K".
        Row(":SENS?", Reply::Words, ":SENS", Arg::Circuits,
            {FIELD(Sens)
                 .list("CLA|CLB|FLX-500|FLX-5k|CLC|CLD", nullptr, "CLA|CLB|FLX-500|FLX-5K|CLC|CLD")
                 .ruled(Rule::Sensor)}),
        Row(":START:METH?", Reply::Word, ":START:METH ", Arg::Word,
            {FIELD(StartMeth).list("MANUAL|TIME|JUST")}),
        Row(":START:TIME?", Reply::Numbers, ":START:TIME", Arg::Blanks,
            {FIELD(StartY), FIELD(StartM), FIELD(StartD), FIELD(StartHH), FIELD(StartMM)}),
        Row(":STOP:METH?", Reply::Word, ":STOP:METH ", Arg::Word,
            {FIELD(StopMeth).list("MANUAL|TIME|TIMER")}),
        Row(":STOP:TIME?", Reply::Numbers, ":STOP:TIME", Arg::Blanks,
            {FIELD(StopY), FIELD(StopM), FIELD(StopD), FIELD(StopHH), FIELD(StopMM)}),
        // The stop date's first three fields hold the timer while the stop method is TIMER.
        Row(":TIMER?", Reply::Numbers, ":TIMER", Arg::Blanks,
            {FIELD(Timer1).shownIn("TextStopY"), FIELD(Timer2).shownIn("TextStopM"),
             FIELD(Timer3).shownIn("TextStopD")}),
        Row(":INTE?", Reply::Word, ":INTE ", Arg::Word,
            {FIELD(Intvl).list(
                "ALL WAVE|100ms|200ms|500ms| 1s| 2s| 5s|10s|15s|30s| 1m| 2m| 5m|10m|"
                "15m|30m|60m",
                "ALL|0.1S|0.2S|0.5S|1S|2S|5S|10S|15S|30S|1M|2M|5M|10M|15M|30M|60M")}),
        Row(":DATA:MEDI?", Reply::Word, ":DATA:MEDI ", Arg::Word,
            {FIELD(Media).list("PC CARD|MEMORY", "CARD|MEMORY")}),
        Row("FILE:MEAS?", Reply::Text, ":FILE:MEAS ", Arg::Field, {FIELD(DataFName)}),
        // What the instrument's RS-232C port serves: shown, never sent.
        Row(":RS232:CONN?", Reply::Word, nullptr, Arg::None,
            {FIELD(RSConnection).list("PC|PRINTER")}),
        // A printer destination has no list item; it is sent back as it was received.
        Row(":DATA:COPY:MEDIA?", Reply::Word, ":DATA:COPY:MEDI ", Arg::Word,
            {FIELD(CopyDst).list("PC CARD|MEMORY", "CARD|MEMORY|PRINTER")}),
        // The save items, harmonic items and orders travel as bits of nine item words. The
        // order selection sets one of three bits (EVEN, ODD, ALL upwards); SELECT sets none.
        // Receiving them also sets HARM. when any harmonic item is set; the next row asks.
        Row(":DATA:ITEM?", Reply::Items, ":DATA:ITEM", Arg::Items,
            {FIELD(Level).item(1, 0), FIELD(Percent).item(1, 1), FIELD(Phase).item(1, 2),
             FIELD(Total).item(1, 3), FIELD(THD).item(1, 4), FIELD(Norm).item(1, 6),
             FIELD(Inst).item(2, 0), FIELD(Ave).item(2, 1), FIELD(Max).item(2, 2),
             FIELD(Min).item(2, 3), FIELD(Integ).item(2, 4),
             FIELD(OrdType).list("ALL|ODD|EVEN|SELECT", "").item(2, 5).shownIn("ComboOrd"),
             FIELD(Circuit).item(3, 0), FIELD(U).item(4, 0), FIELD(I).item(4, 3),
             FIELD(P).item(4, 7), FIELD(Ord).item(5, 0)}),
        Row(":data:harm?", Reply::Word, ":DATA:HARM ", Arg::Word, {FIELD(Harm).list("", "OFF|ON")}),
        Row(":DATA:WAVE?", Reply::Word, ":DATA:WAVE ", Arg::Word, {FIELD(Wave).list("", "OFF|ON")}),
        Row(":THD?", Reply::Word, ":THD ", Arg::Word,
            {FIELD(THDType).list("THD-F|THD-R", "F|R").otherwise(1).shownIn("ComboTHD")}),
        // The instrument's own line settings: shown, never sent.
        Row("RS232:BAUD?", Reply::Word, nullptr, Arg::None,
            {FIELD(Baud).list(" 2400bps| 9600bps|19200bps|38400bps", "2400|9600|19200|38400")}),
        Row("TRAN:TERM?", Reply::Word, nullptr, Arg::None, {FIELD(Term).list("CR+LF|CR", "1|2")}),
        Row("RS232:FLOW?", Reply::Word, nullptr, Arg::None,
            {FIELD(Flow).list("NONE|XON/XOFF|RTS/CTS|BOTH", "OFF|XONXOFF|RTSCTS|BOTH")}),
        Row(":BACK?", Reply::Word, ":BACK ", Arg::Word, {FIELD(BL).list("OFF|ON|AUTO")}),
        Row(":BEEP?", Reply::Word, ":BEEP ", Arg::Word, {FIELD(Beep).list("OFF|ON").otherwise(0)}),
        Row(":ID?", Reply::Numbers, "ID", Arg::Blanks, {FIELD(ID).blank()}),
        Row(":LANG?", Reply::Word, ":LANG ", Arg::Word,
            {FIELD(Lang).list("JAPANESE|ENGLISH|GERMAN|ITALIAN|CHINESE SIMPLE|CHINESE TRAD",
                              "JAPANESE|ENGLISH|GERMAN|ITALIAN|CHINESE1|CHINESE2")}),
        Row(nullptr, Reply::None, ":CLOCK ", Arg::Clock, {}),
    };
    return table;
}

#undef FIELD

const std::vector<const Row*>& sendOrder()
{
    static const std::vector<const Row*> order = [] {
        // SEND keeps RECEIVE's order but for two rows: the sensors go before the ranges (a
        // range is taken only for the sensor already set), WAVE before HARM.
        const std::pair<const char*, const char*> movedBefore[] = {{":SENS?", ":CURR:RANG?"},
                                                                   {":DATA:WAVE?", ":data:harm?"}};
        std::vector<const Row*> out;
        for (const Row& row : rows())
            if (row.command)
                out.push_back(&row);
        for (const auto& [moved, before] : movedBefore) {
            out.erase(std::find(out.begin(), out.end(), rowOf(moved)));
            out.insert(std::find(out.begin(), out.end(), rowOf(before)), rowOf(moved));
        }
        return out;
    }();
    return order;
}

const Row* rowOf(const QByteArray& query)
{
    for (const Row& row : rows())
        if (row.query && query == row.query)
            return &row;
    return nullptr;
}

const Row& itemRow()
{
    static const Row& row = *std::find_if(rows().begin(), rows().end(),
                                          [](const Row& r) { return r.reply == Reply::Items; });
    return row;
}

const std::vector<const Member*>& recordOrder()
{
    static const std::vector<const Member*> order = [] {
        ModSet probe;
        const auto address = [&probe](const Member* m) {
            return std::visit([](auto* p) { return static_cast<const void*>(p); },
                              m->at(probe, m->first()));
        };
        std::vector<const Member*> out;
        for (const Row& row : rows())
            for (const Member& m : row.members)
                out.push_back(&m);
        std::sort(out.begin(), out.end(), [&](const Member* a, const Member* b) {
            return std::less<const void*>()(address(a), address(b));
        });
        return out;
    }();
    return order;
}

qint32 codeOf(Ref ref)
{
    if (bool* const* flag = std::get_if<bool*>(&ref))
        return **flag ? 1 : 0;
    return *std::get<qint32*>(ref);
}

double numberOf(Ref ref)
{
    if (double* const* real = std::get_if<double*>(&ref))
        return **real;
    return *std::get<qint32*>(ref);
}

} // namespace SettingsTable
