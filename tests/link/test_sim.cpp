// The simulated instrument's framing, modem and fault injection, and COMn resolution.

#include "PortResolver.h"
#include "SimInstrument.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {
QByteArray joined(const std::vector<SimOutput>& outs)
{
    QByteArray all;
    for (const SimOutput& o : outs)
        all += o.bytes;
    return all;
}
} // namespace

class TestSim : public QObject
{
    Q_OBJECT
private slots:
    void framing();
    void modemDialling();
    void faults_data();
    void faults();
    void faultOptionsParse_data();
    void faultOptionsParse();
    void portResolution();
};

void TestSim::framing()
{
    SimInstrument s;
    s.receive("aaa\r\n");
    QVERIFY(s.lines().isEmpty()); // kept only when asked for: kestrel-sim serves for days
    s.keepLines(true);
    // Split anywhere, CR LF or LF alone; words match whatever their case and colon.
    QCOMPARE(joined(s.receive("aa")), QByteArray());
    QCOMPARE(joined(s.receive("a\r")), QByteArray());
    QCOMPARE(joined(s.receive("\nAAA\n")), QByteArray("COMMAND ERROR\r\nCOMMAND ERROR\r\n"));
    QCOMPARE(s.lines(), (QList<QByteArray>{"aaa", "AAA"}));
    QCOMPARE(joined(s.receive(":NOSUCH 1,2\r\n")), QByteArray("COMMAND ERROR\r\n"));
    // A line that never ends is forgotten rather than kept forever.
    s.receive(QByteArray(100000, 'x'));
    QCOMPARE(joined(s.receive("aaa\r\n")), QByteArray("COMMAND ERROR\r\n"));
}

void TestSim::modemDialling()
{
    SimConfig c;
    c.modem = true;
    c.dialDelayMs = 1234;
    c.busyNumbers << QStringLiteral("42");
    SimInstrument s(c);
    QCOMPARE(joined(s.receive("AT&F\r\n")), QByteArray("OK\r\n"));
    QCOMPARE(joined(s.receive("hello\r\n")), QByteArray("ERROR\r\n"));
    QCOMPARE(joined(s.receive("aaa\r\n")), QByteArray("ERROR\r\n")); // not yet through
    auto busy = s.receive("ATD42\r\n");
    QCOMPARE(joined(busy), QByteArray("BUSY\r\n"));
    QCOMPARE(busy[0].delayMs, 1234);
    QVERIFY(!s.modemConnected());
    QCOMPARE(joined(s.receive("ATDT0123\r\n")), QByteArray("CONNECT 9600\r\n"));
    QVERIFY(s.modemConnected());
    QCOMPARE(joined(s.receive("aaa\r\n")), QByteArray("COMMAND ERROR\r\n"));
    s.hangup(); // the port was closed: DTR dropped
    QVERIFY(!s.modemConnected());
    QCOMPARE(joined(s.receive("aaa\r\n")), QByteArray("ERROR\r\n"));
}

void TestSim::faults_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QList<QByteArray>>("replies"); // to four "aaa" in a row
    QTest::addColumn<int>("delayOfSecond");
    const QByteArray ok = "COMMAND ERROR\r\n";
    using L = QList<QByteArray>;
    QTest::newRow("drop 2nd") << "drop,aaa,2" << L{ok, "", ok, ok} << 0;
    QTest::newRow("delay 2nd") << "delay,AAA,2,700" << L{ok, ok, ok, ok} << 700;
    QTest::newRow("truncate 2nd") << "truncate,aaa,2" << L{ok, "COMMAND", ok, ok} << 0;
    QTest::newRow("lengthen 2nd") << "lengthen,aaa,2,3" << L{ok, ok + "###", ok, ok} << 0;
    QTest::newRow("any word, 3rd reply") << "drop,*,3" << L{ok, ok, "", ok} << 0;
    QTest::newRow("other word untouched") << "drop,:MEAS?,1" << L{ok, ok, ok, ok} << 0;
    QTest::newRow("hangup direct") << "hangup,aaa,2" << L{ok, "", "", ""} << 0;
}

void TestSim::faults()
{
    QFETCH(QString, fault);
    QFETCH(QList<QByteArray>, replies);
    QFETCH(int, delayOfSecond);
    SimConfig c;
    QString error;
    QVERIFY2(c.parse({QStringLiteral("--fault"), fault}, &error), qPrintable(error));
    SimInstrument s(c);
    for (int i = 0; i < replies.size(); ++i) {
        const auto out = s.receive("aaa\r\n");
        QCOMPARE(joined(out), replies[i]);
        if (i == 1 && !out.empty())
            QCOMPARE(out[0].delayMs, delayOfSecond);
    }
}

void TestSim::faultOptionsParse_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("ok");
    QTest::newRow("good") << QStringList{"--baud", "9600", "--modem", "--fault", "garble,*,1"} << true;
    QTest::newRow("bad kind") << QStringList{"--fault", "explode,aaa,1"} << false;
    QTest::newRow("bad count") << QStringList{"--fault", "drop,aaa,0"} << false;
    QTest::newRow("missing value") << QStringList{"--baud"} << false;
    QTest::newRow("negative") << QStringList{"--reply-delay", "-5"} << false;
    QTest::newRow("unknown") << QStringList{"--frobnicate"} << false;
}

void TestSim::faultOptionsParse()
{
    QFETCH(QStringList, args);
    QFETCH(bool, ok);
    SimConfig c;
    QString error;
    QCOMPARE(c.parse(args, &error), ok);
    QCOMPARE(error.isEmpty(), ok);
}

void TestSim::portResolution()
{
    QTemporaryDir dev;
    for (const char* n : {"ttyS1", "ttyS0", "ttyS10", "ttyS2", "ttyUSB0", "ttyACM0", "ttySX"})
        QFile(dev.filePath(QString::fromLatin1(n))).open(QIODevice::WriteOnly);
    const QStringList devices = PortResolver::serialDevices(dev.path());
    QCOMPARE(devices, (QStringList{dev.filePath("ttyS0"), dev.filePath("ttyS1"),
                                   dev.filePath("ttyS2"), dev.filePath("ttyS10"),
                                   dev.filePath("ttyUSB0"), dev.filePath("ttyACM0")}));
    QTemporaryDir dos;
    QVERIFY(QFile::link(QStringLiteral("/dev/ttyUSB7"), dos.filePath(QStringLiteral("com2"))));
    QCOMPARE(PortResolver::resolve(1, dos.path(), devices), dev.filePath("ttyS0"));
    QCOMPARE(PortResolver::resolve(2, dos.path(), devices), QStringLiteral("/dev/ttyUSB7"));
    QCOMPARE(PortResolver::resolve(6, dos.path(), devices), dev.filePath("ttyACM0"));
    QCOMPARE(PortResolver::resolve(7, dos.path(), devices), QString());
    const QString denied = PortResolver::openErrorText(3, QStringLiteral("/dev/ttyS2"),
                                                       QStringLiteral("permission denied"), true);
    QVERIFY(denied.contains(QStringLiteral("COM3 (/dev/ttyS2)")));
    QVERIFY(denied.contains(QStringLiteral("log out and in again")));
    QVERIFY(PortResolver::openErrorText(7, {}, {}, false).contains(QStringLiteral("COM7")));
}

QTEST_MAIN(TestSim)
#include "test_sim.moc"
