// End to end: the real kestrel-sim on a pseudo-terminal, reached through QSerialPort and the
// COMn resolution, as a user's program would reach the instrument.

#include "FrmMeas.h"
#include "FrmStart.h"
#include "InstrumentSession.h"
#include "Link.h"
#include "PortResolver.h"
#include "QtCommPort.h"
#include "ScriptedMessages.h"
#include "SimProcess.h"
#include "TestUtil.h"

#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

// kestrel-sim running with its link in a private dosdevices folder.

struct Program
{
    ScriptedMessages messages;
    InstrumentSession session{std::make_unique<QtCommPort>()};
    FrmStart start{session};
    template <class T> T* c(const char* name)
    {
        return start.findChild<T*>(QString::fromLatin1(name));
    }
    // Clicks and waits until the conversation it started has ended.
    void click(const char* name)
    {
        QTest::mouseClick(c<QPushButton>(name), Qt::LeftButton);
        TestUtil::waitFor([this] { return session.idle(); });
    }
};

} // namespace

class TestPtyE2E : public QObject
{
    Q_OBJECT
private slots:
    void connectsThroughTheResolvedPort();
    void simulatorEndsWhileMeasuring();
};

// Catches: COMn resolved to the wrong device, an exchange stalled on the real port, a port
// that cannot be opened again after a disconnect.
void TestPtyE2E::connectsThroughTheResolvedPort()
{
    SimProcess sim({}, 2);
    sim.useAsConfigHome();
    QVERIFY2(sim.device().startsWith(QStringLiteral("/dev/pts/")), qPrintable(sim.device()));
    QCOMPARE(PortResolver::resolve(2), sim.device());
    Program p;
    p.c<QComboBox>("ComboPort")->setCurrentIndex(1);
    QCOMPARE(p.c<QLabel>("LabelDevice")->text(), sim.device());
    for (int round = 0; round < 3; ++round) {
        p.click("CommandConnect");
        QVERIFY2(p.messages.texts().isEmpty(), qPrintable(p.messages.texts().join('\n')));
        QVERIFY(p.session.connected());
        // Short exchanges back to back: every one completes, none times out.
        for (int i = 0; i < 200; ++i)
            QVERIFY2(TestUtil::transact(p.session, "aaa").text == "COMMAND ERROR\r\n",
                     qPrintable(QStringLiteral("exchange %1 stalled").arg(i)));
        p.click("CommandConnect");
        QVERIFY(!p.session.connected());
    }
}

// Catches: a lost port reported more than once or not at all, a report without COMn and its
// device, the measurement window left open on a dead line, Connect left disabled.
void TestPtyE2E::simulatorEndsWhileMeasuring()
{
    auto sim = std::make_unique<SimProcess>(QStringList{}, 3);
    const QString device = sim->device();
    // The user's own COM3 link, which outlives the simulator.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QDir().mkpath(PortResolver::dosdevicesDir());
    QVERIFY(QFile::link(device, PortResolver::dosdevicesDir() + QStringLiteral("/com3")));
    Program p;
    p.c<QComboBox>("ComboPort")->setCurrentIndex(2);
    p.click("CommandConnect");
    QVERIFY(p.session.connected());
    p.click("CommandMeasDisp");
    QPointer<FrmMeas> meas = p.start.measWindow();
    QVERIFY(meas && meas->isVisible());
    QVERIFY2(p.messages.texts().isEmpty(), qPrintable(p.messages.texts().join('\n')));

    sim.reset(); // the process ends, and the pseudo-terminal with it
    QVERIFY(TestUtil::waitFor([&] { return !p.session.connected() && meas.isNull(); }));
    QTest::qWait(300); // room for a second report
    QCOMPARE(p.messages.shown().size(), 1);
    QCOMPARE(p.messages.shown()[0].kind, MessageService::Kind::Critical);
    const QString text = p.messages.shown()[0].text;
    QVERIFY2(text.contains("COM3 (" + device + ")"), qPrintable(text));
    QVERIFY(p.c<QPushButton>("CommandConnect")->isEnabled());
    QCOMPARE(TestUtil::caption(p.c<QPushButton>("CommandConnect")), QStringLiteral("Connect"));
}

QTEST_MAIN(TestPtyE2E)
#include "test_pty_e2e.moc"
