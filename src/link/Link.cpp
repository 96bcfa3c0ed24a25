#include "Link.h"

#include "CommPort.h"

#include <QEventLoop>

#include <algorithm>
#include <optional>

Link::Link(CommPort& port, QObject* parent) : QObject(parent), m_port(port)
{
    m_timerCom.setTimerType(Qt::PreciseTimer);
    connect(&m_port, &CommPort::received, this, &Link::OnComm);
    connect(&m_timerCom, &QTimer::timeout, this, &Link::TimerComTick);
    m_grace.setSingleShot(true);
    m_grace.setInterval(LateLineGraceMs);
    connect(&m_grace, &QTimer::timeout, this, &Link::GraceTick);
    reset();
}

Link::~Link()
{
    // A transaction cannot be waiting here: its frame would still hold a reference to us.
    Q_ASSERT(m_waitLoop == nullptr);
}

void Link::reset()
{
    m_connectStat = 0;
    m_send = QByteArrayLiteral("mi soushin");
    m_recv = QByteArrayLiteral("de-ta nashi");
    m_busy = 0;
    m_timeUp = 0;
}

void Link::shutdown()
{
    m_shutdown = true;
    cancelWait();
}

void Link::cancelWait()
{
    m_grace.stop();
    if (m_busy == -1) {
        m_timeUp = -1;
        wake();
    }
}

void Link::setBusy(qint16 busy)
{
    m_busy = busy;
    emit controlsBusy(busy);
}

Link::Reply Link::SendCommand(const QByteArray& command, int timeoutMs)
{
    if (m_busy == -1)
        return {ResultBusy, QByteArrayLiteral("BUSY")};
    m_recvMode = ModeLine;
    return transact(command, timeoutMs);
}

Link::Reply Link::SendModemCommand(const QByteArray& command, int timeoutMs)
{
    if (m_busy == -1)
        return {ResultBusy, QByteArrayLiteral("BUSY")};
    return transact(command, timeoutMs);
}

Link::Reply Link::transact(const QByteArray& command, int timeoutMs)
{
    m_timerCom.stop();
    m_grace.stop();
    setBusy(-1);
    m_timeUp = 0;
    m_timerCom.setInterval(timeoutMs);
    m_recv.clear();
    m_port.discardInput();
    m_send = command + QByteArrayLiteral("\r\n");
    m_port.write(m_send);
    emit written(m_send, timeoutMs);
    m_timerCom.start();
    if (m_shutdown)
        m_timeUp = -1;

    Completion mine;
    waitForCompletion(mine);

    m_timerCom.stop();
    m_timeUp = 0;
    if (mine.done)
        return {ResultComplete, mine.reply};
    setBusy(0);
    m_lateLineLikely = true;
    return {ResultTimeout, m_recv};
}

void Link::waitForCompletion(Completion& mine)
{
    // Sleeps in the event loop until OnComm completes the reply or TimerCom ticks. Other
    // handlers run meanwhile; a nested transaction they start is refused as busy.
    m_completion = &mine;
    while (!mine.done && m_timeUp != -1) {
        // One loop object serves transaction after transaction. A new one is needed only when
        // a finished transaction's wait is still on the stack below (it ended while a message
        // box was open above it, and a handler of that box started this one).
        std::optional<QEventLoop> nested;
        const bool shared = !m_loopInExec;
        QEventLoop& loop = shared ? m_loop : nested.emplace();
        QEventLoop* outer = std::exchange(m_waitLoop, &loop);
        if (shared)
            m_loopInExec = true;
        const int rc = loop.exec();
        if (shared)
            m_loopInExec = false;
        m_waitLoop = outer;
        // The application is quitting: every event loop returns at once from now on.
        if (rc == -1 && !mine.done)
            m_timeUp = -1;
    }
    if (m_completion == &mine)
        m_completion = nullptr;
}

void Link::complete(const QByteArray& reply)
{
    // The reply is kept for its own transaction: a later one may reuse Recv and BlockBuf
    // before this transaction's wait, further down the stack, has returned.
    if (m_completion) {
        m_completion->reply = reply;
        m_completion->done = true;
        m_completion = nullptr;
    }
    setBusy(0);
    wake();
}

void Link::wake()
{
    if (m_waitLoop)
        m_waitLoop->quit();
}

Link::Block Link::FetchBlock(const QByteArray& fileName, qint32 start, qint32 end, Medium medium)
{
    if (m_busy == -1)
        return {ResultBusy, QByteArrayLiteral("BUSY")};
    m_recvMode = ModeBlock;
    const qint64 count = qint64(end) - qint64(start) + 3;
    if (count < 3) {
        // "ERROR" as two bytes per character, low byte first.
        QByteArray error;
        for (char c : QByteArrayLiteral("ERROR")) {
            error.append(c);
            error.append('\0');
        }
        return {ResultInvalidRange, error};
    }
    m_blockCount = qint32(std::min<qint64>(count, INT32_MAX));
    m_timerCom.stop();
    m_grace.stop();
    setBusy(-1);
    m_timeUp = 0;
    m_timerCom.setInterval(5000);
    m_recv.clear();
    m_port.discardInput();
    m_blockLen = 0;
    const QByteArray request = (medium == Medium::Card ? QByteArrayLiteral(":CARD:PICK? ")
                                                       : QByteArrayLiteral(":MEM:PICK? ")) +
                               fileName + ", " + QByteArray::number(start) + ", " +
                               QByteArray::number(end) + "\r\n";
    m_port.write(request);
    emit written(request, 5000);
    m_timerCom.start();
    if (m_shutdown)
        m_timeUp = -1;

    Completion mine;
    waitForCompletion(mine);

    m_timerCom.stop();
    m_timeUp = 0;
    if (mine.done)
        return {ResultComplete, mine.reply};
    setBusy(0);
    m_lateLineLikely = true;
    return {ResultTimeout, blockBuf()};
}

void Link::OnComm()
{
    switch (m_recvMode) {
    case ModeLine:
    case ModeModemAck:
    case ModeModemDial: {
        const qint64 n = m_port.bytesWaiting();
        if (n < 1)
            return;
        QByteArray in = m_port.read(n);
        if (m_recv.size() + in.size() > MaxReplySize)
            in.truncate(std::max<qsizetype>(0, MaxReplySize - m_recv.size()));
        m_recv.append(in);
        bool done = false;
        if (m_recvMode == ModeLine)
            done = !m_recv.isEmpty() && m_recv.back() == '\n';
        else if (m_recvMode == ModeModemAck)
            done = m_recv.contains("OK");
        else
            done = m_recv.contains("CONNECT") || m_recv.contains("NO ");
        if (m_recvMode == ModeLine && m_lateLineLikely && m_busy == -1) {
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
            complete(m_recv);
        return;
    }
    case ModeBlock: {
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
            complete(blockBuf());
        return;
    }
    default:
        return;
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
    m_timeUp = -1;
    wake();
}

void Link::GraceTick()
{
    m_grace.stop();
    m_lateLineLikely = false;
    complete(m_recv);
}
