#include "SettingsText.h"

#include "NumberText.h"
#include "Printable.h"
#include "SensorRule.h"
#include "SettingChoices.h"
#include "WiringRule.h"

#include <QHash>

#include <cmath>
#include <functional>
#include <vector>

namespace {

using SettingChoices::List;

enum class Kind
{
    Choice,
    Integer,
    Real,
    Flag,
    Text
};

// One setting: its name and where it lives in the record. Accessors take a mutable record so
// one table serves reading and writing.
struct Field
{
    QString name;
    Kind kind;
    List list = List::Wiring;
    std::function<qint32&(ModSet&)> code = {};
    std::function<double&(ModSet&)> real = {};
    std::function<bool&(ModSet&)> flag = {};
    std::function<QString&(ModSet&)> text = {};
};

QString indexed(const char* name, int i)
{
    return QStringLiteral("%1[%2]").arg(QLatin1String(name)).arg(i);
}

const std::vector<Field>& fields()
{
    static const std::vector<Field> table = [] {
        std::vector<Field> t;
        auto choice = [&t](const char* name, List list, qint32 ModSet::*m) {
            t.push_back({QLatin1String(name), Kind::Choice, list,
                         [m](ModSet& s) -> qint32& { return s.*m; }});
        };
        auto integer = [&t](const char* name, qint32 ModSet::*m) {
            t.push_back({QLatin1String(name), Kind::Integer, List::Wiring,
                         [m](ModSet& s) -> qint32& { return s.*m; }});
        };
        auto flag = [&t](const QString& name, std::function<bool&(ModSet&)> f) {
            t.push_back({name, Kind::Flag, List::Wiring, {}, {}, std::move(f)});
        };
        auto flagOf = [&flag](const char* name, bool ModSet::*m) {
            flag(QLatin1String(name), [m](ModSet& s) -> bool& { return s.*m; });
        };
        auto flagArray = [&flag](const char* name, auto ModSet::*array, int count) {
            for (int i = 1; i <= count; ++i)
                flag(indexed(name, i), [array, i](ModSet& s) -> bool& { return (s.*array)[i]; });
        };

        choice("Wiring", List::Wiring, &ModSet::Wiring);
        choice("CirNum", List::CirNum, &ModSet::CirNum);
        choice("Sampling", List::Sampling, &ModSet::Sampling);
        choice("Freq", List::Freq, &ModSet::Freq);
        choice("VarMethod", List::VarMethod, &ModSet::VarMethod);
        choice("Average", List::Average, &ModSet::Average);
        choice("URange", List::URange, &ModSet::URange);
        t.push_back({QStringLiteral("VT"), Kind::Real, List::Wiring, {}, [](ModSet& s) -> double& {
                         return s.VT;
                     }});
        for (int i = 1; i <= 4; ++i)
            t.push_back({indexed("Sens", i), Kind::Choice, List::Sens,
                         [i](ModSet& s) -> qint32& { return s.Sens[i]; }});
        for (int i = 1; i <= 4; ++i)
            t.push_back({indexed("IRange", i), Kind::Choice, List::IRange,
                         [i](ModSet& s) -> qint32& { return s.IRange[i]; }});
        for (int i = 1; i <= 4; ++i)
            t.push_back({indexed("CT", i), Kind::Real, List::Wiring, {}, [i](ModSet& s) -> double& {
                             return s.CT[i];
                         }});

        choice("StartMeth", List::StartMeth, &ModSet::StartMeth);
        integer("StartY", &ModSet::StartY);
        integer("StartM", &ModSet::StartM);
        integer("StartD", &ModSet::StartD);
        integer("StartHH", &ModSet::StartHH);
        integer("StartMM", &ModSet::StartMM);
        choice("StopMeth", List::StopMeth, &ModSet::StopMeth);
        integer("StopY", &ModSet::StopY);
        integer("StopM", &ModSet::StopM);
        integer("StopD", &ModSet::StopD);
        integer("StopHH", &ModSet::StopHH);
        integer("StopMM", &ModSet::StopMM);
        integer("Timer1", &ModSet::Timer1);
        integer("Timer2", &ModSet::Timer2);
        integer("Timer3", &ModSet::Timer3);
        choice("Intvl", List::Intvl, &ModSet::Intvl);

        choice("Media", List::Media, &ModSet::Media);
        t.push_back({QStringLiteral("DataFName"),
                     Kind::Text,
                     List::Wiring,
                     {},
                     {},
                     {},
                     [](ModSet& s) -> QString& { return s.DataFName; }});
        choice("RSConnection", List::RSConnection, &ModSet::RSConnection);
        choice("CopyDst", List::Media, &ModSet::CopyDst);

        flagOf("Norm", &ModSet::Norm);
        flagOf("Harm", &ModSet::Harm);
        flagOf("Integ", &ModSet::Integ);
        flagOf("Inst", &ModSet::Inst);
        flagOf("Ave", &ModSet::Ave);
        flagOf("Max", &ModSet::Max);
        flagOf("Min", &ModSet::Min);
        flagArray("Circuit", &ModSet::Circuit, 4);
        flagArray("U", &ModSet::U, 3);
        flagArray("I", &ModSet::I, 4);
        flagOf("P", &ModSet::P);
        flagOf("Wave", &ModSet::Wave);

        flagOf("Level", &ModSet::Level);
        flagOf("Percent", &ModSet::Percent);
        flagOf("Phase", &ModSet::Phase);
        flagOf("THD", &ModSet::THD);
        flagOf("Total", &ModSet::Total);
        choice("THDType", List::THDType, &ModSet::THDType);
        choice("OrdType", List::OrdType, &ModSet::OrdType);
        flagArray("Ord", &ModSet::Ord, 40);

        choice("Baud", List::Baud, &ModSet::Baud);
        choice("Term", List::Term, &ModSet::Term);
        choice("Flow", List::Flow, &ModSet::Flow);
        choice("BL", List::BL, &ModSet::BL);
        choice("Beep", List::Beep, &ModSet::Beep);
        integer("ID", &ModSet::ID);
        choice("Lang", List::Lang, &ModSet::Lang);
        return t;
    }();
    return table;
}

const Field* findField(const QString& name)
{
    static const QHash<QString, const Field*> byName = [] {
        QHash<QString, const Field*> h;
        for (const Field& f : fields())
            h.insert(f.name.toLower(), &f);
        return h;
    }();
    return byName.value(name.toLower(), nullptr);
}

QStringList choiceTexts(List list)
{
    QStringList out;
    for (const QString& t : SettingChoices::texts(list))
        out << t.trimmed();
    return out;
}

QString valueText(const Field& f, ModSet& s)
{
    switch (f.kind) {
    case Kind::Choice: {
        const qint32 code = f.code(s);
        if (const auto pos = SettingChoices::position(f.list, code))
            return SettingChoices::texts(f.list).at(*pos).trimmed();
        return QStringLiteral("#%1").arg(code);
    }
    case Kind::Integer:
        return QString::number(f.code(s));
    case Kind::Real:
        return PlainForm(f.real(s));
    case Kind::Flag:
        return f.flag(s) ? QStringLiteral("1") : QStringLiteral("0");
    case Kind::Text:
        return f.text(s);
    }
    return {};
}

// Stores value; the empty string when done, else what the setting takes.
QString store(const Field& f, const QString& value, ModSet& s)
{
    bool ok = false;
    switch (f.kind) {
    case Kind::Choice: {
        const QStringList items = choiceTexts(f.list);
        for (int i = 0; i < items.size(); ++i)
            if (items[i].compare(value, Qt::CaseInsensitive) == 0) {
                f.code(s) = *SettingChoices::code(f.list, i);
                return {};
            }
        if (value.startsWith(QLatin1Char('#'))) {
            const qint32 code = value.mid(1).toInt(&ok);
            if (ok) {
                f.code(s) = code;
                return {};
            }
        }
        return QStringLiteral("one of ") + items.join(QStringLiteral(", "));
    }
    case Kind::Integer: {
        const qint32 v = value.toInt(&ok);
        if (!ok)
            return QStringLiteral("a whole number");
        f.code(s) = v;
        return {};
    }
    case Kind::Real: {
        const double v = value.toDouble(&ok);
        if (!ok || !std::isfinite(v))
            return QStringLiteral("a number such as 1 or 0.5");
        f.real(s) = v;
        return {};
    }
    case Kind::Flag:
        if (value != QLatin1String("0") && value != QLatin1String("1"))
            return QStringLiteral("0 or 1");
        f.flag(s) = value == QLatin1String("1");
        return {};
    case Kind::Text:
        f.text(s) = value;
        return {};
    }
    return {};
}

QString lineError(int line, const QString& what)
{
    return QStringLiteral("line %1: %2").arg(line).arg(what);
}

} // namespace

