// The measurement window through its real controls, over the link to the simulated instrument.

#include "BlockingPause.h"
#include "DlgSettings.h"
#include "FlexGrid.h"
#include "FrmMeas.h"
#include "Link.h"
#include "SimBench.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>

#include <functional>

using Lines = QList<QByteArray>;

namespace {

// The instrument's reply for 1P2W, one circuit: the first measurement and the next.
const QByteArray kNames = "U1,CH1 I1,CH1 P,CH1 Q,CH1 S,CH1 PF,f,\r\n";
const QByteArray kValues0 = "+100.10,+5.010,+500.0,-12.5,+501.5,+0.9970,+50.00,\r\n";
const QByteArray kValues1 = "+100.11,+5.020,+500.1,-12.5,+501.6,+0.9960,+50.01,\r\n";
const QByteArray kValues2 = "+100.12,+5.030,+500.2,-12.5,+501.7,+0.9950,+50.02,\r\n";
const QByteArray kValues3 = "+100.13,+5.040,+500.3,-12.5,+501.8,+0.9940,+50.03,\r\n";

// Every line the program wrote, with its time-out.
struct Written
{
    QList<QByteArray> lines;
    QList<int> timeouts;
    int count(const QByteArray& line) const { return static_cast<int>(lines.count(line)); }
};

// The window opened over a connected link, with data.log going to a folder of its own.
struct Fixture
{
    explicit Fixture(SimConfig config = {}) : bench(std::move(config))
    {
        QDir::setCurrent(dir.path());
        connected = bench.connectDirect();
        window = bench.openMeas();
        bench.clearWire();
        QObject::connect(&bench.link(), &Link::written, [this](const QByteArray& line, int ms) {
            written.lines << line.chopped(2);
            written.timeouts << ms;
        });
    }
    ~Fixture() { QDir::setCurrent(QDir::tempPath()); }

    template <class T> T* get(const char* name) { return bench.child<T>(window, name); }
    QPushButton* single() { return get<QPushButton>("CommandSingle"); }
    QPushButton* repeat() { return get<QPushButton>("CommandRepeat"); }
    QPushButton* startStop() { return get<QPushButton>("CommandStart"); }
    QComboBox* combo() { return get<QComboBox>("ComboRepeat"); }
    QAction* logging() { return get<QAction>("MFLogging"); }
    QString cell(int row, int col) { return window->grid()->TextMatrix(row, col); }

    // A repeat run at a short interval: a text typed into the box leaves the interval as set.
    void shortInterval(int ms)
    {
        combo()->setEditText(QStringLiteral("fast"));
        window->timerRepeat().setInterval(ms);
    }

    // Clicks "Repeat"; the click returns when the run's loop has ended. The watchdog stops a
    // run that would otherwise never end, so a fault fails the test instead of hanging it.
    void runRepeat(int watchdogMs = 10000)
    {
        QPointer<QPushButton> button = repeat();
        QPointer<FrmMeas> w = window;
        TestUtil::later(watchdogMs, [this, w, button] {
            if (w && !w->lifetime().unloading() && button &&
                TestUtil::caption(button) == QLatin1String("Stop") && !finished) {
                watchdogFired = true;
                QTest::mouseClick(button, Qt::LeftButton);
            }
        });
        QTest::mouseClick(button, Qt::LeftButton);
        finished = true;
    }

    // Runs f when the n-th ":MEAS?" has been written.
    void onMeas(int n, std::function<void()> f)
    {
        QObject::connect(&bench.link(), &Link::written,
                         [this, n, f, fired = false](const QByteArray& line, int) mutable {
                             if (!fired && line == ":MEAS?\r\n" && written.count(":MEAS?") == n) {
                                 fired = true;
                                 TestUtil::later(0, f);
                             }
                         });
    }

    QByteArray log() const
    {
        QFile f(QDir(dir.path()).filePath(QStringLiteral("data.log")));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<no file>");
    }

    QTemporaryDir dir;
    SimBench bench;
    bool connected = false;
    FrmMeas* window = nullptr;
    Written written;
    bool finished = false;
    bool watchdogFired = false;
};

SimConfig slowMeas(int ms)
{
    SimConfig c;
    c.measDelayMs = ms;
    return c;
}

// Records the blocking pause and how many lines had gone out when it came.
class PauseAt
{
public:
    explicit PauseAt(const SimInstrument& in)
    {
        BlockingPause::setImplementation(
            [this, &in](int ms) { pauses << qMakePair(ms, in.lines().size()); });
    }
    ~PauseAt() { BlockingPause::setImplementation({}); }
    QList<QPair<int, qsizetype>> pauses;
};

} // namespace

