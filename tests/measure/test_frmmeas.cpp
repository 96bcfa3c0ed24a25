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
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>

using Lines = QList<QByteArray>;

namespace {

// The reply for 1P2W, one circuit, as logged: the names, then the values of measurements 0..3.
const QByteArray kNames = "U1,CH1 I1,CH1 P,CH1 Q,CH1 S,CH1 PF,f,\r\n";
const QByteArray kValues[] = {"+100.10,+5.010,+500.0,-12.5,+501.5,+0.9970,+50.00,\r\n",
                              "+100.11,+5.020,+500.1,-12.5,+501.6,+0.9960,+50.01,\r\n",
                              "+100.12,+5.030,+500.2,-12.5,+501.7,+0.9950,+50.02,\r\n",
                              "+100.13,+5.040,+500.3,-12.5,+501.8,+0.9940,+50.03,\r\n"};
const Lines kRepeatStart = {":HEAD ON", ":TRAN:SEP 2", ":MEAS?", ":HEAD OFF"};

SimConfig config(int measDelayMs = 0, const QString& fault = {})
{
    SimConfig c;
    c.measDelayMs = measDelayMs;
    SimFault f;
    QString error;
    if (!fault.isEmpty() && SimFault::parse(fault, &f, &error))
        c.faults.push_back(f);
    return c;
}

// The window opened over a connected link, the instrument's recording state set first;
// data.log goes to a folder of the test's own. The opening's lines are kept apart.
struct Fixture
{
    explicit Fixture(SimConfig c = {}, int recording = 0) : bench(std::move(c))
    {
        QDir::setCurrent(dir.path());
        bench.instrument.state().measure.recording = recording;
        if (bench.connectDirect()) {
            bench.clearWire();
            QObject::connect(&bench.link(), &Link::written, [this](const QByteArray& line, int ms) {
                timeouts << ms;
                if (++sent[line] == onAt && line == onLine + "\r\n" && onSent)
                    TestUtil::later(0, onSent);
            });
            window = bench.openMeas();
            opening = bench.wire();
        }
        bench.clearWire();
        openingTimeouts = std::exchange(timeouts, {});
        sent.clear();
    }
    ~Fixture() { QDir::setCurrent(QDir::tempPath()); }

    template <class T> T* get(const char* name) { return bench.child<T>(window, name); }
    QPushButton* single() { return get<QPushButton>("CommandSingle"); }
    QPushButton* repeat() { return get<QPushButton>("CommandRepeat"); }
    QPushButton* startStop() { return get<QPushButton>("CommandStart"); }
    QAction* logging() { return get<QAction>("MFLogging"); }
    QString cell(int row, int col) { return window->grid()->TextMatrix(row, col); }
    QString status() { return window->statusBar()->currentMessage(); }
    bool idle()
    {
        return single()->isEnabled() && repeat()->isEnabled() && startStop()->isEnabled() &&
               TestUtil::caption(repeat()) == QLatin1String("Repeat") &&
               !window->timerRepeat().isActive();
    }
    // Stop is the only control a run leaves usable.
    bool running()
    {
        return TestUtil::caption(repeat()) == QLatin1String("Stop") && repeat()->isEnabled() &&
               !single()->isEnabled() && !startStop()->isEnabled() &&
               window->timerRepeat().isActive();
    }

    // A text typed into the box is no selection, so the run keeps the interval set here.
    void shortInterval(int ms)
    {
        get<QComboBox>("ComboRepeat")->setEditText(QStringLiteral("fast"));
        window->timerRepeat().setInterval(ms);
    }
    // Runs f once the n-th such line since the opening has been written.
    void at(const QByteArray& line, int n, std::function<void()> f)
    {
        onLine = line;
        onAt = n;
        onSent = std::move(f);
    }
    void atMeas(int n, std::function<void()> f) { at(":MEAS?", n, std::move(f)); }
    // Clicks "Repeat"; the click returns when the run's loop has ended. A watchdog stops a run
    // that would never end, so such a fault fails the test instead of hanging it; false once
    // it has had to.
    bool runRepeat()
    {
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [this] {
            if (TestUtil::caption(repeat()) == QLatin1String("Stop")) {
                watchdogFired = true;
                repeat()->click();
            }
        });
        watchdog.start(8000);
        QTest::mouseClick(repeat(), Qt::LeftButton);
        return !watchdogFired;
    }
    QByteArray log() const
    {
        QFile f(QDir(dir.path()).filePath(QStringLiteral("data.log")));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<no file>");
    }

