#pragma once

#include "InstrumentSession.h"

#include <QEventLoop>
#include <QObject>

#include <functional>
#include <optional>
#include <type_traits>

// Jobs run to their end from benchmark code, as a test or a script runs them: a local event
// loop until the job's result is in. Nothing polls; the loop is woken by the jobs.
namespace bench {

template <class T> struct TaskValue;
template <class T> struct TaskValue<Task<T>>
{
    using type = T;
};

// Runs make(job) as a job of session and returns its result. (No benchmark cancels a job.)
template <class Make> auto runJob(InstrumentSession& session, Make make)
{
    using R = typename TaskValue<std::invoke_result_t<Make&, Job&>>::type;
    std::optional<R> result;
    QEventLoop loop;
    session.submit<R>(nullptr, std::move(make), [&](R r) {
        result = std::move(r);
        loop.quit();
    });
    if (!result)
        loop.exec();
    return std::move(*result);
}

// One command and its reply, as a job's whole conversation.
Task<Link::Reply> exchange(Job& job, QByteArray command, int timeoutMs);
// That conversation run as a job of session.
Link::Reply transact(InstrumentSession& session, const QByteArray& command, int timeoutMs);

// Runs the event loop until a condition holds. It is looked at when the loop starts, when a
// job of the session ends (a job submitted meanwhile, by a window or a job's result, is
// watched too) and at check().
class SessionLoop : public QObject
{
public:
    explicit SessionLoop(InstrumentSession& session);
    ~SessionLoop() override;

    void runUntil(std::function<bool()> until);
    // Until no job of the session is left.
    void settle();
    void check();

private:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void watch(QObject* child);

    InstrumentSession& m_session;
    QEventLoop m_loop;
    std::function<bool()> m_until;
};

inline void settle(InstrumentSession& session)
{
    SessionLoop(session).settle();
}

} // namespace bench
