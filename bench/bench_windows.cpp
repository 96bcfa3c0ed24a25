// What users feel: the program's own windows, driven through their buttons and public
// handlers, against kestrel-sim over a pseudo-terminal. A click starts a job and returns;
// the benchmark then runs the event loop until the window's jobs have ended.

#include "BenchJobs.h"
#include "BenchUtil.h"
#include "Benches.h"
#include "FrmDload.h"
#include "FrmMeas.h"
#include "FrmStart.h"
#include "InstrumentSession.h"
#include "Link.h"
#include "MessageService.h"
#include "QtCommPort.h"
#include "QtFloorClient.h"
#include "StallMeter.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>

#include <cstdio>

namespace bench {

namespace {

// Any message box would stop a benchmark: count it, close it (No to a question) from the
// event loop, as a user would, and go on.
class CountingMessages final : public MessageService
{
public:
    void open(Kind kind, const QString& text, QObject* context, Then then) override
    {
        ++count;
        std::fprintf(stderr, "pqbench: message: %s\n", qPrintable(text));
        if (then)
            QTimer::singleShot(0, context ? context : QCoreApplication::instance(),
                               [then, answer = kind != Kind::Question] { then(answer); });
    }
    int count = 0;
};

// The program as a user starts it, its COM1 being the simulator, working in a fresh folder
// (the measurement log lands in the current directory).
class Program
{
public:
    explicit Program(const SimProcess& sim)
    {
        sim.useAsConfigHome();
        m_previousDir = QDir::currentPath();
        QDir::setCurrent(m_dir.path());
        MessageService::install(&messages);
        start = std::make_unique<FrmStart>(session);
        start->show();
    }
    ~Program()
    {
        start->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        start.reset();
        MessageService::install(nullptr);
        QDir::setCurrent(m_previousDir);
    }

    bool connect()
    {
        click(start.get(), "CommandConnect");
        settle(session);
        return session.connected();
    }
    // Opens a window of the start window by its button; it is shown once its opening job ends.
    void open(const char* button)
    {
        click(start.get(), button);
        settle(session);
    }
    template <class T> T* child(QObject* parent, const char* name)
    {
        T* w = parent->findChild<T*>(QString::fromLatin1(name));
        if (!w)
            std::fprintf(stderr, "pqbench: no control %s\n", name);
        return w;
    }
    void click(QObject* parent, const char* button)
    {
        if (auto* b = child<QPushButton>(parent, button))
            b->click();
    }
    QString dir() const { return m_dir.path(); }

