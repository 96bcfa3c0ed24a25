// The measurement window through its real controls, over the session to the simulated
// instrument.

#include "FlexGrid.h"
#include "FrmMeas.h"
#include "Link.h"
#include "SimBench.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTemporaryDir>

using TestUtil::Lines;

namespace {

// The reply for 1P2W, one circuit, as logged: the names, then the values of measurements 0..3.
const QByteArray kNames = "U1,CH1 I1,CH1 P,CH1 Q,CH1 S,CH1 PF,f,\r\n";
const QByteArray kValues[] = {"+100.10,+5.010,+500.0,-12.5,+501.5,+0.9970,+50.00,\r\n",
                              "+100.11,+5.020,+500.1,-12.5,+501.6,+0.9960,+50.01,\r\n",
                              "+100.12,+5.030,+500.2,-12.5,+501.7,+0.9950,+50.02,\r\n",
                              "+100.13,+5.040,+500.3,-12.5,+501.8,+0.9940,+50.03,\r\n"};
const Lines kRepeatStart = {":HEAD ON", ":TRAN:SEP 2", ":MEAS?", ":HEAD OFF"};

// The window opened (unless told not to) over a connected link, the instrument's recording
// state set first; data.log goes to a folder of the test's own. The opening's lines are kept
// apart.
struct Fixture
{
    explicit Fixture(const QString& options = {}, int recording = 0, bool opened = true)
        : bench(SimConfig::fromOptions(options.split(' ', Qt::SkipEmptyParts)))
    {
        QDir::setCurrent(dir.path());
        bench.instrument.state().measure.recording = recording;
        // Each pause is recorded with the number of lines written before it; it lasts as
        // asked only when the test acts during it.
        bench.session->setPauseLength([this](int ms) {
            pauses << ms << int(bench.wire().size());
            if (!onPause)
                return 0;
            TestUtil::later(0, onPause);
            return ms;
        });
        if (!bench.connectDirect())
            return;
        bench.clearWire();
        QObject::connect(&bench.link(), &Link::written,
                         [this](const QByteArray& line) { said << line.chopped(2); });
        if (opened)
            open();
    }
    ~Fixture() { QDir::setCurrent(QDir::tempPath()); }

    void open()
    {
        window = bench.openMeas();
        opening = std::exchange(said, {});
        openingTimeouts = bench.timeouts;
        bench.clearWire();
    }
    template <class T> T* get(const char* name) { return bench.child<T>(window, name); }
    QPushButton* single() { return get<QPushButton>("CommandSingle"); }
    QPushButton* repeat() { return get<QPushButton>("CommandRepeat"); }
    QAction* logging() { return get<QAction>("MFLogging"); }
    QString cell(int row, int col) { return window->grid()->TextMatrix(row, col); }
    QString status() { return window->statusBar()->currentMessage(); }
    bool stopped() { return TestUtil::caption(repeat()) == QLatin1String("Repeat"); }
    // How many of Single, Repeat and Start/Stop are usable.
    qsizetype usable()
    {
        return std::ranges::count_if(window->findChildren<QPushButton*>(), &QWidget::isEnabled);
    }
    bool idle() { return usable() == 3 && stopped() && !window->timerRepeat().isActive(); }
    // Stop is the only control a run leaves usable.
    bool running()
    {
        return !stopped() && repeat()->isEnabled() && usable() == 1 &&
               window->timerRepeat().isActive();
    }
    // Clicks and waits until the conversation it started has ended.
    void click(QAbstractButton* button)
    {
        QTest::mouseClick(button, Qt::LeftButton);
        bench.settle();
    }

