#pragma once

// The instrument's settings as it keeps them.
struct SimSettings
{
    int wiring = 0; // 0 1P2W, 1 1P3W, 2 3P3W, 3 3P3W3M, 4 3P4W, 5 3P4W4I
    int cirNum = 1; // 1..4
};
