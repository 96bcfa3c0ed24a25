#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Text to number and number to text, as the settings use them on the wire and in the
// dialog's entry fields.
//
// The reader ignores blanks, tabs and line feeds anywhere in the text and takes the longest
// leading decimal number (optional sign, "." as decimal point, optional exponent); text that
// does not begin with a number reads as 0.

// The number read; +-infinity when it is too large for a double.
double ReadNumber(const QString& text);
double ReadNumber(const QByteArray& text);

// The number read, or nothing when it is too large for a double.
std::optional<double> RealValue(const QString& text);
std::optional<double> RealValue(const QByteArray& text);

// The number read, rounded to the nearest integer with halves to the even neighbour, or
// nothing when that falls outside the 32-bit range (the caller keeps its previous value).
std::optional<qint32> IntegerValue(const QString& text);
std::optional<qint32> IntegerValue(const QByteArray& text);

// Command-argument form: one blank before a number of 0 or more ("-" before a negative one),
// no zero before the decimal point: 2 -> " 2", 0.5 -> " .5", -0.25 -> "-.25".
QString BlankForm(double value);
// The same digits without the blank and with the zero before the point: 0.5 -> "0.5".
// Used for the CT ratio on the wire and for VT and CT in the dialog.
QString PlainForm(double value);
