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
        return int(Exit::Usage);
    }
    const CliCommand& command = *parsed.command;
    switch (command.action) {
    case CliAction::Help:
        std::fputs(qPrintable(CliUsage()), stdout);
        return int(Exit::Done);
    case CliAction::Version:
        std::printf("pqlink-cli %s\n", PQLINK_VERSION);
        return int(Exit::Done);
    default:
        break;
    }

    CliSession session(command);
    switch (command.action) {
    case CliAction::Ports:
        session.start(RunPorts);
        break;
    case CliAction::SettingsGet:
    case CliAction::SettingsSet:
        session.start(RunSettings);
        break;
    case CliAction::Measure:
        session.start(RunMeasure);
        break;
    case CliAction::RecordStart:
    case CliAction::RecordStop:
    case CliAction::RecordStatus:
        session.start(RunRecord);
        break;
    default:
        session.start(RunFiles);
        break;
    }
    return QCoreApplication::exec();
}