    // A text typed into the box is no selection, so the run keeps the interval set here.
    void shortInterval(int ms)
    {
        get<QComboBox>("ComboRepeat")->setEditText(QStringLiteral("fast"));
        window->timerRepeat().setInterval(ms);
    }
    // Runs f once the n-th ":MEAS?" from now has been written.
    void atMeas(int n, std::function<void()> f) { bench.onLine(":MEAS?", n, std::move(f)); }
    // Clicks "Repeat" and waits until the run has been stopped and its last pass has ended;
    // false for a run still going after 8 s (the window's unload ends it with the test).
    bool runRepeat()
    {
        QTest::mouseClick(repeat(), Qt::LeftButton);
        return TestUtil::waitFor([this] { return stopped() && bench.session->idle(); }, 8000);
    }
    QByteArray log() const { return TestUtil::fileBytes(dir.filePath("data.log"), "<no file>"); }

    QTemporaryDir dir;
    SimBench bench;
    FrmMeas* window = nullptr;
    Lines opening, said; // every line the link wrote, to an open port or not
    QList<int> openingTimeouts, pauses;
    std::function<void()> onPause;
};

} // namespace

class TestFrmMeas : public QObject
{
    Q_OBJECT
private slots:
    void opening_data();
    void opening();
    void singleSendsThreeCommandsAndFillsTheGrid();
    void repeatRunTakesTheChosenInterval();
    void ticksDuringASlowMeasurementMerge_data();
    void ticksDuringASlowMeasurementMerge();
    void stopDuringAMeasurement_data();
    void stopDuringAMeasurement();
    void busyEndsTheLoopButNotTheRun();
    void failedMeasurementIsNeitherShownNorLogged_data();
    void failedMeasurementIsNeitherShownNorLogged();
    void lateAcknowledgementIsNoMeasurement();
    void startStop_data();
    void startStop();
    void logOfARepeatRun_data();
    void logOfARepeatRun();
    void logFailureWarnsOnceAndUnchecksLogging_data();
    void logFailureWarnsOnceAndUnchecksLogging();
    void goneDuringAConversationSendsNothingMore_data();
    void goneDuringAConversationSendsNothingMore();
};

void TestFrmMeas::opening_data()
{
    QTest::addColumn<QString>("options");
    QTest::addColumn<int>("recording");
    QTest::addColumn<QString>("label");
    QTest::newRow("running") << QString() << 2 << "RUN";
    // A reply that names no state keeps the design caption.
    QTest::newRow("no answer") << "--fault drop,:STAT?,1" << 2 << "Label2";
    QTest::newRow("other text") << "--fault garble,:STAT?,1" << 0 << "Label2";
}

// Catches: the state not asked last, a wrong time-out, a reply that names no state shown
// as one.
void TestFrmMeas::opening()
{
    QFETCH(QString, options);
    QFETCH(int, recording);
    QFETCH(QString, label);
    Fixture f(options, recording);
    QVERIFY(f.window && f.window->isVisible());
    // The settings are received first, the state is asked last; every line with 1000 ms.
    QVERIFY(f.opening.size() > 30);
    QCOMPARE(f.opening.last(), QByteArray(":STAT?"));
    QCOMPARE(f.openingTimeouts, QList<int>(f.opening.size(), 1000));
    QCOMPARE(TestUtil::caption(f.get<QLabel>("Label2")), label);
}

// Catches: a wrong command, time-out or grid row, controls usable during a Single, a log
// written without LOGGING.
void TestFrmMeas::singleSendsThreeCommandsAndFillsTheGrid()
{
    Fixture f;
    QVERIFY(f.window);
    f.bench.instrument.config().measItems = 1600;
    f.bench.instrument.state().settings.wiring = 5; // 3P4W4I
    f.bench.instrument.state().settings.cirNum = 2;
    bool disabledDuring = false;
    f.atMeas(1, [&] { disabledDuring = f.usable() == 0; });
    f.click(f.single());
    QCOMPARE(f.bench.wire(), (Lines{":HEAD ON", ":TRAN:SEP 2", ":MEAS?"}));
    QCOMPARE(f.bench.timeouts, (QList<int>{1000, 1000, 50000}));
    QVERIFY(disabledDuring);
    QVERIFY(f.idle());

    QCOMPARE(f.window->grid()->Rows(), 1601);
    QCOMPARE(f.cell(1, 0) + '=' + f.cell(1, 1), QStringLiteral("U1=+100.10"));
    QCOMPARE(f.cell(19, 0) + '=' + f.cell(19, 1), QStringLiteral("CH2 PF=+0.9970"));
    QCOMPARE(f.cell(1600, 0), QStringLiteral("HARM 1580"));

    // A shorter reply shrinks the grid; without LOGGING no file is made.
    f.bench.instrument.config().measItems = 2;
    f.click(f.single());
    QCOMPARE(f.window->grid()->Rows(), 3);
    QCOMPARE(f.log(), QByteArray("<no file>"));
}

