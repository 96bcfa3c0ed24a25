#pragma once

#include <QDateTime>

// Measurement and recording state of the simulated instrument.
struct SimMeasureState
{
    // The reply format of :MEAS?, as the instrument starts: values only, separator 1.
    bool headOn = false;
    int separator = 1; // 1 ";", 2 ",", 3 TAB
    int recording = 0; // 0 STOP, 1 WAIT, 2 RUN
    // A timed start waits for this moment of the instrument's clock.
    QDateTime waitUntil;
    // Measurements taken; the values drift with it so that repeated replies differ.
    int measured = 0;
};
