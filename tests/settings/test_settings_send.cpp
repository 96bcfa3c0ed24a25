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

Lines lines(const char* text)
{
    return QByteArray(text).split('|');
}

// Four circuits on 1P2W, each step with a value of its own.
ModSet record()
{
    ModSet m;
    m.CirNum = 4, m.Sampling = 1, m.Freq = 1, m.VarMethod = 1, m.Average = 20, m.URange = 2;
    m.VT = 0.5;
    m.Sens = {0, 3, 2, 4, 5};
    m.IRange = {0, 9, 7, 8, 0};
    m.CT = {0, 0.5, 2.5, 1234.56789012345, 1};
    m.StartMeth = 2, m.StartY = 2003, m.StartM = 6, m.StartD = 24, m.StartHH = 10;
    m.StopMeth = 1, m.StopY = 2003, m.StopM = 6, m.StopD = 25, m.StopHH = 10;
    m.Timer1 = 1, m.Timer3 = 59, m.Intvl = 8, m.Media = 1, m.CopyDst = 1;
    m.OrdType = 3, m.Level = m.Norm = m.Ord[40] = true, m.Harm = true;
    m.THDType = 1, m.BL = 2, m.Beep = 1, m.ID = 1, m.Lang = 4;
    return m;
}

const Lines recordLines = lines(
    ":WIR 1P2W|:CIRC 4|:SAMP FIX|:FREQ 60|:OPER ON|:AVE 20|:VOLT:RANG 600|:VT .5|"
    ":SENS 1,FLX-5K|:SENS 2,FLX-500|:SENS 3,CLC|:SENS 4,CLD|"
    ":CURR:RANG 1,5000|:CURR:RANG 2,500|:CURR:RANG 3,1000|:CURR:RANG 4,0.5|"
    ":CT 1,0.5|:CT 2,2.5|:CT 3,1234.56789012345|:CT 4,1|"
    ":START:METH JUST|:START:TIME 2003, 6, 24, 10, 0|:STOP:METH TIME|"
    ":STOP:TIME 2003, 6, 25, 10, 0|:TIMER 1, 0, 59|:INTE 15S|:DATA:MEDI MEMORY|:FILE:MEAS TEST|"
    ":DATA:COPY:MEDI MEMORY|:DATA:ITEM 65, 0, 0, 0, 0, 0, 0, 0, 128|:DATA:WAVE OFF|"
    ":DATA:HARM ON|:THD R|:BACK AUTO|:BEEP ON|ID 1|:LANG CHINESE1");

SendSettingsInputs inputs(const QString& name, int checkAdjust = 0, QDateTime clock = {})
{
    SendSettingsInputs in{[name] { return name; }, [checkAdjust] { return checkAdjust; }, {}};
    if (clock.isValid())
        in.clock = [clock] { return clock; };
    return in;
}

SimConfig withFault(const char* text)
{
    SimConfig config;
    QString error;
    config.faults.emplace_back();
    if (!SimFault::parse(QString::fromLatin1(text), &config.faults.back(), &error))
        qFatal("%s", qPrintable(error));
    return config;
}

