#pragma once

#include <QString>

// The listening socket of the HTTP output, opened here so that the reason of a failure is
// known (an address in use ends serve with its own status). POSIX sockets only.
struct ListenSocket
{
    enum class Status
    {
        Open,
        InUse,      // another program listens there
        BadAddress, // no such address here, or not allowed
    };
    Status status = Status::BadAddress;
    int fd = -1;
    quint16 port = 0; // the port bound (the one chosen for port 0)
    bool ipv6 = false;
    QString error;
};

ListenSocket OpenListenSocket(const QString& address, quint16 port);
void CloseListenSocket(int fd);
