// Sending the settings over the real link to the simulated instrument, and the instrument's
// own rules for what it accepts.

#include "Link.h"
#include "ModSet.h"
#include "RecvSettings.h"
#include "SendSettings.h"
#include "SimBench.h"

#include <QRandomGenerator>
#include <QTest>

#include <cmath>

using Lines = QList<QByteArray>;

namespace {

// One circuit on 3P3W; every step with a value of its own.
ModSet oneCircuit()
{
    ModSet m;
    m.Wiring = 2;
    m.CirNum = 1;
    m.Sampling = 1;
    m.Freq = 1;
    m.VarMethod = 1;
    m.Average = 5;
    m.URange = 2;
    m.VT = 0.5;
    m.Sens = {0, 3, 0, 0, 0};
    m.IRange = {0, 9, 0, 0, 0};
    m.CT = {0, 0.5, 0, 0, 0};
    m.StartMeth = 2;
    m.StartY = 2003, m.StartM = 6, m.StartD = 24, m.StartHH = 10, m.StartMM = 0;
    m.StopMeth = 1;
    m.StopY = 2003, m.StopM = 6, m.StopD = 25, m.StopHH = 10, m.StopMM = 0;
    m.Timer1 = 1, m.Timer2 = 0, m.Timer3 = 0;
    m.Intvl = 8;
    m.Media = 1;
    m.CopyDst = 1;
    m.OrdType = 3;
    m.Level = m.Norm = true;
    m.Ord[40] = true;
    m.Wave = false;
    m.Harm = true;
    m.THDType = 0;
    m.BL = 2;
    m.Beep = 1;
    m.ID = 1;
    m.Lang = 4;
    return m;
}

const Lines oneCircuitLines{":WIR 3P3W",
                            ":CIRC 1",
                            ":SAMP FIX",
                            ":FREQ 60",
                            ":OPER ON",
                            ":AVE 5",
                            ":VOLT:RANG 600",
                            ":VT .5",
                            ":SENS 1,FLX-5K",
                            ":CURR:RANG 1,5000",
                            ":CT 1,0.5",
                            ":START:METH JUST",
                            ":START:TIME 2003, 6, 24, 10, 0",
                            ":STOP:METH TIME",
                            ":STOP:TIME 2003, 6, 25, 10, 0",
                            ":TIMER 1, 0, 0",
                            ":INTE 15S",
                            ":DATA:MEDI MEMORY",
                            ":FILE:MEAS TEST",
                            ":DATA:COPY:MEDI MEMORY",
                            ":DATA:ITEM 65, 0, 0, 0, 0, 0, 0, 0, 128",
                            ":DATA:WAVE OFF",
                            ":DATA:HARM ON",
                            ":THD F",
                            ":BACK AUTO",
                            ":BEEP ON",
                            "ID 1",
                            ":LANG CHINESE1"};

// Four circuits on 1P2W, the other values at the other end of their lists.
ModSet fourCircuits()
{
    ModSet m;
    m.Wiring = 0;
    m.CirNum = 4;
    m.Average = 20;
    m.VT = 2.5;
    m.Sens = {0, 0, 2, 4, 5};
    m.IRange = {0, 5, 7, 8, 0};
    m.CT = {0, 1, 2.5, 1234.56789012345, 0.01};
    m.StartY = 2026, m.StartM = 1, m.StartD = 1;
    m.StopMeth = 2;
    m.StopY = 2026, m.StopM = 1, m.StopD = 2;
    m.Timer1 = 0, m.Timer2 = 23, m.Timer3 = 59;
    m.OrdType = 0;
    m.Inst = m.Ave = m.Max = m.Min = m.Integ = true;
    m.Circuit = {false, true, true, true, true};
    m.U = {false, true, true, true};
    m.I = {false, true, true, true, true};
    m.P = true;
    m.Wave = true;
    m.THDType = 1;
    m.BL = 0;
    m.Beep = 0;
    m.ID = 9999;
    m.Lang = 0;
    return m;
}

const Lines fourCircuitLines{":WIR 1P2W",
                             ":CIRC 4",
                             ":SAMP PLL",
                             ":FREQ 50",
                             ":OPER OFF",
                             ":AVE 20",
                             ":VOLT:RANG 150",
                             ":VT 2.5",
                             ":SENS 1,CLA",
                             ":SENS 2,FLX-500",
                             ":SENS 3,CLC",
                             ":SENS 4,CLD",
                             ":CURR:RANG 1,100",
                             ":CURR:RANG 2,500",
                             ":CURR:RANG 3,1000",
                             ":CURR:RANG 4,0.5",
                             ":CT 1,1",
                             ":CT 2,2.5",
                             ":CT 3,1234.56789012345",
                             ":CT 4,0.01",
                             ":START:METH MANUAL",
                             ":START:TIME 2026, 1, 1, 0, 0",
                             ":STOP:METH TIMER",
                             ":STOP:TIME 2026, 1, 2, 0, 0",
                             ":TIMER 0, 23, 59",
                             ":INTE ALL",
                             ":DATA:MEDI CARD",
                             ":FILE:MEAS ",
                             ":DATA:COPY:MEDI CARD",
                             ":DATA:ITEM 0, 159, 15, 255, 0, 0, 0, 0, 0",
                             ":DATA:WAVE ON",
                             ":DATA:HARM OFF",
                             ":THD R",
                             ":BACK OFF",
                             ":BEEP OFF",
                             "ID 9999",
                             ":LANG JAPANESE"};

SendSettingsInputs inputs(const QString& name, int checkAdjust = 0, QDateTime clock = {})
{
    SendSettingsInputs in;
    in.dataFName = [name] { return name; };
    in.checkAdjust = [checkAdjust] { return checkAdjust; };
    if (clock.isValid())
        in.clock = [clock] { return clock; };
    return in;
}

SimFault fault(const char* text)
{
    SimFault f;
    QString error;
    if (!SimFault::parse(QString::fromLatin1(text), &f, &error))
        qFatal("%s", qPrintable(error));
    return f;
}

SimInstrument::Handler raw(const QByteArray& bytes)
{
    return [bytes](SimInstrument&, const QByteArray&) {
        SimReply r;
        r.bytes = bytes;
        return r;
    };
}

// A random record the instrument accepts whole.
ModSet randomValid(QRandomGenerator& rng)
{
    static constexpr int maxCircuits[] = {4, 2, 2, 1, 1, 1};
    static constexpr int ranges[6][5] = {{2, 3, 4, 5, 5}, {2, 3, 4, 5, 7}, {7, 7, 7, 7, 7},
                                         {9, 9, 9, 9, 9}, {5, 6, 8, 8, 8}, {0, 1, 2, 2, 2}};
    const auto pick = [&](int n) { return int(rng.bounded(n)); };
    const auto flag = [&] { return rng.bounded(2) == 1; };
    const auto ratio = [&] { return 0.01 + rng.generateDouble() * 9999.9; };
    ModSet m;
    m.Wiring = pick(6);
    m.CirNum = 1 + pick(maxCircuits[m.Wiring]);
    m.Sampling = pick(2);
    m.Freq = pick(2);
    m.VarMethod = pick(2);
    m.Average = std::array{1, 2, 5, 10, 20}[pick(5)];
    m.URange = pick(3);
    m.VT = ratio();
    for (int i = 1; i <= 4; ++i) {
        m.Sens[i] = pick(6);
        m.IRange[i] = ranges[m.Sens[i]][pick(5)];
        m.CT[i] = pick(4) == 0 ? 1 + pick(100) : ratio();
    }
    m.StartMeth = pick(3);
    m.StartY = 2000 + pick(100), m.StartM = 1 + pick(12), m.StartD = 1 + pick(28);
    m.StartHH = pick(24), m.StartMM = pick(60);
    m.StopMeth = pick(3);
    m.StopY = 2000 + pick(100), m.StopM = 1 + pick(12), m.StopD = 1 + pick(28);
    m.StopHH = pick(24), m.StopMM = pick(60);
    m.Timer1 = pick(100), m.Timer2 = pick(24), m.Timer3 = pick(60);
    m.Intvl = pick(17);
    m.Media = pick(2);
    const QString chars = QStringLiteral("ABCXYZabz0189_-");
    for (int n = pick(9); n > 0; --n)
        m.DataFName += chars[pick(chars.size())];
    m.CopyDst = pick(3);
    m.Norm = flag(), m.Integ = flag(), m.Inst = flag(), m.Ave = flag(), m.Max = flag();
    m.Min = flag();
    for (int i = 1; i <= 4; ++i)
        m.Circuit[i] = flag(), m.I[i] = flag();
    for (int u = 1; u <= 3; ++u)
        m.U[u] = flag();
    m.P = flag(), m.Wave = flag(), m.Harm = flag();
    m.Level = flag(), m.Percent = flag(), m.Phase = flag(), m.THD = flag(), m.Total = flag();
    m.THDType = pick(2);
    m.OrdType = pick(4);
    for (int k = 1; k <= 40; ++k)
        m.Ord[k] = flag();
    m.BL = pick(3);
    m.Beep = pick(2);
    m.ID = pick(10000);
    m.Lang = pick(6);
    return m;
}

bool close15(double a, double b)
{
    return std::fabs(a - b) <= 1e-14 * std::fabs(b);
}

} // namespace

