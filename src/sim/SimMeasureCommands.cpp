#include "SimMeasureCommands.h"

#include "SimInstrument.h"

void SimMeasureCommands::install(SimInstrument&)
{
}