    QTemporaryDir dir;
    SimBench bench;
    FrmMeas* window = nullptr;
    Lines opening;
    QList<int> timeouts, openingTimeouts;
    QHash<QByteArray, int> sent;
    QByteArray onLine;
    int onAt = 0;
    std::function<void()> onSent;
    bool watchdogFired = false;
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
    void settingsDialogIsModalAndClosesWithItsWindow();
    void closeDuringAConversationSendsNothingMore_data();
    void closeDuringAConversationSendsNothingMore();
    void disconnectDuringASingle();
};

void TestFrmMeas::opening_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("recording");
    QTest::addColumn<QString>("label");
    QTest::newRow("running") << QString() << 2 << "RUN";
    // A reply that names no state keeps the design caption.
    QTest::newRow("no answer") << "drop,:STAT?,1" << 2 << "Label2";
    QTest::newRow("other text") << "garble,:STAT?,1" << 0 << "Label2";
}

// Catches: the state not asked last, a wrong time-out, a reply that names no state shown
// as one.
void TestFrmMeas::opening()
{
    QFETCH(QString, fault);
    QFETCH(int, recording);
    QFETCH(QString, label);
    Fixture f(config(0, fault), recording);
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
    f.atMeas(1, [&] {
        disabledDuring =
            !f.single()->isEnabled() && !f.repeat()->isEnabled() && !f.startStop()->isEnabled();
    });
    QTest::mouseClick(f.single(), Qt::LeftButton);
    QCOMPARE(f.bench.wire(), (Lines{":HEAD ON", ":TRAN:SEP 2", ":MEAS?"}));
    QCOMPARE(f.timeouts, (QList<int>{1000, 1000, 50000}));
    QVERIFY(disabledDuring);
    QVERIFY(f.idle());
    QVERIFY(f.bench.instrument.state().measure.headOn); // Single leaves names on

    QCOMPARE(f.window->grid()->Rows(), 1601);
    QCOMPARE(f.cell(1, 0) + '=' + f.cell(1, 1), QStringLiteral("U1=+100.10"));
    QCOMPARE(f.cell(19, 0) + '=' + f.cell(19, 1), QStringLiteral("CH2 PF=+0.9970"));
    QCOMPARE(f.cell(1600, 0), QStringLiteral("HARM 1580"));

    // A shorter reply shrinks the grid; without LOGGING no file is made.
    f.bench.instrument.config().measItems = 2;
    QTest::mouseClick(f.single(), Qt::LeftButton);
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
    bool running = false;
    bool settingsOpened = false;
    f.atMeas(1, [&] {
        // Refused during a run; if opened all the same, it is closed so that the run can end.
        TestUtil::later(100, [&] {
            if ((settingsOpened = f.window->settingsDialog()))
                f.window->settingsDialog()->reject();
        });
        f.get<QAction>("MSSettings")->trigger();
        running = f.running() && f.window->timerRepeat().interval() == 120000;
        f.get<QComboBox>("ComboRepeat")->setCurrentIndex(0); // for the next run
        TestUtil::later(500, [&] { f.repeat()->click(); });
    });
    QVERIFY(f.runRepeat());
    QVERIFY(running && !settingsOpened);
    // Measured once at once, then nothing before the first tick.
    QCOMPARE(f.bench.wire(), kRepeatStart);
    QCOMPARE(f.timeouts, (QList<int>{1000, 1000, 50000, 1000}));
    QVERIFY(!f.bench.instrument.state().measure.headOn);
    QVERIFY(f.idle());
    QCOMPARE(f.window->timerRepeat().interval(), 120000);
    // The next run takes the new choice. Its later replies carry more values than the grid
    // has rows: the rows there are get them, and the grid keeps its size.
    f.bench.instrument.config().measItems = 3;
    int interval = 0;
    f.atMeas(2, [&] {
        interval = f.window->timerRepeat().interval();
        f.bench.instrument.config().measItems = 10;
        f.atMeas(3, [&] { f.repeat()->click(); });
    });
    QVERIFY(f.runRepeat());
    QCOMPARE(interval, 1000);
    QCOMPARE(f.window->grid()->Rows(), 4);
    QCOMPARE(f.cell(3, 0) + '=' + f.cell(3, 1), QStringLiteral("CH1 P=+500.2"));
}

