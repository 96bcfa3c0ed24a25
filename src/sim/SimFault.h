#pragma once

#include <QByteArray>
#include <QString>

// A fault injected into one reply: the n-th answer to one command word ("*" for any).
struct SimFault
{
    enum class Kind
    {
        Drop,     // no reply at all
        Delay,    // the reply comes arg milliseconds late
        Truncate, // the reply loses its second half (at least its last byte)
        Lengthen, // arg extra bytes (default 5) follow the reply
        Garble,   // bytes in the middle of the reply are changed
        Hangup,   // the line drops: a modem reports NO CARRIER, a direct line goes silent
        Refuse    // the reply is "EXECUTE ERROR", as to a command that cannot be done now
    };

    Kind kind = Kind::Drop;
    QByteArray word = "*";
    int occurrence = 1;
    int arg = 0;

    // "KIND,WORD,N[,ARG]", e.g. "truncate,:CARD:PICK?,3" or "delay,*,2,6000".
    static bool parse(const QString& text, SimFault* fault, QString* error);
    // Applies the fault to a reply; returns the bytes to send (and adds to *delayMs).
    QByteArray apply(const QByteArray& reply, int* delayMs) const;
};
