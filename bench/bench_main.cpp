// pqlink's benchmarks. Each figure is printed as "name: value  # comment". A figure with a
// floor is the median over rounds of the floor's time divided by the program's, both measured
// in the same round; the comment gives the spread of the rounds. The program's side goes
// through jobs of an InstrumentSession, as the program's windows and pqlink-cli do.

#include "BenchJobs.h"
#include "BenchUtil.h"
#include "Benches.h"
#include "FileDownload.h"
#include "FlexGrid.h"
#include "InstrumentSession.h"
#include "Link.h"
#include "MeasGrid.h"
#include "MeasRecorder.h"
#include "ModSet.h"
#include "QtCommPort.h"
#include "QtFloorClient.h"
#include "RawClient.h"
#include "RecvSettings.h"
#include "SendSettings.h"
#include "SimInstrument.h"
#include "SimPort.h"
#include "SimProcess.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <sched.h>
#include <unistd.h>

using namespace bench;

namespace bench {

namespace {

bool setCpu(int cpu)
{
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    return sched_setaffinity(0, sizeof set, &set) == 0;
}

} // namespace

std::unique_ptr<SimProcess> startSim(const QStringList& options)
{
    const QList<QByteArray> cpus = qgetenv("PQBENCH_CPUS").split(',');
    if (cpus.size() != 2)
        return std::make_unique<SimProcess>(options);
    // The child takes this thread's CPU with it.
    setCpu(cpus[1].toInt());
    auto sim = std::make_unique<SimProcess>(options);
    setCpu(cpus[0].toInt());
    return sim;
}

} // namespace bench

namespace {

// The program's session over QSerialPort to the simulator's device.
struct Program
{
    InstrumentSession session;
    explicit Program(const QString& device)
        : session(std::make_unique<QtCommPort>(nullptr, [device](int) { return device; }))
    {
        session.port().setSettings(QStringLiteral("38400,n,8,1"));
        session.port().open(nullptr);
        // One exchange first: the simulator notices a newly opened port by polling, which is
        // not what is measured.
        transact(session, "aaa", 1000);
    }
};

// The floors open and warm up the same way.
struct Raw : RawClient
{
    explicit Raw(const QString& device) : RawClient(device) { exchange("aaa"); }
};
struct QtFloor : QtFloorClient
{
    explicit QtFloor(const QString& device) : QtFloorClient(device) { exchange("aaa"); }
};

const QByteArray kUnknown = "COMMAND ERROR\r\n";

// count exchanges of command in one job; the number of replies that were not kUnknown.
Task<int> exchanges(Job& job, QByteArray command, int count)
{
    int wrong = 0;
    for (int i = 0; i < count; ++i) {
        const Link::Reply r = co_await job.transact(command, 1000);
        wrong += r.text != kUnknown;
    }
    co_return wrong;
}

void linkRoundtrip()
{
    auto sim = startSim({});
    const QString device = sim->device();
    // Each side's second of a round comes in ten slices, the sides taking turns.
    const int kSlices = 10;
    int n = 0;
    {
        Raw c(device);
        n = 100 * runsForOneSecond([&] {
                for (int i = 0; i < 100; ++i)
                    c.exchange("aaa");
            });
    }
    int wrong = 0;
    const auto t = timeRounds({
                                  [&] {
                                      Raw c(device);
                                      return seconds([&] {
                                          for (int i = 0; i < n / kSlices; ++i)
                                              wrong += c.exchange("aaa") != kUnknown;
                                      });
                                  },
                                  [&] {
                                      QtFloor c(device);
                                      return seconds([&] {
                                          for (int i = 0; i < n / kSlices; ++i)
                                              wrong += c.exchange("aaa") != kUnknown;
                                      });
                                  },
                                  [&] {
                                      // The exchanges as one conversation does them, in one
                                      // job: job_overhead_us gives the cost of a job itself.
                                      Program p(device);
                                      return seconds([&] {
                                          wrong += runJob(p.session, [&](Job& job) {
                                              return exchanges(job, "aaa", n / kSlices);
                                          });
                                      });
                                  },
                              },
                              9, kSlices);
    const QString failed = wrong ? QStringLiteral("; %1 WRONG REPLIES").arg(wrong) : QString();
    medianFigure("link_roundtrip_ratio", ratios(t[0], t[2]),
                 QStringLiteral("against raw termios, %1 round trips a side; target >= 0.8%2")
                     .arg(n)
                     .arg(failed));
    medianFigure("link_vs_qt_floor", ratios(t[1], t[2]),
                 QStringLiteral("against QSerialPort + QEventLoop; target >= 0.95%1").arg(failed));
}

void linkWaitCpu()
{
    auto sim = startSim({QStringLiteral("--fault"), QStringLiteral("drop,:WAIT?,1")});
    Program p(sim->device());
    const double before = cpuSeconds();
    const Link::Reply r = transact(p.session, ":WAIT?", 5000);
    const double used = cpuSeconds() - before;
    figure("link_wait_cpu_s", used,
           r.result == Link::Result::Timeout ? QStringLiteral("5 s time-out; target <= 0.02")
                                             : QStringLiteral("NO TIME-OUT"));
}

// n exchanges in process, each started when the last has ended: as bare transactions of the
// link (from its reply handler), or each as a job of its own (from the job's result).
struct Chain
{
    explicit Chain(InstrumentSession& s) : session(s) {}