class TestFrmMeas : public QObject
{
    Q_OBJECT
private slots:
    void opening_data();
    void opening();
    void singleSendsThreeCommandsAndFillsTheGrid();
    void repeatRunMeasuresAtOnceThenOnTicks();
    void ticksDuringASlowMeasurementMerge();
    void stopDuringAMeasurementStillShowsAndLogsIt();
    void busyEndsTheLoopButNotTheRun();
    void startStop_data();
    void startStop();
    void logOfARepeatRun_data();
    void logOfARepeatRun();
    void logFailureWarnsOnceAndUnchecksLogging();
    void settingsOnlyOutsideARun();
    void closeDuringARunSendsNoMoreMeasurements();
    void disconnectDuringASingle();
    void closeWithTheSettingsDialogOpen();
};

void TestFrmMeas::opening_data()
{
    QTest::addColumn<int>("recording");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("label");
    QTest::newRow("stopped") << 0 << QString() << QStringLiteral("STOP");
    QTest::newRow("waiting") << 1 << QString() << QStringLiteral("WAIT");
    QTest::newRow("running") << 2 << QString() << QStringLiteral("RUN");
    QTest::newRow("no answer keeps the design caption")
        << 2 << QStringLiteral("drop,:STAT?,1") << QStringLiteral("Label2");
    QTest::newRow("other text keeps the design caption")
        << 2 << QStringLiteral("garble,:STAT?,1") << QStringLiteral("Label2");
}

void TestFrmMeas::opening()
{
    QFETCH(int, recording);
    QFETCH(QString, fault);
    QFETCH(QString, label);
    SimConfig c;
    if (!fault.isEmpty()) {
        SimFault f;
        QString error;
        QVERIFY2(SimFault::parse(fault, &f, &error), qPrintable(error));
        c.faults.push_back(f);
    }
    SimBench b(c);
    b.instrument.state().measure.recording = recording;
    b.instrument.state().measure.waitUntil = QDateTime::currentDateTime().addYears(1);
    QVERIFY(b.connectDirect());
    b.clearWire();
    QList<int> timeouts;
    QObject::connect(&b.link(), &Link::written, [&](const QByteArray&, int ms) { timeouts << ms; });
    FrmMeas* w = b.openMeas();
    QVERIFY(w);
    QVERIFY(w->isVisible());
    QCOMPARE(w->windowTitle(), QStringLiteral("MEASURE"));

    // The settings are received first, the state is asked last, every line with 1000 ms.
    const Lines wire = b.wire();
    QVERIFY2(wire.size() > 30, qPrintable(QString::number(wire.size())));
    QCOMPARE(wire.last(), QByteArray(":STAT?"));
    QCOMPARE(wire.count(":STAT?"), 1);
    QCOMPARE(timeouts, QList<int>(wire.size(), 1000));
    QCOMPARE(TestUtil::caption(b.child<QLabel>(w, "Label2")), label);

    FlexGrid* g = w->grid();
    QCOMPARE(g->Rows(), 2);
    QCOMPARE(g->TextMatrix(0, 0), QStringLiteral("HEADDER"));
    QCOMPARE(g->TextMatrix(0, 1), QStringLiteral("DATA"));
    QCOMPARE(g->TextMatrix(1, 0), QString());
    QCOMPARE(g->ColWidth(0), 1900);
    QCOMPARE(g->ColWidth(1), 1200);

    auto* combo = b.child<QComboBox>(w, "ComboRepeat");
    QVERIFY(combo->isEditable());
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    QCOMPARE(items,
             (QStringList{" 1s", " 2s", " 5s", "10s", "15s", "30s", " 1m", " 2m", " 5m", "10m"}));
    QCOMPARE(combo->currentIndex(), 5);
    QCOMPARE(combo->currentText(), QStringLiteral("30s"));
    QVERIFY(!w->timerRepeat().isActive());
    QVERIFY(!b.child<QAction>(w, "MFLogging")->isChecked());
    QVERIFY(b.child<QAction>(w, "MFLogging")->isCheckable());
    QCOMPARE(TestUtil::caption(b.child<QPushButton>(w, "CommandRepeat")), QStringLiteral("Repeat"));
}

