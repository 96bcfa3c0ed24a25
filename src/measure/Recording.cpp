#include "Recording.h"

namespace {

constexpr int kCommandMs = 1000;

} // namespace

RecordState ParseRecordState(const QByteArray& reply)
{
    if (reply == "0\r\n")
        return RecordState::Stop;
    if (reply == "1\r\n")
        return RecordState::Wait;
    if (reply == "2\r\n")
        return RecordState::Run;
    return RecordState::Unknown;
}

QString RecordStateText(RecordState state)
{
    switch (state) {
    case RecordState::Stop:
        return QStringLiteral("STOP");
    case RecordState::Wait:
        return QStringLiteral("WAIT");
    case RecordState::Run:
        return QStringLiteral("RUN");
    case RecordState::Unknown:
        break;
    }
    return {};
}

Task<RecordStatus> ReadRecordState(Job& job)
{
    Conversation talk(job);
    const Link::Reply reply = co_await talk.send(":STAT?", kCommandMs);
    co_return RecordStatus{talk.outcome(), ParseRecordState(reply.text)};
}

Task<RecordStatus> SetRecording(Job& job, RecordAction action)
{
    Conversation talk(job);
    co_await talk.send(":DISP:MODE MEAS", kCommandMs);
    co_await talk.send(":HEAD OFF", kCommandMs);
    const Link::Reply before = co_await talk.send(":STAT?", kCommandMs);
    // The window's toggle starts only on exactly "0" and stops on anything else, a failed
    // query included; an explicit start or stop acts only on a state it has read.
    const bool idle = before.text == "0\r\n";
    if (action != RecordAction::Toggle) {
        const RecordState state = ParseRecordState(before.text);
        if (talk.outcome().failed() || state == RecordState::Unknown ||
            (action == RecordAction::Start) != idle)
            co_return RecordStatus{talk.outcome(), state};
    }
    co_await talk.send(idle ? ":START" : ":STOP", kCommandMs);
    // The instrument needs a moment to change its state; the job keeps the line meanwhile.
    co_await job.pause(RecordSettleMs);
    const Link::Reply after = co_await talk.send(":STAT?", kCommandMs);
    co_return RecordStatus{talk.outcome(), ParseRecordState(after.text)};
}
