#include "TrendFile.h"

#include <QDateTime>
#include <QList>

#include <algorithm>
#include <cmath>

namespace {

QList<QByteArray> fields(const QByteArray& line)
{
    QList<QByteArray> out = line.split(',');
    for (QByteArray& f : out) {
        f = f.trimmed();
        if (f.size() >= 2 && f.front() == '"' && f.back() == '"')
            f = f.mid(1, f.size() - 2).replace("\"\"", "\"");
    }
    return out;
}

bool anyNumber(const QList<QByteArray>& entries)
{
    for (const QByteArray& e : entries)
        if (!std::isnan(TrendValue(e)))
            return true;
    return false;
}

TrendFile failure(QString why)
{
    TrendFile f;
    f.error = std::move(why);
    return f;
}

} // namespace

TrendFile ReadTrendFile(const QByteArray& content)
{
    if (content.contains('\0'))
        return failure(QStringLiteral("It is not a text file."));
    QList<QByteArray> lines;
    for (QByteArray line : content.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (!line.trimmed().isEmpty())
            lines << line;
    }
    if (lines.size() < 2)
        return failure(QStringLiteral("It holds no line of names followed by values."));

    TrendFile file;
    auto history = std::make_unique<TrendHistory>(TrendHistory::unlimited(lines.size()));
    QList<QByteArray> names = fields(lines.front());
    const bool log = std::all_of(lines.begin(), lines.end(),
                                 [](const QByteArray& l) { return l.trimmed().endsWith(','); });
    bool numbers = false;
    qint64 row = 0;

    if (log) {
        // The measurement window's log: a line of names, then lines of values; a new line of
        // names with every measurement taken with names. A line of values always follows a
        // line of names, so only a line after values can be names, and only when it holds no
        // number.
        bool afterNames = false;
        for (int i = 0; i < lines.size(); ++i) {
            QList<QByteArray> entries = fields(lines[i]);
            entries.removeLast(); // after the final ","
            const bool hasNumber = anyNumber(entries);
            if (i == 0 || (!afterNames && !hasNumber)) {
                if (hasNumber)
                    return failure(QStringLiteral("Its first line holds numbers, not names."));
                history->setNames(entries);
                afterNames = true;
                continue;
            }
            numbers = numbers || hasNumber;
            history->append(++row, entries);
            afterNames = false;
        }
    } else {
        const auto first = [&names](const char* name) {
            return !names.isEmpty() && names.front().compare(name, Qt::CaseInsensitive) == 0;
        };
        file.timed = first("time");
        // The trend window saves an untimed log with its row numbers; rows are counted anew.
        const bool numbered = !file.timed && first("row");
        if (file.timed || numbered)
            names.removeFirst();
        const qsizetype columns = names.size() + (file.timed || numbered ? 1 : 0);
        if (names.isEmpty() || anyNumber(names))
            return failure(QStringLiteral("Its first line is not a line of item names."));
        history->setNames(names);
        for (int i = 1; i < lines.size(); ++i) {
            QList<QByteArray> entries = fields(lines[i]);
            if (entries.size() != columns)
                return failure(QStringLiteral("Line %1 has %2 entries where the names are %3.")
                                   .arg(i + 1)
                                   .arg(entries.size())
                                   .arg(columns));
            qint64 x = ++row;
            if (numbered)
                entries.removeFirst();
            if (file.timed) {
                const QDateTime t = QDateTime::fromString(QString::fromLatin1(entries.takeFirst()),
                                                          Qt::ISODateWithMs);
                if (!t.isValid())
                    return failure(
                        QStringLiteral("Line %1 does not begin with an ISO-8601 time.").arg(i + 1));
                x = t.toMSecsSinceEpoch();
            }
            numbers = numbers || anyNumber(entries);
            history->append(x, entries);
        }
    }
    if (!numbers)
        return failure(QStringLiteral("It holds no measured value."));
    file.history = std::move(history);
    return file;
}
