#include "ServeWatcher.h"

#include "Measurement.h"
#include "SettingsTable.h"

#include <QDateTime>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kFailuresBeforeReopen = 3;
constexpr int kMaxBackoffS = 60;

PollError reasonOf(const Outcome& outcome)
{
    switch (outcome.failedResult) {
    case Link::Result::Timeout:
        return PollError::Timeout;
    case Link::Result::Busy:
        return PollError::Busy;
    default:
        return PollError::BadReply;
    }
}

QString wiringText(qint32 code)
{
    for (const SettingsTable::Member* m : SettingsTable::recordOrder())
        if (qstrcmp(m->name, "Wiring") == 0)
            if (const std::optional<int> at = m->position(code); at && *at < m->texts.size())
                return m->texts[*at].trimmed();
    return QStringLiteral("#%1").arg(code);
}

} // namespace

int BackoffMs(int attempt, double unit)
{
    const int seconds = attempt >= 6 ? kMaxBackoffS : std::min(kMaxBackoffS, 1 << attempt);
    return int(seconds * 1000 * (0.8 + 0.4 * std::clamp(unit, 0.0, 1.0)));
}

ServeWatcher::ServeWatcher(InstrumentSession& session, Options options, QObject* parent)
    : QObject(parent), m_session(session), m_options(std::move(options))
{
    if (!m_options.random)
        m_options.random = [] { return QRandomGenerator::global()->generateDouble(); };
    if (!m_options.backoff)
        m_options.backoff = [this](int attempt) { return BackoffMs(attempt, m_options.random()); };
    m_tick.setInterval(m_options.intervalMs);
    connect(&m_tick, &QTimer::timeout, this, &ServeWatcher::onTick);
    m_reopen.setSingleShot(true);
    connect(&m_reopen, &QTimer::timeout, this, &ServeWatcher::startConnect);
    // Queued: the port reports its loss from inside its own error handling.
    connect(&m_session.port(), &CommPort::lost, this, &ServeWatcher::onPortLost,
            Qt::QueuedConnection);
}

ServeWatcher::~ServeWatcher()
{
    m_session.cancelJobsOf(this);
}

void ServeWatcher::start()
{
    m_tick.start();
    startConnect();
}

void ServeWatcher::setMqttConnected(bool connected)
{
    if (m_state.mqttConnected == connected)
        return;
    m_state.mqttConnected = connected;
    emit stateChanged();
}

void ServeWatcher::log(const QString& line) const
{
    std::fprintf(stderr, "pqlink-cli: %s\n", qPrintable(line));
    std::fflush(stderr);
}

void ServeWatcher::startConnect()
{
    m_pollClock.start();
    m_job = m_session.submit<PollOutcome>(
        this, [this](Job& job) { return connectJob(job); },
        [this](PollOutcome out) { onDone(out, true); });
}

void ServeWatcher::onTick()
{
    if (!m_connected)
        return;
    // A tick during a poll is one more poll right after it, never an error.
    if (m_job) {
        m_pendingTick = true;
        return;
    }
    startPoll();
}

void ServeWatcher::startPoll()
{
    const bool names = m_needNames || m_pollsSinceNames >= m_options.namesEvery;
    m_pollClock.start();
    m_job = m_session.submit<PollOutcome>(
        this, [this, names](Job& job) { return pollJob(job, names); },
        [this](PollOutcome out) { onDone(out, false); });
}

void ServeWatcher::failed(PollOutcome& out, PollError reason, const Outcome& outcome)
{
    out.ok = false;
    out.reason = reason;
    out.error = FailureText(outcome);
}

Task<ServeWatcher::PollOutcome> ServeWatcher::connectJob(Job& job)
{
    PollOutcome out;
    const ConnectOutcome connected = co_await m_session.connectFlow(job, m_options.request);
    if (!m_openTried) {
        m_openTried = true;
        emit firstOpenTried();
    }
    if (connected.status == ConnectOutcome::Status::OpenFailed) {
        out.reason = PollError::PortOpen;
        out.error = connected.error;
        // A device path stands for itself, not for a COM port.
        if (m_options.portName.contains(QLatin1Char('/')))
            out.error.replace(
                QStringLiteral("COM%1 (%2)").arg(m_options.request.port).arg(m_options.portName),
                m_options.portName);
        co_return out;
    }
    out.opened = true;
    // Counted as soon as the port is open, so that the time from here to the first good
    // poll can be seen.
    ++m_state.portOpens;
    emit stateChanged();
    if (!connected.connected()) {
        out.reason = PollError::NoAnswer;
        out.error = QStringLiteral("the connection test was not answered");
        co_return out;
    }
    const Outcome settings = co_await m_session.receiveFlow(job);
    if (settings.failed()) {
        failed(out, PollError::Settings, settings);
        co_return out;
    }
    PollOutcome polled = co_await pollJob(job, true);
    polled.opened = true;
    co_return polled;
}

