// pqlink-cli: the instrument core driven from the command line.

#include "CliArgs.h"
#include "CliSession.h"
#include "Commands.h"
#include "ServeConfig.h"

#include <QCoreApplication>
#include <QSysInfo>

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

    if (command.action == CliAction::Serve) {
        const ServeConfigResult r = LoadServeConfig(command.serveArgs, QSysInfo::machineHostName(),
                                                    qEnvironmentVariable("CREDENTIALS_DIRECTORY"));
        if (!r.config) {
            std::fprintf(stderr, "pqlink-cli: serve: %s\n", qPrintable(r.error));
            if (r.kind == ServeConfigResult::Error::File)
                return int(Exit::LocalFile);
            std::fputs("Try 'pqlink-cli --help' for serve's options.\n", stderr);
            return int(Exit::Usage);
        }
        const ServeConfig& config = *r.config;
        if (config.help || config.printConfig) {
            std::fputs(qPrintable(config.help ? CliUsage() : ServeConfigText(config)), stdout);
            return int(Exit::Done);
        }
        CliCommand link = command;
        link.portNumber = config.portNumber;
        link.devicePath = config.devicePath;
        link.baud = config.baud;
        CliSession session(link);
        return int(RunServe(session, config));
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
