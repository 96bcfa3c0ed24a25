#include "RawClient.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

RawClient::RawClient(const QString& device)
{
    m_fd = ::open(device.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    if (m_fd < 0)
        return;
    termios t{};
    ::tcgetattr(m_fd, &t);
    ::cfmakeraw(&t);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    ::tcsetattr(m_fd, TCSANOW, &t);
    ::tcflush(m_fd, TCIOFLUSH);
}

RawClient::~RawClient()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool RawClient::writeAll(const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

QByteArray RawClient::exchange(const QByteArray& line)
{
    return transact(line, [](const QByteArray& r) { return r.endsWith('\n'); });
}

QByteArray RawClient::exchangeBlock(const QByteArray& line, int count)
{
    return transact(line, [count](const QByteArray& r) { return r.size() >= count; });
}

QByteArray RawClient::transact(const QByteArray& line,
                               const std::function<bool(const QByteArray&)>& complete)
{
    QByteArray reply;
    if (!writeAll(line + "\r\n"))
        return reply;
    char buf[4096];
    while (!complete(reply)) {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0)
            break;
        const ssize_t n = ::read(m_fd, buf, sizeof buf);
        if (n <= 0)
            break;
        reply.append(buf, n);
    }
    return reply;
}
