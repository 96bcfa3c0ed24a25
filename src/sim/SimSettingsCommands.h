#pragma once

class SimInstrument;

// Settings queries and setting commands.
class SimSettingsCommands
{
public:
    static void install(SimInstrument& instrument);
};