namespace SettingsText {

QString format(const ModSet& set)
{
    ModSet s = set;
    QString out;
    for (const Field& f : fields())
        out += f.name + QLatin1Char('=') + valueText(f, s) + QLatin1Char('\n');
    return out;
}

QStringList names()
{
    QStringList out;
    for (const Field& f : fields())
        out << f.name;
    return out;
}

ApplyResult apply(const QByteArray& text, ModSet& set, bool checkRules)
{
    ModSet s = set;
    // The line that last set each setting, for the rules' errors.
    QHash<QString, int> lineOf;
    const QList<QByteArray> lines = text.split('\n');
    for (int n = 0; n < lines.size(); ++n) {
        QByteArray line = lines[n];
        if (line.endsWith('\r'))
            line.chop(1);
        const QByteArray trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith('#'))
            continue;
        // What the file holds is quoted in the errors as printable text, cut when long.
        const auto quoted = [](const QByteArray& bytes) { return Printable(bytes, 80); };
        const qsizetype eq = line.indexOf('=');
        if (eq < 0)
            return {
                false,
                lineError(n + 1, QStringLiteral("\"%1\" is not NAME=VALUE").arg(quoted(trimmed)))};
        const QByteArray name = line.left(eq).trimmed();
        const QByteArray value = line.mid(eq + 1).trimmed();
        const Field* f = findField(QString::fromUtf8(name));
        if (!f)
            return {false, lineError(n + 1, QStringLiteral("unknown setting \"%1\" (settings get "
                                                           "prints every name)")
                                                .arg(quoted(name)))};
        const QString allowed = store(*f, QString::fromUtf8(value), s);
        if (!allowed.isEmpty())
            return {false, lineError(n + 1, QStringLiteral("%1=%2: %1 takes %3")
                                                .arg(f->name, quoted(value), allowed))};
        lineOf.insert(f->name, n + 1);
    }
    if (!checkRules) {
        set = s;
        return {};
    }

