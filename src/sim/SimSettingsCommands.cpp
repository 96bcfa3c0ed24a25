#include "SimSettingsCommands.h"

#include "SimInstrument.h"

#include <QByteArrayList>
#include <QDateTime>

#include <algorithm>
#include <array>
#include <optional>

namespace {

// The instrument's own word lists, kept apart from the program's on purpose: the two sides
// of the line must not share a typo.
constexpr std::array<const char*, 6> wiringWords{"1P2W",   "1P3W", "3P3W",
                                                 "3P3W3M", "3P4W", "3P4W4I"};
constexpr std::array<const char*, 2> samplingWords{"PLL", "FIX"};
constexpr std::array<const char*, 2> freqWords{"50", "60"};
constexpr std::array<const char*, 2> offOn{"OFF", "ON"};
constexpr std::array<const char*, 3> uRangeWords{"150", "300", "600"};
constexpr std::array<const char*, 6> sensorWords{"CLA", "CLB", "FLX-500", "FLX-5k", "CLC", "CLD"};
constexpr std::array<const char*, 10> rangeWords{"0.5", "1",   "5",   "10",   "50",
                                                 "100", "200", "500", "1000", "5000"};
constexpr std::array<double, 10> rangeAmperes{0.5, 1, 5, 10, 50, 100, 200, 500, 1000, 5000};
constexpr std::array<const char*, 3> startWords{"MANUAL", "TIME", "JUST"};
constexpr std::array<const char*, 3> stopWords{"MANUAL", "TIME", "TIMER"};
constexpr std::array<const char*, 17> intervalWords{"ALL", "0.1S", "0.2S", "0.5S", "1S", "2S",
                                                    "5S",  "10S",  "15S",  "30S",  "1M", "2M",
                                                    "5M",  "10M",  "15M",  "30M",  "60M"};
constexpr std::array<const char*, 2> mediaWords{"CARD", "MEMORY"};
constexpr std::array<const char*, 3> copyWords{"CARD", "MEMORY", "PRINTER"};
constexpr std::array<const char*, 2> connWords{"PC", "PRINTER"};
constexpr std::array<const char*, 2> thdWords{"F", "R"};
constexpr std::array<const char*, 4> baudWords{"2400", "9600", "19200", "38400"};
constexpr std::array<const char*, 2> termWords{"1", "2"};
constexpr std::array<const char*, 4> flowWords{"OFF", "XONXOFF", "RTSCTS", "BOTH"};
constexpr std::array<const char*, 3> backWords{"OFF", "ON", "AUTO"};
constexpr std::array<const char*, 6> langWords{"JAPANESE", "ENGLISH",  "GERMAN",
                                               "ITALIAN",  "CHINESE1", "CHINESE2"};
constexpr std::array<int, 5> averageCounts{1, 2, 5, 10, 20};

// Ranges each sensor can measure (positions in rangeWords), and the one it falls back to
// when a new sensor cannot measure the circuit's present range.
struct SensorRanges
{
    std::array<bool, 10> allowed;
    int fallback;
};
constexpr std::array<SensorRanges, 6> sensorRanges{{
    {{false, false, true, true, true, true, false, false, false, false}, 5},    // CLA
    {{false, false, true, true, true, true, false, true, false, false}, 7},     // CLB
    {{false, false, false, false, false, false, false, true, false, false}, 7}, // FLX-500
    {{false, false, false, false, false, false, false, false, false, true}, 9}, // FLX-5k
    {{false, false, false, false, false, true, true, false, true, false}, 8},   // CLC
    {{true, true, true, false, false, false, false, false, false, false}, 2},   // CLD
}};

// Circuits each wiring allows.
constexpr std::array<int, 6> maxCircuits{4, 2, 2, 1, 1, 1};

SimReply ok()
{
    return SimReply::line("ALL RIGHT");
}

SimReply refused()
{
    return SimReply::line(SimInstrument::BadParameter);
}

QByteArray number(double v)
{
    return QByteArray::number(v, 'g', 15);
}

QByteArray joined(const int* values, int n)
{
    QByteArrayList parts;
    for (int i = 0; i < n; ++i)
        parts << QByteArray::number(values[i]);
    return parts.join(',');
}

// Argument words are read without regard to case, like the command words.
template <class Words> std::optional<int> wordOf(const QByteArray& arg, const Words& words)
{
    const QByteArray w = arg.trimmed().toUpper();
    for (int i = 0; i < int(words.size()); ++i) {
        if (w == QByteArray(words[i]).toUpper())
            return i;
    }
    return std::nullopt;
}

// The comma-separated arguments, trimmed; nothing unless there are exactly n.
std::optional<QByteArrayList> argsOf(const QByteArray& args, int n)
{
    QByteArrayList parts = args.split(',');
    if (parts.size() != n)
        return std::nullopt;
    for (QByteArray& p : parts)
        p = p.trimmed();
    return parts;
}

std::optional<int> intOf(const QByteArray& text, int lo, int hi)
{
    bool good = false;
    const int v = text.trimmed().toInt(&good);
    if (!good || v < lo || v > hi)
        return std::nullopt;
    return v;
}

std::optional<double> realOf(const QByteArray& text, double lo, double hi)
{
    const QByteArray t = text.trimmed();
    bool good = false;
    const double v = t.toDouble(&good);
    if (t.isEmpty() || !good || !(v >= lo && v <= hi))
        return std::nullopt;
    return v;
}

// Year, month, day, hour, minute (and second) of a real moment between 2000 and 2099.
std::optional<std::array<int, 6>> momentOf(const QByteArray& args, int n)
{
    const auto parts = argsOf(args, n);
    if (!parts)
        return std::nullopt;
    std::array<int, 6> v{};
    static constexpr int hi[] = {2099, 12, 31, 23, 59, 59};
    static constexpr int lo[] = {2000, 1, 1, 0, 0, 0};
    for (int i = 0; i < n; ++i) {
        const auto x = intOf((*parts)[i], lo[i], hi[i]);
        if (!x)
            return std::nullopt;
        v[i] = *x;
    }
    if (!QDate(v[0], v[1], v[2]).isValid())
        return std::nullopt;
    return v;
}

bool validFileName(const QByteArray& name)
{
    if (name.size() > 8)
        return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
               c == '_' || c == '-';
    });
}