// A random record the instrument accepts whole.
ModSet randomValid(QRandomGenerator& rng)
{
    static constexpr int maxCircuits[] = {4, 2, 2, 1, 1, 1};
    static constexpr int ranges[6][5] = {{2, 3, 4, 5, 5}, {2, 3, 4, 5, 7}, {7, 7, 7, 7, 7},
                                         {9, 9, 9, 9, 9}, {5, 6, 8, 8, 8}, {0, 1, 2, 2, 2}};
    const auto pick = [&](int n) { return int(rng.bounded(n)); };
    const auto flag = [&] { return rng.bounded(2) == 1; };
    const auto ratio = [&] {
        return pick(3) ? 0.01 + rng.generateDouble() * 9999.9 : 1 + pick(99);
    };
    ModSet m;
    m.Wiring = pick(6), m.CirNum = 1 + pick(maxCircuits[m.Wiring]);
    m.Sampling = pick(2), m.Freq = pick(2), m.VarMethod = pick(2), m.URange = pick(3);
    m.Average = std::array{1, 2, 5, 10, 20}[pick(5)];
    m.VT = ratio();
    for (int i = 1; i <= 4; ++i)
        m.Sens[i] = pick(6), m.IRange[i] = ranges[m.Sens[i]][pick(5)], m.CT[i] = ratio();
    m.StartY = 2000 + pick(100), m.StartM = 1 + pick(12), m.StartD = 1 + pick(28);
    m.StopY = 2000 + pick(100), m.StopM = 1 + pick(12), m.StopD = 1 + pick(28);
    m.StartHH = pick(24), m.StartMM = pick(60), m.StopHH = pick(24), m.StopMM = pick(60);
    m.StartMeth = pick(3), m.StopMeth = pick(3);
    m.Timer1 = pick(100), m.Timer2 = pick(24), m.Timer3 = pick(60);
    m.Intvl = pick(17), m.Media = pick(2), m.CopyDst = pick(3);
    for (int n = pick(9); n > 0; --n)
        m.DataFName += QStringLiteral("ABYZabz09_-")[pick(11)];
    for (bool* f : {&m.Norm, &m.Harm, &m.Integ, &m.Inst, &m.Ave, &m.Max, &m.Min, &m.P, &m.Wave,
                    &m.Level, &m.Percent, &m.Phase, &m.THD, &m.Total})
        *f = flag();
    for (int i = 1; i <= 4; ++i)
        m.Circuit[i] = flag(), m.I[i] = flag(), m.U[i % 4] = i < 4 && flag();
    for (int k = 1; k <= 40; ++k)
        m.Ord[k] = flag();
    m.THDType = pick(2), m.OrdType = pick(4), m.BL = pick(3), m.Beep = pick(2);
    m.ID = pick(10000), m.Lang = pick(6);
    return m;
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
    void failedTransactionAborts_data();
    void failedTransactionAborts();
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
    QTest::addColumn<int>("cirNum");
    QTest::addColumn<Lines>("want");
    Lines one = recordLines;
    one[1] = ":CIRC 1";
    for (int i : {19, 18, 17, 15, 14, 13, 11, 10, 9})
        one.removeAt(i);
    QTest::newRow("one circuit") << 1 << one;
    QTest::newRow("four circuits") << 4 << recordLines;
}

void TestSettingsSend::wireSequence()
{
    QFETCH(int, cirNum);
    QFETCH(Lines, want);
    SimBench b;
    QVERIFY(b.connectDirect());
    b.clearWire();
    QList<int> timeouts;
    connect(&b.link(), &Link::written, this, [&](const QByteArray&, int ms) { timeouts << ms; });
    ModSet m = record();
    m.CirNum = cirNum;
    ModSet::instance() = m;

    SendSettings(b.link(), inputs(QStringLiteral("TEST")));

    QCOMPARE(b.wire(), want);
    QCOMPARE(timeouts, QList<int>(want.size(), 1000));
    QCOMPARE(b.messages.texts(), QStringList()); // the instrument took every value
    QVERIFY(ModSet::instance() == m);
}

void TestSettingsSend::refusalsWarnAndGoOn()
{
    SimBench b;
    // Not exactly "ALL RIGHT" CR LF: refusals too.
    for (const char* word : {"BEEP", "LANG", "THD"}) {
        const QByteArray reply = std::map<QByteArray, QByteArray>{
            {"BEEP", "ALL RIGHT OK\r\n"}, {"LANG", "ALL RIGHT\n"}, {"THD", "\r\n"}}[word];
        b.instrument.addCommand(
            word, [reply](SimInstrument&, const QByteArray&) { return SimReply{reply}; });
    }
    QVERIFY(b.connectDirect());
    b.clearWire();
    ModSet m = record();
    m.Average = 3; // no such count
    m.Sens[2] = 0; // CLA cannot measure 500 A
    m.ID = 10000;  // out of range
    ModSet::instance() = m;

    SendSettings(b.link(), inputs(QStringLiteral("TOO LONG NAME")));

    QCOMPARE(b.wire().size(), recordLines.size());
    QCOMPARE(b.messages.texts(),
             (QStringList{":AVE 3/PARAMETER ERROR\r\n", ":CURR:RANG 2,500/PARAMETER ERROR\r\n",
                          ":FILE:MEAS TOO LONG NAME/PARAMETER ERROR\r\n", ":THD R/\r\n",
                          ":BEEP ON/ALL RIGHT OK\r\n", "ID 10000/PARAMETER ERROR\r\n",
                          ":LANG CHINESE1/ALL RIGHT\n"}));
    for (const auto& shown : b.messages.shown())
        QCOMPARE(shown.kind, MessageService::Kind::Warning);
}

void TestSettingsSend::failedTransactionAborts_data()
{
    QTest::addColumn<bool>("busy");
    QTest::newRow("time-out at the third :SENS") << false;
    QTest::newRow("busy link") << true;
}

