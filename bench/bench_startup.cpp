// The program's start-up as pqlink's main does it; prints "shown <peak RSS in kB>" once the
// connection window is on screen, then exits. bench_main times it from launch.

#include "FrmStart.h"
#include "InstrumentSession.h"
#include "QtCommPort.h"

#include <QApplication>
#include <QFile>
#include <QTimer>

#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    InstrumentSession session(std::make_unique<QtCommPort>());
    FrmStart start(session);
    start.show();
    QTimer::singleShot(0, [&] {
        QFile status(QStringLiteral("/proc/self/status"));
        long kb = 0;
        if (status.open(QIODevice::ReadOnly))
            for (const QByteArray& line : status.readAll().split('\n'))
                if (line.startsWith("VmHWM:"))
                    kb = line.mid(6).trimmed().split(' ').value(0).toLong();
        std::printf("shown %ld\n", kb);
        std::fflush(stdout);
        app.quit();
    });
    return app.exec();
}
