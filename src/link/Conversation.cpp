#include "Conversation.h"

#include "Printable.h"

#include <algorithm>

Task<Link::Reply> Conversation::send(QByteArray command, int timeoutMs)
{
    Link::Reply reply = co_await m_job.transact(command, timeoutMs);
    if (reply.result != Link::Result::Complete && !m_outcome.failed()) {
        m_outcome.failedCommand = command;
        m_outcome.failedResult = reply.result;
        m_outcome.failedReply = reply.text;
    }
    co_return reply;
}

void Conversation::reject(const QByteArray& command, const QByteArray& reply)
{
    if (!m_outcome.failed()) {
        m_outcome.failedCommand = command;
        m_outcome.failedResult = Link::Result::Complete;
        m_outcome.failedReply = reply;
    }
}

bool IsAcknowledgement(const QByteArray& reply)
{
    if (!reply.endsWith("\r\n"))
        return false;
    const QByteArray line = reply.chopped(2);
    if (line == "ALL RIGHT")
        return true;
    if (!line.endsWith(" ERROR"))
        return false;
    return std::all_of(line.begin(), line.end(),
                       [](char c) { return (c >= 'A' && c <= 'Z') || c == ' '; });
}

QString FailureText(const Outcome& outcome)
{
    if (!outcome.failed())
        return {};
    const QString command = QString::fromLatin1(outcome.failedCommand);
    switch (outcome.failedResult) {
    case Link::Result::Timeout:
        return QStringLiteral("No reply to %1").arg(command);
    case Link::Result::Busy:
        return QStringLiteral("Line busy: %1 was not sent").arg(command);
    case Link::Result::Complete: {
        return QStringLiteral("Unexpected reply to %1: %2")
            .arg(command, Printable(outcome.failedReply.trimmed(), 80));
    }
    default:
        return QStringLiteral("%1 failed (%2)").arg(command).arg(int(outcome.failedResult));
    }
}
