#pragma once

class SimInstrument;

// Measuring and recording: :MEAS?, :STAT?, :START, :STOP and the reply format commands.
class SimMeasureCommands
{
public:
    static void install(SimInstrument& instrument);
};
