#pragma once

#include "Link.h"

#include <QByteArray>
#include <QString>

#include <functional>

// Asked after every transaction of a conversation with the instrument: true ends the
// conversation there and nothing more is sent (a window closing, the command line
// interrupted).
using StopRequest = std::function<bool()>;

// How a conversation ended: completed, stopped by its caller, or with a transaction that
// failed (the first such one is named): no reply, a busy link, or a reply that cannot be the
// answer to its command.
struct Outcome
{
    bool stopped = false;
    QByteArray failedCommand;                   // empty when every transaction completed
    qint32 failedResult = Link::ResultComplete; // ResultComplete: the reply did not fit
    QByteArray failedReply;

    static Outcome failure(const QByteArray& command, qint32 result, const QByteArray& reply = {})
    {
        Outcome o;
        o.failedCommand = command;
        o.failedResult = result;
        o.failedReply = reply;
        return o;
    }

    bool failed() const { return !failedCommand.isEmpty(); }
    bool completed() const { return !stopped && !failed(); }
};

// The transactions of one conversation, in order, with the caller's stop request checked
// after each and the first failure remembered.
class Conversation
{
public:
    explicit Conversation(Link& link, StopRequest stop = {}) : m_link(link), m_stop(std::move(stop))
    {
    }

    Link::Reply send(const QByteArray& command, int timeoutMs);
    // The reply of a completed transaction cannot be the answer to its command.
    void reject(const QByteArray& command, const QByteArray& reply);
    // A transaction failed: every later step would act on a wrong or missing answer.
    bool failed() const { return m_outcome.failed(); }
    // The stop request was seen after the last transaction.
    bool stopped() const { return m_outcome.stopped; }
    const Outcome& outcome() const { return m_outcome; }
    Link& link() { return m_link; }

private:
    Link& m_link;
    StopRequest m_stop;
    Outcome m_outcome;
};

// "ALL RIGHT" or an instrument error line ("COMMAND ERROR", "EXECUTE ERROR", ...), CR LF
// included: a reply that acknowledges a command and carries no data.
bool IsAcknowledgement(const QByteArray& reply);

// One line for the user: "No reply to :MEAS?", "Line busy: :HEAD ON was not sent",
// "Unexpected reply to :MEAS?: ALL RIGHT"; empty when nothing failed.
QString FailureText(const Outcome& outcome);
