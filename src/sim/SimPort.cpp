#include "SimPort.h"

#include "SimInstrument.h"

#include <algorithm>

SimPort::SimPort(SimInstrument& instrument, QObject* parent)
    : CommPort(parent), m_instrument(instrument)
{
    m_clock.start();
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &SimPort::deliver);
}

bool SimPort::open(QString* error)
{
    if (!m_openError.isEmpty()) {
        if (error)
            *error = m_openError;
        return false;
    }
    m_open = true;
    ++m_openCount;
    m_inbox.clear();
    return true;
}

void SimPort::close()
{
    if (!m_open)
        return;
    m_open = false;
    m_inbox.clear();
    m_queue.clear();
    m_timer.stop();
    m_instrument.hangup();
}

QString SimPort::deviceName(int n) const
{
    return QStringLiteral("sim:COM%1").arg(n);
}

void SimPort::write(const QByteArray& bytes)
{
    if (!m_open)
        return;
    m_written.append(bytes);
    for (const SimOutput& out : m_instrument.receive(bytes))
        schedule(out.delayMs, out.bytes);
}

void SimPort::inject(const QByteArray& bytes, int delayMs)
{
    schedule(delayMs, bytes);
}

QByteArray SimPort::read(qint64 maxBytes)
{
    const qsizetype n = qsizetype(std::min<qint64>(maxBytes, m_inbox.size()));
    QByteArray out = m_inbox.left(n);
    m_inbox.remove(0, n);
    return out;
}

void SimPort::schedule(int delayMs, const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return;
    qint64 due = m_clock.elapsed() + delayMs;
    if (!m_queue.empty())
        due = std::max(due, m_queue.back().dueMs); // never overtake an earlier reply
    m_queue.push_back({due, bytes});
    arm();
}

void SimPort::arm()
{
    if (m_queue.empty() || m_timer.isActive())
        return;
    m_timer.start(int(std::max<qint64>(0, m_queue.front().dueMs - m_clock.elapsed())));
}

void SimPort::deliver()
{
    if (m_queue.empty() || !m_open) {
        m_queue.clear();
        return;
    }
    Pending& front = m_queue.front();
    const qsizetype n =
        m_pieceSize > 0 ? std::min<qsizetype>(m_pieceSize, front.bytes.size()) : front.bytes.size();
    m_inbox.append(front.bytes.left(n));
    front.bytes.remove(0, n);
    if (front.bytes.isEmpty())
        m_queue.pop_front();
    arm();
    emit received();
}
