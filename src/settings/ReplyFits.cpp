#include "ReplyFits.h"

#include "SettingsTable.h"

#include <QList>

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The whole text is one decimal number as the number reader takes it (blanks and tabs
// anywhere, optional sign, "." as the point, optional exponent).
bool isNumber(const QByteArray& text)
{
    QByteArray s = text;
    s.replace(' ', QByteArray()).replace('\t', QByteArray());
    qsizetype i = 0;
    const auto digitsAt = [&] {
        const qsizetype from = i;
        while (i < s.size() && isDigit(s[i]))
            ++i;
        return i - from;
    };
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        ++i;
    qsizetype digits = digitsAt();
    if (i < s.size() && s[i] == '.') {
        ++i;
        digits += digitsAt();
    }
    if (digits == 0)
        return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-'))
            ++i;
        if (digitsAt() == 0)
            return false;
    }
    return i == s.size();
}

} // namespace

bool ReplyFits(const QByteArray& query, const QByteArray& reply)
{
    using SettingsTable::Reply;
    const SettingsTable::Row* row = SettingsTable::rowOf(query);
    const Reply shape = row ? row->reply : Reply::Word;
    if (shape == Reply::Any)
        return true;
    if (!reply.endsWith("\r\n"))
        return false;
    const QByteArray line = reply.left(reply.size() - 2);
    if (line.contains('\r') || line.contains('\n'))
        return false; // two lines: the first answered something else
    // The next command discards whatever of a late line has arrived, so an acknowledgement
    // may come with its start missing.
    if (!line.isEmpty() && QByteArrayView("ALL RIGHT").endsWith(line))
        return false;
    if (line.contains(" ERROR") || line == "ERROR")
        return false;
    const QList<QByteArray> fields = line.split(',');
    if (shape == Reply::Text)
        return fields.size() == 1;
    if (fields.size() != (row ? row->fields() : 1))
        return false;
    const bool numbers = shape == Reply::Numbers || shape == Reply::Items;
    for (const QByteArray& f : fields) {
        if (numbers ? !isNumber(f) : f.isEmpty())
            return false;
    }
    return true;
}