// Catches: ticks during a slow measurement queued up into several measurements.
void TestFrmMeas::ticksDuringASlowMeasurementMerge()
{
    Fixture f(config(600));
    QVERIFY(f.window);
    f.shortInterval(3600000); // ticked by hand
    // Three ticks while the first repeated measurement waits: one measurement follows.
    f.at(":HEAD OFF", 1, [&] {
        f.window->TimerRepeat_Timer();
        f.atMeas(2, [&] {
            for (int ms : {0, 100, 200})
                TestUtil::later(ms, [&] { f.window->TimerRepeat_Timer(); });
            f.atMeas(3, [&] { TestUtil::later(1200, [&] { f.repeat()->click(); }); });
        });
    });
    QVERIFY(f.runRepeat());
    QCOMPARE(f.bench.wire(), kRepeatStart + Lines(2, ":MEAS?"));
    QCOMPARE(f.cell(1, 1), QStringLiteral("+100.12"));
}

void TestFrmMeas::stopDuringAMeasurement_data()
{
    QTest::addColumn<bool>("restart");
    QTest::newRow("its reply still counts") << false;
    // Repeat again while the first run's ":MEAS?" still waits: the new run's loop runs above
    // the old one, and when it has been stopped too, the old reply must not come after it.
    QTest::newRow("a new run drops its reply") << true;
}

// Catches: a reply that came after Stop dropped, or Stop not taking effect at once; an old
// run's reply shown and logged after a newer run's.
void TestFrmMeas::stopDuringAMeasurement()
{
    QFETCH(bool, restart);
    Fixture f(config(500));
    QVERIFY(f.window);
    f.logging()->trigger();
    f.shortInterval(100);
    bool idleAtOnce = false;
    f.atMeas(2, [&] {
        QTest::mouseClick(f.repeat(), Qt::LeftButton); // Stop
        idleAtOnce = f.idle();
        if (restart) {
            TestUtil::later(1500, [&] { QTest::mouseClick(f.repeat(), Qt::LeftButton); });
            f.runRepeat(); // nested in the old run's wait
        }
    });
    QVERIFY(f.runRepeat());
    QVERIFY(idleAtOnce);
    QVERIFY(TestUtil::waitFor([&] { return f.idle(); }));
    QTest::qWait(300);
    if (!restart) {
        QCOMPARE(f.bench.wire(), kRepeatStart + Lines{":MEAS?"});
        QCOMPARE(f.cell(1, 0) + '=' + f.cell(1, 1), QStringLiteral("U1=+100.11"));
        QCOMPARE(f.log(), kNames + kValues[0] + kValues[1]);
    } else {
        QVERIFY2(f.log().startsWith(kNames + kValues[0]), f.log().constData());
        QVERIFY2(!f.log().contains(kValues[1]), f.log().constData());
        QVERIFY(f.cell(1, 1) != QStringLiteral("+100.11"));
    }
}

