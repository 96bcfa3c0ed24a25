#include "ListenSocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

ListenSocket OpenListenSocket(const QString& address, quint16 port)
{
    ListenSocket s;
    sockaddr_storage addr{};
    socklen_t length = 0;
    const QByteArray text = address.toLatin1();
    auto* v4 = reinterpret_cast<sockaddr_in*>(&addr);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&addr);
    if (::inet_pton(AF_INET, text.constData(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        length = sizeof *v4;
    } else if (::inet_pton(AF_INET6, text.constData(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        length = sizeof *v6;
        s.ipv6 = true;
    } else {
        s.error = QStringLiteral("%1 is no IP address").arg(address);
        return s;
    }
    const int fd = ::socket(addr.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        s.error = QString::fromLocal8Bit(std::strerror(errno));
        return s;
    }
    // A restart may bind while the last run's connections linger in TIME_WAIT; it still
    // cannot share the port with another listener.
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (s.ipv6)
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), length) != 0 || ::listen(fd, 64) != 0) {
        const int e = errno;
        ::close(fd);
        s.status = e == EADDRINUSE ? ListenSocket::Status::InUse : ListenSocket::Status::BadAddress;
        s.error = QString::fromLocal8Bit(std::strerror(e));
        return s;
    }
    sockaddr_storage bound{};
    socklen_t boundLength = sizeof bound;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &boundLength);
    s.port = ntohs(s.ipv6 ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                          : reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
    s.fd = fd;
    s.status = ListenSocket::Status::Open;
    return s;
}

void CloseListenSocket(int fd)
{
    if (fd >= 0)
        ::close(fd);
}
