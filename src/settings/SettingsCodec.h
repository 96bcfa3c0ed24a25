#pragma once

#include <QByteArray>
#include <QList>

#include <optional>

// Query replies split into their fields, and a reply's word found in a list.

// The first n comma-separated fields of a reply line, after dropping its CR LF. Fields are
// not trimmed; missing ones are empty, text after the n-th is ignored. A reply shorter than
// its CR LF gives n empty fields.
QList<QByteArray> SplitFields(const QByteArray& reply, int n);

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
