#include "Recording.h"

#include "BlockingPause.h"

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

RecordStatus ReadRecordState(Link& link)
{
    Conversation talk(link);
    const Link::Reply reply = talk.send(":STAT?", kCommandMs);
    return {talk.outcome(), ParseRecordState(reply.text)};
}

RecordStatus SetRecording(Link& link, RecordAction action, const StopRequest& stop)
{
    Conversation talk(link, stop);
    talk.send(":DISP:MODE MEAS", kCommandMs);
    if (talk.stopped())
        return {talk.outcome()};
    talk.send(":HEAD OFF", kCommandMs);
    if (talk.stopped())
        return {talk.outcome()};
    const Link::Reply before = talk.send(":STAT?", kCommandMs);
    if (talk.stopped())
        return {talk.outcome()};
    // The window's toggle starts only on exactly "0" and stops on anything else, a failed
    // query included; an explicit start or stop acts only on a state it has read.
    const bool idle = before.text == "0\r\n";
    if (action != RecordAction::Toggle) {
        const RecordState state = ParseRecordState(before.text);
        if (talk.outcome().failed() || state == RecordState::Unknown ||
            (action == RecordAction::Start) != idle)
            return {talk.outcome(), state};
    }
    talk.send(idle ? ":START" : ":STOP", kCommandMs);
    if (talk.stopped())
        return {talk.outcome()};
    // The instrument needs a moment to change its state; no input is taken meanwhile.
    BlockingPause::pause(1000);
    const Link::Reply after = talk.send(":STAT?", kCommandMs);
    return {talk.outcome(), ParseRecordState(after.text)};
}
