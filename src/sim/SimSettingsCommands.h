#pragma once

#include <QString>

class SimInstrument;

// Settings queries and setting commands.
class SimSettingsCommands
{
public:
    static void install(SimInstrument& instrument);
    // What the settings commands accept, for kestrel-sim --help.
    static QString help();
};
