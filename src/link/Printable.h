#pragma once

#include <QByteArrayView>
#include <QString>

// Text from outside the program (an instrument's reply, a line of a user's file, a stored
// file's name) as it may be printed on a terminal: control characters (C0, DEL, C1) and
// bytes that are no UTF-8 become "\xNN", everything else stays as it is. With maxChars >= 0 a
// longer text is cut after maxChars characters and its length said: "ab… (1000007 characters)".
QString Printable(QByteArrayView utf8, qsizetype maxChars = -1);
