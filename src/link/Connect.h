#pragma once

#include <QByteArray>

#include <QtGlobal>

class Link;

// The connection test over a direct cable: 0 when the instrument answered.
qint32 ConnectDirect(Link& link);

// Dials through a modem: the initialisation string, a fixed pause, then "ATD" and the number.
// 0 when the modem reported CONNECT; the link is then back in line mode.
qint32 ConnectModem(Link& link, const QByteArray& init, const QByteArray& number);
