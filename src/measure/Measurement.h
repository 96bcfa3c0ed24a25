#pragma once

#include "Conversation.h"

#include <QByteArray>

// One measurement as the instrument sent it. Only a reply of a completed outcome is
// measured data; anything else must be neither shown nor logged.
struct Measurement
{
    Outcome outcome;
    Link::Reply reply; // of ":MEAS?"; empty when the conversation ended before it

    bool ok() const { return outcome.completed(); }
};

// Milliseconds the instrument may take to answer ":MEAS?".
inline constexpr int MeasTimeoutMs = 50000;

// Names and values: ":HEAD ON", ":TRAN:SEP 2", ":MEAS?" (a single measurement, and the
// first of a run), ending at the first transaction that failed.
Measurement MeasureWithNames(Link& link, const StopRequest& stop = {});

// Values only, ":MEAS?" alone: the later measurements of a run, after HeaderOff.
Measurement MeasureValues(Link& link);

// ":HEAD OFF": later replies carry values only.
Outcome HeaderOff(Link& link);