bool validItemWords(const std::array<int, 9>& w)
{
    // Bits 5 and 7 of word 1 and 4..7 of word 3 are unused; word 2 names one order selection.
    if ((w[0] & 0xA0) || (w[2] & 0xF0))
        return false;
    const int ord = w[1] & 0xE0;
    return ord == 0 || ord == 0x80 || ord == 0x40 || ord == 0x20;
}

using Handler = SimInstrument::Handler;

// A query answering one of the words by the setting's code.
template <class Words> Handler wordQuery(int SimSettings::*field, const Words& words)
{
    return [field, &words](SimInstrument& in, const QByteArray&) {
        return SimReply::line(words[in.state().settings.*field]);
    };
}

// A command setting the code of one of the words.
template <class Words> Handler wordCommand(int SimSettings::*field, const Words& words)
{
    return [field, &words](SimInstrument& in, const QByteArray& args) {
        const auto code = wordOf(args, words);
        if (!code)
            return refused();
        in.state().settings.*field = *code;
        return ok();
    };
}

Handler offOnQuery(bool SimSettings::*flag)
{
    return [flag](SimInstrument& in, const QByteArray&) {
        return SimReply::line(offOn[in.state().settings.*flag ? 1 : 0]);
    };
}

Handler offOnCommand(bool SimSettings::*flag)
{
    return [flag](SimInstrument& in, const QByteArray& args) {
        const auto code = wordOf(args, offOn);
        if (!code)
            return refused();
        in.state().settings.*flag = *code == 1;
        return ok();
    };
}

// "i,value" for circuit i (1..4); gives the circuit index 0..3 and the value text.
std::optional<std::pair<int, QByteArray>> circuitArg(const QByteArray& args)
{
    const auto parts = argsOf(args, 2);
    if (!parts)
        return std::nullopt;
    const auto i = intOf((*parts)[0], 1, 4);
    if (!i)
        return std::nullopt;
    return std::make_pair(*i - 1, (*parts)[1]);
}

