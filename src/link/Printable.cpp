#include "Printable.h"

namespace {

// The length of the well-formed UTF-8 sequence at s[i], 0 when there is none.
qsizetype sequenceLength(QByteArrayView s, qsizetype i)
{
    const auto b = uchar(s[i]);
    if (b < 0x80)
        return 1;
    qsizetype n = 0;
    uchar low = 0x80, high = 0xBF; // the second byte's range: no overlong form, no surrogate
    if (b >= 0xC2 && b <= 0xDF) {
        n = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
        n = 3;
        low = b == 0xE0 ? 0xA0 : low;
        high = b == 0xED ? 0x9F : high;
    } else if (b >= 0xF0 && b <= 0xF4) {
        n = 4;
        low = b == 0xF0 ? 0x90 : low;
        high = b == 0xF4 ? 0x8F : high;
    } else {
        return 0;
    }
    if (i + n > s.size())
        return 0;
    for (qsizetype k = 1; k < n; ++k) {
        const auto c = uchar(s[i + k]);
        if (c < (k == 1 ? low : 0x80) || c > (k == 1 ? high : 0xBF))
            return 0;
    }
    return n;
}

QString hex(uchar c)
{
    return QString::asprintf("\\x%02X", c);
}

} // namespace

QString Printable(QByteArrayView utf8, qsizetype maxChars)
{
    QString out;
    qsizetype chars = 0;
    for (qsizetype i = 0; i < utf8.size(); ++chars) {
        const qsizetype length = sequenceLength(utf8, i);
        const qsizetype n = length ? length : 1;
        if (maxChars < 0 || chars < maxChars) {
            const auto b = uchar(utf8[i]);
            if (length == 0 || b < 0x20 || b == 0x7F)
                out += hex(b);
            else if (b == 0xC2 && uchar(utf8[i + 1]) < 0xA0) // C1 control U+0080..U+009F
                out += hex(uchar(utf8[i + 1]));
            else
                out += QString::fromUtf8(utf8.sliced(i, n));
        }
        i += n;
    }
    if (maxChars >= 0 && chars > maxChars)
        out += QStringLiteral("… (%1 characters)").arg(chars);
    return out;
}
