#pragma once

#include "Conversation.h"

#include <QDateTime>
#include <QString>

#include <functional>

// What the settings dialog supplies to a send: the file name from its entry field, the
// clock-adjust check box state (1 = set the instrument's clock), and the clock to read
// (empty = QDateTime::currentDateTime).
struct SendSettingsInputs
{
    std::function<QString()> dataFName;
    std::function<int()> checkAdjust;
    std::function<QDateTime()> clock;
};

struct SendResult
{
    Outcome outcome; // a failed transaction aborted the send
    int refused = 0; // commands the instrument answered with something else than ALL RIGHT
    int skipped = 0; // settings that had no command and were not sent
};

struct ModSet;

// Writes s to the instrument, one command per setting, each built from s as it is just
// before its transaction; a refused setting is shown (the job pauses there) and skipped, a
// failed transaction aborts the send.
Task<SendResult> SendSettings(Job& job, const ModSet& s, SendSettingsInputs inputs);