void installMeasurement(SimInstrument& in)
{
    in.addCommand("WIR?", wordQuery(&SimSettings::wiring, wiringWords));
    in.addCommand("WIR", [](SimInstrument& in, const QByteArray& args) {
        const auto w = wordOf(args, wiringWords);
        if (!w)
            return refused();
        SimSettings& s = in.state().settings;
        s.wiring = *w;
        // A wiring that allows fewer circuits falls back to one.
        if (s.cirNum > maxCircuits[*w])
            s.cirNum = 1;
        return ok();
    });
    in.addCommand("CIRC?", [](SimInstrument& in, const QByteArray&) {
        return SimReply::line(QByteArray::number(in.state().settings.cirNum));
    });
    in.addCommand("CIRC", [](SimInstrument& in, const QByteArray& args) {
        SimSettings& s = in.state().settings;
        const auto n = intOf(args, 1, maxCircuits[s.wiring]);
        if (!n)
            return refused();
        s.cirNum = *n;
        return ok();
    });
    in.addCommand("SAMP?", wordQuery(&SimSettings::sampling, samplingWords));
    in.addCommand("SAMP", wordCommand(&SimSettings::sampling, samplingWords));
    in.addCommand("FREQ?", wordQuery(&SimSettings::freq, freqWords));
    in.addCommand("FREQ", wordCommand(&SimSettings::freq, freqWords));
    in.addCommand("OPER?", wordQuery(&SimSettings::varMethod, offOn));
    in.addCommand("OPER", wordCommand(&SimSettings::varMethod, offOn));
    in.addCommand("AVE?", [](SimInstrument& in, const QByteArray&) {
        return SimReply::line(QByteArray::number(in.state().settings.average));
    });
    in.addCommand("AVE", [](SimInstrument& in, const QByteArray& args) {
        const auto n = intOf(args, 1, 20);
        if (!n || std::find(averageCounts.begin(), averageCounts.end(), *n) == averageCounts.end())
            return refused();
        in.state().settings.average = *n;
        return ok();
    });
    in.addCommand("VOLT:RANG?", wordQuery(&SimSettings::uRange, uRangeWords));
    in.addCommand("VOLT:RANG", wordCommand(&SimSettings::uRange, uRangeWords));
    in.addCommand("VT?", [](SimInstrument& in, const QByteArray&) {
        return SimReply::line(number(in.state().settings.vt));
    });
    in.addCommand("VT", [](SimInstrument& in, const QByteArray& args) {
        const auto v = realOf(args, 0.01, 9999.99);
        if (!v)
            return refused();
        in.state().settings.vt = *v;
        return ok();
    });

    in.addCommand("SENS?", [](SimInstrument& in, const QByteArray&) {
        QByteArrayList f;
        for (int s : in.state().settings.sens)
            f << sensorWords[s];
        return SimReply::line(f.join(','));
    });
    in.addCommand("SENS", [](SimInstrument& in, const QByteArray& args) {
        const auto a = circuitArg(args);
        const auto sensor = a ? wordOf(a->second, sensorWords) : std::nullopt;
        if (!sensor)
            return refused();
        SimSettings& s = in.state().settings;
        s.sens[a->first] = *sensor;
        // A sensor that cannot measure the present range takes its own.
        if (!sensorRanges[*sensor].allowed[s.iRange[a->first]])
            s.iRange[a->first] = sensorRanges[*sensor].fallback;
        return ok();
    });
    in.addCommand("CURR:RANG?", [](SimInstrument& in, const QByteArray&) {
        QByteArrayList f;
        for (int r : in.state().settings.iRange)
            f << rangeWords[r];
        return SimReply::line(f.join(','));
    });
    in.addCommand("CURR:RANG", [](SimInstrument& in, const QByteArray& args) {
        const auto a = circuitArg(args);
        const auto amps = a ? realOf(a->second, 0.5, 5000) : std::nullopt;
        if (!amps)
            return refused();
        const auto it = std::find(rangeAmperes.begin(), rangeAmperes.end(), *amps);
        SimSettings& s = in.state().settings;
        const int range = int(it - rangeAmperes.begin());
        if (it == rangeAmperes.end() || !sensorRanges[s.sens[a->first]].allowed[range])
            return refused();
        s.iRange[a->first] = range;
        return ok();
    });
    in.addCommand("CT?", [](SimInstrument& in, const QByteArray&) {
        QByteArrayList f;
        for (double c : in.state().settings.ct)
            f << number(c);
        return SimReply::line(f.join(','));
    });
    in.addCommand("CT", [](SimInstrument& in, const QByteArray& args) {
        const auto a = circuitArg(args);
        const auto ratio = a ? realOf(a->second, 0.01, 9999.99) : std::nullopt;
        if (!ratio)
            return refused();
        in.state().settings.ct[a->first] = *ratio;
        return ok();
    });
}

