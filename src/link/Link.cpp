#include "Link.h"

#include "CommPort.h"

#include <QPointer>

#include <algorithm>

Link::Link(CommPort& port, QObject* parent) : QObject(parent), m_port(port)
{
    m_timerCom.setTimerType(Qt::PreciseTimer);
    m_timerCom.setSingleShot(true);
    connect(&m_port, &CommPort::received, this, &Link::OnComm);
    connect(&m_timerCom, &QTimer::timeout, this, &Link::TimerComTick);
    m_grace.setSingleShot(true);
    m_grace.setInterval(LateLineGraceMs);
    connect(&m_grace, &QTimer::timeout, this, &Link::GraceTick);
    reset();
}

Link::~Link() = default;

void Link::reset()
{
    m_send = QByteArrayLiteral("mi soushin");
    m_recv = QByteArrayLiteral("de-ta nashi");
}

void Link::shutdown()
{
    m_shutdown = true;
    cancelWait();
}

void Link::cancelWait()
{
    m_grace.stop();
    if (m_pending)
        complete(Result::Timeout, m_mode == Mode::Block ? blockBuf() : m_recv, Delivery::Later);
}

bool Link::busyFor(const Job* job) const
{
    return (m_holder != nullptr && m_holder != job) || (m_pending && m_holder != job);
}

void Link::hold(Job* job)
{
    m_holder = job;
    setBusy(true);
}

void Link::release(Job* job)
{
    if (m_holder != job)
        return;
    m_holder = nullptr;
    if (!m_pending)
        setBusy(false);
}

void Link::setBusy(bool busy)
{
    if (busy == m_busySignalled)
        return;
    m_busySignalled = busy;
    emit controlsBusy(busy);
}

void Link::abandon()
{
    m_handler = {};
}

void Link::start(const QByteArray& command, int timeoutMs, Mode mode, ReplyHandler handler)
{
    begin(command + QByteArrayLiteral("\r\n"), timeoutMs, mode, std::move(handler));
}

void Link::startBlock(const QByteArray& fileName, qint32 start, qint32 end, Medium medium,
                      ReplyHandler handler)
{
    m_blockCount = qint32(std::min<qint64>(qint64(end) - qint64(start) + 3, INT32_MAX));
    m_blockLen = 0;
    const QByteArray request = (medium == Medium::Card ? QByteArrayLiteral(":CARD:PICK? ")
                                                       : QByteArrayLiteral(":MEM:PICK? ")) +
                               fileName + ", " + QByteArray::number(start) + ", " +
                               QByteArray::number(end) + "\r\n";
    begin(request, BlockTimeoutMs, Mode::Block, std::move(handler));
}

QByteArray Link::invalidRangeReply()
{
    // "ERROR" as two bytes per character, low byte first.
    QByteArray error;
    for (char c : QByteArrayLiteral("ERROR")) {
        error.append(c);
        error.append('\0');
    }
    return error;
}

void Link::begin(const QByteArray& line, int timeoutMs, Mode mode, ReplyHandler handler)
{
    ++m_serial;
    m_timerCom.stop();
    m_grace.stop();
    m_mode = mode;
    m_handler = std::move(handler);
    m_pending = true;
    setBusy(true);
    m_timerCom.setInterval(timeoutMs);
    m_recv.clear();
    m_port.discardInput();
    // A block request is no command line: the messages that quote the last one keep it.
    if (mode != Mode::Block)
        m_send = line;
    m_port.write(line);
    emit written(line, timeoutMs);
    if (!m_pending)
        return; // the port was closed by a handler of written
    if (m_shutdown) {
        complete(Result::Timeout, m_mode == Mode::Block ? blockBuf() : m_recv, Delivery::Later);
        return;
    }
    m_timerCom.start();
}

void Link::complete(Result result, const QByteArray& reply, Delivery delivery)
{
    m_timerCom.stop();
    m_grace.stop();
    m_pending = false;
    if (result == Result::Timeout)
        m_lateLineLikely = true;
    if (!m_holder)
        setBusy(false); // the job that wrote the command was cancelled
    if (delivery == Delivery::Now) {
        // From the event loop's own notification: the job may go on at once and write its
        // next command; it runs no loop, so the port's handler stays short.
        deliver(m_serial, {result, reply});
        return;
    }
    // Called by a front end (a disconnect): the job goes on once that handler has returned.
    QMetaObject::invokeMethod(
        this, [this, serial = m_serial, reply = Reply{result, reply}] { deliver(serial, reply); },
        Qt::QueuedConnection);
}

void Link::deliver(quint64 serial, const Reply& reply)
{
    if (serial != m_serial || !m_handler)
        return;
    ReplyHandler handler = std::exchange(m_handler, {});
    handler(reply);
}

void Link::OnComm()
{
    if (!m_pending) {
        // Nobody waits: a late reply stays in the port's input until the next command
        // discards it.
        return;
    }
    switch (m_mode) {
    case Mode::Line:
    case Mode::ModemAck:
    case Mode::ModemDial: {
        const qint64 n = m_port.bytesWaiting();
        if (n < 1)
            return;
        QByteArray in = m_port.read(n);
        if (m_recv.size() + in.size() > MaxReplySize)
            in.truncate(std::max<qsizetype>(0, MaxReplySize - m_recv.size()));
        m_recv.append(in);
        bool done = false;
        if (m_mode == Mode::Line)
            done = !m_recv.isEmpty() && m_recv.back() == '\n';
        else if (m_mode == Mode::ModemAck)
            done = m_recv.contains("OK");
        else
            done = m_recv.contains("CONNECT") || m_recv.contains("NO ");
        if (m_mode == Mode::Line && m_lateLineLikely) {
            // After a time-out, a line followed closely by another (before the next command
            // is written) answered the earlier command: only the last line is the reply.
            m_grace.stop();
            if (done) {
                // (from -1 would search from the end again)
                const qsizetype end =
                    m_recv.size() >= 2 ? m_recv.lastIndexOf('\n', m_recv.size() - 2) : -1;
                if (end >= 0)
                    m_recv.remove(0, end + 1);
                m_grace.start();
            }
            return;
        }
        if (done)
            complete(Result::Complete, m_recv);
        return;
    }
    case Mode::Block: {
        const qint64 n = m_port.bytesWaiting();
        if (n < 1)
            return;
        const QByteArray in = m_port.read(n);
        // Bytes past the buffer (an over-long reply, late bytes) are dropped, but still
        // counted, so an over-long reply never equals the expected count.
        const qint64 room = std::max<qint64>(0, BlockBufSize - qint64(m_blockLen));
        const qint64 take = std::min<qint64>(room, in.size());
        if (take > 0)
            std::copy_n(in.constData(), take, m_blockBuf.begin() + m_blockLen);
        m_blockLen = qint32(std::min<qint64>(qint64(m_blockLen) + in.size(), INT32_MAX));
        if (m_blockLen == m_blockCount)
            complete(Result::Complete, blockBuf());
        return;
    }
    }
}

QByteArray Link::blockBuf() const
{
    return QByteArray(reinterpret_cast<const char*>(m_blockBuf.data()), BlockBufSize);
}

void Link::TimerComTick()
{
    // A line was complete and only waiting out its grace: it is the reply.
    if (m_grace.isActive()) {
        GraceTick();
        return;
    }
    complete(Result::Timeout, m_mode == Mode::Block ? blockBuf() : m_recv);
}

void Link::GraceTick()
{
    m_grace.stop();
    m_lateLineLikely = false;
    complete(Result::Complete, m_recv);
}
