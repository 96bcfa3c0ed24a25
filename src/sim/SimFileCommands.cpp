#include "SimFileCommands.h"

#include "SimInstrument.h"

void SimFileCommands::install(SimInstrument&)
{
}
