#include "ReplyFits.h"

#include <QList>

namespace {

enum class Shape
{
    Any,     // not examined
    Word,    // one word (no comma)
    Text,    // a name
    Numbers, // count numbers separated by commas
    Words    // count words separated by commas
};

struct Form
{
    Shape shape;
    int count = 1;
};

Form formOf(const QByteArray& query)
{
    static const struct
    {
        const char* query;
        Form form;
    } forms[] = {{":HEAD OFF", {Shape::Any}},
                 {":AVE?", {Shape::Numbers}},
                 {":VT?", {Shape::Numbers}},
                 {":CURR:RANG?", {Shape::Numbers, 4}},
                 {":CT?", {Shape::Numbers, 4}},
                 {":SENS?", {Shape::Words, 4}},
                 {":START:TIME?", {Shape::Numbers, 5}},
                 {":STOP:TIME?", {Shape::Numbers, 5}},
                 {":TIMER?", {Shape::Numbers, 3}},
                 {"FILE:MEAS?", {Shape::Text}},
                 {":DATA:ITEM?", {Shape::Numbers, 9}},
                 {":ID?", {Shape::Numbers}}};
    for (const auto& f : forms) {
        if (query == f.query)
            return f.form;
    }
    return {Shape::Word};
}

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
    const Form form = formOf(query);
    if (form.shape == Shape::Any)
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
    switch (form.shape) {
    case Shape::Any:
        return true;
    case Shape::Text:
        return fields.size() == 1;
    case Shape::Word:
    case Shape::Words:
        if (fields.size() != form.count)
            return false;
        for (const QByteArray& f : fields) {
            if (f.isEmpty())
                return false;
        }
        return true;
    case Shape::Numbers:
        if (fields.size() != form.count)
            return false;
        for (const QByteArray& f : fields) {
            if (!isNumber(f))
                return false;
        }
        return true;
    }
    return false;
}