    CountingMessages messages;
    InstrumentSession session{std::make_unique<QtCommPort>()};
    std::unique_ptr<FrmStart> start;

private:
    QTemporaryDir m_dir;
    QString m_previousDir;
};

QString failureNote(int failures, const char* what)
{
    return failures ? QStringLiteral("; %1 %2").arg(failures).arg(QLatin1String(what)) : QString();
}

// Where each block request was written: when, and the process's CPU time then.
struct BlockMark
{
    qint64 ns;
    double cpu;
    double lineSeconds;
};

// One download through the download window, at a paced line, cut into segments of blocks.
struct PacedDownload
{
    qint64 size = -1;
    int failures = 0;
    size_t blocksPerSegment = 0;
    std::vector<double> efficiency; // line time / time taken, a segment each
    std::vector<double> cpuShare;   // CPU seconds / wall seconds, a segment each
};

PacedDownload downloadThroughWindow(Program& program, QWidget* window, const QString& name,
                                    int baud, int segments, StallMeter* stall)
{
    PacedDownload d;
    auto* list = program.child<QListWidget>(window, "List1");
    const auto items = list->findItems(name + QLatin1Char('\t'), Qt::MatchStartsWith);
    if (items.size() == 1) {
        list->setCurrentItem(items.first());
        d.size = items.first()->text().section(QLatin1Char('\t'), 1).toLongLong();
    } else {
        ++d.failures;
    }
    const QString local = QDir(program.dir()).filePath(name);
    QFile::remove(local); // a whole download, not a resume
    QElapsedTimer clock;
    std::vector<BlockMark> marks;
    const auto watch =
        QObject::connect(&program.session.link(), &Link::written, [&](const QByteArray& line, int) {
            if (!line.startsWith(":CARD:PICK?"))
                return;
            // ":CARD:PICK? name, start, end" + CR LF; the reply is 0x02, the bytes and 0x03.
            const QList<QByteArray> f = line.trimmed().split(',');
            const qint64 bytes =
                f.value(2).trimmed().toLongLong() - f.value(1).trimmed().toLongLong() + 3;
            marks.push_back(
                {clock.nsecsElapsed(), cpuSeconds(), double(line.size() + bytes) * 10.0 / baud});
        });
    const int messages = program.messages.count;
    clock.start();
    if (stall)
        stall->start();
    program.click(window, "CommandDExec");
    settle(program.session);
    if (stall)
        stall->stop();
    const BlockMark end{clock.nsecsElapsed(), cpuSeconds(), 0};
    QObject::disconnect(watch);
    d.failures += QFileInfo(local).size() != d.size;
    d.failures += program.messages.count - messages;

    d.blocksPerSegment = std::max<size_t>(1, (marks.size() + segments - 1) / size_t(segments));
    for (size_t first = 0; first < marks.size(); first += d.blocksPerSegment) {
        const size_t last = std::min(first + d.blocksPerSegment, marks.size());
        const BlockMark& stop = last < marks.size() ? marks[last] : end;
        double line = 0;
        for (size_t i = first; i < last; ++i)
            line += marks[i].lineSeconds;
        const double wall = double(stop.ns - marks[first].ns) / 1e9;
        d.efficiency.push_back(line / wall);
        d.cpuShare.push_back((stop.cpu - marks[first].cpu) / wall);
    }
    return d;
}

} // namespace

void downloadPaced()
{
    // At 38400 bit/s the line itself is the limit: request and reply, 10 bits a byte.
    const int baud = 38400;
    auto sim = startSim({QStringLiteral("--baud"), QString::number(baud)});
    Program program(*sim);
    const bool connected = program.connect();
    program.open("CommandDloadDisp");
    QWidget* window = program.start->dloadWindow();
    if (!connected || !window) {
        figure("download_efficiency_38400", 0, QStringLiteral("NO DOWNLOAD WINDOW"));
        return;
    }
    auto* tree = program.child<QTreeView>(window, "Dir1");
    tree->setCurrentIndex(qobject_cast<QFileSystemModel*>(tree->model())->index(program.dir()));

    // PQBENCH_PACED_FILE=MEAS0001.DAT (52 kB) makes a quick run for looking into a figure.
    const QString big = qEnvironmentVariable("PQBENCH_PACED_FILE", QStringLiteral("MEAS1MB.DAT"));
    StallMeter stall;
    const PacedDownload d = downloadThroughWindow(program, window, big, baud, 10, &stall);
    if (qEnvironmentVariableIsSet("PQBENCH_VERBOSE"))
        std::printf("  longest gaps: %s\n", qPrintable(stall.longest(10)));
    const QString failed = failureNote(d.failures, "FAILED");
    medianFigure("download_efficiency_38400", d.efficiency,
                 QStringLiteral("line time / time taken, %1 bytes through the window in segments "
                                "of %2 blocks; target >= 0.97%3")
                     .arg(d.size)
                     .arg(d.blocksPerSegment)
                     .arg(failed));
    figure("ui_stall_ms_download", stall.maxGapMs(),
           QStringLiteral("longest gap of a 5 ms timer during that download, %1 ticks, %2 over "
                          "20 ms; target <= 20%3")
               .arg(stall.ticks())
               .arg(stall.gapsOver(20))
               .arg(failed));

    // The timer's own wake-ups would count as the program's: the CPU share is taken from a
    // second download without it (52 kB, 14 s).
    const PacedDownload c =
        downloadThroughWindow(program, window, QStringLiteral("MEAS0001.DAT"), baud, 9, nullptr);
    // What the same download costs the minimal Qt client, for comparison.
    double floorShare = 0;
    {
        auto floorSim = startSim({QStringLiteral("--baud"), QString::number(baud)});
        QtFloorClient floor(floorSim->device());
        floor.exchange("aaa");
        QFile file(QDir(program.dir()).filePath(QStringLiteral("floor.dat")));
        file.open(QIODevice::WriteOnly);
        const double cpu = cpuSeconds();
        const double wall = seconds([&] {
            for (qint64 start = 1; start <= c.size; start += 1000) {
                const qint64 end = std::min(start + 999, c.size);
                const QByteArray b =
                    floor.exchangeBlock(":CARD:PICK? MEAS0001.DAT, " + QByteArray::number(start) +
                                            ", " + QByteArray::number(end),
                                        end - start + 3);
                file.write(b.mid(1, end - start + 1));
            }
        });
        floorShare = (cpuSeconds() - cpu) / wall;
    }
    medianFigure("cpu_share_download_38400", c.cpuShare,
                 QStringLiteral("CPU s / wall s, %1 bytes through the window in segments of %2 "
                                "blocks; the minimal Qt client %3; target <= 0.02%4")
                     .arg(c.size)
                     .arg(c.blocksPerSegment)
                     .arg(floorShare, 0, 'f', 3)
                     .arg(failureNote(c.failures, "FAILED")));
}

namespace {

// The measurement window open on a simulator answering 1600 items, logging on.
struct MeasSetup
{
    std::unique_ptr<SimProcess> sim =
        startSim({QStringLiteral("--meas-items"), QStringLiteral("1600")});
    Program program{*sim};
    FrmMeas* window = nullptr;
    int measurements = 0;

