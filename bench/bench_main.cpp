// pqlink's benchmarks. Each figure is printed as "name: value"; figures with a floor are the
// ratio of the program's rate to that of a raw termios client measured in the same run.

#include "Link.h"
#include "QtCommPort.h"
#include "RawClient.h"
#include "SimProcess.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <sys/resource.h>

namespace {

void figure(const char* name, double value, const char* note = "")
{
    std::printf("%s: %.3f%s%s\n", name, value, *note ? "  # " : "", note);
    std::fflush(stdout);
}

double seconds(const std::function<void()>& f)
{
    QElapsedTimer t;
    t.start();
    f();
    return double(t.nsecsElapsed()) / 1e9;
}

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The program's link over QSerialPort to the simulator's device.
struct ProgramLink
{
    QtCommPort port;
    Link link{port};
    explicit ProgramLink(const QString& device) : port(nullptr, [device](int) { return device; })
    {
        port.setSettings(QStringLiteral("38400,n,8,1"));
        port.open(nullptr);
    }
};

// Best of several alternating rounds of the raw client and the program, so that a slow
// moment of the machine hits both alike.
double bestRatio(const QString& device, const std::function<void(RawClient&)>& raw,
                 const std::function<void(Link&)>& program, int rounds = 3)
{
    double bestRaw = 1e9, bestProgram = 1e9;
    for (int i = 0; i < rounds; ++i) {
        {
            RawClient client(device);
            bestRaw = std::min(bestRaw, seconds([&] { raw(client); }));
        }
        {
            ProgramLink p(device);
            bestProgram = std::min(bestProgram, seconds([&] { program(p.link); }));
        }
    }
    return bestRaw / bestProgram;
}

void linkRoundtrip()
{
    SimProcess sim({});
    const int n = 2000;
    const double ratio = bestRatio(
        sim.device(),
        [&](RawClient& c) {
            for (int i = 0; i < n; ++i)
                c.exchange("aaa");
        },
        [&](Link& l) {
            for (int i = 0; i < n; ++i)
                l.SendCommand("aaa", 1000);
        });
    figure("link_roundtrip_ratio", ratio, "target >= 0.8");
}

void linkWaitCpu()
{
    SimProcess sim({QStringLiteral("--fault"), QStringLiteral("drop,:WAIT?,1")});
    ProgramLink p(sim.device());
    const double before = cpuSeconds();
    const Link::Reply r = p.link.SendCommand(":WAIT?", 5000);
    const double used = cpuSeconds() - before;
    figure("link_wait_cpu_s", used, r.result == Link::ResultTimeout ? "target <= 0.02" : "NO TIME-OUT");
}

void startup()
{
    const QString exe = QCoreApplication::applicationDirPath() + QStringLiteral("/bench_startup");
    double bestMs = 1e9;
    double rssMb = 0;
    for (int i = 0; i < 5; ++i) {
        QProcess child;
        QElapsedTimer t;
        t.start();
        child.start(exe, {});
        if (!child.waitForReadyRead(10000))
            break;
        const double ms = double(t.nsecsElapsed()) / 1e6;
        const QByteArray line = child.readLine().trimmed();
        child.waitForFinished(5000);
        bestMs = std::min(bestMs, ms);
        rssMb = std::max(rssMb, line.split(' ').value(1).toDouble() / 1024.0);
    }
    figure("startup_ms", bestMs, "target <= 300");
    figure("startup_rss_mb", rssMb, "target <= 60");
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList only = app.arguments().mid(1);
    auto want = [&](const char* group) { return only.isEmpty() || only.contains(QLatin1String(group)); };
    if (want("link")) {
        linkRoundtrip();
        linkWaitCpu();
    }
    if (want("startup"))
        startup();
    return 0;
}