    InstrumentSession& session;
    int left = 0;
    int wrong = 0;
    QEventLoop loop;

    void bare(int n)
    {
        left = n;
        startBare();
        loop.exec();
    }
    void startBare()
    {
        session.link().start("aaa", 1000, Link::Mode::Line,
                             [this](const Link::Reply& r) { ended(r, &Chain::startBare); });
    }
    void jobs(int n)
    {
        left = n;
        submitJob();
        loop.exec();
    }
    void submitJob()
    {
        session.submit<Link::Reply>(
            nullptr, [](Job& job) { return exchange(job, "aaa", 1000); },
            [this](Link::Reply r) { ended(r, &Chain::submitJob); });
    }
    void ended(const Link::Reply& r, void (Chain::*next)())
    {
        wrong += r.text != kUnknown;
        if (--left > 0)
            (this->*next)();
        else
            loop.quit();
    }
};

void jobOverhead()
{
    SimInstrument instrument;
    InstrumentSession session(std::make_unique<SimPort>(instrument));
    session.port().open(nullptr);
    Chain chain(session);
    const auto cpu = [&](void (Chain::*run)(int), int n) {
        const double before = cpuSeconds();
        (chain.*run)(n);
        // The last job's deferred deletion belongs to its cost.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return cpuSeconds() - before;
    };
    const int kSlices = 10;
    const int n = 1000 * runsForOneSecond([&] { chain.bare(1000); });
    const auto t = timeRounds({[&] { return cpu(&Chain::bare, n / kSlices); },
                               [&] { return cpu(&Chain::jobs, n / kSlices); }},
                              9, kSlices);
    std::vector<double> us;
    for (size_t r = 0; r < t[0].size(); ++r)
        us.push_back((t[1][r] - t[0][r]) / (n / kSlices * kSlices) * 1e6);
    medianFigure(
        "job_overhead_us", us,
        QStringLiteral("CPU us a job adds to an exchange over a bare link transaction, "
                       "in process, %1 exchanges a side; target <= 20%2")
            .arg(n)
            .arg(chain.wrong ? QStringLiteral("; %1 WRONG REPLIES").arg(chain.wrong) : QString()));
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
    figure("startup_ms", bestMs, QStringLiteral("best of 5; target <= 300"));
    figure("startup_rss_mb", rssMb, QStringLiteral("target <= 60"));
}

// An operation of the program: its jobs run to their end on the session.
using Operation = std::function<void(InstrumentSession&)>;

// The command lines an operation writes, recorded in process against the simulator, so the
// raw client can replay exactly the same exchanges.
QList<QByteArray> recordLines(const Operation& operation)
{
    SimInstrument instrument;
    instrument.keepLines(true);
    InstrumentSession session(std::make_unique<SimPort>(instrument));
    session.port().open(nullptr);
    operation(session);
    return instrument.lines();
}

// Program time / raw client time for the same exchanges (smaller is better).
void replayRatio(const char* name, const QStringList& simOptions, const Operation& operation,
                 const char* target)
{
    auto sim = startSim(simOptions);
    const QString device = sim->device();
    const QList<QByteArray> lines = recordLines(operation);
    const auto replay = [&](RawClient& c, int runs) {
        for (int r = 0; r < runs; ++r)
            for (const QByteArray& l : lines)
                c.exchange(l);
    };
    int runs = 0;
    {
        Raw c(device);
        runs = runsForOneSecond([&] { replay(c, 1); });
    }
    // Up to ten slices a side and round, the sides taking turns.
    const int slices = std::min(runs, 10);
    runs = (runs + slices - 1) / slices * slices;
    const auto t = timeRounds({
                                  [&] {
                                      Raw c(device);
                                      return seconds([&] { replay(c, runs / slices); });
                                  },
                                  [&] {
                                      Program p(device);
                                      return seconds([&] {
                                          for (int r = 0; r < runs / slices; ++r)
                                              operation(p.session);
                                      });
                                  },
                              },
                              9, slices);
    medianFigure(name, ratios(t[1], t[0]),
                 QStringLiteral("program time / raw time, %1 exchanges x %2 a side; target %3")
                     .arg(lines.size())
                     .arg(runs)
                     .arg(QLatin1String(target)));
}

// Every setting into the session's record.
void receive(InstrumentSession& s)
{
    runJob(s, [&s](Job& job) { return RecvSettings(job, s.settings()); });
}

void settingsExchange(const QStringList& simOptions, const char* recvName, const char* sendName,
                      const char* target)
{
    replayRatio(recvName, simOptions, receive, target);

    // A record as the simulator holds it, with four circuits (1P2W allows them).
    ModSet record;
    recordLines([&](InstrumentSession& s) {
        receive(s);
        record = s.settings();
    });
    record.Wiring = 0;
    record.CirNum = 4;
    const SendSettingsInputs inputs{
        [name = record.DataFName] { return name; }, [] { return 0; }, {}};
    replayRatio(
        sendName, simOptions,
        [&](InstrumentSession& s) {
            runJob(s, [&](Job& job) { return SendSettings(job, record, inputs); });
        },
        target);
}

QByteArray blockRequest(const QByteArray& name, qint32 start, qint32 end)
{
    return ":CARD:PICK? " + name + ", " + QByteArray::number(start) + ", " +
           QByteArray::number(end);
}

// The blocks of a download of size bytes: calls block(start, end) for each.
void forEachBlock(qint32 size, const std::function<void(qint32, qint32)>& block)
{
    for (qint32 start = 1; start <= size; start += FileDownload::BlockSize)
        block(start, std::min(start + FileDownload::BlockSize - 1, size));
}

void downloadUnpaced()
{
    // The file is streamed: the peak memory of a 20 MB download must stay small.
    resetPeakRss();
    const QByteArray big = "WAVE20MB.DAT";
    const qint32 bigSize = 20 * 1024 * 1024;
    auto sim = startSim({});
    const QString device = sim->device();
    QTemporaryDir dir;
    const QString target = dir.filePath(QString::fromLatin1(big));
    int failures = 0;

    // Each floor makes the same block requests and writes the same file, as plainly as it can.
    const auto rawRun = [&](RawClient& c) {
        const int fd =
            ::open(QFile::encodeName(target).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        forEachBlock(bigSize, [&](qint32 start, qint32 end) {
            const QByteArray b = c.exchangeBlock(blockRequest(big, start, end), end - start + 3);
            const qsizetype n = end - start + 1;
            if (b.size() != n + 2 || ::write(fd, b.constData() + 1, size_t(n)) != n)
                ++failures;
        });
        ::close(fd);
    };
    const auto qtRun = [&](QtFloorClient& c) {
        QFile file(target);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            ++failures;
        forEachBlock(bigSize, [&](qint32 start, qint32 end) {
            const QByteArray b = c.exchangeBlock(blockRequest(big, start, end), end - start + 3);
            const qsizetype n = end - start + 1;
            if (b.size() != n + 2 || file.write(b.constData() + 1, n) != n)
                ++failures;
        });
    };
    const auto programRun = [&](InstrumentSession& s) {
        QFile::remove(target);
        const FileDownload::Result r = runJob(s, [&](Job& job) {
            return FileDownload::run(job, FileDownload(big, bigSize, Medium::Card), target, 1);
        });
        if (r.status != FileDownload::Status::Complete || r.bytesWritten != bigSize)
            ++failures;
    };

    int runs = 0;
    {
        Raw c(device);
        runs = runsForOneSecond([&] { rawRun(c); });
    }
    const auto t = timeRounds({
        [&] {
            Raw c(device);
            return seconds([&] {
                for (int r = 0; r < runs; ++r)
                    rawRun(c);
            });
        },
        [&] {
            QtFloor c(device);
            return seconds([&] {
                for (int r = 0; r < runs; ++r)
                    qtRun(c);
            });
        },
        [&] {
            Program p(device);
            return seconds([&] {
                for (int r = 0; r < runs; ++r)
                    programRun(p.session);
            });
        },
    });
    const QString failed = failures ? QStringLiteral("; %1 FAILED").arg(failures) : QString();
    medianFigure("download_unpaced_ratio", ratios(t[0], t[2]),
                 QStringLiteral("against raw termios, 20 MB x %1 a side; target >= 0.8%2")
                     .arg(runs)
                     .arg(failed));
    medianFigure("download_vs_qt_floor", ratios(t[1], t[2]),
                 QStringLiteral("against QSerialPort + QEventLoop; target >= 0.90%1").arg(failed));
    figure("download_rss_mb", peakRssMb(), QStringLiteral("peak of the group; target <= 60"));
}

// A line at 9600 bit/s carries 10 bits a byte: request and reply of every block.
double lineSeconds(const QByteArray& name, qint32 from, qint32 to, int baud)
{
    double s = 0;
    forEachBlock(to - from + 1, [&](qint32 start, qint32 end) {
        const qint64 bytes =
            blockRequest(name, from - 1 + start, from - 1 + end).size() + 2 + (end - start + 3);
        s += double(bytes) * 10.0 / baud;
    });
    return s;
}

void download9600()
{
    auto sim = startSim({QStringLiteral("--baud"), QStringLiteral("9600")});
    Program p(sim->device());
    QTemporaryDir dir;
    const QByteArray name = "MEAS0001.DAT";
    // Two blocks a round: a little over two seconds of line.
    const qint32 size = 2 * FileDownload::BlockSize;
    const double line = lineSeconds(name, 1, size, 9600);
    std::vector<double> efficiency;
    int failures = 0;
    for (int r = 0; r < 9; ++r) {
        const QString target = dir.filePath(QStringLiteral("round%1").arg(r));
        FileDownload::Result result;
        const double took = seconds([&] {
            result = runJob(p.session, [&](Job& job) {
                return FileDownload::run(job, FileDownload(name, size, Medium::Card), target, 1);
            });
        });
        failures += result.status != FileDownload::Status::Complete || result.bytesWritten != size;
        efficiency.push_back(line / took);
    }
    medianFigure("download_efficiency_9600", efficiency,
                 QStringLiteral("line time / time taken, 2 blocks a round; target >= 0.995%1")
                     .arg(failures ? QStringLiteral("; %1 FAILED").arg(failures) : QString()));
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
    const Spread s = spread(ms);
    figure("meas_1600_ms", s.median,
           recorder.logFailed()
               ? QStringLiteral("LOG FAILED")
               : QStringLiteral("median of 200, max %1; target <= 5").arg(s.max, 0, 'f', 3));
}

void soakExchanges()
{
    auto sim = startSim({});
    Program p(sim->device());
    const int n = 100000;
    int stalled = 0;
    int wrong = 0;
    double longestMs = 0;
    double rssAfterFirst = 0;
    QElapsedTimer t;
    for (int i = 0; i < n; ++i) {
        t.start();
        wrong += transact(p.session, "aaa", 1000).text != kUnknown;
        const double ms = double(t.nsecsElapsed()) / 1e6;
        longestMs = std::max(longestMs, ms);
        stalled += ms > 1000;
        if (i == 999)
            rssAfterFirst = rssMb();
    }
    figure("soak_exchanges_stalled", stalled,
           QStringLiteral("of 100000 exchanges, longest %1 ms; target 0%2")
               .arg(longestMs, 0, 'f', 1)
               .arg(wrong ? QStringLiteral("; %1 WRONG REPLIES").arg(wrong) : QString()),
           0);
    figure("soak_rss_growth_mb", rssMb() - rssAfterFirst,
           QStringLiteral("after 100000 minus after 1000; target <= 1"));
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList only = app.arguments().mid(1);
    const auto want = [&](std::initializer_list<const char*> groups) {
        if (only.isEmpty())
            return true;
        for (const char* g : groups)
            if (only.contains(QLatin1String(g)))
                return true;
        return false;
    };
    if (want({"link"})) {
        linkRoundtrip();
        linkWaitCpu();
        jobOverhead();
    }
    if (want({"settings"}))
        settingsExchange({}, "recv_settings_ratio", "send_settings_ratio", "<= 1.25");
    if (want({"settings", "settings_38400"}))
        settingsExchange({QStringLiteral("--baud"), QStringLiteral("38400")},
                         "recv_settings_38400_ratio", "send_settings_38400_ratio", "<= 1.02");
    if (want({"measure"}))
        measure1600();
    if (want({"download", "download_unpaced"}))
        downloadUnpaced();
    if (want({"download", "download_9600"}))
        download9600();
    if (want({"download", "download_paced"}))
        downloadPaced();
    if (want({"repeat"}))
        repeatResponsiveness();
    if (want({"soak", "soak_link"}))
        soakExchanges();
    if (want({"soak", "soak_repeat"}))
        repeatSoak();
    if (want({"startup"}))
        startup();
    return 0;
}
