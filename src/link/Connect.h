#pragma once

#include "Job.h"
#include "Task.h"

#include <QByteArray>

// What the connection test or the dial ended with.
struct ConnectResult
{
    bool connected = false;
    QByteArray lastReply; // what the instrument or the modem sent last
};

// The connection test over a direct cable: "aaa", answered within a second.
Task<ConnectResult> ConnectDirect(Job& job);

// Dials through a modem: the initialisation string, a fixed pause, then "ATD" and the number.
// Connected when the modem reported CONNECT; the link is then back in line mode.
Task<ConnectResult> ConnectModem(Job& job, QByteArray init, QByteArray number);

// The modem's pause between its "OK" and the dial.
inline constexpr int ModemPauseMs = 1000;
