#include "Measurement.h"

namespace {

constexpr int kCommandMs = 1000;

// ":MEAS?" and its reply; a reply that only acknowledges (a late answer to an earlier
// command, or an error line) is no measurement.
Measurement measure(Conversation& talk)
{
    const Link::Reply reply = talk.send(":MEAS?", MeasTimeoutMs);
    if (!talk.failed() && IsAcknowledgement(reply.text))
        talk.reject(":MEAS?", reply.text);
    return {talk.outcome(), reply};
}

} // namespace

Measurement MeasureWithNames(Link& link, const StopRequest& stop)
{
    Conversation talk(link, stop);
    // A step that failed leaves the instrument's header and separator unknown: a reply
    // measured then could be read wrongly, so the sequence ends there.
    for (const char* command : {":HEAD ON", ":TRAN:SEP 2"}) {
        talk.send(command, kCommandMs);
        if (talk.stopped() || talk.failed())
            return {talk.outcome(), {}};
    }
    return measure(talk);
}

Measurement MeasureValues(Link& link)
{
    Conversation talk(link);
    return measure(talk);
}

Outcome HeaderOff(Link& link)
{
    Conversation talk(link);
    talk.send(":HEAD OFF", kCommandMs);
    return talk.outcome();
}
