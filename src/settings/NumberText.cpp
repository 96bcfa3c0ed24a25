#include "NumberText.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The longest leading decimal number of text with blanks, tabs and line feeds removed.
double readAscii(const QByteArray& raw)
{
    QByteArray s;
    s.reserve(raw.size());
    for (char c : raw) {
        if (c != ' ' && c != '\t' && c != '\n')
            s.append(c);
    }
    const char* p = s.constData();
    const qsizetype n = s.size();
    qsizetype i = 0;
    bool negative = false;
    if (i < n && (p[i] == '+' || p[i] == '-'))
        negative = p[i++] == '-';
    const qsizetype mantissaStart = i;
    qsizetype digits = 0;
    while (i < n && isDigit(p[i])) {
        ++i;
        ++digits;
    }
    if (i < n && p[i] == '.') {
        ++i;
        while (i < n && isDigit(p[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return 0;
    qsizetype end = i;
    // An exponent counts only when at least one digit follows its letter and sign.
    if (i < n && (p[i] == 'e' || p[i] == 'E')) {
        qsizetype j = i + 1;
        if (j < n && (p[j] == '+' || p[j] == '-'))
            ++j;
        if (j < n && isDigit(p[j])) {
            while (j < n && isDigit(p[j]))
                ++j;
            end = j;
        }
    }
    // from_chars does not depend on the C locale, unlike strtod.
    double value = 0;
    const auto [ptr, ec] = std::from_chars(p + mantissaStart, p + end, value);
    if (ec == std::errc::result_out_of_range) {
        // Overflow or underflow: tell them apart by the decimal magnitude.
        const QByteArray mant = s.mid(mantissaStart, end - mantissaStart);
        const qsizetype ePos = std::max(mant.indexOf('e'), mant.indexOf('E'));
        const QByteArray digitsPart = ePos < 0 ? mant : mant.left(ePos);
        const long long exp = ePos < 0 ? 0 : std::strtoll(mant.constData() + ePos + 1, nullptr, 10);
        const qsizetype point = digitsPart.indexOf('.');
        const QByteArray intPart = point < 0 ? digitsPart : digitsPart.left(point);
        qsizetype firstNonZero = 0;
        while (firstNonZero < intPart.size() && intPart[firstNonZero] == '0')
            ++firstNonZero;
        // strtoll saturates a huge exponent at the 64-bit limit; adding the digit count to
        // it would overflow, so compare against its negation instead.
        const bool large = exp > -(intPart.size() - firstNonZero);
        value = large ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (ec != std::errc() || ptr != p + end) {
        return 0;
    }
    return negative ? -value : value;
}

// Up to 15 significant digits of a finite value, without exponent for ordinary magnitudes,
// without trailing zeros; leadingZero decides between ".5" and "0.5".
QString decimalText(double value, bool leadingZero)
{
    // The reader never yields NaN or infinity for a stored setting; write them as 0 rather
    // than as text no instrument would take.
    if (value == 0 || !std::isfinite(value))
        return QStringLiteral("0");
    const double mag = std::fabs(value);
    if (mag >= 1e15 || mag < 1e-15) {
        // Beyond ordinary magnitudes an exponent keeps the text short and readable.
        QString e = QString::number(value, 'E', 14);
        const qsizetype ePos = e.indexOf(QLatin1Char('E'));
        QString mantissa = e.left(ePos);
        if (mantissa.contains(QLatin1Char('.'))) {
            while (mantissa.endsWith(QLatin1Char('0')))
                mantissa.chop(1);
            if (mantissa.endsWith(QLatin1Char('.')))
                mantissa.chop(1);
        }
        return mantissa + e.mid(ePos);
    }
    // Round to 15 significant digits first, then write the digits out in full.
    const QByteArray sci = QByteArray::number(mag, 'e', 14); // d.dddddddddddddde+XX
    const qsizetype ePos = sci.indexOf('e');
    QByteArray digits = sci.left(ePos);
    digits.remove(1, 1); // the point
    int exp = sci.mid(ePos + 1).toInt();
    while (digits.size() > 1 && digits.endsWith('0'))
        digits.chop(1);
    QByteArray out;
    if (exp >= 0) {
        if (digits.size() <= exp + 1) {
            out = digits + QByteArray(exp + 1 - digits.size(), '0');
        } else {
            out = digits.left(exp + 1) + '.' + digits.mid(exp + 1);
        }
    } else {
        out = (leadingZero ? "0." : ".") + QByteArray(-exp - 1, '0') + digits;
    }
    if (value < 0)
        out.prepend('-');
    return QString::fromLatin1(out);
}

} // namespace

double ReadNumber(const QByteArray& text)
{
    return readAscii(text);
}

double ReadNumber(const QString& text)
{
    // Characters outside Latin-1 cannot be part of a number; '?' stops the reader there too.
    return readAscii(text.toLatin1());
}

std::optional<double> RealValue(const QByteArray& text)
{
    const double v = ReadNumber(text);
    if (!std::isfinite(v))
        return std::nullopt;
    return v;
}

std::optional<double> RealValue(const QString& text)
{
    return RealValue(text.toLatin1());
}

std::optional<qint32> IntegerValue(const QByteArray& text)
{
    const double v = ReadNumber(text);
    if (!std::isfinite(v))
        return std::nullopt;
    // nearbyint rounds halves to even in the default rounding mode.
    const double r = std::nearbyint(v);
    if (r < double(std::numeric_limits<qint32>::min()) ||
        r > double(std::numeric_limits<qint32>::max()))
        return std::nullopt;
    return qint32(r);
}

std::optional<qint32> IntegerValue(const QString& text)
{
    return IntegerValue(text.toLatin1());
}

QString BlankForm(double value)
{
    const QString digits = decimalText(value, false);
    return digits.startsWith(QLatin1Char('-')) ? digits : QLatin1Char(' ') + digits;
}

QString PlainForm(double value)
{
    return decimalText(value, true);
}