void TestFrmMeas::singleSendsThreeCommandsAndFillsTheGrid()
{
    SimConfig c;
    c.measItems = 1600;
    Fixture f(c);
    QVERIFY(f.connected && f.window);
    f.bench.instrument.state().settings.wiring = 5;
    f.bench.instrument.state().settings.cirNum = 2;

    bool disabledDuring = false;
    f.onMeas(1, [&] {
        disabledDuring =
            !f.single()->isEnabled() && !f.repeat()->isEnabled() && !f.startStop()->isEnabled();
    });
    QTest::mouseClick(f.single(), Qt::LeftButton);
    QCOMPARE(f.bench.wire(), (Lines{":HEAD ON", ":TRAN:SEP 2", ":MEAS?"}));
    QCOMPARE(f.written.timeouts, (QList<int>{1000, 1000, 50000}));
    QVERIFY(disabledDuring);
    QVERIFY(f.single()->isEnabled() && f.repeat()->isEnabled() && f.startStop()->isEnabled());
    // Single leaves the instrument sending names.
    QVERIFY(f.bench.instrument.state().measure.headOn);

    // 3P4W4I, two circuits: three voltages, then per circuit four currents and P, Q, S, PF.
    FlexGrid* g = f.window->grid();
    QCOMPARE(g->Rows(), 1601);
    QCOMPARE(f.cell(1, 0), QStringLiteral("U1"));
    QCOMPARE(f.cell(1, 1), QStringLiteral("+100.10"));
    QCOMPARE(f.cell(4, 0), QStringLiteral("CH1 I1"));
    QCOMPARE(f.cell(4, 1), QStringLiteral("+5.010"));
    QCOMPARE(f.cell(19, 0), QStringLiteral("CH2 PF"));
    QCOMPARE(f.cell(20, 0), QStringLiteral("f"));
    QCOMPARE(f.cell(21, 0), QStringLiteral("HARM 1"));
    QCOMPARE(f.cell(1600, 0), QStringLiteral("HARM 1580"));
    QCOMPARE(g->TextMatrix(0, 0), QStringLiteral("HEADDER"));

    // A shorter reply shrinks the grid; no log file without LOGGING.
    f.bench.instrument.config().measItems = 2;
    QTest::mouseClick(f.single(), Qt::LeftButton);
    QCOMPARE(g->Rows(), 3);
    QCOMPARE(f.cell(2, 0), QStringLiteral("U2"));
    QCOMPARE(f.log(), QByteArray("<no file>"));
}

void TestFrmMeas::repeatRunMeasuresAtOnceThenOnTicks()
{
    Fixture f;
    QVERIFY(f.connected && f.window);
    f.combo()->setCurrentIndex(7); // " 2m"
    bool first = false;
    f.onMeas(1, [&] {
        first = true;
        // Running: only "Stop" is usable, the interval is the chosen one, and a new choice
        // waits for the next run.
        QCOMPARE(TestUtil::caption(f.repeat()), QStringLiteral("Stop"));
        QVERIFY(f.repeat()->isEnabled());
        QVERIFY(!f.single()->isEnabled());
        QVERIFY(!f.startStop()->isEnabled());
        QVERIFY(f.window->timerRepeat().isActive());
        QCOMPARE(f.window->timerRepeat().interval(), 120000);
        f.combo()->setCurrentIndex(0);
    });
    TestUtil::later(600, [&] { QTest::mouseClick(f.repeat(), Qt::LeftButton); });
    f.runRepeat();
    QVERIFY(first);
    QVERIFY(!f.watchdogFired);
    QCOMPARE(f.window->timerRepeat().interval(), 120000);
    QCOMPARE(f.bench.wire(), (Lines{":HEAD ON", ":TRAN:SEP 2", ":MEAS?", ":HEAD OFF"}));
    QCOMPARE(f.written.timeouts, (QList<int>{1000, 1000, 50000, 1000}));
    QVERIFY(!f.bench.instrument.state().measure.headOn);
    QCOMPARE(TestUtil::caption(f.repeat()), QStringLiteral("Repeat"));
    QVERIFY(f.single()->isEnabled() && f.startStop()->isEnabled());
    QVERIFY(!f.window->timerRepeat().isActive());

    // The next run takes the new choice; a typed text keeps the running interval.
    TestUtil::later(300, [&] {
        QCOMPARE(f.window->timerRepeat().interval(), 1000);
        QTest::mouseClick(f.repeat(), Qt::LeftButton);
    });
    f.runRepeat();
    f.combo()->setEditText(QStringLiteral("7s"));
    TestUtil::later(300, [&] {
        QCOMPARE(f.window->timerRepeat().interval(), 1000);
        QTest::mouseClick(f.repeat(), Qt::LeftButton);
    });
    f.runRepeat();
    QVERIFY(!f.watchdogFired);
}

