#pragma once

class SimInstrument;

// The connection test: "aaa" is answered with a line.
class SimLinkCommands
{
public:
    static void install(SimInstrument& instrument);
};
