#pragma once

#include "ListenSocket.h"
#include "MetricsBoard.h"

#include <memory>

struct MHD_Daemon;

// The HTTP output: GET and HEAD of "/" (a page linking the metrics) and "/metrics" (the
// board's text), on libmicrohttpd's own thread; anything else is 404 or 405. Idle and slow
// connections time out, and connections are limited per server and per client address.
class MetricsHttp
{
public:
    static constexpr unsigned TimeoutS = 10;
    static constexpr unsigned MaxConnections = 32;
    static constexpr unsigned MaxPerAddress = 8;
    static constexpr size_t MemoryPerConnection = 16 * 1024; // a larger request is refused

    explicit MetricsHttp(std::shared_ptr<const MetricsBoard> board);
    // Stops the server's thread first: nothing it touches is gone before it.
    ~MetricsHttp();

    // Listens and serves; on failure the socket's status says why.
    ListenSocket start(const QString& address, quint16 port);
    void stop();

private:
    std::shared_ptr<const MetricsBoard> m_board;
    MHD_Daemon* m_daemon = nullptr;
};
