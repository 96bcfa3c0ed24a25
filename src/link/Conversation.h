#pragma once

#include "Job.h"
#include "Link.h"
#include "Task.h"

#include <QByteArray>
#include <QString>

// How a conversation ended: completed, or with a transaction that failed (the first such
// one is named): no reply, a busy link, or a reply that cannot be the answer to its command.
struct Outcome
{
    QByteArray failedCommand;                           // empty when every transaction completed
    Link::Result failedResult = Link::Result::Complete; // Complete: the reply did not fit
    QByteArray failedReply;

    static Outcome failure(const QByteArray& command, Link::Result result,
                           const QByteArray& reply = {})
    {
        Outcome o;
        o.failedCommand = command;
        o.failedResult = result;
        o.failedReply = reply;
        return o;
    }

    bool failed() const { return !failedCommand.isEmpty(); }
    bool completed() const { return !failed(); }
};

// The transactions of one conversation, in order, with the first failure remembered.
class Conversation
{
public:
    explicit Conversation(Job& job) : m_job(job) {}

    Task<Link::Reply> send(QByteArray command, int timeoutMs);
    // The reply of a completed transaction cannot be the answer to its command.
    void reject(const QByteArray& command, const QByteArray& reply);
    // A transaction failed: every later step would act on a wrong or missing answer.
    bool failed() const { return m_outcome.failed(); }
    const Outcome& outcome() const { return m_outcome; }
    Job& job() { return m_job; }

private:
    Job& m_job;
    Outcome m_outcome;
};

// "ALL RIGHT" or an instrument error line ("COMMAND ERROR", "EXECUTE ERROR", ...), CR LF
// included: a reply that acknowledges a command and carries no data.
bool IsAcknowledgement(const QByteArray& reply);

// One line for the user: "No reply to :MEAS?", "Line busy: :HEAD ON was not sent",
// "Unexpected reply to :MEAS?: ALL RIGHT"; empty when nothing failed.
QString FailureText(const Outcome& outcome);