class TestSettingsSend : public QObject
{
    Q_OBJECT
private slots:
    void init() { ModSet::instance() = ModSet{}; }
    void wireSequence_data();
    void wireSequence();
    void refusalsWarnAndGoOn();
    void timeoutAborts();
    void busyAborts();
    void clock_data();
    void clock();
    void codesWithoutCommand();
    void editDuringSendReachesLaterCommands();
    void roundTrip();
    void instrumentRules_data();
    void instrumentRules();
};

void TestSettingsSend::wireSequence_data()
{
    QTest::addColumn<ModSet>("record");
    QTest::addColumn<QString>("name");
    QTest::addColumn<Lines>("lines");
    QTest::newRow("one circuit") << oneCircuit() << "TEST" << oneCircuitLines;
    QTest::newRow("four circuits") << fourCircuits() << "" << fourCircuitLines;
}

void TestSettingsSend::wireSequence()
{
    QFETCH(ModSet, record);
    QFETCH(QString, name);
    QFETCH(Lines, lines);
    SimBench b;
    QVERIFY(b.connectDirect());
    b.clearWire();
    QList<int> timeouts;
    connect(&b.link(), &Link::written, this, [&](const QByteArray&, int ms) { timeouts << ms; });
    ModSet::instance() = record;

    SendSettings(b.link(), inputs(name));

    QCOMPARE(b.wire(), lines);
    QCOMPARE(timeouts, QList<int>(lines.size(), 1000));
    // Every value was one the instrument takes, and sending changed nothing in the record.
    QCOMPARE(b.messages.texts(), QStringList());
    QVERIFY(ModSet::instance() == record);
}