// Nothing more is sent, the clock included; the message names the last line written.
void TestSettingsSend::failedTransactionAborts()
{
    QFETCH(bool, busy);
    SimConfig config = busy ? SimConfig{} : withFault("drop,:SENS,3");
    config.replyDelayMs = busy ? 300 : 0;
    SimBench b(config);
    QVERIFY(b.connectDirect());
    b.clearWire();
    ModSet::instance() = record();

    if (busy) {
        TestUtil::later(100, [&] { SendSettings(b.link(), inputs(QString(), 1)); });
        b.link().SendCommand(":ID?", 2000);
    } else {
        SendSettings(b.link(), inputs(QString(), 1));
    }

    QCOMPARE(b.wire(), busy ? Lines{":ID?"} : recordLines.mid(0, 11));
    const QString last = busy ? "02:ID?" : "01:SENS 3,CLC";
    QCOMPARE(b.messages.texts(), QStringList{"ERROR! 設定送信を中断します\r\n" + last + "\r\n"});
    QCOMPARE(b.messages.shown().front().kind, MessageService::Kind::Plain);
}

void TestSettingsSend::clock_data()
{
    QTest::addColumn<int>("checkAdjust");
    QTest::addColumn<QDateTime>("at");
    QTest::addColumn<QByteArray>("line");
    const QDateTime morning(QDate(2003, 6, 24), QTime(9, 5, 7));
    QTest::newRow("ticked") << 1 << morning << QByteArray(":CLOCK 2003,6,24,9,5,7");
    QTest::newRow("ticked, year's end") << 1 << QDateTime(QDate(2030, 12, 31), QTime(23, 59, 59))
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
    ModSet::instance() = record();

    SendSettings(b.link(), inputs(QStringLiteral("TEST"), checkAdjust, at));

    QCOMPARE(b.wire(), line.isEmpty() ? recordLines : recordLines + Lines{line});
    QCOMPARE(b.messages.texts(), QStringList());
    QCOMPARE(std::llabs(b.instrument.now().secsTo(at)) < 5, !line.isEmpty());
}

// A code that no command word stands for (only a damaged reply can store one), or a file
// name the line cannot carry, is not sent; the warning names the setting and the rest goes
// out. A printer copy destination is written back as it was received.
void TestSettingsSend::codesWithoutCommand()
{
    SimBench b;
    QVERIFY(b.connectDirect());
    b.clearWire();
    ModSet m = record();
    m.Wiring = 6, m.Sens[2] = 6, m.IRange[4] = -1, m.Intvl = 17, m.CopyDst = 2, m.Lang = 6;
    ModSet::instance() = m;

    // A line break in the name would make a second command of its rest.
    SendSettings(b.link(), inputs(QStringLiteral("A\r\nID 5")));

    Lines want = recordLines;
    want[28] = ":DATA:COPY:MEDI PRINTER";
    for (int i : {36, 27, 25, 15, 9, 0})
        want.removeAt(i);
    QCOMPARE(b.wire(), want);
    const QString tail = QStringLiteral(" has no command; this setting was not sent.");
    QCOMPARE(
        b.messages.texts(),
        (QStringList{
            "Wiring = 6" + tail, "Sens(2) = 6" + tail, "IRange(4) = -1" + tail, "Intvl = 17" + tail,
            "DataFName \"A ID 5\" has characters the line cannot carry; this setting was not sent.",
            "Lang = 6" + tail}));
    QCOMPARE(b.instrument.state().settings.copyDst, 2);
}

// Each command is built just before it goes out: an edit made while an earlier command
// waits reaches the later ones.
void TestSettingsSend::editDuringSendReachesLaterCommands()
{
    SimBench b(withFault("delay,:SAMP,1,300"));
    QVERIFY(b.connectDirect());
    b.clearWire();
    ModSet::instance() = record();
    TestUtil::later(100, [] { ModSet::instance().Freq = 0, ModSet::instance().ID = 42; });

    SendSettings(b.link(), inputs(QStringLiteral("TEST")));

    Lines want = recordLines;
    want[3] = ":FREQ 50";
    want[35] = "ID 42";
    QCOMPARE(b.wire(), want);
}

