// Receiving and sending the settings over the real link, against the simulated instrument.

#include "Link.h"
#include "ModSet.h"
#include "SendSettings.h"
#include "SensorRule.h"
#include "SettingsTable.h"
#include "SimBench.h"
#include "WiringRule.h"

#include <QPointer>
#include <QRandomGenerator>
#include <QSet>
#include <QTest>

#include <cmath>

using Lines = QList<QByteArray>;

namespace {

Lines lines(const char* text)
{
    return QByteArray(text).split('|');
}

const Lines queries =
    lines(":HEAD OFF|:WIR?|:CIRC?|:SAMP?|:FREQ?|:OPER?|:AVE?|:VOLT:RANG?|:VT?|:CURR:RANG?|:CT?|"
          ":SENS?|:START:METH?|:START:TIME?|:STOP:METH?|:STOP:TIME?|:TIMER?|:INTE?|:DATA:MEDI?|"
          "FILE:MEAS?|:RS232:CONN?|:DATA:COPY:MEDIA?|:DATA:ITEM?|:data:harm?|:DATA:WAVE?|:THD?|"
          "RS232:BAUD?|TRAN:TERM?|RS232:FLOW?|:BACK?|:BEEP?|:ID?|:LANG?");

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

// Differs from the simulator's defaults wherever a receive test looks.
ModSet sentinel()
{
    ModSet m;
    m.Wiring = 5, m.CirNum = 4, m.Sampling = 1, m.Freq = 1, m.Intvl = 16, m.Flow = 3;
    m.ID = 777;
    m.Sens = {0, 2, 2, 2, 2};
    m.StartY = m.StartM = m.StartD = 77;
    m.DataFName = QStringLiteral("OLD");
    return m;
}

SendSettingsInputs inputs(const QString& name, int checkAdjust = 0, QDateTime clock = {})
{
    SendSettingsInputs in{[name] { return name; }, [checkAdjust] { return checkAdjust; }, {}};
    if (clock.isValid())
        in.clock = [clock] { return clock; };
    return in;
}

// An instrument answering exactly these bytes, CR LF or not.
SimInstrument::Handler answer(const QByteArray& bytes)
{
    return [bytes](SimInstrument&, const QByteArray&) { return SimReply{bytes}; };
}

// RECEIVE into the bench's record, or SEND of it, run to its end; false if it did not end.
bool runRecv(SimBench& b)
{
    b.session->receiveSettings(nullptr, {});
    return b.settle();
}

bool runSend(SimBench& b, SendSettingsInputs in)
{
    b.session->sendSettings(nullptr, std::move(in), {});
    return b.settle();
}

// Stands for a value of any type: how many of it initialise an aggregate is its field count.
struct AnyValue
{
    template <class T> operator T() const;
};

template <class T, class... Values> constexpr int fieldCount()
{
    if constexpr (requires { T{Values{}..., AnyValue{}}; })
        return fieldCount<T, Values..., AnyValue>();
    else
        return sizeof...(Values);
}

ModSet randomValid(QRandomGenerator& rng)
{
    const auto pick = [&](int n) { return int(rng.bounded(n)); };
    const auto flag = [&] { return rng.bounded(2) == 1; };
    const auto ratio = [&] {
        return pick(3) ? 0.01 + rng.generateDouble() * 9999.9 : 1 + pick(99);
    };
    ModSet m;
    // Valid pairs as the dialog's rules make them.
    m.Wiring = pick(6), m.CirNum = 1 + pick(WiringRule::maxCircuits(m.Wiring));
    m.Sampling = pick(2), m.Freq = pick(2), m.VarMethod = pick(2), m.URange = pick(3);
    m.Average = std::array{1, 2, 5, 10, 20}[pick(5)];
    m.VT = ratio();
    for (int i = 1; i <= 4; ++i)
        m.Sens[i] = pick(6), m.IRange[i] = SensorRule::allowedRange(m.Sens[i], pick(10)),
        m.CT[i] = ratio();
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
        m.Circuit[i] = flag(), m.I[i] = flag();
    for (int u = 1; u <= 3; ++u)
        m.U[u] = flag();
    for (int k = 1; k <= 40; ++k)
        m.Ord[k] = flag();
    m.THDType = pick(2), m.OrdType = pick(4), m.BL = pick(3), m.Beep = pick(2);
    m.ID = pick(10000), m.Lang = pick(6);
    return m;
}

} // namespace

