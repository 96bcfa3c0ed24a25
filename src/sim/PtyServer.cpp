#include "PtyServer.h"

#include "SimInstrument.h"

#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

PtyServer::PtyServer(SimInstrument& instrument, QObject* parent)
    : QObject(parent), m_instrument(instrument)
{
    m_clock.start();
    m_reopenPoll.setInterval(5);
    connect(&m_reopenPoll, &QTimer::timeout, this, &PtyServer::pollReopen);
    m_sendTimer.setSingleShot(true);
    m_sendTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_sendTimer, &QTimer::timeout, this, &PtyServer::pump);
}

PtyServer::~PtyServer()
{
    if (m_master >= 0)
        ::close(m_master);
}

bool PtyServer::start(QString* error)
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        *error = QStringLiteral("cannot open a pseudo-terminal: %1")
                     .arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    m_slavePath = QString::fromLocal8Bit(::ptsname(m_master));
    // Raw and without echo, so that binary blocks pass unchanged and nothing comes back.
    const int slave = ::open(::ptsname(m_master), O_RDWR | O_NOCTTY);
    if (slave >= 0) {
        termios t{};
        if (::tcgetattr(slave, &t) == 0) {
            ::cfmakeraw(&t);
            ::tcsetattr(slave, TCSANOW, &t);
        }
        ::close(slave);
    }
    m_readNotifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &PtyServer::onReadable);
    m_writeNotifier = new QSocketNotifier(m_master, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &PtyServer::pump);
    // Until a client opens the port, reading the master fails; poll for the first open.
    m_readNotifier->setEnabled(false);
    m_reopenPoll.start();
    return true;
}

qint64 PtyServer::byteNs() const
{
    const int baud = m_instrument.config().baud;
    return baud > 0 ? qint64(10) * 1000000000 / baud : 0;
}

void PtyServer::onReadable()
{
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n > 0) {
            m_clientOpen = true;
            const qint64 now = m_clock.nsecsElapsed();
            // A paced line delivers the bytes one by one: the last arrives n bytes later.
            m_readFreeNs = std::max(now, m_readFreeNs) + n * byteNs();
            if (m_log.isOpen())
                logReceived(QByteArray(buf, int(n)));
            for (const SimOutput& out : m_instrument.receive(QByteArray(buf, int(n))))
                schedule(m_readFreeNs + qint64(out.delayMs) * 1000000, out.bytes);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        // EIO: the client closed the port.
        clientClosed();
        return;
    }
}

void PtyServer::clientClosed()
{
    if (m_clientOpen)
        m_instrument.hangup();
    m_clientOpen = false;
    m_queue.clear();
    m_sendTimer.stop();
    m_readNotifier->setEnabled(false);
    m_writeNotifier->setEnabled(false);
    m_reopenPoll.start();
}

void PtyServer::pollReopen()
{
    // A client has the port open when reading no longer fails with EIO.
    char c;
    const ssize_t n = ::read(m_master, &c, 0);
    if (n < 0 && errno == EIO)
        return;
    pollfd p{m_master, POLLIN, 0};
    ::poll(&p, 1, 0);
    if (p.revents & POLLHUP)
        return;
    m_reopenPoll.stop();
    m_clientOpen = true;
    m_readNotifier->setEnabled(true);
    onReadable();
}

void PtyServer::schedule(qint64 dueNs, const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return;
    if (!m_queue.empty())
        dueNs = std::max(dueNs, m_queue.back().dueNs);
    m_queue.push_back({dueNs, bytes});
    pump();
}

void PtyServer::pump()
{
    m_writeNotifier->setEnabled(false);
    const qint64 perByte = byteNs();
    while (!m_queue.empty()) {
        Pending& front = m_queue.front();
        const qint64 now = m_clock.nsecsElapsed();
        // The reply starts when it is due and the line has carried everything before it.
        const qint64 start = std::max(front.dueNs, m_sendFreeNs);
        if (start > now) {
            m_sendTimer.start(int((start - now + 999999) / 1000000));
            return;
        }
        qsizetype n = front.bytes.size();
        if (perByte > 0)
            n = qsizetype(std::min<qint64>(n, (now - start) / perByte + 1));
        const ssize_t w = ::write(m_master, front.bytes.constData(), size_t(n));
        if (w < 0) {
            if (errno == EAGAIN || errno == EINTR) {
                m_writeNotifier->setEnabled(true);
                return;
            }
            clientClosed();
            return;
        }
        front.bytes.remove(0, w);
        m_sendFreeNs = start + w * perByte;
        if (front.bytes.isEmpty())
            m_queue.pop_front();
        else if (w < n) {
            m_writeNotifier->setEnabled(true); // the pty buffer is full
            return;
        }
    }
}

bool PtyServer::setLog(const QString& path, QString* error)
{
    m_log.setFileName(path);
    if (!m_log.open(QIODevice::WriteOnly | QIODevice::Append)) {
        if (error)
            *error = QStringLiteral("cannot open the log %1: %2").arg(path, m_log.errorString());
        return false;
    }
    return true;
}

void PtyServer::logReceived(const QByteArray& bytes)
{
    m_logLine += bytes;
    qsizetype end;
    while ((end = m_logLine.indexOf('\n')) >= 0) {
        QByteArray line = m_logLine.left(end);
        if (line.endsWith('\r'))
            line.chop(1);
        m_log.write(line + '\n');
        m_logLine.remove(0, end + 1);
    }
    // A line that never ends must not grow without bound, as in the instrument itself.
    if (m_logLine.size() > 64 * 1024)
        m_logLine.clear();
    // Flushed at once: a reader may look while the simulator still runs.
    m_log.flush();
}
