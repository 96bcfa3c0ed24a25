#include "Conversation.h"

Link::Reply Conversation::send(const QByteArray& command, int timeoutMs)
{
    const Link::Reply reply = m_link.SendCommand(command, timeoutMs);
    if (reply.result != Link::ResultComplete && !m_outcome.failed()) {
        m_outcome.failedCommand = command;
        m_outcome.failedResult = reply.result;
    }
    if (m_stop && m_stop())
        m_outcome.stopped = true;
    return reply;
}