// Catches: a run that ignores the chosen interval, measures twice at its start, or grows
// the grid for later replies; the settings dialog opened during a run.
void TestFrmMeas::repeatRunTakesTheChosenInterval()
{
    Fixture f;
    QVERIFY(f.window);
    f.get<QComboBox>("ComboRepeat")->setCurrentIndex(7); // " 2m"
    bool running = false, settingsOpened = true;
    f.atMeas(1, [&] {
        f.get<QAction>("MSSettings")->trigger(); // refused during a run
        settingsOpened = f.window->settingsDialog();
        running = f.running() && f.window->timerRepeat().interval() == 120000;
        f.get<QComboBox>("ComboRepeat")->setCurrentIndex(0); // for the next run
        TestUtil::later(500, [&] { f.repeat()->click(); });
    });
    QVERIFY(f.runRepeat());
    QVERIFY(running && !settingsOpened);
    // Measured once at once, then nothing before the first tick.
    QCOMPARE(f.bench.wire(), kRepeatStart);
    QCOMPARE(f.bench.timeouts, (QList<int>{1000, 1000, 50000, 1000}));
    QVERIFY(f.idle());
    // The next run takes the new choice. Its later replies carry more values than the grid
    // has rows: the rows there are get them, and the grid keeps its size.
    f.bench.instrument.config().measItems = 3;
    int interval = 0;
    f.atMeas(1, [&] {
        interval = f.window->timerRepeat().interval();
        f.bench.instrument.config().measItems = 10;
        f.atMeas(1, [&] { f.repeat()->click(); });
    });
    QVERIFY(f.runRepeat());
    QCOMPARE(interval, 1000);
    QCOMPARE(f.window->grid()->Rows(), 4);
    QCOMPARE(f.cell(3, 0) + '=' + f.cell(3, 1), QStringLiteral("CH1 P=+500.2"));
}

void TestFrmMeas::ticksDuringASlowMeasurementMerge_data()
{
    QTest::addColumn<int>("during"); // the n-th ":MEAS?", whose reply takes 600 ms
    QTest::newRow("the first pass, names and values") << 1;
    QTest::newRow("a later pass, values only") << 2;
}

// Catches: ticks during a slow measurement queued up into several measurements, or a tick
// starting a pass while one is on its way.
void TestFrmMeas::ticksDuringASlowMeasurementMerge()
{
    QFETCH(int, during);
    Fixture f("--meas-delay 600");
    QVERIFY(f.window);
    f.shortInterval(3600000); // ticked by hand
    const auto tick = [&] { f.window->onRepeatTick(); };
    // One tick in each pass before, three in the pass named: one measurement follows it.
    std::function<void(int)> pass = [&](int n) {
        f.atMeas(1, [&, n] {
            for (int ms : {0, 100, 200})
                if (n <= during && (n == during || ms == 0))
                    TestUtil::later(ms, tick);
            n <= during ? pass(n + 1) : TestUtil::later(1200, [&] { f.repeat()->click(); });
        });
    };
    pass(1);
    QVERIFY(f.runRepeat());
    QCOMPARE(f.bench.wire(), kRepeatStart + Lines(during, ":MEAS?"));
    QCOMPARE(f.cell(1, 1), QStringLiteral("+100.1%1").arg(during));
}

