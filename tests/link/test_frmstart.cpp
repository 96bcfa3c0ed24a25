// The connection window through its real controls, against the simulated instrument.

#include "FrmDload.h"
#include "FrmMeas.h"
#include "Link.h"
#include "Recording.h"
#include "SimBench.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>

using TestUtil::caption;

namespace {

// What the connection window offers: Connect's caption, then + or - for Connect, Measure and
// Download being enabled.
QString offer(SimBench& b)
{
    QString s = caption(b.startChild<QPushButton>("CommandConnect"));
    for (const char* n : {"CommandConnect", "CommandMeasDisp", "CommandDloadDisp"})
        s += b.startChild<QPushButton>(n)->isEnabled() ? " +" : " -";
    return s;
}

} // namespace

class TestFrmStart : public QObject
{
    Q_OBJECT
private slots:
    void loadState();
    void direct_data();
    void direct();
    void modem_data();
    void modem();
    void controlsFollowBusy();
    void windowsCloseEachOther();
    void portLostWhileConnected();
};

// Catches: anything sent or the port opened before Connect, the windows offered unconnected.
void TestFrmStart::loadState()
{
    SimBench b;
    QCOMPARE(offer(b), QStringLiteral("Connect + - -"));
    QVERIFY(b.port->written().isEmpty());
    QVERIFY(!b.port->isOpen());
}

void TestFrmStart::direct_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("baud");
    QTest::addColumn<QString>("problem"); // "silent" (no answer) or the port's open error
    QTest::addColumn<QString>("settings");
    QTest::newRow("COM1 at 9600") << 0 << 0 << QString() << "9600,n,8,1";
    QTest::newRow("COM3 at 19200") << 2 << 1 << QString() << "19200,n,8,1";
    QTest::newRow("COM2 at 38400") << 1 << 2 << QString() << "38400,n,8,1";
    QTest::newRow("no answer") << 0 << 0 << "silent" << QString();
    QTest::newRow("open error") << 0 << 0
                                << "COM1 (/dev/ttyS0) cannot be opened: permission denied."
                                << QString();
}

// Catches: the port or line speed taken from the wrong list entry; a wrong connection test;
// a failed test reported, or an open error not reported as it is; anything sent after an
// open error; the port left open, or the next attempt refused; a hang-up command sent; the
// windows offered unconnected or after a disconnect.
void TestFrmStart::direct()
{
    QFETCH(int, port);
    QFETCH(int, baud);
    QFETCH(QString, problem);
    QFETCH(QString, settings);
    const bool silent = problem == QLatin1String("silent");
    SimBench b(SimBench::withFault(silent ? "drop,aaa,1" : ""));
    const bool openError = !problem.isEmpty() && !silent;
    if (openError)
        b.port->setOpenError(problem);
    b.startChild<QComboBox>("ComboPort")->setCurrentIndex(port);
    b.startChild<QComboBox>("ComboBaud")->setCurrentIndex(baud);
    QCOMPARE(b.startChild<QLabel>("LabelDevice")->text(), "sim:COM" + QString::number(port + 1));
    QCOMPARE(b.connectDirect(), problem.isEmpty());
    QCOMPARE(b.messages.texts(), openError ? QStringList{problem} : QStringList{});
    if (openError)
        QCOMPARE(b.messages.shown()[0].kind, MessageService::Kind::Critical);
    QCOMPARE(b.port->written(), openError ? QByteArray() : QByteArray("aaa\r\n"));
    QCOMPARE(b.port->isOpen(), problem.isEmpty());
    if (!problem.isEmpty()) {
        QCOMPARE(offer(b), QStringLiteral("Connect + - -"));
        // The next attempt succeeds: any line counts as the instrument being there.
        QVERIFY(openError || b.connectDirect());
        return;
    }
    QCOMPARE(b.port->commPort(), port + 1);
    QCOMPARE(b.port->settings(), settings);
    QCOMPARE(b.link().timerComInterval(), 1000);
    QCOMPARE(offer(b), QStringLiteral("Disconnect + + +"));

    QTest::mouseClick(b.startChild<QPushButton>("CommandConnect"), Qt::LeftButton);
    QVERIFY(!b.session->connected());
    QVERIFY(!b.port->isOpen());
    QCOMPARE(b.wire(), (QList<QByteArray>{"aaa"})); // no hang-up command
    QCOMPARE(offer(b), QStringLiteral("Connect + - -"));
}

void TestFrmStart::modem_data()
{
    QTest::addColumn<QString>("init");
    QTest::addColumn<QString>("number");
    QTest::addColumn<QList<QByteArray>>("wire");
    QTest::addColumn<bool>("connected");
    using L = QList<QByteArray>;
    QTest::newRow("connects") << "ATZ"
                              << "0312345678" << L{"ATZ", "ATD0312345678"} << true;
    QTest::newRow("empty number") << "AT"
                                  << "" << L{"AT", "ATD"} << true;
    QTest::newRow("no carrier") << "AT"
                                << "999" << L{"AT", "ATD999"} << false;
    // Without "OK" there is no dial.
    QTest::newRow("no OK") << "HELLO"
                           << "1" << L{"HELLO"} << false;
}

