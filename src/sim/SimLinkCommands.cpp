#include "SimLinkCommands.h"

#include "SimInstrument.h"

void SimLinkCommands::install(SimInstrument& instrument)
{
    // The instrument does not know "aaa"; what matters to the program is that a line comes.
    instrument.addCommand("AAA", [](SimInstrument&, const QByteArray&) {
        return SimReply::line(SimInstrument::UnknownCommand);
    });
}
