#pragma once

#include "SimMeasureState.h"
#include "SimSettings.h"
#include "SimStorage.h"

// Everything the simulated instrument remembers, one part per subsystem.
struct SimState
{
    SimSettings settings;
    SimMeasureState measure;
    SimStorage storage;
};
