#include "FrmStart.h"
#include "InstrumentSession.h"
#include "MessageService.h"
#include "PqlinkVersion.h"
#include "QtCommPort.h"
#include "QtMessageService.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

namespace {

const char kHelp[] = R"(Usage: pqlink [options]

Remote-controls the Kestrel clamp-on power meter over RS-232C, by a direct cable or through
a dial-up modem: connect, read and write its settings, measure once or repeatedly (with a
log and a trend window), start and stop its recording, and download its stored files.

Options:
  -h, --help      show this help and end
  --version       show the version and end

Qt's own options apply too, for example -platform offscreen.

Port COMn is the link comn in $XDG_CONFIG_HOME/pqlink/dosdevices/ when it exists, else the
n-th of /dev/ttyS*, /dev/ttyUSB*, /dev/ttyACM*. Opening a serial device needs membership of
its group (on Debian: dialout).
)";

} // namespace

int main(int argc, char* argv[])
{
    // Answered before the application starts, so that they work without a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("pqlink %s\n", PQLINK_VERSION);
            return 0;
        }
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("pqlink"));
    QApplication::setApplicationVersion(QStringLiteral(PQLINK_VERSION));
    // The start window ends the program itself, after unloading the others.
    QApplication::setQuitOnLastWindowClosed(false);

    QtMessageService messages;
    MessageService::setDefault(&messages);

    InstrumentSession session(std::make_unique<QtCommPort>());
    FrmStart start(session);
    QObject::connect(&start, &FrmStart::programEnded, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    start.show();
    const int rc = app.exec();
    MessageService::setDefault(nullptr);
    return rc;
}