Task<ServeWatcher::PollOutcome> ServeWatcher::pollJob(Job& job, bool names)
{
    PollOutcome out;
    if (!names) {
        const Measurement m = co_await MeasureValues(job);
        if (!m.ok()) {
            failed(out, reasonOf(m.outcome), m.outcome);
            co_return out;
        }
        const qint32 n = m_lists.SplitData(m.reply.text);
        if (n == m_names.size()) {
            out.ok = true;
            out.names = m_names;
            for (qint32 i = 0; i < n; ++i)
                out.values << m_lists.MeasData(i);
            co_return out;
        }
        // Another item count: the front panel changed the items, so their names may have
        // changed too.
    }
    const Measurement m = co_await MeasureWithNames(job);
    if (!m.ok()) {
        failed(out, reasonOf(m.outcome), m.outcome);
        co_return out;
    }
    const qint32 n = m_lists.SplitHeaderData(m.reply.text);
    for (qint32 i = 0; i < n; ++i) {
        out.names << m_lists.MeasHeader(i);
        out.values << m_lists.MeasData(i);
    }
    const Outcome off = co_await HeaderOff(job);
    if (off.failed()) {
        failed(out, reasonOf(off), off);
        co_return out;
    }
    out.ok = true;
    out.named = true;
    co_return out;
}

void ServeWatcher::onDone(const PollOutcome& out, bool connecting)
{
    m_job = nullptr;
    m_state.lastPollSeconds = m_pollClock.nsecsElapsed() / 1e9;
    if (!connecting || out.opened)
        ++m_state.polls;
    if (!out.ok) {
        ++m_state.errors[size_t(out.reason)];
        m_state.lastPollOk = false;
        m_needNames = true;
        if (connecting) {
            closeAndBackOff(out.error);
        } else if (++m_failuresInRow >= kFailuresBeforeReopen) {
            closeAndBackOff(QStringLiteral("%1 polls failed in a row, the last: %2")
                                .arg(m_failuresInRow)
                                .arg(out.error));
        } else {
            log(QStringLiteral("poll failed: %1").arg(out.error));
            emit stateChanged();
        }
        return;
    }

    if (connecting) {
        m_connected = true;
        m_attempt = 0;
        const ModSet& s = m_session.settings();
        m_state.info = InstrumentInfo{m_options.portName,
                                      m_options.request.settings.section(',', 0, 0).toInt(),
                                      wiringText(s.Wiring), s.CirNum, int(out.names.size())};
        log(QStringLiteral("connected to the instrument on %1").arg(m_options.portName));
        emit instrumentFound(*m_state.info);
    }
    m_failuresInRow = 0;
    m_needNames = false;
    if (out.named) {
        m_names = out.names;
        m_pollsSinceNames = 0;
        if (m_state.info && m_state.info->items != int(m_names.size())) {
            m_state.info->items = int(m_names.size());
            emit instrumentFound(*m_state.info);
        }
    } else {
        ++m_pollsSinceNames;
    }
    auto poll = std::make_shared<PollState>();
    poll->seq = m_state.poll ? m_state.poll->seq + 1 : 1;
    poll->time = QDateTime::currentDateTimeUtc();
    poll->readings = ReadingsFrom(out.names, out.values);
    m_state.poll = poll;
    m_state.lastPollOk = true;
    m_state.lastSuccessMs = poll->time.toMSecsSinceEpoch();
    m_lastSuccessSteady = std::chrono::steady_clock::now();
    setLink(true);
    emit polled(*poll, out.named);
    emit stateChanged();
    if (m_pendingTick) {
        m_pendingTick = false;
        startPoll();
    }
}

void ServeWatcher::onPortLost(const QString& reason)
{
    if (!m_connected && !m_job)
        return;
    ++m_state.errors[size_t(PollError::PortLost)];
    m_state.lastPollOk = false;
    closeAndBackOff(QStringLiteral("the port was lost: %1").arg(reason));
}

void ServeWatcher::closeAndBackOff(const QString& why)
{
    m_session.cancelJobsOf(this);
    m_job = nullptr;
    m_session.disconnectInstrument();
    m_connected = false;
    m_pendingTick = false;
    m_needNames = true;
    m_failuresInRow = 0;
    const int delay = m_options.backoff(m_attempt++);
    QString reason = why;
    if (reason.endsWith(QLatin1Char('.')))
        reason.chop(1);
    log(QStringLiteral("%1; the port is closed and opened again in %2 s")
            .arg(reason)
            .arg(delay / 1000.0));
    m_reopen.start(delay);
    setLink(false);
    emit stateChanged();
}

void ServeWatcher::setLink(bool ok)
{
    if (m_link == ok)
        return;
    m_link = ok;
    emit linkChanged(ok);
}