void TestSettingsSend::refusalsWarnAndGoOn()
{
    SimBench b;
    // Not quite "ALL RIGHT" CR LF: each of these is a refusal too.
    b.instrument.addCommand("BEEP", raw("ALL RIGHT OK\r\n"));
    b.instrument.addCommand("LANG", raw("ALL RIGHT\n"));
    b.instrument.addCommand("THD", raw("\r\n"));
    QVERIFY(b.connectDirect());
    b.clearWire();
    ModSet m = oneCircuit();
    m.Average = 3; // no such count
    m.Sens[1] = 0; // CLA cannot measure 5000 A
    m.ID = 10000;  // out of range
    ModSet::instance() = m;

    SendSettings(b.link(), inputs(QStringLiteral("TOO LONG NAME")));

    QCOMPARE(b.wire().size(), oneCircuitLines.size());
    QCOMPARE(b.wire()[8], QByteArray(":SENS 1,CLA"));
    const QStringList want{
        ":AVE 3/PARAMETER ERROR\r\n",
        ":CURR:RANG 1,5000/PARAMETER ERROR\r\n",
        ":FILE:MEAS TOO LONG NAME/PARAMETER ERROR\r\n",
        ":THD F/\r\n",
        ":BEEP ON/ALL RIGHT OK\r\n",
        "ID 10000/PARAMETER ERROR\r\n",
        ":LANG CHINESE1/ALL RIGHT\n",
    };
    QCOMPARE(b.messages.texts(), want);
    for (const auto& shown : b.messages.shown())
        QCOMPARE(shown.kind, MessageService::Kind::Warning);
}