    const auto itemText = [](List list, qint32 code) {
        const auto pos = SettingChoices::position(list, code);
        return pos ? SettingChoices::texts(list).at(*pos).trimmed()
                   : QStringLiteral("#%1").arg(code);
    };
    const auto lastLine = [&lineOf](const QString& a, const QString& b) {
        return std::max(lineOf.value(a, 0), lineOf.value(b, 0));
    };
    const QString wiring = QStringLiteral("Wiring"), cirNum = QStringLiteral("CirNum");
    // The rules guard what the lines change: a pair left as received goes back as received.
    if (s.Wiring != set.Wiring || s.CirNum != set.CirNum) {
        if (WiringRule::allowedCount(s.Wiring, s.CirNum) != s.CirNum)
            return {false, lineError(lastLine(wiring, cirNum),
                                     QStringLiteral("CirNum=%1 with Wiring=%2 breaks the wiring "
                                                    "rule: %2 allows at most %3 circuit(s)")
                                         .arg(itemText(List::CirNum, s.CirNum),
                                              itemText(List::Wiring, s.Wiring))
                                         .arg(WiringRule::maxCircuits(s.Wiring)))};
    }
    for (int i = 1; i <= 4; ++i) {
        const QString sens = indexed("Sens", i), range = indexed("IRange", i);
        if (s.Sens[i] == set.Sens[i] && s.IRange[i] == set.IRange[i])
            continue;
        const qint32 allowed = SensorRule::allowedRange(s.Sens[i], s.IRange[i]);
        if (allowed != s.IRange[i])
            return {false, lineError(lastLine(sens, range),
                                     QStringLiteral("%1=%2 with %3=%4 breaks the sensor rule: "
                                                    "the dialog would set %1=%5")
                                         .arg(range, itemText(List::IRange, s.IRange[i]), sens,
                                              itemText(List::Sens, s.Sens[i]),
                                              itemText(List::IRange, allowed)))};
    }
    set = s;
    return {};
}

} // namespace SettingsText