// Any record the instrument accepts comes back from it unchanged (VT and CT within 15
// digits). The instrument's word lists are its own, so this also checks every code's word.
void TestSettingsSend::roundTrip()
{
    SimBench b;
    QVERIFY(b.connectDirect());
    QRandomGenerator rng(20261206);
    for (int n = 0; n < 40; ++n) {
        const ModSet sent = randomValid(rng);
        ModSet::instance() = sent;
        SendSettings(b.link(), inputs(sent.DataFName));
        ModSet::instance() = ModSet{};
        RecvSettings(b.link());
        QCOMPARE(b.messages.texts(), QStringList());

        ModSet got = ModSet::instance();
        ModSet want = sent;
        // Never sent: the line settings and the circuits above the count.
        want.Baud = got.Baud, want.Term = got.Term, want.Flow = got.Flow;
        want.RSConnection = got.RSConnection;
        for (int i = sent.CirNum + 1; i <= 4; ++i)
            want.Sens[i] = got.Sens[i], want.IRange[i] = got.IRange[i], want.CT[i] = got.CT[i];
        for (auto [g, w] : {std::pair{&got.VT, want.VT},
                            {&got.CT[1], want.CT[1]},
                            {&got.CT[2], want.CT[2]},
                            {&got.CT[3], want.CT[3]},
                            {&got.CT[4], want.CT[4]}}) {
            QVERIFY2(std::fabs(*g - w) <= 1e-14 * w, qPrintable(QString::number(*g, 'g', 17)));
            *g = w;
        }
        QVERIFY2(got == want, qPrintable(QStringLiteral("record %1").arg(n)));
    }
}

void TestSettingsSend::instrumentRules_data()
{
    QTest::addColumn<Lines>("commands");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<QByteArray>("answer");
    const auto row = [](const char* name, const char* commands, bool accepted, const char* query,
                        const char* answer) {
        QTest::newRow(name) << lines(commands) << accepted << QByteArray(query)
                            << QByteArray(answer) + "\r\n";
    };
    row("unknown wiring", ":WIR 3P3W2M", false, ":WIR?", "1P2W");
    row("1P3W takes 2 circuits", ":WIR 1P3W|:CIRC 2", true, ":CIRC?", "2");
    row("1P3W refuses 3", ":WIR 1P3W|:CIRC 3", false, ":CIRC?", "1");
    row("3P4W refuses 2", ":WIR 3P4W|:CIRC 2", false, ":CIRC?", "1");
    row("narrower wiring falls back to x1", ":CIRC 3|:WIR 3P3W", true, ":CIRC?", "1");
    row("averaging 3", ":AVE 3", false, ":AVE?", "1");
    row("VT 0", ":VT 0", false, ":VT?", "1");
    row("FLX-5K answered FLX-5k", ":SENS 2,FLX-5K", true, ":SENS?", "CLB,FLX-5k,CLB,CLB");
    row("new sensor takes its range", ":SENS 2,FLX-5K", true, ":CURR:RANG?", "500,5000,500,500");
    row("CLB cannot measure 200", ":CURR:RANG 1,200", false, ":CURR:RANG?", "500,500,500,500");
    row("CLD measures 0.5", ":SENS 4,CLD|:CURR:RANG 4,0.5", true, ":CURR:RANG?", "500,500,500,0.5");
    row("no circuit 5", ":CT 5,2", false, ":CT?", "1,1,1,1");
    row("30 February", ":STOP:TIME 2028, 2, 30, 0, 0", false, ":STOP:TIME?", "2026,1,2,0,0");
    row("29 February", ":STOP:TIME 2028, 2, 29, 0, 0", true, ":STOP:TIME?", "2028,2,29,0,0");
    row("hour 24", ":START:TIME 2026, 2, 3, 24, 0", false, ":START:TIME?", "2026,1,1,0,0");
    row("empty file name clears", ":FILE:MEAS AB_1|:FILE:MEAS ", true, "FILE:MEAS?", "NO FILENAME");
    row("two order selections", ":DATA:ITEM 0, 192, 0, 0, 0, 0, 0, 0, 0", false, ":DATA:ITEM?",
        "81,143,1,137,0,0,0,0,0");
    row("ID 10000", "ID 10000", false, ":ID?", "1");
    row("31 June", ":CLOCK 2003,6,31,9,5,7", false, ":LANG?", "ENGLISH");
}

// The instrument's side: what it accepts and refuses, and what it answers afterwards.
void TestSettingsSend::instrumentRules()
{
    QFETCH(Lines, commands);
    QFETCH(bool, accepted);
    QFETCH(QByteArray, query);
    QFETCH(QByteArray, answer);
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
    QCOMPARE(reply, QByteArray(accepted ? "ALL RIGHT\r\n" : "PARAMETER ERROR\r\n"));
    QCOMPARE(talk(query), answer);
}

QTEST_MAIN(TestSettingsSend)
#include "test_settings_send.moc"