void TestFrmMeas::ticksDuringASlowMeasurementMerge()
{
    Fixture f(slowMeas(600));
    QVERIFY(f.connected && f.window);
    f.shortInterval(3600000); // the test ticks by hand
    QObject::connect(&f.bench.link(), &Link::written, [&](const QByteArray& line, int) {
        if (line == ":HEAD OFF\r\n")
            TestUtil::later(0, [&] { f.window->TimerRepeat_Timer(); });
    });
    // Three ticks while the first repeated measurement waits: one measurement follows.
    f.onMeas(2, [&] {
        f.window->TimerRepeat_Timer();
        TestUtil::later(100, [&] { f.window->TimerRepeat_Timer(); });
        TestUtil::later(200, [&] { f.window->TimerRepeat_Timer(); });
    });
    f.onMeas(3, [&] { TestUtil::later(1200, [&] { f.repeat()->click(); }); });
    f.runRepeat();
    QVERIFY(!f.watchdogFired);
    QCOMPARE(f.bench.wire(),
             (Lines{":HEAD ON", ":TRAN:SEP 2", ":MEAS?", ":HEAD OFF", ":MEAS?", ":MEAS?"}));
    QCOMPARE(f.cell(1, 1), QStringLiteral("+100.12"));
}

void TestFrmMeas::stopDuringAMeasurementStillShowsAndLogsIt()
{
    Fixture f(slowMeas(500));
    QVERIFY(f.connected && f.window);
    f.logging()->trigger();
    f.shortInterval(100);
    f.onMeas(2, [&] {
        QTest::mouseClick(f.repeat(), Qt::LeftButton);
        // Idle at once, though the measurement is still outstanding.
        QCOMPARE(TestUtil::caption(f.repeat()), QStringLiteral("Repeat"));
        QVERIFY(f.single()->isEnabled() && f.startStop()->isEnabled());
        QVERIFY(!f.window->timerRepeat().isActive());
    });
    f.runRepeat();
    QVERIFY(!f.watchdogFired);
    QTest::qWait(300);
    QCOMPARE(f.bench.wire(), (Lines{":HEAD ON", ":TRAN:SEP 2", ":MEAS?", ":HEAD OFF", ":MEAS?"}));
    QCOMPARE(f.cell(1, 1), QStringLiteral("+100.11"));
    QCOMPARE(f.cell(1, 0), QStringLiteral("U1"));
    QCOMPARE(f.log(), kNames + kValues0 + kValues1);
}

void TestFrmMeas::busyEndsTheLoopButNotTheRun()
{
    // "Repeat" clicked while another transaction holds the link: every command is refused,
    // and the first refused repeated measurement ends the loop.
    SimConfig c;
    SimFault slow;
    QString error;
    QVERIFY(SimFault::parse(QStringLiteral("delay,aaa,2,1500"), &slow, &error));
    c.faults.push_back(slow);
    Fixture f(c);
    QVERIFY(f.connected && f.window);
    f.shortInterval(100);
    bool loopEnded = false;
    TestUtil::later(100, [&] {
        f.runRepeat(5000);
        loopEnded = true;
    });
    const Link::Reply held = f.bench.link().SendCommand("aaa", 3000);
    QCOMPARE(held.result, Link::ResultComplete);
    QVERIFY(loopEnded);
    QVERIFY(!f.watchdogFired);
    QTest::qWait(400);
    // Nothing of the run reached the instrument, and no message was shown.
    QCOMPARE(f.bench.wire(), (Lines{"aaa"}));
    QVERIFY(f.bench.messages.shown().isEmpty());
    // The run is still on until the user stops it.
    QCOMPARE(TestUtil::caption(f.repeat()), QStringLiteral("Stop"));
    QVERIFY(f.window->timerRepeat().isActive());
    QVERIFY(!f.single()->isEnabled() && !f.startStop()->isEnabled());
    QTest::mouseClick(f.repeat(), Qt::LeftButton);
    QCOMPARE(TestUtil::caption(f.repeat()), QStringLiteral("Repeat"));
    QVERIFY(!f.window->timerRepeat().isActive());
    QVERIFY(f.single()->isEnabled() && f.startStop()->isEnabled());
    QTest::qWait(300);
    QCOMPARE(f.bench.wire(), (Lines{"aaa"}));
}