void TestSettingsSend::timeoutAborts()
{
    SimConfig config;
    config.faults.push_back(fault("drop,:SENS,3"));
    SimBench b(config);
    QVERIFY(b.connectDirect());
    b.clearWire();
    ModSet::instance() = fourCircuits();

    SendSettings(b.link(), inputs(QString(), 1));

    QCOMPARE(b.wire(), fourCircuitLines.mid(0, 11));
    QCOMPARE(b.messages.texts(),
             QStringList{QStringLiteral("ERROR! 設定送信を中断します\r\n01:SENS 3,CLC\r\n")});
    QCOMPARE(b.messages.shown().front().kind, MessageService::Kind::Plain);
    // What was accepted before the failure stays; circuit 4 was never told.
    QCOMPARE(b.instrument.state().settings.sens[1], 2);
    QCOMPARE(b.instrument.state().settings.sens[3], 1);
}

// A send started while another transaction waits writes nothing and names the waiting line.
void TestSettingsSend::busyAborts()
{
    SimConfig config;
    config.replyDelayMs = 300;
    SimBench b(config);
    QVERIFY(b.connectDirect());
    b.clearWire();
    ModSet::instance() = oneCircuit();
    bool inner = false;
    TestUtil::later(100, [&] {
        SendSettings(b.link(), inputs(QString()));
        inner = true;
    });
    b.link().SendCommand(":ID?", 2000);
    QVERIFY(inner);
    QCOMPARE(b.wire(), Lines{":ID?"});
    QCOMPARE(b.messages.texts(),
             QStringList{QStringLiteral("ERROR! 設定送信を中断します\r\n02:ID?\r\n")});
}

void TestSettingsSend::clock_data()
{
    QTest::addColumn<int>("checkAdjust");
    QTest::addColumn<QDateTime>("at");
    QTest::addColumn<QByteArray>("line");
    const QDateTime morning(QDate(2003, 6, 24), QTime(9, 5, 7));
    QTest::newRow("ticked") << 1 << morning << QByteArray(":CLOCK 2003,6,24,9,5,7");
    QTest::newRow("ticked, late on new year's eve")
        << 1 << QDateTime(QDate(2030, 12, 31), QTime(23, 59, 59))
        << QByteArray(":CLOCK 2030,12,31,23,59,59");
    QTest::newRow("unticked") << 0 << morning << QByteArray();
    QTest::newRow("greyed") << 2 << morning << QByteArray();
}

void TestSettingsSend::clock()
{
    QFETCH(int, checkAdjust);
    QFETCH(QDateTime, at);
    QFETCH(QByteArray, line);
    SimBench b;
    QVERIFY(b.connectDirect());
    b.clearWire();
    ModSet::instance() = oneCircuit();

    SendSettings(b.link(), inputs(QStringLiteral("TEST"), checkAdjust, at));

    Lines want = oneCircuitLines;
    if (!line.isEmpty())
        want << line;
    QCOMPARE(b.wire(), want);
    QCOMPARE(b.messages.texts(), QStringList());
    const qint64 offset = std::llabs(b.instrument.now().secsTo(at));
    QCOMPARE(offset < 5, !line.isEmpty());
}

