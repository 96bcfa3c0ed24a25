// pqlink's benchmarks. Each figure is printed as "name: value"; figures with a floor are the
// ratio of the program's rate to that of a raw termios client measured in the same run.

#include "Link.h"
#include "ModSet.h"
#include "QtCommPort.h"
#include "RecvSettings.h"
#include "SendSettings.h"
#include "SimInstrument.h"
#include "SimPort.h"
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
        // One exchange first on each side: the simulator notices a newly opened port by
        // polling, which is not what is measured.
        {
            RawClient client(device);
            client.exchange("aaa");
            bestRaw = std::min(bestRaw, seconds([&] { raw(client); }));
        }
        {
            ProgramLink p(device);
            p.link.SendCommand("aaa", 1000);
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

// The command lines an operation writes, recorded in process against the simulator, so the
// raw client can replay exactly the same exchanges.
QList<QByteArray> recordLines(const std::function<void(Link&)>& operation)
{
    SimInstrument instrument;
    SimPort port(instrument);
    port.open(nullptr);
    Link link(port);
    operation(link);
    return instrument.lines();
}

void replayRatio(const char* name, const std::function<void(Link&)>& operation, const char* note)
{
    SimProcess sim({});
    const QList<QByteArray> lines = recordLines(operation);
    const double ratio = bestRatio(
        sim.device(),
        [&](RawClient& c) {
            for (const QByteArray& l : lines)
                c.exchange(l);
        },
        [&](Link& l) { operation(l); }, 5);
    // The figure is a time ratio (program / raw), so smaller is better.
    figure(name, 1.0 / ratio, qPrintable(QStringLiteral("%1 exchanges; %2").arg(lines.size()).arg(QLatin1String(note))));
}

void settingsExchange()
{
    replayRatio("recv_settings_ratio", [](Link& l) { RecvSettings(l); }, "target <= 1.25");

    // A record as the simulator holds it, with four circuits (1P2W allows them).
    recordLines([](Link& l) { RecvSettings(l); });
    ModSet::instance().Wiring = 0;
    ModSet::instance().CirNum = 4;
    const QString name = ModSet::instance().DataFName;
    replayRatio(
        "send_settings_ratio",
        [&](Link& l) { SendSettings(l, {[name] { return name; }, [] { return 0; }, {}}); },
        "target <= 1.25");
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
    if (want("settings"))
        settingsExchange();
    if (want("startup"))
        startup();
    return 0;
}
