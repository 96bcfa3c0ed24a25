// The connection window through its real controls, against the simulated instrument.

#include "FrmDload.h"
#include "FrmMeas.h"
#include "Link.h"
#include "SimBench.h"

#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

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
    void accessibleNames();
    void directConnectAndDisconnect();
    void directSilentFailure();
    void portAndSettingsFromTheLists();
    void portOpenError();
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
    QCOMPARE(b.startChild<QComboBox>("ComboPort")->count(), 8);
    QVERIFY(b.startChild<QRadioButton>("Option1")->isChecked());
    QCOMPARE(b.startChild<QLineEdit>("TextModemInit")->text(), QStringLiteral("AT"));
    QCOMPARE(offer(b), QStringLiteral("Connect + - -"));
    QCOMPARE(b.startChild<QLabel>("LabelDevice")->text(), QStringLiteral("sim:COM1"));
    QVERIFY(b.port->written().isEmpty());
    QVERIFY(!b.port->isOpen());
}

// Catches: an entry field or list announced without its label's caption.
void TestFrmStart::accessibleNames()
{
    SimBench b;
    // Entry fields and lists are announced by their label's caption.
    const char* fields[][2] = {{"ComboPort", "Comport"},
                               {"ComboBaud", "Baudrate"},
                               {"TextModemInit", "Initialization"},
                               {"TextTelNo", "Phone number"},
                               {"CommandConnect", "Connect"},
                               {"Option2", "Modem"}};
    for (auto& f : fields) {
        QWidget* w = b.startChild<QWidget>(f[0]);
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
        QVERIFY(iface);
        // Either its own name, or (lists on Linux, whose name is their value) the label it
        // is "labelled by".
        QStringList heard{iface->text(QAccessible::Name)};
        for (const auto& rel : iface->relations(QAccessible::Label))
            heard << rel.first->text(QAccessible::Name);
        QVERIFY2(heard.contains(QString::fromLatin1(f[1])), qPrintable(heard.join('|')));
    }
}

// Catches: a wrong connection test, a hang-up command sent, the windows offered after a
// disconnect.
void TestFrmStart::directConnectAndDisconnect()
{
    SimBench b;
    QVERIFY(b.connectDirect());
    QCOMPARE(b.wire(), (QList<QByteArray>{"aaa"}));
    QCOMPARE(b.port->written(), QByteArray("aaa\r\n"));
    QCOMPARE(b.link().timerComInterval(), 1000);
    QCOMPARE(offer(b), QStringLiteral("Disconnect + + +"));
    QVERIFY(b.port->isOpen());

    QTest::mouseClick(b.startChild<QPushButton>("CommandConnect"), Qt::LeftButton);
    QCOMPARE(b.link().ConnectStat(), qint16(0));
    QVERIFY(!b.port->isOpen());
    QCOMPARE(b.wire(), (QList<QByteArray>{"aaa"})); // no hang-up command
    QCOMPARE(offer(b), QStringLiteral("Connect + - -"));
}

// Catches: a failed connection test reported, the port left open, or the next attempt
// refused.
void TestFrmStart::directSilentFailure()
{
    SimConfig c;
    SimFault silent;
    silent.word = "AAA";
    c.faults.push_back(silent);
    SimBench b(c);
    QVERIFY(!b.connectDirect());
    QVERIFY(b.messages.shown().isEmpty()); // fails silently
    QVERIFY(!b.port->isOpen());
    QCOMPARE(offer(b), QStringLiteral("Connect + - -"));
    // The next attempt succeeds: any line counts as the instrument being there.
    QVERIFY(b.connectDirect());
}

// Catches: the port or line speed taken from the wrong list entry.
void TestFrmStart::portAndSettingsFromTheLists()
{
    SimBench b;
    b.startChild<QComboBox>("ComboPort")->setCurrentIndex(2);
    b.startChild<QComboBox>("ComboBaud")->setCurrentIndex(2);
    QCOMPARE(b.startChild<QLabel>("LabelDevice")->text(), QStringLiteral("sim:COM3"));
    QVERIFY(b.connectDirect());
    QCOMPARE(b.port->commPort(), 3);
    QCOMPARE(b.port->settings(), QStringLiteral("38400,n,8,1"));
    QTest::mouseClick(b.startChild<QPushButton>("CommandConnect"), Qt::LeftButton);
    b.startChild<QComboBox>("ComboBaud")->setCurrentIndex(1);
    QVERIFY(b.connectDirect());
    QCOMPARE(b.port->settings(), QStringLiteral("19200,n,8,1"));
}

