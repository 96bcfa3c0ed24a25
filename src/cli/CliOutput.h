#pragma once

#include <QDateTime>
#include <QString>

class MeasLists;

// What pqlink-cli prints, as pure functions of what was received.
namespace CliOutput {

// ISO-8601 with the local offset: "2026-12-07T01:23:45+01:00".
QString isoTime(const QDateTime& time);
// "time,<item names>" of the first n items.
QString csvHeader(const MeasLists& lists, int n);
// "<time>,<values>" of the first n items.
QString csvRow(const QString& time, const MeasLists& lists, int n);
// {"time":"...","<name>":"<value>",...} in item order.
QString jsonRow(const QString& time, const MeasLists& lists, int n);
// The NAME=VALUE lines as one JSON object, in line order.
QString settingsJson(const QString& nameValueLines);
// A JSON string literal.
QString jsonString(const QString& text);
// "COM1<TAB>/dev/ttyS0<TAB>present" ("-" and "missing" when there is no device).
QString portLine(int n, const QString& device, bool exists);
// The command-line form of an instrument reply or message: CR LF and other line breaks as
// blanks, so it fits on one line, then printable (Printable).
QString oneLine(const QString& text);

} // namespace CliOutput