void TestFrmMeas::startStop_data()
{
    QTest::addColumn<int>("startMeth");
    QTest::addColumn<int>("recording");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QString>("label");
    QTest::newRow("stopped, manual start") << 0 << 0 << QByteArray(":START") << "RUN";
    QTest::newRow("stopped, timed start") << 1 << 0 << QByteArray(":START") << "WAIT";
    QTest::newRow("waiting") << 1 << 1 << QByteArray(":STOP") << "STOP";
    QTest::newRow("running") << 0 << 2 << QByteArray(":STOP") << "STOP";
}

void TestFrmMeas::startStop()
{
    QFETCH(int, startMeth);
    QFETCH(int, recording);
    QFETCH(QByteArray, command);
    QFETCH(QString, label);
    Fixture f;
    QVERIFY(f.connected && f.window);
    SimState& s = f.bench.instrument.state();
    s.settings.startMeth = startMeth;
    s.settings.startTime = {QDate::currentDate().year() + 1, 1, 1, 0, 0};
    s.measure.recording = recording;
    f.bench.instrument.clearLines();
    PauseAt pause(f.bench.instrument);

    QTest::mouseClick(f.startStop(), Qt::LeftButton);
    QCOMPARE(f.bench.wire(), (Lines{":DISP:MODE MEAS", ":HEAD OFF", ":STAT?", command, ":STAT?"}));
    QCOMPARE(f.written.timeouts, QList<int>(5, 1000));
    // The pause comes after the start or stop, before the state is asked again.
    QCOMPARE(pause.pauses, (QList<QPair<int, qsizetype>>{{1000, 4}}));
    QCOMPARE(TestUtil::caption(f.get<QLabel>("Label2")), label);
    QVERIFY(f.single()->isEnabled() && f.repeat()->isEnabled() && f.startStop()->isEnabled());
}

void TestFrmMeas::logOfARepeatRun_data()
{
    QTest::addColumn<bool>("fromTheStart");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("logging on from the start")
        << true << kNames + kValues0 + kValues1 + kValues2 + kValues3;
    QTest::newRow("switched on mid-run") << false << kValues1 + kValues2 + kValues3;
}

void TestFrmMeas::logOfARepeatRun()
{
    QFETCH(bool, fromTheStart);
    QFETCH(QByteArray, expected);
    Fixture f;
    QVERIFY(f.connected && f.window);
    if (fromTheStart)
        f.logging()->trigger();
    f.shortInterval(150);
    f.onMeas(2, [&] {
        if (!fromTheStart)
            f.logging()->trigger();
    });
    f.onMeas(4, [&] { f.repeat()->click(); });
    f.runRepeat();
    QVERIFY(!f.watchdogFired);
    QCOMPARE(f.log(), expected);
    QVERIFY(f.bench.messages.shown().isEmpty());

    // A Single appends its two lines; logging off leaves the file alone.
    QTest::mouseClick(f.single(), Qt::LeftButton);
    const QByteArray values4 = "+100.14,+5.050,+500.4,-12.5,+501.9,+0.9930,+50.04,\r\n";
    QCOMPARE(f.log(), expected + kNames + values4);
    f.logging()->trigger();
    QTest::mouseClick(f.single(), Qt::LeftButton);
    QCOMPARE(f.log(), expected + kNames + values4);
}

