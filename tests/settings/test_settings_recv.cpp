// Receiving the settings over the real link from the simulated instrument.

#include "Link.h"
#include "ModSet.h"
#include "RecvSettings.h"
#include "SimBench.h"

#include <QTest>

namespace {

const QList<QByteArray> allQueries{":HEAD OFF",    ":WIR?",
                                   ":CIRC?",       ":SAMP?",
                                   ":FREQ?",       ":OPER?",
                                   ":AVE?",        ":VOLT:RANG?",
                                   ":VT?",         ":CURR:RANG?",
                                   ":CT?",         ":SENS?",
                                   ":START:METH?", ":START:TIME?",
                                   ":STOP:METH?",  ":STOP:TIME?",
                                   ":TIMER?",      ":INTE?",
                                   ":DATA:MEDI?",  "FILE:MEAS?",
                                   ":RS232:CONN?", ":DATA:COPY:MEDIA?",
                                   ":DATA:ITEM?",  ":data:harm?",
                                   ":DATA:WAVE?",  ":THD?",
                                   "RS232:BAUD?",  "TRAN:TERM?",
                                   "RS232:FLOW?",  ":BACK?",
                                   ":BEEP?",       ":ID?",
                                   ":LANG?"};

// An instrument state far from the defaults, with every interesting word in it.
void unusualInstrument(SimSettings& s)
{
    s.wiring = 2; // 3P3W
    s.cirNum = 2;
    s.sampling = 1;
    s.freq = 1;
    s.varMethod = 1;
    s.average = 10;
    s.uRange = 2;
    s.vt = 0.5;
    s.sens = {0, 4, 3, 5};   // CLA, CLC, FLX-5k, CLD
    s.iRange = {2, 8, 9, 0}; // 5, 1000, 5000, 0.5
    s.ct = {2.5, 0.25, 1234.56789012345, 1};
    s.startMeth = 1;
    s.startTime = {2031, 12, 24, 23, 59};
    s.stopMeth = 2;
    s.stopTime = {2032, 2, 29, 7, 5};
    s.timer = {3, 12, 30};
    s.intvl = 8; // 15S
    s.media = 1;
    s.fileName = "RUN_01";
    s.rsConnection = 1;
    s.copyDst = 2; // PRINTER
    s.items = {95, 96, 5, 170, 1, 0, 0, 0, 128};
    s.harm = false; // answered apart from the words, and it wins
    s.wave = true;
    s.thd = 1;
    s.baud = 3;
    s.term = 1;
    s.flow = 2;
    s.backlight = 0;
    s.beep = 0;
    s.id = 4321;
    s.lang = 5;
}

// A record that differs from every value the instrument holds in these tests.
ModSet sentinel()
{
    ModSet m;
    m.Wiring = 5;
    m.CirNum = 4;
    m.Sampling = 1;
    m.Freq = 1;
    m.VarMethod = 1;
    m.Average = 20;
    m.URange = 0;
    m.VT = 7.75;
    m.Sens = {0, 2, 2, 2, 2};
    m.IRange = {0, 3, 3, 3, 3};
    m.CT = {0, 9, 9, 9, 9};
    m.StartMeth = 2;
    m.StartY = m.StartM = m.StartD = m.StartHH = m.StartMM = 77;
    m.StopMeth = 1;
    m.StopY = m.StopM = m.StopD = m.StopHH = m.StopMM = 88;
    m.Timer1 = m.Timer2 = m.Timer3 = 99;
    m.Intvl = 16;
    m.Media = 1;
    m.DataFName = QStringLiteral("OLD");
    m.RSConnection = 1;
    m.CopyDst = 1;
    m.Norm = m.Harm = true;
    m.OrdType = 1;
    m.Wave = true;
    m.THDType = 1;
    m.Baud = 3;
    m.Term = 1;
    m.Flow = 3;
    m.BL = 0;
    m.Beep = 0;
    m.ID = 777;
    m.Lang = 3;
    return m;
}

// A reply exactly as given, CR LF or not.
SimInstrument::Handler raw(const QByteArray& bytes)
{
    return [bytes](SimInstrument&, const QByteArray&) {
        SimReply r;
        r.bytes = bytes;
        return r;
    };
}

QString show(const QList<qint32>& values)
{
    QStringList s;
    for (qint32 v : values)
        s << QString::number(v);
    return s.join(QLatin1Char(','));
}

} // namespace

class TestSettingsRecv : public QObject
{
    Q_OBJECT
private slots:
    void init() { ModSet::instance() = ModSet{}; }
    void queriesAndValues();
    void timeoutStopsAndKeepsTheRest();
    void busyNamesTheLastLineSent();
    void oddReplies_data();
    void oddReplies();
};

