// kestrel-sim: the simulated instrument on a pseudo-terminal.

#include "PortResolver.h"
#include "PqlinkVersion.h"
#include "PtyServer.h"
#include "SimInstrument.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {
int g_signalPipe[2] = {-1, -1};
void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] ssize_t n = ::write(g_signalPipe[1], &c, 1);
}
} // namespace

int main(int argc, char* argv[])
{
    // Qt's own event dispatcher answers a little sooner than the GLib one; the simulator
    // needs nothing of GLib.
    qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    int com = 1;
    QString dosdevices = PortResolver::dosdevicesDir();
    QString logPath;
    QStringList rest;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--help") || args[i] == QLatin1String("-h")) {
            std::fputs(qPrintable(SimConfig::help()), stdout);
            return 0;
        }
        if (args[i] == QLatin1String("--version")) {
            std::printf("kestrel-sim %s\n", PQLINK_VERSION);
            return 0;
        }
        if (args[i] == QLatin1String("--com") && i + 1 < args.size()) {
            com = args[++i].toInt();
        } else if (args[i] == QLatin1String("--log") && i + 1 < args.size()) {
            logPath = args[++i];
        } else if (args[i] == QLatin1String("--dosdevices") && i + 1 < args.size()) {
            dosdevices = args[++i];
        } else {
            rest << args[i];
        }
    }
    SimConfig config;
    QString error;
    if (com < 1 || !config.parse(rest, &error)) {
        std::fprintf(stderr, "kestrel-sim: %s\nTry kestrel-sim --help.\n",
                     com < 1 ? "--com needs a number from 1" : qPrintable(error));
        return 2;
    }

    SimInstrument instrument(config);
    PtyServer server(instrument);
    if (!server.start(&error) || (!logPath.isEmpty() && !server.setLog(logPath, &error))) {
        std::fprintf(stderr, "kestrel-sim: %s\n", qPrintable(error));
        return 1;
    }
    QDir().mkpath(dosdevices);
    const QString link = dosdevices + QStringLiteral("/com%1").arg(com);
    QFile::remove(link);
    if (!QFile::link(server.devicePath(), link)) {
        std::fprintf(stderr, "kestrel-sim: cannot create the link %s\n", qPrintable(link));
        return 1;
    }
    std::printf("%s\n", qPrintable(server.devicePath()));
    std::fflush(stdout);

    // End cleanly on SIGINT and SIGTERM, removing the link.
    if (::pipe(g_signalPipe) == 0) {
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
        auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    }
    const int rc = app.exec();
    if (QFileInfo(link).symLinkTarget() == server.devicePath())
        QFile::remove(link);
    return rc;
}