void TestFrmMeas::stopDuringAMeasurement_data()
{
    QTest::addColumn<int>("during"); // the n-th ":MEAS?", whose reply takes 500 ms
    QTest::addColumn<bool>("restart");
    QTest::addColumn<Lines>("wire");
    QTest::addColumn<QByteArray>("log");
    QTest::addColumn<QString>("u1"); // the grid's value of U1
    QTest::newRow("its reply still counts") << 2 << false << kRepeatStart + Lines{":MEAS?"}
                                            << kNames + kValues[0] + kValues[1] << "+100.11";
    QTest::newRow("the first pass's names and values count")
        << 1 << false << kRepeatStart << kNames + kValues[0] << "+100.10";
    // Repeat again while the first run's ":MEAS?" still waits: the new run's names and
    // ":HEAD OFF" are refused, and the old reply is not the new run's to show.
    QTest::newRow("a new run drops its reply") << 2 << true << kRepeatStart + Lines(2, ":MEAS?")
                                               << kNames + kValues[0] + kValues[2] << "+100.12";
}

// Catches: a reply that came after Stop dropped (names and values of a first pass too), or
// Stop not taking effect at once; an old run's reply shown and logged in a newer run.
void TestFrmMeas::stopDuringAMeasurement()
{
    QFETCH(int, during);
    QFETCH(bool, restart);
    QFETCH(Lines, wire);
    QFETCH(QByteArray, log);
    QFETCH(QString, u1);
    Fixture f("--meas-delay 500");
    QVERIFY(f.window);
    f.logging()->trigger();
    f.shortInterval(100);
    bool idleAtOnce = false;
    f.atMeas(during, [&] {
        QTest::mouseClick(f.repeat(), Qt::LeftButton); // Stop
        idleAtOnce = f.idle();
        if (restart) {
            // Its first pass is refused while the old reply is due; its first tick is not.
            f.window->timerRepeat().setInterval(1000);
            QTest::mouseClick(f.repeat(), Qt::LeftButton);
            f.atMeas(1, [&] { f.repeat()->click(); });
        }
    });
    QVERIFY(f.runRepeat());
    QVERIFY(idleAtOnce);
    QTest::qWait(300); // a tick would have come
    QVERIFY(f.idle());
    QCOMPARE(f.bench.wire(), wire);
    QCOMPARE(f.log(), log);
    QCOMPARE(f.cell(1, 0) + '=' + f.cell(1, 1), "U1=" + u1);
}

// Catches: a refused measurement reported in a box, retried in a loop, or ending the run.
void TestFrmMeas::busyEndsTheLoopButNotTheRun()
{
    // "Repeat" clicked while another job holds the link: all is refused, and the first
    // refused repeated measurement ends the loop.
    Fixture f("--fault delay,aaa,2,1500");
    QVERIFY(f.window);
    f.shortInterval(100);
    TestUtil::later(100, [&] { QTest::mouseClick(f.repeat(), Qt::LeftButton); });
    QCOMPARE(TestUtil::transact(*f.bench.session, "aaa", 3000).result, Link::Result::Complete);
    QTest::qWait(400); // ticks that must not start passes
    QCOMPARE(f.bench.wire(), (Lines{"aaa"}));
    QVERIFY(f.bench.messages.shown().isEmpty());
    // The run stays on until the user stops it.
    QVERIFY(f.running());
    f.click(f.repeat());
    QVERIFY(f.idle());
}

void TestFrmMeas::failedMeasurementIsNeitherShownNorLogged_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<Lines>("wire"); // the last line is the one said to have had no reply
    // The opening's ":HEAD OFF" and the first Single's ":HEAD ON" come first.
    QTest::newRow("no reply to :HEAD ON") << "drop,:HEAD,3" << Lines{":HEAD ON"};
    // Its late "ALL RIGHT" would otherwise be taken for the ":MEAS?" reply.
    QTest::newRow("late reply to :TRAN:SEP")
        << "delay,:TRAN:SEP,2,1300" << Lines{":HEAD ON", ":TRAN:SEP 2"};
    // Cut off by the time-out: shown, it would lose two real characters.
    QTest::newRow("part of a :MEAS? reply")
        << "truncate,:MEAS?,2" << Lines{":HEAD ON", ":TRAN:SEP 2", ":MEAS?"};
}