void TestSettingsRecv::queriesAndValues()
{
    SimBench b;
    unusualInstrument(b.instrument.state().settings);
    QVERIFY(b.connectDirect());
    b.clearWire();
    QList<int> timeouts;
    connect(&b.link(), &Link::written, this, [&](const QByteArray&, int ms) { timeouts << ms; });

    RecvSettings(b.link());

    QCOMPARE(b.wire(), allQueries);
    QCOMPARE(timeouts, QList<int>(33, 1000));
    QCOMPARE(b.messages.texts(), QStringList());

    ModSet want;
    want.Wiring = 2;
    want.CirNum = 2;
    want.Sampling = 1;
    want.Freq = 1;
    want.VarMethod = 1;
    want.Average = 10;
    want.URange = 2;
    want.VT = 0.5;
    want.Sens = {0, 0, 4, 3, 5};
    want.IRange = {0, 2, 8, 9, 0};
    want.CT = {0, 2.5, 0.25, 1234.56789012345, 1};
    want.StartMeth = 1;
    want.StartY = 2031, want.StartM = 12, want.StartD = 24, want.StartHH = 23, want.StartMM = 59;
    want.StopMeth = 2;
    want.StopY = 2032, want.StopM = 2, want.StopD = 29, want.StopHH = 7, want.StopMM = 5;
    want.Timer1 = 3, want.Timer2 = 12, want.Timer3 = 30;
    want.Intvl = 8;
    want.Media = 1;
    want.DataFName = QStringLiteral("RUN_01");
    want.RSConnection = 1;
    want.CopyDst = 2;
    // 95: LEVEL %ofFND PHASE TOTAL THD NORM; 96: EVEN beats ODD; 5: circuits 1 and 3;
    // 170: U2 I1 I3 P; order 1 and order 40.
    want.Level = want.Percent = want.Phase = want.Total = want.THD = want.Norm = true;
    want.OrdType = 2;
    want.Circuit = {false, true, false, true, false};
    want.U = {false, false, true, false};
    want.I = {false, true, false, true, false};
    want.P = true;
    want.Ord[1] = want.Ord[40] = true;
    want.Harm = false;
    want.Wave = true;
    want.THDType = 1;
    want.Baud = 3;
    want.Term = 1;
    want.Flow = 2;
    want.BL = 0;
    want.Beep = 0;
    want.ID = 4321;
    want.Lang = 5;
    QVERIFY(ModSet::instance() == want);

    // "NO FILENAME" stands for no name at all.
    b.instrument.state().settings.fileName.clear();
    RecvSettings(b.link());
    QCOMPARE(ModSet::instance().DataFName, QString());
}

void TestSettingsRecv::timeoutStopsAndKeepsTheRest()
{
    SimConfig config;
    SimFault drop;
    QString error;
    QVERIFY(SimFault::parse(QStringLiteral("drop,:FREQ?,1"), &drop, &error));
    config.faults.push_back(drop);
    SimBench b(config);
    unusualInstrument(b.instrument.state().settings);
    QVERIFY(b.connectDirect());
    b.clearWire();
    ModSet::instance() = sentinel();

    RecvSettings(b.link());

    QCOMPARE(b.wire(), allQueries.mid(0, 5));
    QCOMPARE(b.messages.texts(), QStringList{QStringLiteral("ERROR! 01:FREQ?\r\n")});
    QCOMPARE(b.messages.shown().front().kind, MessageService::Kind::Plain);
    ModSet want = sentinel();
    want.Wiring = 2;
    want.CirNum = 2;
    want.Sampling = 1;
    QVERIFY(ModSet::instance() == want);
}

// A receive started while another transaction waits sends nothing and names the line that
// is still waiting.
void TestSettingsRecv::busyNamesTheLastLineSent()
{
    SimConfig config;
    config.replyDelayMs = 300;
    SimBench b(config);
    QVERIFY(b.connectDirect());
    b.clearWire();
    ModSet::instance() = sentinel();
    bool inner = false;
    TestUtil::later(100, [&] {
        RecvSettings(b.link());
        inner = true;
    });
    const Link::Reply outer = b.link().SendCommand(":WIR?", 2000);
    QVERIFY(inner);
    QCOMPARE(outer.text, QByteArray("1P2W\r\n"));
    QCOMPARE(b.wire(), QList<QByteArray>{":WIR?"});
    QCOMPARE(b.messages.texts(), QStringList{QStringLiteral("ERROR! 02:WIR?\r\n")});
    QVERIFY(ModSet::instance() == sentinel());
}

