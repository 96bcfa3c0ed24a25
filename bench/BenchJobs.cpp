#include "BenchJobs.h"

#include <QChildEvent>

namespace bench {

Task<Link::Reply> exchange(Job& job, QByteArray command, int timeoutMs)
{
    co_return co_await job.transact(command, timeoutMs);
}

Link::Reply transact(InstrumentSession& session, const QByteArray& command, int timeoutMs)
{
    return runJob(session,
                  [command, timeoutMs](Job& job) { return exchange(job, command, timeoutMs); });
}

SessionLoop::SessionLoop(InstrumentSession& session) : m_session(session)
{
    // The session is the parent of its jobs: a new one is announced to it as a child.
    m_session.installEventFilter(this);
    for (QObject* child : m_session.children())
        watch(child);
}

SessionLoop::~SessionLoop()
{
    m_session.removeEventFilter(this);
}

void SessionLoop::runUntil(std::function<bool()> until)
{
    if (until())
        return;
    m_until = std::move(until);
    m_loop.exec();
    m_until = {};
}

void SessionLoop::settle()
{
    runUntil([this] { return m_session.idle(); });
}

void SessionLoop::check()
{
    if (m_until && m_until())
        m_loop.quit();
}

bool SessionLoop::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &m_session && event->type() == QEvent::ChildAdded)
        watch(static_cast<QChildEvent*>(event)->child());
    return false;
}

void SessionLoop::watch(QObject* child)
{
    if (auto* job = qobject_cast<Job*>(child)) {
        // finished: after the result was shown; destroyed: a cancelled job.
        connect(job, &Job::finished, this, &SessionLoop::check);
        connect(job, &QObject::destroyed, this, &SessionLoop::check);
    }
}

} // namespace bench