class TestSettingsExchange : public QObject
{
    Q_OBJECT
private slots:
    void tableRowsAreComplete();
    void receiveQueries();
    void busyLinkNamesTheWaitingLine_data();
    void busyLinkNamesTheWaitingLine();
    void oddReplies_data();
    void oddReplies();
    void lateReplyNeverShifts_data();
    void lateReplyNeverShifts();
    void sendSequence_data();
    void sendSequence();
    void refusalsWarnAndGoOn();
    void codesWithoutCommand();
    void roundTrip();
};

// Catches: a record member in no row of the settings table or in two, two rows with the same
// words. (A row's query not asked or its command not sent: receiveQueries, sendSequence.)
void TestSettingsExchange::tableRowsAreComplete()
{
    using namespace SettingsTable;
    // Every field of the record is one member: none left out, none reached twice.
    ModSet probe;
    QSet<const void*> reached;
    QSet<QByteArray> words;
    int members = 0;
    for (const Row& row : rows()) {
        for (const char* w : {row.query, row.command}) {
            if (!w)
                continue;
            QVERIFY2(!words.contains(w), w);
            words.insert(w);
        }
        for (const Member& m : row.members) {
            ++members;
            for (int e = m.first(); e <= m.last(); ++e) {
                const void* at =
                    std::visit([](auto* p) -> const void* { return p; }, m.at(probe, e));
                QVERIFY2(!reached.contains(at), qPrintable(m.nameOf(e)));
                reached.insert(at);
            }
        }
    }
    QCOMPARE(members, fieldCount<ModSet>());
}

// Catches: a query missing, out of order or misspelt (test_frmmeas checks their time-outs).
void TestSettingsExchange::receiveQueries()
{
    SimBench b;
    QVERIFY(b.connectDirect());
    b.clearWire();

    QVERIFY(runRecv(b));

    QCOMPARE(b.wire(), queries);
    QCOMPARE(b.messages.texts(), QStringList());
}

void TestSettingsExchange::busyLinkNamesTheWaitingLine_data()
{
    QTest::addColumn<bool>("send");
    QTest::addColumn<QString>("message");
    QTest::newRow("receive") << false << "ERROR! 02:ID?\r\n";
    QTest::newRow("send") << true << "ERROR! 設定送信を中断します\r\n02:ID?\r\n";
}

// Started while another transaction waits, neither writes anything nor changes the record.
void TestSettingsExchange::busyLinkNamesTheWaitingLine()
{
    QFETCH(bool, send);
    QFETCH(QString, message);
    SimBench b({.replyDelayMs = 300});
    QVERIFY(b.connectDirect());
    b.clearWire();
    b.session->settings() = sentinel();
    bool ran = false;
    TestUtil::later(100, [&] { ran = send ? runSend(b, inputs(QString(), 1)) : runRecv(b); });
    QCOMPARE(TestUtil::transact(*b.session, ":ID?", 2000).text, QByteArray("1\r\n"));
    QVERIFY(b.settle());
    QVERIFY(ran);
    QCOMPARE(b.wire(), Lines{":ID?"});
    QCOMPARE(b.messages.texts(), QStringList{message});
    QVERIFY(b.session->settings() == sentinel());
}

