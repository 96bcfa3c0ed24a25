#pragma once

#include "Link.h"

#include <QByteArray>

#include <functional>

// Asked after every transaction of a conversation with the instrument: true ends the
// conversation there and nothing more is sent (a window closing, the command line
// interrupted).
using StopRequest = std::function<bool()>;

// How a conversation ended: completed, stopped by its caller, or with a transaction that
// did not complete (the first such one is named).
struct Outcome
{
    bool stopped = false;
    QByteArray failedCommand; // empty when every transaction completed
    qint32 failedResult = Link::ResultComplete;

    bool failed() const { return !failedCommand.isEmpty(); }
    bool completed() const { return !stopped && !failed(); }
};

// The transactions of one conversation, in order, with the caller's stop request checked
// after each and the first failure remembered.
class Conversation
{
public:
    explicit Conversation(Link& link, StopRequest stop = {})
        : m_link(link), m_stop(std::move(stop))
    {
    }

    Link::Reply send(const QByteArray& command, int timeoutMs);
    // The stop request was seen after the last transaction.
    bool stopped() const { return m_outcome.stopped; }
    const Outcome& outcome() const { return m_outcome; }
    Link& link() { return m_link; }

private:
    Link& m_link;
    StopRequest m_stop;
    Outcome m_outcome;
};