void TestFrmMeas::logFailureWarnsOnceAndUnchecksLogging()
{
    Fixture f;
    QVERIFY(f.connected && f.window);
    QVERIFY(QDir(f.dir.path()).mkdir(QStringLiteral("data.log")));
    f.logging()->trigger();
    QTest::mouseClick(f.single(), Qt::LeftButton);
    QCOMPARE(f.bench.messages.shown().size(), 1);
    const auto shown = f.bench.messages.shown().first();
    QCOMPARE(shown.kind, MessageService::Kind::Warning);
    const QString file = QDir(f.dir.path()).filePath(QStringLiteral("data.log"));
    QVERIFY2(shown.text.startsWith(QStringLiteral("The measurement could not be written to ") +
                                   file + QStringLiteral(": ")),
             qPrintable(shown.text));
    QVERIFY2(shown.text.contains(QStringLiteral("directory"), Qt::CaseInsensitive),
             qPrintable(shown.text));
    QVERIFY(shown.text.endsWith(QStringLiteral("LOGGING has been switched off.")));
    QVERIFY(!f.logging()->isChecked());
    // The measurement itself is shown all the same, and the next one warns no more.
    QCOMPARE(f.cell(1, 0), QStringLiteral("U1"));
    QVERIFY(f.single()->isEnabled());
    QTest::mouseClick(f.single(), Qt::LeftButton);
    QCOMPARE(f.bench.messages.shown().size(), 1);
}

void TestFrmMeas::settingsOnlyOutsideARun()
{
    Fixture f;
    QVERIFY(f.connected && f.window);
    QAction* settings = f.get<QAction>("MSSettings");
    QPointer<DlgSettings> seen;
    bool modal = false;
    TestUtil::later(200, [&] {
        seen = f.window->settingsDialog();
        modal = seen && seen->isVisible() && seen->isModal();
        if (seen)
            seen->reject();
    });
    settings->trigger();
    QVERIFY(modal);
    QVERIFY(TestUtil::waitFor([&] { return seen.isNull(); }));

    // During a run the item does nothing.
    f.shortInterval(3600000);
    bool opened = true;
    f.onMeas(1, [&] {
        TestUtil::later(200, [&] {
            f.get<QAction>("MSSettings")->trigger();
            opened = f.window->settingsDialog() != nullptr;
            f.repeat()->click();
        });
    });
    f.runRepeat();
    QVERIFY(!opened);
    QVERIFY(!f.watchdogFired);
}

void TestFrmMeas::closeDuringARunSendsNoMoreMeasurements()
{
    Fixture f(slowMeas(400));
    QVERIFY(f.connected && f.window);
    f.shortInterval(100);
    QPointer<FrmMeas> w = f.window;
    bool hidden = false;
    f.onMeas(2, [&] {
        w->close();
        hidden = !w->isVisible();
    });
    f.runRepeat(5000);
    QVERIFY(hidden);
    QVERIFY(!f.watchdogFired);
    QVERIFY(TestUtil::waitFor([&] { return w.isNull(); }));
    QTest::qWait(400);
    QCOMPARE(f.bench.wire(), (Lines{":HEAD ON", ":TRAN:SEP 2", ":MEAS?", ":HEAD OFF", ":MEAS?"}));
    QVERIFY(!f.bench.start->measWindow());
}

void TestFrmMeas::disconnectDuringASingle()
{
    Fixture f(slowMeas(400));
    QVERIFY(f.connected && f.window);
    QPointer<FrmMeas> w = f.window;
    bool hidden = false;
    bool aliveWhileWaiting = false;
    f.onMeas(1, [&] {
        f.bench.start->CommandConnect_Click(); // Disconnect
        hidden = !w->isVisible();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        aliveWhileWaiting = !w.isNull();
        // The port is gone, so the reply cannot come: end the wait as the program's close does.
        f.bench.link().shutdown();
    });
    QTest::mouseClick(f.single(), Qt::LeftButton);
    QVERIFY(hidden);
    QVERIFY(aliveWhileWaiting);
    QVERIFY(TestUtil::waitFor([&] { return w.isNull(); }));
    QCOMPARE(f.bench.wire(), (Lines{":HEAD ON", ":TRAN:SEP 2", ":MEAS?"}));
}

void TestFrmMeas::closeWithTheSettingsDialogOpen()
{
    Fixture f;
    QVERIFY(f.connected && f.window);
    QPointer<FrmMeas> w = f.window;
    QPointer<DlgSettings> dlg;
    bool dialogHidden = false;
    TestUtil::later(200, [&] {
        dlg = w->settingsDialog();
        w->close();
        dialogHidden = dlg && !dlg->isVisible();
    });
    w->MSSettings_Click();
    QVERIFY(dialogHidden);
    QVERIFY(TestUtil::waitFor([&] { return w.isNull() && dlg.isNull(); }));
}

QTEST_MAIN(TestFrmMeas)
#include "test_frmmeas.moc"
