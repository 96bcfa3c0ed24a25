#include "Measurement.h"

namespace {

constexpr int kCommandMs = 1000;

// ":MEAS?" and its reply; a reply that only acknowledges (a late answer to an earlier
// command, or an error line) is no measurement.
Task<Measurement> measure(Conversation& talk)
{
    const Link::Reply reply = co_await talk.send(":MEAS?", MeasTimeoutMs);
    if (!talk.failed() && IsAcknowledgement(reply.text))
        talk.reject(":MEAS?", reply.text);
    co_return Measurement{talk.outcome(), reply};
}

} // namespace

Task<Measurement> MeasureWithNames(Job& job)
{
    Conversation talk(job);
    // A step that failed leaves the instrument's header and separator unknown: a reply
    // measured then could be read wrongly, so the sequence ends there.
    for (const char* command : {":HEAD ON", ":TRAN:SEP 2"}) {
        co_await talk.send(command, kCommandMs);
        if (talk.failed())
            co_return Measurement{talk.outcome(), {}};
    }
    co_return co_await measure(talk);
}

Task<Measurement> MeasureValues(Job& job)
{
    Conversation talk(job);
    co_return co_await measure(talk);
}

Task<Outcome> HeaderOff(Job& job)
{
    Conversation talk(job);
    co_await talk.send(":HEAD OFF", kCommandMs);
    co_return talk.outcome();
}
