// pqlink-cli: the instrument core driven from the command line.

#include "CliArgs.h"
#include "CliSession.h"
#include "Commands.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pqlink-cli"));
    const CliParse parsed = ParseCliArgs(app.arguments().mid(1));
    if (!parsed.command) {
        // The reason first, then the synopsis line of the usage.
        std::fprintf(stderr, "pqlink-cli: %s\n%s\nTry 'pqlink-cli --help' for the commands.\n",
                     qPrintable(parsed.error),
                     qPrintable(CliUsage().section(QLatin1Char('\n'), 0, 0)));
        return Exit::Usage;
    }
    const CliCommand& command = *parsed.command;
    switch (command.action) {
    case CliAction::Help:
        std::fputs(qPrintable(CliUsage()), stdout);
        return Exit::Done;
    case CliAction::Version:
        std::printf("pqlink-cli %s\n", PQLINK_VERSION);
        return Exit::Done;
    default:
        break;
    }

    CliSession session(command);
    switch (command.action) {
    case CliAction::Ports:
        return RunPorts(session);
    case CliAction::SettingsGet:
    case CliAction::SettingsSet:
        return RunSettings(session);
    case CliAction::Measure:
        return RunMeasure(session);
    case CliAction::RecordStart:
    case CliAction::RecordStop:
    case CliAction::RecordStatus:
        return RunRecord(session);
    default:
        return RunFiles(session);
    }
}
