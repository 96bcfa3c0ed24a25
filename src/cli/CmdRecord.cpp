#include "CliSession.h"
#include "Commands.h"
#include "Recording.h"

Task<Exit> RunRecord(CliSession& session, Job& job)
{
    const CliCommand& c = session.command();
    if (const Exit status = co_await session.connect(job); status != Exit::Done)
        co_return status;
    RecordStatus status;
    if (c.action == CliAction::RecordStatus)
        status = co_await ReadRecordState(job);
    else
        status = co_await SetRecording(
            job, c.action == CliAction::RecordStart ? RecordAction::Start : RecordAction::Stop);
    if (const Exit s = session.failure(status.outcome, QStringLiteral("recording"));
        s != Exit::Done)
        co_return s;
    if (status.state == RecordState::Unknown) {
        CliSession::error(QStringLiteral("the instrument's answer to \":STAT?\" names no state"));
        co_return Exit::Refused;
    }
    session.print(RecordStateText(status.state));
    co_return Exit::Done;
}
