// Every job of the session, cancelled at each of its steps: nothing more is written, no
// result is given, and the next job gets its own reply, not the cancelled one's.

#include "Connect.h"
#include "FileCommands.h"
#include "FileDownload.h"
#include "Measurement.h"
#include "Recording.h"
#include "RecvSettings.h"
#include "SendSettings.h"
#include "SimBench.h"
#include "SimStorage.h"

#include <QFile>
#include <QTemporaryDir>

namespace {

// A job as a front end submits it; what it gives back does not matter here. step() records a
// step of the job's own (a download's progress), at which the test may cancel it.
using Step = std::function<void(const QString&)>;
using Make = std::function<Task<int>(Job&, SimBench&, QString dir, Step step)>;

template <class R> Task<int> ran(Task<R> task)
{
    co_await task;
    co_return 0;
}

struct Row
{
    const char* name;
    const char* fault; // of the simulator, for a row that must meet a refusal
    bool connect;      // the row needs a connection first
    Make make;
};

const Make kReceive = [](Job& j, SimBench& b, auto...) {
    return ran(RecvSettings(j, b.session->settings()));
};

const Row kRows[] = {
    {"connection test", "", false,
     [](Job& j, SimBench&, auto...) { return ran(ConnectDirect(j)); }},
    {"modem dial", "", false,
     [](Job& j, SimBench&, auto...) { return ran(ConnectModem(j, "AT", "123")); }},
    {"receive", "", true, kReceive},
    {"receive, ERROR box", "drop,:SAMP?,1", true, kReceive},
    {"send", "", true,
     [](Job& j, SimBench& b, auto...) {
         const auto clock = [] { return QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5)); };
         return ran(SendSettings(j, b.session->settings(), {{}, [] { return 1; }, clock}));
     }},
    {"send, refusal box", "refuse,:SAMP,1", true,
     [](Job& j, SimBench& b, auto...) { return ran(SendSettings(j, b.session->settings(), {})); }},
    {"single", "", true, [](Job& j, SimBench&, auto...) { return ran(MeasureWithNames(j)); }},
    {"repeat pass", "", true, [](Job& j, SimBench&, auto...) { return ran(MeasureValues(j)); }},
    {"record state", "", true, [](Job& j, SimBench&, auto...) { return ran(ReadRecordState(j)); }},
    {"start/stop", "", true,
     [](Job& j, SimBench&, auto...) { return ran(SetRecording(j, RecordAction::Toggle)); }},
    {"list memory", "", true,
     [](Job& j, SimBench&, auto...) { return ran(ListFiles(j, Medium::Memory)); }},
    {"delete", "", true,
     [](Job& j, SimBench&, auto...) { return ran(DeleteCardFile(j, "MEAS0003.DAT")); }},
    {"format", "", true, [](Job& j, SimBench&, auto...) { return ran(FormatMemory(j)); }},
    // Cancelled from its own progress too, as a window closing on it would.
    {"download with resume", "", true,
     [](Job& j, SimBench&, QString dir, Step step) {
         const auto progress = [step](qint32, qint32, qint32) { step("progress"); };
         return ran(
             DownloadFile(j, {"MEAS0003.DAT", "1001", dir, Medium::Card, true, false, progress}));
     }},
};

// What one run of a row did: each step (a line written, a pause, a message) and the lines.
struct Trace
{
    QStringList steps;
    QList<QByteArray> wire;
    int results = 0;
};

struct Run
{
    QTemporaryDir dir;
    SimBench bench;
    Trace trace;
    Job* job = nullptr;

    Run(const Row& row, int cancelAt)
        : bench(SimBench::withFault(row.fault, {.modem = &row == &kRows[1], .dialDelayMs = 10}))
    {
        bench.instrument.config().deleteDelayMs = 0;
        if (row.connect)
            bench.connectDirect();
        else
            bench.port->open(nullptr);
        // A local copy of the first 500 bytes, so the download checks it before going on.
        QFile local(dir.filePath("MEAS0003.DAT"));
        if (local.open(QIODevice::WriteOnly))
            local.write(SimStorage::content(SimStorage::Card, "MEAS0003.DAT", 1, 500));
        local.close();
        bench.clearWire();
        bench.session->setPauseLength([](int) { return 50; });
        const auto step = [this, cancelAt](const QString& what) {
            trace.steps << what;
            if (trace.steps.size() == cancelAt)
                job->cancel();
        };
        QObject::connect(
            &bench.link(), &Link::written, bench.start.get(),
            [step](const QByteArray& line) { step(QString::fromLatin1(line.trimmed())); });
        bench.session->setMessageHandler([step](Job& j, MessageKind, const QString&) {
            step(QStringLiteral("message"));
            j.resume();
        });
        const Make make = row.make;
        bench.session->submit<int>(
            nullptr,
            [this, make, step](Job& j) {
                job = &j;
                QObject::connect(job, &Job::pausing, bench.start.get(), [step] { step("pause"); });
                return make(j, bench, dir.path(), step);
            },
            [this](int) { ++trace.results; });
        TestUtil::waitFor([this] { return bench.session->idle() && !bench.link().held(); }, 10000);
        QTest::qWait(50); // room for anything that would still come
        trace.wire = bench.wire();
    }
};

} // namespace

class TestJobs : public QObject
{
    Q_OBJECT
private slots:
    void cancelledAtEachStep_data();
    void cancelledAtEachStep();
};

void TestJobs::cancelledAtEachStep_data()
{
    QTest::addColumn<int>("row");
    for (int i = 0; i < int(std::size(kRows)); ++i)
        QTest::newRow(kRows[i].name) << i;
}

// Catches: a cancelled job that writes another line, shows another message, goes on after
// its pause or gives a result; a job that ends in no result or two; a cancelled job's reply
// taken as the answer to the next job's command.
void TestJobs::cancelledAtEachStep()
{
    QFETCH(int, row);
    const Row& r = kRows[row];
    Run whole(r, 0);
    QCOMPARE(whole.trace.results, 1);
    QVERIFY2(whole.trace.steps.size() >= 1, qPrintable(whole.trace.steps.join('|')));
    for (int k = 1; k <= whole.trace.steps.size(); ++k) {
        Run cut(r, k);
        const QString at =
            QStringLiteral("cancelled at step %1 (%2)").arg(k).arg(whole.trace.steps[k - 1]);
        QVERIFY2(cut.trace.results == 0, qPrintable(at));
        const QStringList done = whole.trace.steps.mid(0, k);
        QVERIFY2(cut.trace.steps == done, qPrintable(at + ": " + cut.trace.steps.join('|')));
        const qsizetype lines =
            done.size() - done.count("pause") - done.count("message") - done.count("progress");
        QVERIFY2(cut.trace.wire == whole.trace.wire.mid(0, lines), qPrintable(at));
        // The line is free again, and the next job's reply is its own (a modem still in its
        // command mode answers anything with ERROR).
        const QByteArray expected = row == 1 ? "ERROR\r\n" : "COMMAND ERROR\r\n";
        const QByteArray next = TestUtil::transact(*cut.bench.session, "aaa").text;
        QVERIFY2(next.endsWith(expected), qPrintable(at + ": " + next));
    }
}

QTEST_MAIN(TestJobs)
#include "test_jobs.moc"
