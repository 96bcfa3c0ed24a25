#include "Job.h"

Job::Job(Link& link, QObject* owner, std::function<int(int)> pauseLength)
    : m_link(link), m_owner(owner), m_pauseLength(std::move(pauseLength))
{
    if (owner)
        connect(owner, &QObject::destroyed, this, &Job::cancel);
}

Job::~Job()
{
    m_driver = {};
    m_link.release(this);
}

void Job::cancel()
{
    if (ended())
        return;
    m_state = State::Cancelled;
    m_pausedAt = {};
    // A cancel from inside the coroutine (a handler of a written line) takes effect when it
    // next suspends: its frame cannot be destroyed under it.
    if (!m_inside)
        endDriver();
}

void Job::endDriver()
{
    // Destroying the frames runs the awaiters' destructors: a transaction still waiting is
    // abandoned, a pause's timer stopped.
    m_driver = {};
    m_link.release(this);
    deleteLater();
}

void Job::resumeHandle(std::coroutine_handle<> h)
{
    m_inside = true;
    if (h)
        h.resume();
    else
        m_driver.resume();
    m_inside = false;
    if (m_state == State::Cancelled)
        endDriver();
}

void Job::finish(std::function<void()> deliver)
{
    m_link.release(this);
    QMetaObject::invokeMethod(
        this,
        [this, deliver = std::move(deliver)] {
            if (m_state == State::Cancelled)
                return;
            m_state = State::Finished;
            deliver();
            emit finished();
            m_driver = {};
            deleteLater();
        },
        Qt::QueuedConnection);
}

void Job::resume(bool answer)
{
    if (m_state != State::Paused || !m_pausedAt)
        return;
    m_answer = answer;
    m_state = State::Running;
    const std::coroutine_handle<> h = std::exchange(m_pausedAt, {});
    QMetaObject::invokeMethod(
        this,
        [this, h] {
            if (m_state == State::Running)
                resumeHandle(h);
        },
        Qt::QueuedConnection);
}

bool Job::TransactionAwaiter::await_ready()
{
    if (job.m_state == State::Cancelled)
        return false; // suspends for good; the frame is destroyed next
    if (job.m_link.busyFor(&job)) {
        reply = {Link::Result::Busy, QByteArrayLiteral("BUSY")};
        return true;
    }
    if (mode == Link::Mode::Block && qint64(end) < qint64(start)) {
        reply = {Link::Result::InvalidRange, Link::invalidRangeReply()};
        return true;
    }
    return false;
}

void Job::TransactionAwaiter::await_suspend(std::coroutine_handle<> h)
{
    if (job.m_state == State::Cancelled)
        return;
    job.m_link.hold(&job);
    started = true;
    auto done = [this, h](const Link::Reply& r) {
        started = false;
        reply = r;
        job.resumeHandle(h);
    };
    if (mode == Link::Mode::Block)
        job.m_link.startBlock(command, start, end, medium, std::move(done));
    else
        job.m_link.start(command, timeoutMs, mode, std::move(done));
}

Job::TransactionAwaiter::~TransactionAwaiter()
{
    if (started)
        job.m_link.abandon();
}

void Job::PauseAwaiter::await_suspend(std::coroutine_handle<> h)
{
    if (job.m_state == State::Cancelled)
        return;
    if (!job.m_link.busyFor(&job))
        job.m_link.hold(&job);
    emit job.pausing(ms);
    timer = std::make_unique<QTimer>();
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer.get(), &QTimer::timeout, &job, [this, h] { job.resumeHandle(h); });
    timer->start(job.m_pauseLength ? job.m_pauseLength(ms) : ms);
}

void Job::MessageAwaiter::await_suspend(std::coroutine_handle<> h)
{
    if (job.m_state == State::Cancelled)
        return;
    job.m_state = State::Paused;
    job.m_pausedAt = h;
    // Shown from the event loop, so a front end may answer, or cancel, at once.
    QMetaObject::invokeMethod(
        &job,
        [j = &job, h, kind = kind, text = text] {
            if (j->m_state == State::Paused && j->m_pausedAt == h)
                emit j->messageShown(kind, text);
        },
        Qt::QueuedConnection);
}

Job::MessageAwaiter::~MessageAwaiter()
{
    if (job.m_state == State::Paused)
        job.m_pausedAt = {};
}