// A code that no command word stands for (only a damaged reply can store one) is not sent;
// the warning names the setting and the rest goes out as usual. A printer copy destination
// is written back as it was received.
void TestSettingsSend::codesWithoutCommand()
{
    SimBench b;
    QVERIFY(b.connectDirect());
    b.clearWire();
    ModSet m = oneCircuit();
    m.Wiring = 6;
    m.Sens[1] = 6;
    m.IRange[1] = -1;
    m.Intvl = 17;
    m.CopyDst = 2;
    m.Lang = 6;
    ModSet::instance() = m;

    SendSettings(b.link(), inputs(QStringLiteral("TEST")));

    Lines want = oneCircuitLines;
    want[19] = ":DATA:COPY:MEDI PRINTER";
    for (int i : {27, 16, 9, 8, 0})
        want.removeAt(i);
    QCOMPARE(b.wire(), want);
    QCOMPARE(b.messages.texts(),
             (QStringList{"Wiring = 6 has no command; this setting was not sent.",
                          "Sens(1) = 6 has no command; this setting was not sent.",
                          "IRange(1) = -1 has no command; this setting was not sent.",
                          "Intvl = 17 has no command; this setting was not sent.",
                          "Lang = 6 has no command; this setting was not sent."}));
    QCOMPARE(b.instrument.state().settings.copyDst, 2);
}

// Each command is built just before it goes out: an edit made while an earlier command
// waits reaches the later ones.
void TestSettingsSend::editDuringSendReachesLaterCommands()
{
    SimConfig config;
    config.faults.push_back(fault("delay,:SAMP,1,300"));
    SimBench b(config);
    QVERIFY(b.connectDirect());
    b.clearWire();
    ModSet::instance() = oneCircuit();
    TestUtil::later(100, [] {
        ModSet::instance().Wiring = 4;
        ModSet::instance().Freq = 0;
        ModSet::instance().ID = 42;
    });

    SendSettings(b.link(), inputs(QStringLiteral("TEST")));

    Lines want = oneCircuitLines;
    want[3] = ":FREQ 50";
    want[26] = "ID 42";
    QCOMPARE(b.wire(), want);
}

// Any record the instrument accepts comes back unchanged from it.
void TestSettingsSend::roundTrip()
{
    SimBench b;
    QVERIFY(b.connectDirect());
    QRandomGenerator rng(20261206);
    for (int n = 0; n < 40; ++n) {
        const ModSet sent = randomValid(rng);
        ModSet::instance() = sent;
        SendSettings(b.link(), inputs(sent.DataFName));
        QCOMPARE(b.messages.texts(), QStringList());
        ModSet::instance() = ModSet{};
        RecvSettings(b.link());
        QCOMPARE(b.messages.texts(), QStringList());

        ModSet got = ModSet::instance();
        ModSet want = sent;
        // Not sent: the line settings, and the circuits above the count.
        want.Baud = got.Baud, want.Term = got.Term, want.Flow = got.Flow;
        want.RSConnection = got.RSConnection;
        for (int i = sent.CirNum + 1; i <= 4; ++i) {
            want.Sens[i] = got.Sens[i];
            want.IRange[i] = got.IRange[i];
            want.CT[i] = got.CT[i];
        }
        QVERIFY2(close15(got.VT, want.VT), qPrintable(QString::number(got.VT, 'g', 17)));
        got.VT = want.VT;
        for (int i = 1; i <= 4; ++i) {
            QVERIFY(close15(got.CT[i], want.CT[i]));
            got.CT[i] = want.CT[i];
        }
        if (!(got == want))
            QFAIL(qPrintable(QStringLiteral("record %1 came back changed").arg(n)));
    }
}

