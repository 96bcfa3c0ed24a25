#pragma once

#include "Conversation.h"

#include <QByteArray>
#include <QString>

// The instrument's own recording.
enum class RecordState
{
    Unknown, // no reply, or one that names no state
    Stop,
    Wait, // a timed start is pending
    Run
};

// "0", "1" or "2" with CR LF, exactly.
RecordState ParseRecordState(const QByteArray& reply);
// "STOP", "WAIT", "RUN"; empty for Unknown.
QString RecordStateText(RecordState state);

struct RecordStatus
{
    Outcome outcome;
    RecordState state = RecordState::Unknown;
};

// ":STAT?".
Task<RecordStatus> ReadRecordState(Job& job);

enum class RecordAction
{
    Toggle, // start when stopped, else stop (the window's Start/Stop)
    Start,  // start when stopped; otherwise only report the state
    Stop    // stop unless stopped; otherwise only report the state
};

// ":DISP:MODE MEAS", ":HEAD OFF", ":STAT?", then ":START" or ":STOP", a pause for the
// instrument to change its state, and ":STAT?" again. The state is the one read last.
Task<RecordStatus> SetRecording(Job& job, RecordAction action);

// The instrument's moment to change its recording state after ":START" or ":STOP".
inline constexpr int RecordSettleMs = 1000;
