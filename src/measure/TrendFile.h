#pragma once

#include "TrendHistory.h"

#include <QByteArray>
#include <QString>

#include <memory>

// A measurement file read for the trend window: the log the measurement window writes
// (lines of names and lines of values, each entry followed by ","; x is the row number) or
// the CSV of `pqlink-cli measure` ("time,<names>", then rows starting with an ISO-8601 local
// time; x is milliseconds since the epoch). A CSV without the time column, or with a "row"
// column in its place (the trend window's saved untimed data), reads with row numbers.
struct TrendFile
{
    std::unique_ptr<TrendHistory> history; // null when the text is no such file
    bool timed = false;
    QString error; // why not, for the user
};

TrendFile ReadTrendFile(const QByteArray& content);
