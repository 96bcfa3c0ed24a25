#include "MetricsHttp.h"

#include <microhttpd.h>

#include <cstring>

namespace {

const char kIndex[] = "<html><head><title>pqlink</title></head><body><h1>pqlink</h1>"
                      "<p><a href=\"/metrics\">Metrics</a></p></body></html>\n";

MHD_Result reply(MHD_Connection* connection, unsigned status, const QByteArray& body,
                 const char* type)
{
    MHD_Response* response = MHD_create_response_from_buffer(
        size_t(body.size()), const_cast<char*>(body.constData()), MHD_RESPMEM_MUST_COPY);
    if (!response)
        return MHD_NO;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, type);
    if (status == MHD_HTTP_METHOD_NOT_ALLOWED)
        MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, "GET, HEAD");
    const MHD_Result result = MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
    return result;
}

MHD_Result onRequest(void* cls, MHD_Connection* connection, const char* url, const char* method,
                     const char*, const char*, size_t* uploadSize, void** state)
{
    const auto* board = static_cast<const MetricsBoard*>(cls);
    const bool get = std::strcmp(method, MHD_HTTP_METHOD_GET) == 0;
    const bool head = std::strcmp(method, MHD_HTTP_METHOD_HEAD) == 0;
    const char* plain = "text/plain; charset=utf-8";
    if (!get && !head)
        return reply(connection, MHD_HTTP_METHOD_NOT_ALLOWED, "Only GET and HEAD.\n", plain);
    // The first call has only the headers; a GET that brings a body is refused.
    static int seen;
    if (*state == nullptr) {
        *state = &seen;
        return MHD_YES;
    }
    if (*uploadSize != 0) {
        *uploadSize = 0;
        return reply(connection, MHD_HTTP_BAD_REQUEST, "A GET has no body.\n", plain);
    }
    if (std::strcmp(url, "/metrics") == 0)
        return reply(connection, MHD_HTTP_OK, board->current(),
                     "text/plain; version=0.0.4; charset=utf-8");
    if (std::strcmp(url, "/") == 0)
        return reply(connection, MHD_HTTP_OK, QByteArray(kIndex), "text/html; charset=utf-8");
    return reply(connection, MHD_HTTP_NOT_FOUND, "Not found: try /metrics.\n", plain);
}

} // namespace

MetricsHttp::MetricsHttp(std::shared_ptr<const MetricsBoard> board) : m_board(std::move(board)) {}

MetricsHttp::~MetricsHttp()
{
    stop();
}

ListenSocket MetricsHttp::start(const QString& address, quint16 port)
{
    ListenSocket socket = OpenListenSocket(address, port);
    if (socket.status != ListenSocket::Status::Open)
        return socket;
    m_daemon = MHD_start_daemon(
        MHD_USE_AUTO_INTERNAL_THREAD, 0, nullptr, nullptr, &onRequest,
        const_cast<MetricsBoard*>(m_board.get()), MHD_OPTION_LISTEN_SOCKET, MHD_socket(socket.fd),
        MHD_OPTION_CONNECTION_TIMEOUT, TimeoutS, MHD_OPTION_CONNECTION_LIMIT, MaxConnections,
        MHD_OPTION_PER_IP_CONNECTION_LIMIT, MaxPerAddress, MHD_OPTION_CONNECTION_MEMORY_LIMIT,
        MemoryPerConnection, MHD_OPTION_END);
    if (!m_daemon) {
        CloseListenSocket(socket.fd);
        socket.status = ListenSocket::Status::BadAddress;
        socket.error = QStringLiteral("the HTTP server did not start");
        return socket;
    }
    // From here the server owns the socket and closes it when it stops.
    return socket;
}

void MetricsHttp::stop()
{
    if (m_daemon) {
        // Joins the server's thread and closes its socket.
        MHD_stop_daemon(m_daemon);
        m_daemon = nullptr;
    }
}