void installRecording(SimInstrument& in)
{
    in.addCommand("START:METH?", wordQuery(&SimSettings::startMeth, startWords));
    in.addCommand("START:METH", wordCommand(&SimSettings::startMeth, startWords));
    in.addCommand("STOP:METH?", wordQuery(&SimSettings::stopMeth, stopWords));
    in.addCommand("STOP:METH", wordCommand(&SimSettings::stopMeth, stopWords));
    for (const auto& moment : {std::pair{"START:TIME", &SimSettings::startTime},
                               std::pair{"STOP:TIME", &SimSettings::stopTime}}) {
        // Not a structured binding: clang 14 (the fuzz build) cannot capture one.
        const char* word = moment.first;
        const auto field = moment.second;
        in.addCommand(QByteArray(word) + '?', [field](SimInstrument& in, const QByteArray&) {
            return SimReply::line(joined((in.state().settings.*field).data(), 5));
        });
        in.addCommand(word, [field](SimInstrument& in, const QByteArray& args) {
            const auto m = momentOf(args, 5);
            if (!m)
                return refused();
            std::copy_n(m->begin(), 5, (in.state().settings.*field).begin());
            return ok();
        });
    }
    in.addCommand("TIMER?", [](SimInstrument& in, const QByteArray&) {
        return SimReply::line(joined(in.state().settings.timer.data(), 3));
    });
    in.addCommand("TIMER", [](SimInstrument& in, const QByteArray& args) {
        const auto parts = argsOf(args, 3);
        static constexpr int hi[] = {99, 23, 59};
        std::array<int, 3> t{};
        for (int i = 0; parts && i < 3; ++i) {
            const auto v = intOf((*parts)[i], 0, hi[i]);
            if (!v)
                return refused();
            t[i] = *v;
        }
        if (!parts)
            return refused();
        in.state().settings.timer = t;
        return ok();
    });
    in.addCommand("INTE?", wordQuery(&SimSettings::intvl, intervalWords));
    in.addCommand("INTE", wordCommand(&SimSettings::intvl, intervalWords));
}

void installOutput(SimInstrument& in)
{
    in.addCommand("DATA:MEDI?", wordQuery(&SimSettings::media, mediaWords));
    in.addCommand("DATA:MEDI", wordCommand(&SimSettings::media, mediaWords));
    in.addCommand("FILE:MEAS?", [](SimInstrument& in, const QByteArray&) {
        const QByteArray& name = in.state().settings.fileName;
        return SimReply::line(name.isEmpty() ? QByteArray("NO FILENAME") : name);
    });
    in.addCommand("FILE:MEAS", [](SimInstrument& in, const QByteArray& args) {
        // Everything after the command's blank is the name; nothing clears it.
        if (!validFileName(args))
            return refused();
        in.state().settings.fileName = args;
        return ok();
    });
    in.addCommand("RS232:CONN?", wordQuery(&SimSettings::rsConnection, connWords));
    in.addCommand("DATA:COPY:MEDIA?", wordQuery(&SimSettings::copyDst, copyWords));
    in.addCommand("DATA:COPY:MEDI", wordCommand(&SimSettings::copyDst, copyWords));
    in.addCommand("DATA:ITEM?", [](SimInstrument& in, const QByteArray&) {
        return SimReply::line(joined(in.state().settings.items.data(), 9));
    });
    in.addCommand("DATA:ITEM", [](SimInstrument& in, const QByteArray& args) {
        const auto parts = argsOf(args, 9);
        if (!parts)
            return refused();
        std::array<int, 9> w{};
        for (int i = 0; i < 9; ++i) {
            const auto v = intOf((*parts)[i], 0, 255);
            if (!v)
                return refused();
            w[i] = *v;
        }
        if (!validItemWords(w))
            return refused();
        in.state().settings.items = w;
        return ok();
    });
    in.addCommand("DATA:HARM?", offOnQuery(&SimSettings::harm));
    in.addCommand("DATA:HARM", offOnCommand(&SimSettings::harm));
    in.addCommand("DATA:WAVE?", offOnQuery(&SimSettings::wave));
    in.addCommand("DATA:WAVE", offOnCommand(&SimSettings::wave));
    in.addCommand("THD?", wordQuery(&SimSettings::thd, thdWords));
    in.addCommand("THD", wordCommand(&SimSettings::thd, thdWords));
}

