#pragma once

#include "Link.h"
#include "MessageKind.h"
#include "Task.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <coroutine>
#include <functional>
#include <memory>

// One conversation with the instrument, submitted to the session: a coroutine driven by the
// port's signals and timers. It runs from its submission until it ends in exactly one
// result (finished), or until it is cancelled: then nothing more is written and no result
// is given. A job pauses where the user must close a message before it goes on.
class Job : public QObject
{
    Q_OBJECT
public:
    enum class State
    {
        Running,
        Paused,   // at a message the front end shows
        Finished, // its result was delivered
        Cancelled
    };

    // owner: the window or front end that submitted it; its destruction cancels the job.
    Job(Link& link, QObject* owner, std::function<int(int)> pauseLength);
    ~Job() override;

    QObject* owner() const { return m_owner; }
    State state() const { return m_state; }
    bool ended() const { return m_state == State::Finished || m_state == State::Cancelled; }

    // Ends the job at once: nothing more is written, no result or message is shown.
    void cancel();
    // The front end closed the message the job paused at; answer is Yes/OK.
    void resume(bool answer = true);

    // --- what the job's coroutine awaits

    struct TransactionAwaiter
    {
        Job& job;
        QByteArray command; // without CR LF; for a block, the file name
        int timeoutMs = 0;
        Link::Mode mode = Link::Mode::Line;
        qint32 start = 0, end = 0;
        Medium medium = Medium::Card;
        Link::Reply reply{};
        bool started = false;

        bool await_ready();
        void await_suspend(std::coroutine_handle<> h);
        Link::Reply await_resume() { return std::move(reply); }
        ~TransactionAwaiter();
    };
    // command and CR LF; the reply ends as mode says.
    TransactionAwaiter transact(const QByteArray& command, int timeoutMs,
                                Link::Mode mode = Link::Mode::Line)
    {
        return {*this, command, timeoutMs, mode};
    }
    TransactionAwaiter fetchBlock(const QByteArray& fileName, qint32 start, qint32 end,
                                  Medium medium)
    {
        return {*this, fileName, Link::BlockTimeoutMs, Link::Mode::Block, start, end, medium};
    }

    struct PauseAwaiter
    {
        Job& job;
        int ms = 0;
        std::unique_ptr<QTimer> timer;

        bool await_ready() const { return false; }
        void await_suspend(std::coroutine_handle<> h);
        void await_resume() const {}
    };
    // A fixed pause during which the job keeps the link: nothing else is written meanwhile.
    PauseAwaiter pause(int ms) { return {*this, ms, {}}; }

    struct MessageAwaiter
    {
        Job& job;
        MessageKind kind;
        QString text;

        bool await_ready() const { return false; }
        void await_suspend(std::coroutine_handle<> h);
        bool await_resume() const { return job.m_answer; }
        ~MessageAwaiter();
    };
    // Shows text and goes on when the front end says it was closed.
    MessageAwaiter message(MessageKind kind, const QString& text) { return {*this, kind, text}; }

    Link& link() { return m_link; }

    // --- for the session

    // Keeps what the coroutine refers to (the lambda that made it) until the job ends.
    void keep(std::shared_ptr<void> what) { m_kept = std::move(what); }
    // Runs the job's coroutine; done receives its value, from the event loop.
    template <class R> void run(Task<R> task, std::function<void(R)> done)
    {
        m_driver = drive<R>(std::move(task), this, std::move(done));
        resumeHandle({});
    }

signals:
    // The job paused at a message: show it, then call resume().
    void messageShown(MessageKind kind, const QString& text);
    // The job ended with its result (delivered just before this).
    void finished();
    // The job asks for a fixed pause of this many milliseconds.
    void pausing(int ms);

private:
    template <class R> static Task<void> drive(Task<R> task, Job* job, std::function<void(R)> done)
    {
        R result = co_await task;
        job->finish([done = std::move(done), result = std::move(result)]() mutable {
            if (done)
                done(std::move(result));
        });
    }
    void finish(std::function<void()> deliver);
    void resumeHandle(std::coroutine_handle<> h);
    void endDriver();

    Link& m_link;
    QPointer<QObject> m_owner;
    std::function<int(int)> m_pauseLength;
    State m_state = State::Running;
    Task<void> m_driver;
    bool m_inside = false; // the coroutine is running now, on this stack
    bool m_answer = true;
    std::coroutine_handle<> m_pausedAt;
    std::shared_ptr<void> m_kept; // outlives the frame: ~Job and endDriver destroy that first
};
