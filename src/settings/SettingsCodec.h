#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include "ModSet.h"

#include <optional>

// Settings codes to the texts of the setting commands, and query replies back to codes.

// ":INTE" argument of an interval code: 0 "ALL", 1 "0.1S" .. 16 "60M"; empty for any other.
QString IntvlText(qint32 code);
// ":SENS" argument of a sensor code: "CLA", "CLB", "FLX-500", "FLX-5K", "CLC", "CLD";
// empty for any other. The instrument answers "FLX-5k" but is told "FLX-5K".
QString SensText(qint32 code);
// ":CURR:RANG" argument of a range code, in amperes: "0.5" .. "1000", "5000"; empty for any
// other.
QString IRangeText(qint32 code);
// The whole ":DATA:ITEM" command with the nine item words of the record.
QString DataItemText(const ModSet& set);

// The first n comma-separated fields of a reply line, after dropping its CR LF. Fields are
// not trimmed; missing ones are empty, text after the n-th is ignored. A reply shorter than
// its CR LF gives n empty fields.
QList<QByteArray> SplitFields(const QByteArray& reply, int n);
// Range code of a field compared as a number with 0.5, 1, 5 .. 5000; 0 for any other.
qint32 IRangeIndex(const QByteArray& field);
// Sensor code of a field compared exactly with the instrument's words; 0 for any other.
qint32 SensIndex(const QByteArray& field);

// Code of a reply line that equals one of the words followed by CR LF (exact, case
// sensitive); nothing when none matches.
template <class Words> std::optional<qint32> WordIndex(const QByteArray& reply, const Words& words)
{
    for (qsizetype i = 0; i < qsizetype(words.size()); ++i) {
        if (reply == QByteArray(words[i]) + "\r\n")
            return qint32(i);
    }
    return std::nullopt;
}