// Catches: a failed step's reply shown in the grid or appended to data.log, commands sent
// after a failed step, no word of the failure, or the word left after a good measurement.
void TestFrmMeas::failedMeasurementIsNeitherShownNorLogged()
{
    QFETCH(QString, fault);
    QFETCH(Lines, wire);
    Fixture f("--fault " + fault);
    QVERIFY(f.window);
    f.logging()->trigger();
    const auto grid = [&] { return f.cell(1, 1) + f.cell(7, 1); };
    f.click(f.single());
    const QString shown = grid();
    const QByteArray logged = f.log();
    // The 50 s wait for the cut reply ends as a time-out does.
    if (fault.startsWith("truncate"))
        f.atMeas(1, [&] { TestUtil::later(300, [&] { f.bench.link().cancelWait(); }); });
    f.bench.clearWire();
    f.click(f.single());
    QCOMPARE(f.bench.wire(), wire);
    QVERIFY2(f.status().startsWith("No reply to " + wire.last() + " at "), qPrintable(f.status()));
    QCOMPARE(grid(), shown);
    QCOMPARE(f.log(), logged);
    QVERIFY(f.idle());
    QTest::qWait(400); // the late reply, if any, has come and gone
    f.click(f.single());
    QCOMPARE(f.status(), QString());
    QVERIFY(f.log().size() > logged.size() && f.cell(1, 0) == "U1");
}

