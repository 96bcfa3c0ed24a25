#include "SimSettingsCommands.h"

#include "SimInstrument.h"

void SimSettingsCommands::install(SimInstrument&)
{
}
