#pragma once

// Measurement and recording state of the simulated instrument.
struct SimMeasureState
{
    bool headOn = true;
    int separator = 2;
    int recording = 0; // 0 STOP, 1 WAIT, 2 RUN
};
