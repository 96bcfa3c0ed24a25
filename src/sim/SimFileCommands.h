#pragma once

class SimInstrument;

// Stored files: lists, block reads, delete and format.
class SimFileCommands
{
public:
    static void install(SimInstrument& instrument);
};
