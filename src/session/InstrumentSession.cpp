#include "InstrumentSession.h"

#include "RecvSettings.h"

#include <algorithm>

InstrumentSession::InstrumentSession(std::unique_ptr<CommPort> port, QObject* parent)
    : QObject(parent), m_port(std::move(port)), m_link(std::make_unique<Link>(*m_port))
{
    connect(m_link.get(), &Link::controlsBusy, this, &InstrumentSession::lineBusy);
}

InstrumentSession::~InstrumentSession()
{
    // Jobs end before the link they talk through. (A job's destruction edits m_jobs.)
    const QList<QPointer<Job>> jobs = std::exchange(m_jobs, {});
    for (const QPointer<Job>& job : jobs)
        delete job.data();
}

Job* InstrumentSession::newJob(QObject* owner)
{
    auto* job =
        new Job(*m_link, owner, [this](int ms) { return m_pauseLength ? m_pauseLength(ms) : ms; });
    job->setParent(this);
    m_jobs.append(job);
    connect(job, &QObject::destroyed, this,
            [this] { m_jobs.removeIf([](const QPointer<Job>& j) { return j.isNull(); }); });
    connect(job, &Job::messageShown, this, [this, job](MessageKind kind, const QString& text) {
        if (m_messages)
            m_messages(*job, kind, text);
        else
            job->resume();
    });
    return job;
}

bool InstrumentSession::idle() const
{
    return std::none_of(m_jobs.begin(), m_jobs.end(),
                        [](const QPointer<Job>& job) { return job && !job->ended(); });
}

void InstrumentSession::cancelJobsOf(QObject* owner)
{
    const QList<QPointer<Job>> jobs = m_jobs;
    for (const QPointer<Job>& job : jobs)
        if (job && job->owner() == owner)
            job->cancel();
}

void InstrumentSession::cancelAll()
{
    const QList<QPointer<Job>> jobs = m_jobs;
    for (const QPointer<Job>& job : jobs)
        if (job)
            job->cancel();
}

Job* InstrumentSession::connectInstrument(QObject* owner, const ConnectRequest& request,
                                          std::function<void(ConnectOutcome)> done)
{
    return submit<ConnectOutcome>(
        owner, [this, request](Job& job) { return connectFlow(job, request); }, std::move(done));
}

Task<ConnectOutcome> InstrumentSession::connectFlow(Job& job, ConnectRequest request)
{
    // A new connection: nothing has been received over it yet.
    m_received = false;
    m_port->setCommPort(request.port);
    m_port->setSettings(request.settings);
    ConnectOutcome out;
    if (!m_port->open(&out.error)) {
        out.status = ConnectOutcome::Status::OpenFailed;
        co_return out;
    }
    // Each co_await in a statement of its own: gcc 12 mishandles one inside "?:".
    ConnectResult result;
    if (request.modem)
        result = co_await ConnectModem(job, request.init, request.number);
    else
        result = co_await ConnectDirect(job);
    out.lastReply = result.lastReply;
    if (result.connected) {
        m_connected = true;
        out.status = ConnectOutcome::Status::Connected;
    } else {
        if (m_port->isOpen())
            m_port->close();
        m_connected = false;
        out.status = ConnectOutcome::Status::NoAnswer;
    }
    co_return out;
}

void InstrumentSession::disconnectInstrument()
{
    m_port->close();
    m_link->cancelWait();
    m_connected = false;
}

Task<Outcome> InstrumentSession::receiveFlow(Job& job)
{
    const Outcome outcome = co_await RecvSettings(job, m_settings);
    if (outcome.completed())
        m_received = true;
    co_return outcome;
}

Job* InstrumentSession::receiveSettings(QObject* owner, std::function<void(Outcome)> done)
{
    return submit<Outcome>(
        owner, [this](Job& job) { return receiveFlow(job); }, std::move(done));
}

Job* InstrumentSession::sendSettings(QObject* owner, SendSettingsInputs inputs,
                                     std::function<void(SendResult)> done)
{
    return submit<SendResult>(
        owner, [this, inputs](Job& job) { return SendSettings(job, m_settings, inputs); },
        std::move(done));
}

void InstrumentSession::shutdown()
{
    cancelAll();
    m_link->shutdown();
    m_port->close();
    m_connected = false;
}