// Catches: an open error not reported as it is, or anything sent after it.
void TestFrmStart::portOpenError()
{
    SimBench b;
    const QString text = QStringLiteral("COM1 (/dev/ttyS0) cannot be opened: permission denied.");
    b.port->setOpenError(text);
    QVERIFY(!b.connectDirect());
    QCOMPARE(b.messages.shown().size(), 1);
    QCOMPARE(b.messages.shown()[0].kind, MessageService::Kind::Critical);
    QCOMPARE(b.messages.shown()[0].text, text);
    QCOMPARE(offer(b), QStringLiteral("Connect + - -"));
    QVERIFY(b.port->written().isEmpty());
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
// for a connection.
void TestFrmStart::modem()
{
    QFETCH(QString, init);
    QFETCH(QString, number);
    QFETCH(QList<QByteArray>, wire);
    QFETCH(bool, connected);
    SimConfig c;
    c.modem = true;
    c.dialDelayMs = 100;
    c.noCarrierNumbers << QStringLiteral("999");
    SimBench b(c);
    TestUtil::PauseRecorder pauses;
    QList<int> timeouts;
    QObject::connect(&b.link(), &Link::written, [&](const QByteArray&, int ms) { timeouts << ms; });
    b.startChild<QRadioButton>("Option2")->setChecked(true);
    b.startChild<QLineEdit>("TextModemInit")->setText(init);
    b.startChild<QLineEdit>("TextTelNo")->setText(number);
    QTest::mouseClick(b.startChild<QPushButton>("CommandConnect"), Qt::LeftButton);
    QCOMPARE(b.wire(), wire);
    QCOMPARE(b.link().ConnectStat(), connected ? qint16(-1) : qint16(0));
    QCOMPARE(timeouts, wire.size() == 2 ? (QList<int>{1000, 30000}) : (QList<int>{1000}));
    QCOMPARE(pauses.pauses, wire.size() == 2 ? QList<int>{1000} : QList<int>{});
    QVERIFY(b.messages.shown().isEmpty());
    if (connected) {
        QCOMPARE(b.link().RecvMode(), Link::ModeLine);
        // The line now reaches the instrument.
        QCOMPARE(b.link().SendCommand("aaa", 1000).text, QByteArray("COMMAND ERROR\r\n"));
    }
}

// Catches: the connection controls usable while a transaction waits, or left disabled.
void TestFrmStart::controlsFollowBusy()
{
    SimConfig c;
    c.replyDelayMs = 300;
    SimBench b(c);
    QVERIFY(b.connectDirect());
    const char* names[] = {"Option1", "Option2", "CommandConnect", "CommandMeasDisp",
                           "CommandDloadDisp"};
    QList<bool> during;
    QTimer::singleShot(100, [&] {
        for (const char* n : names)
            during << b.startChild<QWidget>(n)->isEnabled();
    });
    QCOMPARE(b.link().SendCommand(":STAT?", 1000).result, Link::ResultComplete);
    QCOMPARE(during, (QList<bool>{false, false, false, false, false}));
    for (const char* n : names)
        QVERIFY(b.startChild<QWidget>(n)->isEnabled());
}

// Catches: both windows open at once, or one left open after a disconnect.
void TestFrmStart::windowsCloseEachOther()
{
    SimBench b;
    QVERIFY(b.connectDirect());
    QPointer<FrmMeas> meas = b.openMeas();
    QVERIFY(meas && meas->isVisible());
    QCOMPARE(meas->windowTitle(), QStringLiteral("MEASURE"));
    QPointer<FrmDload> dload = b.openDload();
    QVERIFY(dload && dload->isVisible());
    QCOMPARE(dload->windowTitle(), QStringLiteral("DOWNLOAD"));
    QVERIFY(TestUtil::waitFor([&] { return meas.isNull(); })); // unloaded and destroyed
    meas = b.openMeas();
    QVERIFY(TestUtil::waitFor([&] { return dload.isNull(); }));
    QVERIFY(meas);
    // Disconnecting unloads whichever is open.
    QTest::mouseClick(b.startChild<QPushButton>("CommandConnect"), Qt::LeftButton);
    QVERIFY(TestUtil::waitFor([&] { return meas.isNull(); }));
    QVERIFY(!b.start->measWindow() && !b.start->dloadWindow());
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
    b.link().SendCommand(":STAT?", 1000);
    QVERIFY(TestUtil::waitFor([&] { return b.link().ConnectStat() == 0; }));
    QCOMPARE(offer(b), QStringLiteral("Connect + - -"));
}

QTEST_MAIN(TestFrmStart)
#include "test_frmstart.moc"
