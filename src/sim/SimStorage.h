#pragma once

// The files of the simulated instrument's PC card and internal memory.
struct SimStorage
{
};