void installSystem(SimInstrument& in)
{
    in.addCommand("RS232:BAUD?", wordQuery(&SimSettings::baud, baudWords));
    in.addCommand("TRAN:TERM?", wordQuery(&SimSettings::term, termWords));
    in.addCommand("RS232:FLOW?", wordQuery(&SimSettings::flow, flowWords));
    in.addCommand("BACK?", wordQuery(&SimSettings::backlight, backWords));
    in.addCommand("BACK", wordCommand(&SimSettings::backlight, backWords));
    in.addCommand("BEEP?", wordQuery(&SimSettings::beep, offOn));
    in.addCommand("BEEP", wordCommand(&SimSettings::beep, offOn));
    in.addCommand("ID?", [](SimInstrument& in, const QByteArray&) {
        return SimReply::line(QByteArray::number(in.state().settings.id));
    });
    in.addCommand("ID", [](SimInstrument& in, const QByteArray& args) {
        const auto id = intOf(args, 0, 9999);
        if (!id)
            return refused();
        in.state().settings.id = *id;
        return ok();
    });
    in.addCommand("LANG?", wordQuery(&SimSettings::lang, langWords));
    in.addCommand("LANG", wordCommand(&SimSettings::lang, langWords));
    in.addCommand("CLOCK", [](SimInstrument& in, const QByteArray& args) {
        const auto m = momentOf(args, 6);
        if (!m)
            return refused();
        const auto& v = *m;
        in.setClock(QDateTime(QDate(v[0], v[1], v[2]), QTime(v[3], v[4], v[5])));
        return ok();
    });
}

} // namespace

void SimSettingsCommands::install(SimInstrument& instrument)
{
    installMeasurement(instrument);
    installRecording(instrument);
    installOutput(instrument);
    installSystem(instrument);
}

QString SimSettingsCommands::help()
{
    return QStringLiteral(R"(Settings:
  Every settings query answers from one state that the setting commands change; a valid
  setting answers "ALL RIGHT", any other "PARAMETER ERROR". Words are read without regard
  to case. Defaults: 1P2W x1, PLL, 50 Hz, averaging 1, 300 V, VT 1, CLB 500 A CT 1 on every
  circuit, start and stop MANUAL, interval 30S, PC card, no file name, ID 1, ENGLISH.
  :WIR w                  a wiring allowing fewer circuits sets the count back to 1
  :CIRC n                 1..4 with 1P2W, 1..2 with 1P3W and 3P3W, 1 otherwise
  :AVE n                  1, 2, 5, 10 or 20
  :VT x, :CT i,x          0.01 to 9999.99; answered with up to 15 significant digits
  :SENS i,s               CLA CLB FLX-500 FLX-5K CLC CLD (":SENS?" answers "FLX-5k"); a
                          sensor that cannot measure the circuit's range takes its own
                          (CLA 100, CLB 500, FLX-500 500, FLX-5k 5000, CLC 1000, CLD 5)
  :CURR:RANG i,a          a range the circuit's sensor measures: CLA 5, 10, 50, 100; CLB
                          those and 500; FLX-500 500; FLX-5k 5000; CLC 100, 200, 1000;
                          CLD 0.5, 1, 5
  :START:TIME, :STOP:TIME y,m,d,h,m   a real date of 2000..2099
  :TIMER d,h,m            days 0..99, hours 0..23, minutes 0..59
  :FILE:MEAS name         up to 8 letters, digits, "_" or "-"; an empty name clears it
                          (":FILE:MEAS?" then answers "NO FILENAME")
  :DATA:ITEM w1,..,w9     0..255 each, unused bits clear, one order selection in word 2
  ID n                    0..9999
  :CLOCK y,m,d,h,m,s      sets the instrument's clock
)");
}