// Catches: a refused measurement reported, retried in a loop, or ending the run.
void TestFrmMeas::busyEndsTheLoopButNotTheRun()
{
    // "Repeat" clicked while another transaction holds the link: all is refused, and the
    // first refused repeated measurement ends the loop.
    Fixture f(config(0, QStringLiteral("delay,aaa,2,1500")));
    QVERIFY(f.window);
    f.shortInterval(100);
    bool loopEnded = false;
    TestUtil::later(100, [&] { loopEnded = f.runRepeat(); });
    QCOMPARE(f.bench.link().SendCommand("aaa", 3000).result, Link::ResultComplete);
    QVERIFY(loopEnded);
    QTest::qWait(400);
    QCOMPARE(f.bench.wire(), (Lines{"aaa"}));
    QVERIFY(f.bench.messages.shown().isEmpty());
    // The run stays on until the user stops it.
    QVERIFY(f.running());
    QTest::mouseClick(f.repeat(), Qt::LeftButton);
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
    Fixture f(config(0, fault));
    QVERIFY(f.window);
    f.logging()->trigger();
    const auto grid = [&] { return f.cell(1, 1) + f.cell(7, 1); };
    QTest::mouseClick(f.single(), Qt::LeftButton);
    const QString shown = grid();
    const QByteArray logged = f.log();
    // The 50 s wait for the cut reply ends as a time-out does.
    if (fault.startsWith("truncate"))
        f.atMeas(2, [&] { TestUtil::later(300, [&] { f.bench.link().cancelWait(); }); });
    f.bench.clearWire();
    QTest::mouseClick(f.single(), Qt::LeftButton);
    QCOMPARE(f.bench.wire(), wire);
    QVERIFY2(f.status().startsWith("No reply to " + wire.last() + " at "), qPrintable(f.status()));
    QCOMPARE(grid(), shown);
    QCOMPARE(f.log(), logged);
    QVERIFY(f.idle());
    QTest::qWait(400); // the late reply, if any, has come and gone
    QTest::mouseClick(f.single(), Qt::LeftButton);
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
    Fixture f(config(600, QStringLiteral("delay,:HEAD,3,1300")));
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
    // The pause must come after the start or stop and before the state is asked again.
    TestUtil::PauseRecorder pauses;
    BlockingPause::setImplementation(
        [&](int ms) { pauses.pauses << ms << int(f.bench.wire().size()); });
    QTest::mouseClick(f.startStop(), Qt::LeftButton);
    QCOMPARE(f.bench.wire(), (Lines{":DISP:MODE MEAS", ":HEAD OFF", ":STAT?", command, ":STAT?"}));
    QCOMPARE(f.timeouts, QList<int>(5, 1000));
    QCOMPARE(pauses.pauses, (QList<int>{1000, 4})); // 1000 ms after the fourth line
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
    QFile older(QDir(f.dir.path()).filePath(QStringLiteral("data.log")));
    QVERIFY(older.open(QIODevice::WriteOnly) && older.write("older\r\n") == 7);
    older.close();
    if (fromTheStart)
        f.logging()->trigger();
    f.shortInterval(150);
    f.atMeas(2, [&] {
        if (!fromTheStart)
            f.logging()->trigger();
        f.atMeas(3, [&] { f.repeat()->click(); });
    });
    QVERIFY(f.runRepeat());
    QCOMPARE(f.log(), "older\r\n" + expected);

    // A Single adds its two lines; with logging off again the file stays as it is.
    QTest::mouseClick(f.single(), Qt::LeftButton);
    QCOMPARE(f.log(), "older\r\n" + expected + kNames + kValues[3]);
    f.logging()->trigger();
    QTest::mouseClick(f.single(), Qt::LeftButton);
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
    const QString file = QDir(f.dir.path()).filePath(QStringLiteral("data.log"));
    QVERIFY(diskFull ? QFile::link(QStringLiteral("/dev/full"), file) : QDir().mkdir(file));
    f.logging()->trigger();
    QTest::mouseClick(f.single(), Qt::LeftButton);
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
    QTest::mouseClick(f.single(), Qt::LeftButton);
    QCOMPARE(f.bench.messages.shown().size(), 1);
}