// Catches: "ALL RIGHT" of a ":HEAD OFF" answered late taken for the measured data of the
// next pass of a run ("ALL" = "RIGHT" in the grid and the log).
void TestFrmMeas::lateAcknowledgementIsNoMeasurement()
{
    // The opening's ":HEAD OFF" and the run's ":HEAD ON" come before the run's ":HEAD OFF".
    // The measured data come 600 ms after ":MEAS?", long after the late acknowledgement: the
    // link cannot tell it by a second line following at once, the measurement must.
    Fixture f("--meas-delay 600 --fault delay,:HEAD,3,1300");
    QVERIFY(f.window);
    QStringList said;
    QObject::connect(f.window->statusBar(), &QStatusBar::messageChanged,
                     [&](const QString& m) { said << m; });
    f.logging()->trigger();
    f.shortInterval(100);
    f.atMeas(3, [&] { f.repeat()->click(); });
    QVERIFY(f.runRepeat());
    QVERIFY2(
        !said.filter(QRegularExpression("^Unexpected reply to :MEAS\\?: ALL RIGHT at ")).isEmpty(),
        qPrintable(said.join('|')));
    QVERIFY(f.log().startsWith(kNames) && !f.log().contains("RIGHT"));
    QVERIFY(!f.cell(1, 1).contains("RIGHT"));
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

// Catches: ":START" and ":STOP" confused, the pause missing or misplaced, the state shown
// wrong.
void TestFrmMeas::startStop()
{
    QFETCH(int, startMeth);
    QFETCH(int, recording);
    QFETCH(QByteArray, command);
    QFETCH(QString, label);
    Fixture f({}, recording);
    QVERIFY(f.window);
    f.bench.instrument.state().settings.startMeth = startMeth;
    f.bench.instrument.state().settings.startTime = {QDate::currentDate().year() + 1, 1, 1, 0, 0};
    f.click(f.get<QPushButton>("CommandStart"));
    QCOMPARE(f.bench.wire(), (Lines{":DISP:MODE MEAS", ":HEAD OFF", ":STAT?", command, ":STAT?"}));
    QCOMPARE(f.bench.timeouts, QList<int>(5, 1000));
    // The pause must come after the start or stop and before the state is asked again.
    QCOMPARE(f.pauses, (QList<int>{1000, 4})); // 1000 ms after the fourth line
    QCOMPARE(TestUtil::caption(f.get<QLabel>("Label2")), label);
    QVERIFY(f.idle());
}

void TestFrmMeas::logOfARepeatRun_data()
{
    QTest::addColumn<bool>("fromTheStart");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("on from the start") << true << kNames + kValues[0] + kValues[1] + kValues[2];
    QTest::newRow("switched on mid-run") << false << kValues[1] + kValues[2];
}

// Catches: data.log overwritten, names logged with every line, lines logged with LOGGING
// off.
void TestFrmMeas::logOfARepeatRun()
{
    QFETCH(bool, fromTheStart);
    QFETCH(QByteArray, expected);
    Fixture f;
    QVERIFY(f.window);
    QVERIFY(TestUtil::writeFile(f.dir.filePath("data.log"), "older\r\n"));
    if (fromTheStart)
        f.logging()->trigger();
    f.shortInterval(150);
    f.atMeas(2, [&] {
        if (!fromTheStart)
            f.logging()->trigger();
        f.atMeas(1, [&] { f.repeat()->click(); });
    });
    QVERIFY(f.runRepeat());
    QCOMPARE(f.log(), "older\r\n" + expected);

    // A Single adds its two lines; with logging off again the file stays as it is.
    f.click(f.single());
    QCOMPARE(f.log(), "older\r\n" + expected + kNames + kValues[3]);
    f.logging()->trigger();
    f.click(f.single());
    QCOMPARE(f.log(), "older\r\n" + expected + kNames + kValues[3]);
}

void TestFrmMeas::logFailureWarnsOnceAndUnchecksLogging_data()
{
    QTest::addColumn<bool>("diskFull");
    QTest::addColumn<QString>("reason");
    QTest::newRow("data.log is a folder") << false << QStringLiteral("directory");
    QTest::newRow("disk full") << true << QStringLiteral("No space left on device");
}

// Catches: a failed log write not reported, reported at every measurement, or hiding the
// measurement.
void TestFrmMeas::logFailureWarnsOnceAndUnchecksLogging()
{
    QFETCH(bool, diskFull);
    QFETCH(QString, reason);
    Fixture f;
    QVERIFY(f.window);
    const QString file = f.dir.filePath(QStringLiteral("data.log"));
    QVERIFY(diskFull ? QFile::link(QStringLiteral("/dev/full"), file) : QDir().mkdir(file));
    f.logging()->trigger();
    f.click(f.single());
    QCOMPARE(f.bench.messages.shown().size(), 1);
    const ScriptedMessages::Shown shown = f.bench.messages.shown().first();
    QCOMPARE(shown.kind, MessageService::Kind::Warning);
    QVERIFY2(shown.text.startsWith("The measurement could not be written to " + file + ": ") &&
                 shown.text.contains(reason, Qt::CaseInsensitive) &&
                 shown.text.endsWith(".\nLOGGING has been switched off."),
             qPrintable(shown.text));
    QVERIFY(!f.logging()->isChecked());
    // The measurement is shown all the same, and the next one does not warn again.
    QCOMPARE(f.cell(1, 0), QStringLiteral("U1"));
    f.click(f.single());
    QCOMPARE(f.bench.messages.shown().size(), 1);
}

void TestFrmMeas::goneDuringAConversationSendsNothingMore_data()
{
    QTest::addColumn<QString>("button"); // Command...; none: the opening
    QTest::addColumn<int>("nth");
    QTest::addColumn<QString>("at"); // the nth such line, Start/Stop's "pause", or a "box"
    QTest::addColumn<Lines>("wire");
    QTest::addColumn<QString>("how"); // the window closed, Disconnect, or the port lost
    const Lines recv = {":HEAD OFF", ":WIR?", ":CIRC?"},
                measured = {":HEAD ON", ":TRAN:SEP 2", ":MEAS?"};
    const Lines stat = {":DISP:MODE MEAS", ":HEAD OFF", ":STAT?"};
    QTest::newRow("opening's RECEIVE, closed") << "" << 1 << ":CIRC?" << recv << "close";
    QTest::newRow("Start/Stop, closed") << "Start" << 1 << ":STAT?" << stat << "close";
    QTest::newRow("Start/Stop's pause, closed")
        << "Start" << 0 << "pause" << stat + Lines{":START"} << "close";
    QTest::newRow("Single, closed") << "Single" << 1 << ":HEAD ON" << Lines{":HEAD ON"} << "close";
    QTest::newRow("run's first pass, closed") << "Repeat" << 1 << ":MEAS?" << measured << "close";
    QTest::newRow("repeat pass, closed")
        << "Repeat" << 2 << ":MEAS?" << kRepeatStart + Lines{":MEAS?"} << "close";
    // The port is closed, so no reply can come: the disconnect ends the wait at once.
    QTest::newRow("Single's :MEAS?, Disconnect")
        << "Single" << 1 << ":MEAS?" << measured << "disconnect";
    // While a box of the window is open (LOGGING failed, RECEIVE failed), as the loss is met.
    for (const char* how : {"disconnect", "lost"}) {
        QTest::addRow("Single's LOGGING warning, %s", how)
            << "Single" << 0 << "box" << measured << how;
        QTest::addRow("run's LOGGING warning, %s", how)
            << "Repeat" << 0 << "box" << kRepeatStart << how;
        QTest::addRow("opening's ERROR box, %s", how) << "" << 0 << "box" << recv << how;
    }
}

// Catches: the rest of the opening sent, or the window shown, after it went during it;
// ":START" or ":STOP" written after a close while Start/Stop asked the state, the state asked
// again after a close during the pause; the rest of a Single, ":HEAD OFF" or measurements
// of a run sent after a close; a wait outliving the disconnect, so that the user cannot
// connect again; a crash (under ASan, a use after free) when the window goes while its box
// is open, or the window left open, or writing, over a link that is gone.
void TestFrmMeas::goneDuringAConversationSendsNothingMore()
{
    QFETCH(QString, button);
    QFETCH(int, nth);
    QFETCH(QString, at);
    QFETCH(Lines, wire);
    QFETCH(QString, how);
    const bool box = at == "box";
    Fixture f(box && button.isEmpty() ? "--fault drop,:CIRC?,1" : "", 0, !button.isEmpty());
    f.bench.instrument.config().replyDelayMs = 200; // it goes while the reply waits
    bool gone = false;
    const auto go = [&] {
        if (std::exchange(gone, true))
            return;
        if (how == "close")
            f.bench.start->measWindow()->close();
        else if (how == "lost")
            emit f.bench.port->lost(QStringLiteral("unplugged"));
        else
            f.bench.start->onConnectClicked(); // "Disconnect", as the loss is to be met
    };
    if (at == "pause")
        f.onPause = go;
    else if (box)
        f.bench.messages.onShow([&](const ScriptedMessages::Shown&) { go(); });
    else
        f.bench.onLine(at.toLatin1(), nth, go);
    if (button.isEmpty()) {
        f.open();
    } else {
        f.shortInterval(100);
        // Logging on, into a data.log that cannot be written: the reply brings a warning.
        if (box && QDir().mkdir(f.dir.filePath(QStringLiteral("data.log"))))
            f.logging()->trigger();
        QTest::mouseClick(f.get<QPushButton>(qPrintable("Command" + button)), Qt::LeftButton);
    }
    f.bench.settle();
    QTest::qWait(400); // a run's next tick would have come
    QVERIFY(gone && !f.bench.start->measWindow());
    QCOMPARE(button.isEmpty() ? f.opening + f.said : f.said, wire);
    QCOMPARE(f.bench.messages.shown().size(), int(box) + int(how == "lost"));
    if (how != "close")
        QVERIFY(f.bench.connectDirect());
}

QTEST_MAIN(TestFrmMeas)
#include "test_frmmeas.moc"
