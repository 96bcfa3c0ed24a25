// pqlink's benchmarks. Each figure is printed as "name: value"; figures with a floor are the
// ratio of the program's rate to that of a raw termios client measured in the same run.

#include "FileDownload.h"
#include "FlexGrid.h"
#include "Link.h"
#include "MeasGrid.h"
#include "MeasRecorder.h"
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
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

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

// The median of several rounds, each timing the raw client and then the program right after
// it, so that a slow moment of the machine (a pseudo-terminal round trip goes through kernel
// workers) weighs on both sides of a round alike.
double medianRatio(const QString& device, const std::function<void(RawClient&)>& raw,
                   const std::function<void(Link&)>& program, int rounds = 9)
{
    std::vector<double> ratios;
    for (int i = 0; i < rounds; ++i) {
        // One exchange first on each side: the simulator notices a newly opened port by
        // polling, which is not what is measured.
        double rawSeconds = 0, programSeconds = 0;
        {
            RawClient client(device);
            client.exchange("aaa");
            rawSeconds = seconds([&] { raw(client); });
        }
        {
            ProgramLink p(device);
            p.link.SendCommand("aaa", 1000);
            programSeconds = seconds([&] { program(p.link); });
        }
        ratios.push_back(rawSeconds / programSeconds);
        if (qEnvironmentVariableIsSet("PQBENCH_VERBOSE"))
            std::printf("  raw %.6f s, program %.6f s\n", rawSeconds, programSeconds);
    }
    std::sort(ratios.begin(), ratios.end());
    return ratios[ratios.size() / 2];
}

void linkRoundtrip()
{
    SimProcess sim({});
    const int n = 2000;
    const double ratio = medianRatio(
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
    instrument.keepLines(true);
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
    // Twenty runs a timing: one run is too short to time on its own.
    const int runs = 20;
    const double ratio = medianRatio(
        sim.device(),
        [&](RawClient& c) {
            for (int r = 0; r < runs; ++r)
                for (const QByteArray& l : lines)
                    c.exchange(l);
        },
        [&](Link& l) {
            for (int r = 0; r < runs; ++r)
                operation(l);
        });
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

double peakRssMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmHWM:"))
                return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

QByteArray blockRequest(const QByteArray& name, qint32 start, qint32 end)
{
    return ":CARD:PICK? " + name + ", " + QByteArray::number(start) + ", " + QByteArray::number(end);
}

// Downloads a stored file of the card through the program's link; returns the seconds taken.
double programDownload(Link& link, const QByteArray& name, qint32 size, bool* ok)
{
    QTemporaryDir dir;
    FileDownload download(link, name, size, 0);
    FileDownload::Result result;
    const double s = seconds([&] { result = download.run(dir.filePath(QString::fromLatin1(name)), 1); });
    *ok = result.status == FileDownload::Status::Complete && result.bytesWritten == size;
    return s;
}

void downloads(bool unpaced, bool paced)
{
    // The file is streamed: the peak memory of a 20 MB download must stay small.
    {
        QFile clear(QStringLiteral("/proc/self/clear_refs"));
        if (clear.open(QIODevice::WriteOnly))
            clear.write("5"); // resets the peak resident size
    }
    const QByteArray big = "WAVE20MB.DAT";
    const qint32 bigSize = 20 * 1024 * 1024;
    if (unpaced) {
        SimProcess sim({});
        bool ok = true;
        const double ratio = medianRatio(
            sim.device(),
            [&](RawClient& c) {
                for (qint32 start = 1; start <= bigSize; start += FileDownload::BlockSize) {
                    const qint32 end = std::min(start + FileDownload::BlockSize - 1, bigSize);
                    c.exchangeBlock(blockRequest(big, start, end), end - start + 3);
                }
            },
            [&](Link& l) {
                bool thisOk = false;
                programDownload(l, big, bigSize, &thisOk);
                ok = ok && thisOk;
            },
            5);
        figure("download_unpaced_ratio", ratio, ok ? "20 MB; target >= 0.8" : "DOWNLOAD FAILED");
        figure("download_rss_mb", peakRssMb(), "target <= 60");
    }
    if (paced) {
        // At 38400 bit/s the line itself is the limit: request and reply, 10 bits a byte.
        SimProcess sim({QStringLiteral("--baud"), QStringLiteral("38400")});
        const QByteArray name = "MEAS1MB.DAT";
        const qint32 size = 1024 * 1024;
        double lineSeconds = 0;
        for (qint32 start = 1; start <= size; start += FileDownload::BlockSize) {
            const qint32 end = std::min(start + FileDownload::BlockSize - 1, size);
            const qint64 bytes = blockRequest(name, start, end).size() + 2 + (end - start + 3);
            lineSeconds += double(bytes) * 10.0 / 38400.0;
        }
        ProgramLink p(sim.device());
        p.link.SendCommand("aaa", 1000);
        bool ok = false;
        const double took = programDownload(p.link, name, size, &ok);
        figure("download_efficiency_38400", lineSeconds / took,
               ok ? "1 MB; target >= 0.97" : "DOWNLOAD FAILED");
    }
}

void measure1600()
{
    QTemporaryDir dir;
    QByteArray reply;
    for (int i = 0; i < 1600; ++i)
        reply += (i ? "," : "") + QByteArray("U ") + QByteArray::number(i % 4 + 1) + " " +
                 QByteArray::number(100.0 + i * 0.125, 'E', 4);
    reply += "\r\n";
    MeasRecorder recorder(dir.filePath(QStringLiteral("data.log")));
    recorder.log().setLogging(true);
    FlexGrid grid(2, 1.0 / 15);
    MeasGrid::titles(grid);
    std::vector<double> ms;
    for (int i = 0; i < 200; ++i) {
        ms.push_back(seconds([&] {
                         const qint32 n = recorder.takeHeaderReply(reply);
                         MeasGrid::fillFull(grid, recorder.lists(), n);
                     }) *
                     1000.0);
    }
    std::sort(ms.begin(), ms.end());
    figure("meas_1600_ms", ms[ms.size() / 2], recorder.logFailed() ? "LOG FAILED" : "median of 200; target <= 5");
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
    if (want("measure"))
        measure1600();
    // "download" runs both; the paced one alone takes about five minutes.
    if (want("download") || want("download_unpaced") || want("download_paced"))
        downloads(want("download") || want("download_unpaced"),
                  want("download") || want("download_paced"));
    if (want("startup"))
        startup();
    return 0;
}
