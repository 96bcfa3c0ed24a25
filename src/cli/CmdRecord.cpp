#include "CliSession.h"
#include "Commands.h"
#include "Recording.h"

int RunRecord(CliSession& session)
{
    const CliCommand& c = session.command();
    if (const int status = session.connect())
        return status;
    RecordStatus status;
    if (c.action == CliAction::RecordStatus)
        status = ReadRecordState(session.link());
    else
        status = SetRecording(session.link(),
                              c.action == CliAction::RecordStart ? RecordAction::Start
                                                                 : RecordAction::Stop,
                              session.stopRequest());
    if (const int s = session.failure(status.outcome, QStringLiteral("recording")))
        return s;
    if (status.state == RecordState::Unknown) {
        CliSession::error(QStringLiteral("the instrument's answer to \":STAT?\" names no state"));
        return Exit::Refused;
    }
    session.print(RecordStateText(status.state));
    return Exit::Done;
}