void TestSettingsSend::instrumentRules_data()
{
    QTest::addColumn<Lines>("commands");
    QTest::addColumn<QByteArray>("lastReply");
    QTest::addColumn<QString>("query");
    QTest::addColumn<QString>("answer");
    const QByteArray ok = "ALL RIGHT\r\n";
    const QByteArray bad = "PARAMETER ERROR\r\n";
    QTest::newRow("3P3W is 3P3W2M") << Lines{":WIR 3P3W"} << ok << ":WIR?"
                                    << "3P3W\r\n";
    QTest::newRow("unknown wiring") << Lines{":WIR 3P5W"} << bad << ":WIR?"
                                    << "1P2W\r\n";
    QTest::newRow("1P2W takes 4 circuits") << Lines{":CIRC 4"} << ok << ":CIRC?"
                                           << "4\r\n";
    QTest::newRow("1P3W takes 2") << Lines{":WIR 1P3W", ":CIRC 2"} << ok << ":CIRC?"
                                  << "2\r\n";
    QTest::newRow("1P3W refuses 3") << Lines{":WIR 1P3W", ":CIRC 3"} << bad << ":CIRC?"
                                    << "1\r\n";
    QTest::newRow("3P4W refuses 2") << Lines{":WIR 3P4W", ":CIRC 2"} << bad << ":CIRC?"
                                    << "1\r\n";
    QTest::newRow("narrower wiring falls back to x1")
        << Lines{":CIRC 3", ":WIR 3P3W"} << ok << ":CIRC?"
        << "1\r\n";
    QTest::newRow("circuit 0") << Lines{":CIRC 0"} << bad << ":CIRC?"
                               << "1\r\n";
    QTest::newRow("averaging 3") << Lines{":AVE 3"} << bad << ":AVE?"
                                 << "1\r\n";
    QTest::newRow("VT .5") << Lines{":VT .5"} << ok << ":VT?"
                           << "0.5\r\n";
    QTest::newRow("VT 0") << Lines{":VT 0"} << bad << ":VT?"
                          << "1\r\n";
    QTest::newRow("VT word") << Lines{":VT x"} << bad << ":VT?"
                             << "1\r\n";
    QTest::newRow("FLX-5K answered FLX-5k") << Lines{":SENS 2,FLX-5K"} << ok << ":SENS?"
                                            << "CLB,FLX-5k,CLB,CLB\r\n";
    QTest::newRow("new sensor takes its range") << Lines{":SENS 2,FLX-5K"} << ok << ":CURR:RANG?"
                                                << "500,5000,500,500\r\n";
    QTest::newRow("CLB cannot measure 200") << Lines{":CURR:RANG 1,200"} << bad << ":CURR:RANG?"
                                            << "500,500,500,500\r\n";
    QTest::newRow("CLD measures 0.5")
        << Lines{":SENS 4,CLD", ":CURR:RANG 4,0.5"} << ok << ":CURR:RANG?"
        << "500,500,500,0.5\r\n";
    QTest::newRow("CLC cannot measure 500")
        << Lines{":SENS 1,CLC", ":CURR:RANG 1,500"} << bad << ":CURR:RANG?"
        << "1000,500,500,500\r\n";
    QTest::newRow("no circuit 5") << Lines{":SENS 5,CLA"} << bad << ":SENS?"
                                  << "CLB,CLB,CLB,CLB\r\n";
    QTest::newRow("CT of circuit 3") << Lines{":CT 3,2.5"} << ok << ":CT?"
                                     << "1,1,2.5,1\r\n";
    QTest::newRow("CT without value") << Lines{":CT 3"} << bad << ":CT?"
                                      << "1,1,1,1\r\n";
    QTest::newRow("start time") << Lines{":START:TIME 2003, 6, 24, 10, 0"} << ok << ":START:TIME?"
                                << "2003,6,24,10,0\r\n";
    QTest::newRow("30 February") << Lines{":STOP:TIME 2026, 2, 30, 0, 0"} << bad << ":STOP:TIME?"
                                 << "2026,1,2,0,0\r\n";
    QTest::newRow("hour 24") << Lines{":STOP:TIME 2026, 2, 3, 24, 0"} << bad << ":STOP:TIME?"
                             << "2026,1,2,0,0\r\n";
    QTest::newRow("timer") << Lines{":TIMER 2, 3, 4"} << ok << ":TIMER?"
                           << "2,3,4\r\n";
    QTest::newRow("timer minutes 60") << Lines{":TIMER 0, 0, 60"} << bad << ":TIMER?"
                                      << "1,0,0\r\n";
    QTest::newRow("interval 15S") << Lines{":INTE 15S"} << ok << ":INTE?"
                                  << "15S\r\n";
    QTest::newRow("file name") << Lines{":FILE:MEAS ABC_1"} << ok << "FILE:MEAS?"
                               << "ABC_1\r\n";
    QTest::newRow("empty file name clears")
        << Lines{":FILE:MEAS ABC_1", ":FILE:MEAS "} << ok << "FILE:MEAS?"
        << "NO FILENAME\r\n";
    QTest::newRow("file name too long") << Lines{":FILE:MEAS ABCDEFGHI"} << bad << "FILE:MEAS?"
                                        << "NO FILENAME\r\n";
    QTest::newRow("copy to printer")
        << Lines{":DATA:COPY:MEDI PRINTER"} << ok << ":DATA:COPY:MEDIA?"
        << "PRINTER\r\n";
    QTest::newRow("item words") << Lines{":DATA:ITEM 95, 159, 15, 255, 255, 255, 255, 255, 255"}
                                << ok << ":DATA:ITEM?"
                                << "95,159,15,255,255,255,255,255,255\r\n";
    QTest::newRow("eight item words")
        << Lines{":DATA:ITEM 0, 0, 0, 0, 0, 0, 0, 0"} << bad << ":DATA:ITEM?"
        << "81,143,1,137,0,0,0,0,0\r\n";
    QTest::newRow("two order selections")
        << Lines{":DATA:ITEM 0, 192, 0, 0, 0, 0, 0, 0, 0"} << bad << ":DATA:ITEM?"
        << "81,143,1,137,0,0,0,0,0\r\n";
    QTest::newRow("item word 256")
        << Lines{":DATA:ITEM 0, 0, 0, 256, 0, 0, 0, 0, 0"} << bad << ":DATA:ITEM?"
        << "81,143,1,137,0,0,0,0,0\r\n";
    QTest::newRow("harm off") << Lines{":DATA:HARM OFF"} << ok << ":data:harm?"
                              << "OFF\r\n";
    QTest::newRow("ID 0") << Lines{"ID 0"} << ok << ":ID?"
                          << "0\r\n";
    QTest::newRow("ID 10000") << Lines{"ID 10000"} << bad << ":ID?"
                              << "1\r\n";
    QTest::newRow("language") << Lines{":LANG CHINESE2"} << ok << ":LANG?"
                              << "CHINESE2\r\n";
    QTest::newRow("backlight") << Lines{":BACK ON"} << ok << ":BACK?"
                               << "ON\r\n";
    QTest::newRow("unknown command")
        << Lines{":BAUD 9600"} << QByteArray("COMMAND ERROR\r\n") << "RS232:BAUD?"
        << "9600\r\n";
    QTest::newRow("clock, 31 June") << Lines{":CLOCK 2003,6,31,9,5,7"} << bad << ":LANG?"
                                    << "ENGLISH\r\n";
}

// The instrument's side: what it accepts, refuses and answers afterwards.
void TestSettingsSend::instrumentRules()
{
    QFETCH(Lines, commands);
    QFETCH(QByteArray, lastReply);
    QFETCH(QString, query);
    QFETCH(QString, answer);
    SimInstrument sim;
    const auto talk = [&](const QByteArray& line) {
        QByteArray out;
        for (const SimOutput& o : sim.receive(line + "\r\n"))
            out += o.bytes;
        return out;
    };
    QByteArray reply;
    for (const QByteArray& c : commands)
        reply = talk(c);
    QCOMPARE(reply, lastReply);
    QCOMPARE(talk(query.toLatin1()), answer.toLatin1());
}

QTEST_MAIN(TestSettingsSend)
#include "test_settings_send.moc"
