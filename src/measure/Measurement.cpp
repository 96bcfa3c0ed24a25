#include "Measurement.h"

namespace {

constexpr int kCommandMs = 1000;

} // namespace

Measurement MeasureWithNames(Link& link, const StopRequest& stop)
{
    Conversation talk(link, stop);
    talk.send(":HEAD ON", kCommandMs);
    if (talk.stopped())
        return {talk.outcome(), {}};
    talk.send(":TRAN:SEP 2", kCommandMs);
    if (talk.stopped())
        return {talk.outcome(), {}};
    const Link::Reply reply = talk.send(":MEAS?", MeasTimeoutMs);
    return {talk.outcome(), reply};
}

Measurement MeasureValues(Link& link)
{
    Conversation talk(link);
    const Link::Reply reply = talk.send(":MEAS?", MeasTimeoutMs);
    return {talk.outcome(), reply};
}

Outcome HeaderOff(Link& link)
{
    Conversation talk(link);
    talk.send(":HEAD OFF", kCommandMs);
    return talk.outcome();
}
