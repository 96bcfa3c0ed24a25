#pragma once

#include <QDateTime>
#include <QString>

#include <functional>

class Link;

// What the settings dialog supplies to a send: the file name from its entry field, the
// clock-adjust check box state (1 = set the instrument's clock), and the clock to read
// (empty = QDateTime::currentDateTime).
struct SendSettingsInputs
{
    std::function<QString()> dataFName;
    std::function<int()> checkAdjust;
    std::function<QDateTime()> clock;
};

// Writes ModSet to the instrument, one command per setting; a refused setting is reported
// and skipped, a failed transaction aborts the send.
void SendSettings(Link& link, const SendSettingsInputs& inputs);