// Catches: a dial without "OK", a wrong dial command, time-out or pause, "NO CARRIER" taken
// for a connection; the line used by another window during the pause between "OK" and the
// dial (Measure offered, or its opening written).
void TestFrmStart::modem()
{
    QFETCH(QString, init);
    QFETCH(QString, number);
    QFETCH(QList<QByteArray>, wire);
    QFETCH(bool, connected);
    SimBench b({.modem = true, .dialDelayMs = 100, .noCarrierNumbers = {"999"}});
    QList<int> pauses;
    b.session->setPauseLength([&](int ms) {
        pauses << ms;
        return 300;
    });
    bool measureOffered = true;
    QObject::connect(b.session.get(), &InstrumentSession::lineBusy, [&](bool) {
        QTimer::singleShot(150, b.start.get(), [&] {
            if (pauses.isEmpty() || b.session->idle())
                return;
            // In the pause: Measure is not offered, and even run it writes nothing.
            measureOffered = b.startChild<QPushButton>("CommandMeasDisp")->isEnabled();
            b.start->onMeasureClicked();
        });
    });
    QCOMPARE(b.connectModem(number, init), connected);
    QVERIFY(b.settle()); // a dial still waiting
    QCOMPARE(b.wire(), wire);
    QCOMPARE(b.timeouts, wire.size() == 2 ? (QList<int>{1000, 30000}) : (QList<int>{1000}));
    QCOMPARE(pauses, wire.size() == 2 ? QList<int>{1000} : QList<int>{});
    if (wire.size() == 2)
        QVERIFY(!measureOffered);
    if (connected) {
        // The line now reaches the instrument.
        QCOMPARE(TestUtil::runJob<RecordStatus>(*b.session, ReadRecordState)->state,
                 RecordState::Stop);
    }
}

// Catches: the connection controls usable while a transaction waits, or left disabled.
void TestFrmStart::controlsFollowBusy()
{
    SimBench b({.replyDelayMs = 300});
    QVERIFY(b.connectDirect());
    const char* names[] = {"Option1", "Option2", "CommandConnect", "CommandMeasDisp",
                           "CommandDloadDisp"};
    QList<bool> during;
    QTimer::singleShot(100, [&] {
        for (const char* n : names)
            during << b.startChild<QWidget>(n)->isEnabled();
    });
    QCOMPARE(TestUtil::runJob<RecordStatus>(*b.session, ReadRecordState)->state, RecordState::Stop);
    QCOMPARE(during, (QList<bool>{false, false, false, false, false}));
    for (const char* n : names)
        QVERIFY(b.startChild<QWidget>(n)->isEnabled());
}

// Catches: both windows open at once, or one left open after a disconnect; a second click
// that opens another window or receives again; a closed connection window that leaves the
// program running or a window behind.
void TestFrmStart::windowsCloseEachOther()
{
    SimBench b;
    QVERIFY(b.connectDirect());
    QPointer<FrmMeas> meas = b.openMeas();
    QVERIFY(meas && meas->isVisible());
    b.clearWire();
    QCOMPARE(b.openMeas(), meas.data());
    QPointer<FrmDload> dload = b.openDload();
    QVERIFY(dload && dload->isVisible());
    const qsizetype listed = b.wire().size();
    QCOMPARE(b.openDload(), dload.data());
    QCOMPARE(b.wire().size(), listed);                         // the list was not fetched again
    QVERIFY(TestUtil::waitFor([&] { return meas.isNull(); })); // unloaded and destroyed
    meas = b.openMeas();
    QVERIFY(TestUtil::waitFor([&] { return dload.isNull(); }));
    QVERIFY(meas);
    // Disconnecting unloads whichever is open.
    QTest::mouseClick(b.startChild<QPushButton>("CommandConnect"), Qt::LeftButton);
    QVERIFY(TestUtil::waitFor([&] { return meas.isNull(); }));
    QVERIFY(!b.start->measWindow() && !b.start->dloadWindow());
    QVERIFY(b.connectDirect());
    meas = b.openMeas();
    QSignalSpy ended(b.start.get(), &FrmStart::programEnded);
    b.start->close();
    QCOMPARE(ended.count(), 1);
    QVERIFY(TestUtil::waitFor([&] { return meas.isNull(); }));
}

// Catches: Measure or Download offered again when a transaction ends on a lost port.
void TestFrmStart::portLostWhileConnected()
{
    SimBench b;
    QVERIFY(b.connectDirect());
    // The real port's loss is the pty test's; here lost while a transaction waits: when that
    // transaction ends, the window buttons must stay disabled, since there is nothing to
    // measure or download through.
    b.instrument.config().replyDelayMs = 300;
    QTimer::singleShot(100, [&] { emit b.port->lost(QStringLiteral("No such device")); });
    TestUtil::runJob<RecordStatus>(*b.session, ReadRecordState);
    QVERIFY(TestUtil::waitFor([&] { return !b.session->connected(); }));
    QCOMPARE(offer(b), QStringLiteral("Connect + - -"));
}

QTEST_MAIN(TestFrmStart)
#include "test_frmstart.moc"