void TestSettingsExchange::oddReplies_data()
{
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("message");
    const auto row = [](const char* name, const char* query, const char* reply, const char* stored,
                        const char* message = "") {
        QTest::newRow(name) << QByteArray(query) << QByteArray(reply) << QString::fromLatin1(stored)
                            << QString::fromLatin1(message);
    };
    // Words match whole and in their case; anything else leaves the setting alone.
    row("lower case", ":SAMP?", "pll\r\n", "1");
    row("count 3", ":CIRC?", "3\r\n", "3");
    row("30S", ":INTE?", "30S\r\n", "9");
    row("flow OFF", "RS232:FLOW?", "OFF\r\n", "0");
    row("FLX-5K and unknown words", ":SENS?", "CLD,FLX-5K,pll,CLA\r\n", "5,0,0,0");
    row("rounded", ":START:TIME?", "2026,5.5,2.5,1,2\r\n", "2026,6,2");
    row("NO FILENAME and a blank", "FILE:MEAS?", "NO FILENAME \r\n", "NO FILENAME ");
    // Too large to store: the setting keeps its value rather than turning into nonsense.
    row("ID too large", ":ID?", "99999999999\r\n", "777");
    // Not an answer to the query: taken as its time-out, nothing after it is asked.
    row("LF without CR", ":WIR?", "3P4W\n", "5", "ERROR! 01:WIR?\r\n");
    row("two fields of four", ":SENS?", "CLD,FLX-5k\r\n", "2,2,2,2", "ERROR! 01:SENS?\r\n");
}

// Catches: a reply word matched loosely, a missing field read as garbage, a value too large
// to store overwriting the setting.
void TestSettingsExchange::oddReplies()
{
    QFETCH(QByteArray, query);
    QFETCH(QByteArray, reply);
    QFETCH(QString, stored);
    QFETCH(QString, message);
    SimBench b;
    b.instrument.addCommand(query, answer(reply));
    QVERIFY(b.connectDirect());
    const ModSet& m = b.session->settings() = sentinel();

    QVERIFY(runRecv(b));

    QCOMPARE(b.messages.texts(), message.isEmpty() ? QStringList() : QStringList{message});
    const QHash<QByteArray, QList<qint32>> fields{
        {":SAMP?", {m.Sampling}},
        {":WIR?", {m.Wiring}},
        {":CIRC?", {m.CirNum}},
        {":INTE?", {m.Intvl}},
        {"RS232:FLOW?", {m.Flow}},
        {":ID?", {m.ID}},
        {":SENS?", {m.Sens[1], m.Sens[2], m.Sens[3], m.Sens[4]}},
        {":START:TIME?", {m.StartY, m.StartM, m.StartD}}};
    QStringList got;
    for (qint32 v : fields.value(query))
        got << QString::number(v);
    QCOMPARE(query == "FILE:MEAS?" ? m.DataFName : got.join(','), stored);
}

void TestSettingsExchange::lateReplyNeverShifts_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("pauseMs"); // after the failed receive
    QTest::addColumn<bool>("stat");   // the measurement window asks ":STAT?" in between
    QTest::addColumn<QString>("message");
    // The late line comes right before the answer to RECEIVE's first command: the link drops
    // it, and the receive is right.
    QTest::newRow("2.3 s late, RECEIVE 1 s after") << "delay,:WIR?,1,2300" << 1000 << false << "";
    QTest::newRow("1.3 s late, at once") << "delay,:WIR?,1,1300" << 0 << false << "";
    QTest::newRow(":AVE? 4.3 s late, 3 s after") << "delay,:AVE?,1,4300" << 3000 << false << "";
    // The late line and the ":STAT?" answer behind it both come during RECEIVE.
    QTest::newRow("into RECEIVE, after :STAT?") << "delay,:WIR?,1,2300" << 0 << true << "";
    // A stray line well before the answer, with no time-out before: ":WIR?" is answered
    // "ALL RIGHT", which cannot be its answer.
    QTest::newRow("stray line, no time-out")
        << "delay,:HEAD,1,400" << 0 << false << "ERROR! 01:WIR?\r\n";
}

