#include "CliOutput.h"

#include "MeasLists.h"
#include "Printable.h"

namespace CliOutput {

namespace {

QString item(const QByteArray& text)
{
    return Printable(text.trimmed());
}

} // namespace

QString isoTime(const QDateTime& time)
{
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODate);
}

QString csvHeader(const MeasLists& lists, int n)
{
    QString line = QStringLiteral("time");
    for (int i = 0; i < n; ++i)
        line += QLatin1Char(',') + item(lists.MeasHeader(i));
    return line;
}

QString csvRow(const QString& time, const MeasLists& lists, int n)
{
    QString line = time;
    for (int i = 0; i < n; ++i)
        line += QLatin1Char(',') + item(lists.MeasData(i));
    return line;
}

QString jsonString(const QString& text)
{
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
            out += QLatin1Char('\\') + c;
        else if (c.unicode() < 0x20)
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out + QLatin1Char('"');
}

QString jsonRow(const QString& time, const MeasLists& lists, int n)
{
    QString line = QStringLiteral("{\"time\":") + jsonString(time);
    for (int i = 0; i < n; ++i)
        line += QLatin1Char(',') + jsonString(item(lists.MeasHeader(i))) + QLatin1Char(':') +
                jsonString(item(lists.MeasData(i)));
    return line + QLatin1Char('}');
}

QString settingsJson(const QString& nameValueLines)
{
    QStringList members;
    for (const QString& line : nameValueLines.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        members << jsonString(line.left(eq)) + QLatin1Char(':') + jsonString(line.mid(eq + 1));
    }
    return QLatin1Char('{') + members.join(QLatin1Char(',')) + QLatin1Char('}');
}

QString portLine(int n, const QString& device, bool exists)
{
    return QStringLiteral("COM%1\t%2\t%3")
        .arg(n)
        .arg(device.isEmpty() ? QStringLiteral("-") : device,
             exists ? QStringLiteral("present") : QStringLiteral("missing"));
}

QString oneLine(const QString& text)
{
    QString out = text.trimmed();
    out.replace(QLatin1String("\r\n"), QLatin1String(" "));
    out.replace(QLatin1Char('\r'), QLatin1Char(' '));
    out.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return Printable(out.toUtf8());
}

} // namespace CliOutput
