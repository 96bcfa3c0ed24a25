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
Task<Measurement> MeasureWithNames(Job& job);

// Values only, ":MEAS?" alone: the later measurements of a run, after HeaderOff.
Task<Measurement> MeasureValues(Job& job);

// ":HEAD OFF": later replies carry values only.
Task<Outcome> HeaderOff(Job& job);