    bool open()
    {
        if (!program.connect())
            return false;
        program.open("CommandMeasDisp");
        window = program.start->measWindow();
        if (!window)
            return false;
        program.child<QAction>(window, "MFLogging")->trigger();
        QObject::connect(
            &program.session.link(), &Link::written,
            [this](const QByteArray& line, int) { measurements += line == ":MEAS?\r\n"; });
        return true;
    }
    // A repeat run until the n-th measurement is under way, then Stop; returns when the
    // run has ended.
    void run(int n, const std::function<void(int)>& eachMeasurement = {})
    {
        auto* repeat = program.child<QPushButton>(window, "CommandRepeat");
        const int first = measurements;
        SessionLoop loop(program.session);
        bool stopped = false;
        const auto onWritten = [&, repeat](const QByteArray& line, int) {
            if (line != ":MEAS?\r\n")
                return;
            if (eachMeasurement)
                eachMeasurement(measurements - first);
            if (measurements - first == n)
                QTimer::singleShot(0, repeat, [&, repeat] {
                    repeat->click();
                    stopped = true;
                    loop.check();
                });
        };
        const auto watch = QObject::connect(&program.session.link(), &Link::written, onWritten);
        repeat->click();
        // The pass on its way when Stop was clicked is the run's last.
        loop.runUntil([&] { return stopped && program.session.idle(); });
        QObject::disconnect(watch);
    }
};

} // namespace

void repeatResponsiveness()
{
    MeasSetup setup;
    if (!setup.open()) {
        figure("ui_stall_ms_repeat", 0, QStringLiteral("NO MEASUREMENT WINDOW"));
        return;
    }
    // The shortest interval.
    setup.program.child<QComboBox>(setup.window, "ComboRepeat")->setCurrentIndex(0);
    const int passes = 10;
    StallMeter stall;
    stall.start();
    setup.run(passes);
    stall.stop();
    if (qEnvironmentVariableIsSet("PQBENCH_VERBOSE"))
        std::printf("  longest gaps: %s\n", qPrintable(stall.longest(10)));
    const QFileInfo log(QDir(setup.program.dir()).filePath(QStringLiteral("data.log")));
    const int failures = setup.program.messages.count + !log.exists();
    figure(
        "ui_stall_ms_repeat", stall.maxGapMs(),
        QStringLiteral("longest gap of a 5 ms timer, %1 passes of 1600 items at 1 s, grid shown, "
                       "logging on, %2 gaps over 20 ms; target <= 20%3")
            .arg(passes)
            .arg(stall.gapsOver(20))
            .arg(failureNote(failures, "FAILED")));
}

void repeatSoak()
{
    MeasSetup setup;
    if (!setup.open()) {
        figure("repeat_rss_growth_mb", 0, QStringLiteral("NO MEASUREMENT WINDOW"));
        return;
    }
    // As fast as the passes go: a typed interval is no selection, so the timer keeps the
    // interval set here.
    setup.window->timerRepeat().setInterval(1);
    setup.program.child<QComboBox>(setup.window, "ComboRepeat")
        ->setEditText(QStringLiteral("soak"));
    // The trend history keeps an hour of every item at one measurement a second (3600 rows):
    // it is full after the warm-up, so what grows after it would be a leak.
    const int warmUp = 4000;
    const int passes = 10000;
    double rssAfterFirst = 0;
    const QString logPath = QDir(setup.program.dir()).filePath(QStringLiteral("data.log"));
    int logs = 0;
    const double took = seconds([&] {
        setup.run(warmUp + passes, [&](int n) {
            if (n == warmUp + 1)
                rssAfterFirst = rssMb();
            // The log grows by 18 kB a pass; it is checked and removed now and then.
            if (n % 1000 == 0)
                logs += QFile::remove(logPath);
        });
    });
    const int failures = setup.program.messages.count + (logs < (warmUp + passes) / 1000 - 1);
    figure("repeat_rss_growth_mb", rssMb() - rssAfterFirst,
           QStringLiteral("%1 passes of 1600 items, logging on, after %2 that fill the trend "
                          "history (%3 s); target <= 1%4")
               .arg(passes)
               .arg(warmUp)
               .arg(took, 0, 'f', 0)
               .arg(failureNote(failures, "FAILED")));
}

} // namespace bench