// A reply that comes after its query timed out is never stored as the answer to a later
// query (every setting would shift by one): the receive is right, or fails and the next
// one is right.
void TestSettingsExchange::lateReplyNeverShifts()
{
    QFETCH(QString, fault);
    QFETCH(int, pauseMs);
    QFETCH(bool, stat);
    QFETCH(QString, message);
    const bool stray = fault.contains(QLatin1String("HEAD"));
    SimBench b(SimBench::withFault(fault));
    QVERIFY(b.connectDirect());
    if (!stray) {
        QVERIFY(runRecv(b));
        QCOMPARE(b.messages.texts().size(), 1);
    }
    if (stat)
        QCOMPARE(TestUtil::transact(*b.session, ":STAT?", 1000).result, Link::Result::Timeout);
    TestUtil::waitFor([] { return false; }, pauseMs);
    b.messages.clear();
    const ModSet& m = b.session->settings() = sentinel();
    if (stray)
        b.port->inject("1P2W\r\n", 50);

    QVERIFY(runRecv(b));

    QCOMPARE(b.messages.texts(), message.isEmpty() ? QStringList() : QStringList{message});
    if (!message.isEmpty()) {
        QVERIFY(m == sentinel());
        // The answer to the refused query is still on its way; a user's next try is later.
        TestUtil::waitFor([] { return false; }, 500);
        b.messages.clear();
        QVERIFY(runRecv(b));
        QCOMPARE(b.messages.texts(), QStringList());
    }
    // The instrument's own values, none shifted.
    QCOMPARE((QList<double>{double(m.Wiring), double(m.CirNum), m.VT, m.CT[1], double(m.ID)}),
             (QList<double>{0, 1, 1, 1, 1}));
}

void TestSettingsExchange::sendSequence_data()
{
    QTest::addColumn<int>("cirNum");
    QTest::addColumn<int>("checkAdjust");
    QTest::addColumn<Lines>("want");
    Lines one = recordLines;
    one[1] = ":CIRC 1";
    for (int i : {19, 18, 17, 15, 14, 13, 11, 10, 9})
        one.removeAt(i);
    QTest::newRow("one circuit") << 1 << 0 << one;
    QTest::newRow("four circuits, clock ticked")
        << 4 << 1 << recordLines + Lines{":CLOCK 2003,6,24,9,5,7"};
    QTest::newRow("clock greyed") << 4 << 2 << recordLines;
}

// Catches: a command missing, out of order or misspelt; circuits above the count sent; the
// record changed by sending it; the clock set when the box is not ticked, or to another time.
void TestSettingsExchange::sendSequence()
{
    QFETCH(int, cirNum);
    QFETCH(int, checkAdjust);
    QFETCH(Lines, want);
    const QDateTime at(QDate(2003, 6, 24), QTime(9, 5, 7));
    SimBench b;
    QVERIFY(b.connectDirect());
    b.clearWire();
    ModSet m = record();
    m.CirNum = cirNum;
    b.session->settings() = m;

    QVERIFY(runSend(b, inputs(QStringLiteral("TEST"), checkAdjust, at)));

    QCOMPARE(b.wire(), want);                    // test_dlgsettings checks their time-outs
    QCOMPARE(b.messages.texts(), QStringList()); // the instrument took every value
    QVERIFY(b.session->settings() == m);
    QCOMPARE(std::llabs(b.instrument.now().secsTo(at)) < 5, checkAdjust == 1);
}

// Catches: a reply other than exactly "ALL RIGHT" CR LF taken as accepted, a refusal ending
// the send, or the send going on while the refusal is still open.
void TestSettingsExchange::refusalsWarnAndGoOn()
{
    SimBench b;
    // Not exactly "ALL RIGHT" CR LF: refusals too.
    b.instrument.addCommand("BEEP", answer("ALL RIGHT OK\r\n"));
    b.instrument.addCommand("LANG", answer("ALL RIGHT\n"));
    b.instrument.addCommand("THD", answer("\r\n"));
    QVERIFY(b.connectDirect());
    b.clearWire();
    ModSet& m = b.session->settings() = record();
    m.Average = 3, m.Sens[2] = 0, m.ID = 10000; // no such count; CLA cannot measure 500 A
    // Each message stays open until the test closes it.
    QPointer<Job> open;
    QStringList texts;
    QList<Lines> shownAfter; // the lines written when each message came
    b.session->setMessageHandler([&](Job& job, MessageKind kind, const QString& text) {
        open = &job;
        texts << (kind == MessageKind::Warning ? text : QStringLiteral("not a warning: ") + text);
        shownAfter << b.wire();
    });
    bool done = false;
    b.session->sendSettings(nullptr, inputs(QStringLiteral("TOO LONG NAME")),
                            [&done](const SendResult&) { done = true; });
    for (int closed = 0;
         TestUtil::waitFor([&] { return texts.size() > closed || done; }) && texts.size() > closed;
         ++closed) {
        TestUtil::waitFor([] { return false; }, 100);
        // Nothing goes out while the refusal is open; the last line is the refused command.
        QCOMPARE(b.wire(), shownAfter[closed]);
        QCOMPARE(b.wire().last(), texts[closed].section(QLatin1Char('/'), 0, 0).toLatin1());
        QVERIFY(open && open->state() == Job::State::Paused);
        open->resume();
    }

    QCOMPARE(b.wire().size(), recordLines.size());
    QCOMPARE(texts,
             (QStringList{":AVE 3/PARAMETER ERROR\r\n", ":CURR:RANG 2,500/PARAMETER ERROR\r\n",
                          ":FILE:MEAS TOO LONG NAME/PARAMETER ERROR\r\n", ":THD R/\r\n",
                          ":BEEP ON/ALL RIGHT OK\r\n", "ID 10000/PARAMETER ERROR\r\n",
                          ":LANG CHINESE1/ALL RIGHT\n"}));
}

