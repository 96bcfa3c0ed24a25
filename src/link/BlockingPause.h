#pragma once

#include <functional>

// The two fixed pauses of the program (modem "OK" to dial, ":START"/":STOP" to the state
// query) block the thread on purpose: no events are handled during them.
class BlockingPause
{
public:
    static void pause(int ms);
    // Tests replace the pause to record it instead of sleeping; an empty function restores it.
    static void setImplementation(std::function<void(int)> impl);
};