void TestSettingsRecv::oddReplies_data()
{
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("stored");
    // Words must match whole and in their case; anything else leaves the setting alone.
    QTest::newRow("word in lower case") << QByteArray(":SAMP?") << QByteArray("pll\r\n") << "1";
    QTest::newRow("word with LF only") << QByteArray(":WIR?") << QByteArray("3P4W\n") << "5";
    QTest::newRow("word with a blank") << QByteArray(":WIR?") << QByteArray("3P4W \r\n") << "5";
    QTest::newRow("circuit count 0") << QByteArray(":CIRC?") << QByteArray("0\r\n") << "4";
    QTest::newRow("circuit count 3") << QByteArray(":CIRC?") << QByteArray("3\r\n") << "3";
    QTest::newRow("interval 30S") << QByteArray(":INTE?") << QByteArray("30S\r\n") << "9";
    QTest::newRow("flow OFF") << QByteArray("RS232:FLOW?") << QByteArray("OFF\r\n") << "0";
    QTest::newRow("harm in lower case") << QByteArray(":data:harm?") << QByteArray("on\r\n") << "1";
    // Missing fields are empty: numbers read 0, words match nothing.
    QTest::newRow("one range") << QByteArray(":CURR:RANG?") << QByteArray("5\r\n") << "2,0,0,0";
    QTest::newRow("sensors, LF only") << QByteArray(":SENS?") << QByteArray("\n") << "0,0,0,0";
    QTest::newRow("sensors, FLX-5K")
        << QByteArray(":SENS?") << QByteArray("CLA,CLB,FLX-5K,CLD\r\n") << "0,1,0,5";
    QTest::newRow("start time cut")
        << QByteArray(":START:TIME?") << QByteArray("2026,5\r\n") << "2026,5,0,0,0";
    QTest::newRow("timer rounded")
        << QByteArray(":TIMER?") << QByteArray("1.5,2.5,x\r\n") << "2,2,0";
    QTest::newRow("no item words") << QByteArray(":DATA:ITEM?") << QByteArray("\r\n") << "3,0,0";
    QTest::newRow("averaging 2.5") << QByteArray(":AVE?") << QByteArray("2.5\r\n") << "2";
    // Too large to store: the setting keeps its value instead of turning into nonsense.
    QTest::newRow("ID out of range")
        << QByteArray(":ID?") << QByteArray("99999999999\r\n") << "777";
    QTest::newRow("file name, LF only") << QByteArray("FILE:MEAS?") << QByteArray("\n") << "";
    QTest::newRow("file name, empty reply") << QByteArray("FILE:MEAS?") << QByteArray("X") << "";
    QTest::newRow("NO FILENAME with a blank")
        << QByteArray("FILE:MEAS?") << QByteArray("NO FILENAME \r\n") << "NO FILENAME ";
}

void TestSettingsRecv::oddReplies()
{
    QFETCH(QByteArray, query);
    QFETCH(QByteArray, reply);
    QFETCH(QString, stored);
    SimBench b;
    b.instrument.addCommand(query, raw(reply));
    QVERIFY(b.connectDirect());
    ModSet::instance() = sentinel();

    RecvSettings(b.link());

    // A reply without its LF ends by time-out; every other one is taken and the receive
    // goes on to the end.
    const ModSet& m = ModSet::instance();
    if (!reply.endsWith('\n')) {
        QCOMPARE(b.messages.texts(), QStringList{QStringLiteral("ERROR! 01") + query + "\r\n"});
        QCOMPARE(m.DataFName, QStringLiteral("OLD"));
        return;
    }
    QCOMPARE(b.messages.texts(), QStringList());
    QCOMPARE(b.wire().size(), 34); // "aaa" of the connection, then the 33 queries
    const QHash<QByteArray, QString> field{
        {":SAMP?", QString::number(m.Sampling)},
        {":WIR?", QString::number(m.Wiring)},
        {":CIRC?", QString::number(m.CirNum)},
        {":INTE?", QString::number(m.Intvl)},
        {"RS232:FLOW?", QString::number(m.Flow)},
        {":data:harm?", QString::number(m.Harm)},
        {":CURR:RANG?", show({m.IRange[1], m.IRange[2], m.IRange[3], m.IRange[4]})},
        {":SENS?", show({m.Sens[1], m.Sens[2], m.Sens[3], m.Sens[4]})},
        {":START:TIME?", show({m.StartY, m.StartM, m.StartD, m.StartHH, m.StartMM})},
        {":TIMER?", show({m.Timer1, m.Timer2, m.Timer3})},
        {":DATA:ITEM?", show({m.OrdType, m.Norm, m.Ord[40]})},
        {":AVE?", QString::number(m.Average)},
        {":ID?", QString::number(m.ID)},
        {"FILE:MEAS?", m.DataFName},
    };
    QCOMPARE(field.value(query), stored);
}

QTEST_MAIN(TestSettingsRecv)
#include "test_settings_recv.moc"
