#include "SettingsText.h"

#include "NumberText.h"
#include "Printable.h"
#include "SensorRule.h"
#include "SettingsTable.h"
#include "WiringRule.h"

#include <QHash>

#include <cmath>
#include <vector>

using namespace SettingsTable;

namespace {

// One NAME=VALUE line: a member, or one element of it.
struct Setting
{
    const Member* member;
    int element;
    QString name;
};

// In the record's order.
const std::vector<Setting>& settings()
{
    static const std::vector<Setting> all = [] {
        std::vector<Setting> out;
        for (const Member* m : recordOrder())
            for (int e = m->first(); e <= m->last(); ++e)
                out.push_back({m, e, m->nameOf(e)});
        return out;
    }();
    return all;
}

const Setting* findSetting(const QString& name)
{
    static const QHash<QString, const Setting*> byName = [] {
        QHash<QString, const Setting*> h;
        for (const Setting& f : settings())
            h.insert(f.name.toLower(), &f);
        return h;
    }();
    return byName.value(name.toLower(), nullptr);
}

// The list item of a code, blanks trimmed; "#code" for a code the list has no item for.
QString itemText(const Member& m, qint32 code)
{
    const auto pos = m.position(code);
    return pos ? m.texts.at(*pos).trimmed() : QStringLiteral("#%1").arg(code);
}

QString valueText(const Setting& f, const ModSet& s)
{
    const Ref ref = f.member->in(s, f.element);
    switch (f.member->kind) {
    case Kind::Choice:
        return itemText(*f.member, codeOf(ref));
    case Kind::Integer:
        return QString::number(codeOf(ref));
    case Kind::Real:
        return PlainForm(numberOf(ref));
    case Kind::Flag:
        return codeOf(ref) ? QStringLiteral("1") : QStringLiteral("0");
    case Kind::Text:
        return *std::get<QString*>(ref);
    }
    return {};
}

// Stores value; the empty string when done, else what the setting takes.
QString store(const Setting& f, const QString& value, ModSet& s)
{
    const Ref ref = f.member->at(s, f.element);
    bool ok = false;
    switch (f.member->kind) {
    case Kind::Choice: {
        QStringList items;
        for (const QString& t : f.member->texts)
            items << t.trimmed();
        for (int i = 0; i < items.size(); ++i)
            if (items[i].compare(value, Qt::CaseInsensitive) == 0) {
                *std::get<qint32*>(ref) = *f.member->code(i);
                return {};
            }
        if (value.startsWith(QLatin1Char('#'))) {
            const qint32 code = value.mid(1).toInt(&ok);
            if (ok) {
                *std::get<qint32*>(ref) = code;
                return {};
            }
        }
        return QStringLiteral("one of ") + items.join(QStringLiteral(", "));
    }
    case Kind::Integer: {
        const qint32 v = value.toInt(&ok);
        if (!ok)
            return QStringLiteral("a whole number");
        *std::get<qint32*>(ref) = v;
        return {};
    }
    case Kind::Real: {
        const double v = value.toDouble(&ok);
        if (!ok || !std::isfinite(v))
            return QStringLiteral("a number such as 1 or 0.5");
        *std::get<double*>(ref) = v;
        return {};
    }
    case Kind::Flag:
        if (value != QLatin1String("0") && value != QLatin1String("1"))
            return QStringLiteral("0 or 1");
        *std::get<bool*>(ref) = value == QLatin1String("1");
        return {};
    case Kind::Text:
        *std::get<QString*>(ref) = value;
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
    QString out;
    for (const Setting& f : settings())
        out += f.name + QLatin1Char('=') + valueText(f, set) + QLatin1Char('\n');
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
        const Setting* f = findSetting(QString::fromUtf8(name));
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

    const auto member = [](const char* name) -> const Member& {
        return *findSetting(QLatin1String(name))->member;
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
                                         .arg(itemText(member("CirNum"), s.CirNum),
                                              itemText(member("Wiring"), s.Wiring))
                                         .arg(WiringRule::maxCircuits(s.Wiring)))};
    }
    for (int i = 1; i <= 4; ++i) {
        const QString sens = QStringLiteral("Sens[%1]").arg(i),
                      range = QStringLiteral("IRange[%1]").arg(i);
        if (s.Sens[i] == set.Sens[i] && s.IRange[i] == set.IRange[i])
            continue;
        const qint32 allowed = SensorRule::allowedRange(s.Sens[i], s.IRange[i]);
        if (allowed != s.IRange[i])
            return {false, lineError(lastLine(sens, range),
                                     QStringLiteral("%1=%2 with %3=%4 breaks the sensor rule: "
                                                    "the dialog would set %1=%5")
                                         .arg(range, itemText(member("IRange[1]"), s.IRange[i]),
                                              sens, itemText(member("Sens[1]"), s.Sens[i]),
                                              itemText(member("IRange[1]"), allowed)))};
    }
    set = s;
    return {};
}

} // namespace SettingsText