// Catches: the settings dialog not modal, or outliving its window.
void TestFrmMeas::settingsDialogIsModalAndClosesWithItsWindow()
{
    Fixture f;
    QVERIFY(f.window);
    QPointer<DlgSettings> dlg;
    bool modal = false;
    TestUtil::later(200, [&] {
        dlg = f.window->settingsDialog();
        modal = dlg && dlg->isVisible() && dlg->isModal();
        if (dlg)
            dlg->reject();
    });
    f.get<QAction>("MSSettings")->trigger();
    QVERIFY(modal);
    QVERIFY(TestUtil::waitFor([&] { return dlg.isNull(); }));

    // Closing the window closes the dialog; both go once exec() has returned.
    QPointer<FrmMeas> w = f.window;
    bool dialogHidden = false;
    TestUtil::later(200, [&] {
        dlg = w->settingsDialog();
        w->close();
        dialogHidden = dlg && !dlg->isVisible();
    });
    f.get<QAction>("MSSettings")->trigger();
    QVERIFY(dialogHidden);
    QVERIFY(TestUtil::waitFor([&] { return w.isNull() && dlg.isNull(); }));
}

void TestFrmMeas::closeDuringAConversationSendsNothingMore_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<QByteArray>("closeAt");
    QTest::addColumn<int>("nth");
    QTest::addColumn<Lines>("wire");
    QTest::newRow("Start/Stop") << QByteArray("CommandStart") << QByteArray(":STAT?") << 1
                                << Lines{":DISP:MODE MEAS", ":HEAD OFF", ":STAT?"};
    QTest::newRow("Single") << QByteArray("CommandSingle") << QByteArray(":HEAD ON") << 1
                            << Lines{":HEAD ON"};
    QTest::newRow("a repeat run") << QByteArray("CommandRepeat") << QByteArray(":MEAS?") << 2
                                  << kRepeatStart + Lines{":MEAS?"};
}

// Catches: ":START" or ":STOP" written after the window was closed while Start/Stop asked
// the instrument's state; the rest of a Single sent after a close during its first step;
// measurements sent after a close during a run.
void TestFrmMeas::closeDuringAConversationSendsNothingMore()
{
    QFETCH(QByteArray, button);
    QFETCH(QByteArray, closeAt);
    QFETCH(int, nth);
    QFETCH(Lines, wire);
    Fixture f;
    QVERIFY(f.window);
    f.bench.instrument.config().replyDelayMs = 200; // the close comes while the reply waits
    f.shortInterval(100);
    TestUtil::PauseRecorder pauses;
    QPointer<FrmMeas> w = f.window;
    f.at(closeAt, nth, [&] { w->close(); });
    QTest::mouseClick(f.get<QPushButton>(button.constData()), Qt::LeftButton);
    QVERIFY(TestUtil::waitFor([&] { return w.isNull(); }));
    QTest::qWait(400); // a run's next tick would have come
    QCOMPARE(f.bench.wire(), wire);
    QVERIFY(pauses.pauses.isEmpty());
}

// Catches: a Single's wait outliving the disconnect, or the window destroyed under it.
void TestFrmMeas::disconnectDuringASingle()
{
    Fixture f(config(400));
    QVERIFY(f.window);
    QPointer<FrmMeas> w = f.window;
    bool aliveWhileWaiting = false;
    bool waitEnded = false;
    f.atMeas(1, [&] {
        f.bench.start->CommandConnect_Click(); // "Disconnect"
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        aliveWhileWaiting = !w.isNull();
        // The port is closed, so no reply can come: the disconnect ends the wait at once.
        waitEnded = f.bench.link().TimeUp() == -1;
    });
    QTest::mouseClick(f.single(), Qt::LeftButton);
    QVERIFY(aliveWhileWaiting && waitEnded);
    QVERIFY(TestUtil::waitFor([&] { return w.isNull(); }));
    QCOMPARE(f.bench.wire(), (Lines{":HEAD ON", ":TRAN:SEP 2", ":MEAS?"}));
    // And the user can connect again straight away.
    QVERIFY(f.bench.connectDirect());
}

QTEST_MAIN(TestFrmMeas)
#include "test_frmmeas.moc"