// A code that no command word stands for (only a damaged reply can store one), or a file
// name the line cannot carry, is not sent; the warning names the setting and the rest goes
// out. A printer copy destination is written back as it was received.
void TestSettingsExchange::codesWithoutCommand()
{
    SimBench b;
    QVERIFY(b.connectDirect());
    b.clearWire();
    ModSet m = record();
    m.Wiring = 6, m.Sens[2] = 6, m.IRange[4] = -1, m.Intvl = 17, m.CopyDst = 2, m.Lang = 6;
    m.THDType = 2, m.Beep = 2; // these two have a command for any value
    b.session->settings() = m;

    // A line break in the name would make a second command of its rest.
    QVERIFY(runSend(b, inputs(QStringLiteral("A\r\nID 5"))));

    Lines want = recordLines;
    want[28] = ":DATA:COPY:MEDI PRINTER";
    want[34] = ":BEEP OFF";
    for (int i : {36, 27, 25, 15, 9, 0})
        want.removeAt(i);
    QCOMPARE(b.wire(), want);
    const QString tail = QStringLiteral(" has no command; this setting was not sent.");
    QCOMPARE(b.messages.texts(),
             (QStringList{"Wiring = 6" + tail, "Sens(2) = 6" + tail, "IRange(4) = -1" + tail,
                          "Intvl = 17" + tail,
                          "DataFName \"A ID 5\" has characters the line cannot carry; this "
                          "setting was not sent.",
                          "Lang = 6" + tail}));
}

// Catches: any setting that does not come back as it was sent (a word, a number form, an
// item bit).
void TestSettingsExchange::roundTrip()
{
    SimBench b;
    QVERIFY(b.connectDirect());
    QRandomGenerator rng(20261206);
    for (int n = 0; n < 40; ++n) {
        const ModSet sent = randomValid(rng);
        b.session->settings() = sent;
        QVERIFY(runSend(b, inputs(sent.DataFName)));
        b.session->settings() = ModSet{};
        QVERIFY(runRecv(b));
        QCOMPARE(b.messages.texts(), QStringList());

        ModSet got = b.session->settings();
        ModSet want = sent;
        // Never sent: the line settings and the circuits above the count.
        want.Baud = got.Baud, want.Term = got.Term, want.Flow = got.Flow;
        want.RSConnection = got.RSConnection;
        for (int i = sent.CirNum + 1; i <= 4; ++i)
            want.Sens[i] = got.Sens[i], want.IRange[i] = got.IRange[i], want.CT[i] = got.CT[i];
        for (int i = 0; i <= 4; ++i) { // the ratios within 15 digits: VT, then CT
            double& g = i ? got.CT[i] : got.VT;
            const double w = i ? want.CT[i] : want.VT;
            QVERIFY2(std::fabs(g - w) <= 1e-14 * w, qPrintable(QString::number(g, 'g', 17)));
            g = w;
        }
        QVERIFY2(got == want, qPrintable(QStringLiteral("record %1").arg(n)));
    }
}

QTEST_MAIN(TestSettingsExchange)
#include "test_settings_exchange.moc"
