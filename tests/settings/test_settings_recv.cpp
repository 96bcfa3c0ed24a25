// Receiving the settings over the real link from the simulated instrument. What each reply
// turns into is covered by the round trip of the send test; here: the queries, failures
// and replies the instrument would not give.

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

// Differs from the simulator's defaults wherever a test looks.
ModSet sentinel()
{
    ModSet m;
    m.Wiring = 5, m.CirNum = 4, m.Sampling = 1, m.Freq = 1, m.Intvl = 16, m.Flow = 3;
    m.Sens = {0, 2, 2, 2, 2};
    m.StartY = m.StartM = m.StartD = 77;
    m.ID = 777;
    m.DataFName = QStringLiteral("OLD");
    return m;
}

} // namespace

class TestSettingsRecv : public QObject
{
    Q_OBJECT
private slots:
    void queries();
    void timeoutStopsAndKeepsTheRest();
    void busyNamesTheLastLineSent();
    void oddReplies_data();
    void oddReplies();
};

void TestSettingsRecv::queries()
{
    SimBench b;
    QVERIFY(b.connectDirect());
    b.clearWire();
    QList<int> timeouts;
    connect(&b.link(), &Link::written, this, [&](const QByteArray&, int ms) { timeouts << ms; });

    RecvSettings(b.link());

    QCOMPARE(b.wire(), allQueries);
    QCOMPARE(timeouts, QList<int>(33, 1000));
    QCOMPARE(b.messages.texts(), QStringList());
}

void TestSettingsRecv::timeoutStopsAndKeepsTheRest()
{
    SimConfig config;
    QString error;
    config.faults.emplace_back();
    QVERIFY(SimFault::parse(QStringLiteral("drop,:FREQ?,1"), &config.faults.back(), &error));
    SimBench b(config);
    QVERIFY(b.connectDirect());
    b.clearWire();
    ModSet::instance() = sentinel();

    RecvSettings(b.link());

    QCOMPARE(b.wire(), allQueries.mid(0, 5));
    QCOMPARE(b.messages.texts(), QStringList{QStringLiteral("ERROR! 01:FREQ?\r\n")});
    QCOMPARE(b.messages.shown().front().kind, MessageService::Kind::Plain);
    ModSet want = sentinel();
    want.Wiring = 0, want.CirNum = 1, want.Sampling = 0; // stored before the failure
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
    TestUtil::later(100, [&] { RecvSettings(b.link()), inner = true; });
    QCOMPARE(b.link().SendCommand(":WIR?", 2000).text, QByteArray("1P2W\r\n"));
    QVERIFY(inner);
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
    QTest::newRow("lower case") << QByteArray(":SAMP?") << QByteArray("pll\r\n") << "1";
    QTest::newRow("LF only") << QByteArray(":WIR?") << QByteArray("3P4W\n") << "5";
    QTest::newRow("trailing blank") << QByteArray(":WIR?") << QByteArray("3P4W \r\n") << "5";
    QTest::newRow("count 0") << QByteArray(":CIRC?") << QByteArray("0\r\n") << "4";
    QTest::newRow("count 3") << QByteArray(":CIRC?") << QByteArray("3\r\n") << "3";
    QTest::newRow("30S") << QByteArray(":INTE?") << QByteArray("30S\r\n") << "9";
    QTest::newRow("flow OFF") << QByteArray("RS232:FLOW?") << QByteArray("OFF\r\n") << "0";
    // Missing fields are empty: numbers read 0, words match nothing.
    QTest::newRow("FLX-5K, cut") << QByteArray(":SENS?") << QByteArray("CLD,FLX-5K\r\n")
                                 << "5,0,0,0";
    QTest::newRow("sensors, LF only") << QByteArray(":SENS?") << QByteArray("\n") << "0,0,0,0";
    QTest::newRow("start time cut")
        << QByteArray(":START:TIME?") << QByteArray("2026,5.5\r\n") << "2026,6,0";
    // Too large to store: the setting keeps its value rather than turning into nonsense.
    QTest::newRow("ID too large") << QByteArray(":ID?") << QByteArray("99999999999\r\n") << "777";
    QTest::newRow("name, LF only") << QByteArray("FILE:MEAS?") << QByteArray("\n") << "";
    QTest::newRow("NO FILENAME and blank")
        << QByteArray("FILE:MEAS?") << QByteArray("NO FILENAME \r\n") << "NO FILENAME ";
}

void TestSettingsRecv::oddReplies()
{
    QFETCH(QByteArray, query);
    QFETCH(QByteArray, reply);
    QFETCH(QString, stored);
    SimBench b;
    b.instrument.addCommand(query,
                            [reply](SimInstrument&, const QByteArray&) { return SimReply{reply}; });
    QVERIFY(b.connectDirect());
    ModSet::instance() = sentinel();

    RecvSettings(b.link());

    QCOMPARE(b.messages.texts(), QStringList());
    const ModSet& m = ModSet::instance();
    const auto list = [](std::initializer_list<qint32> v) {
        QStringList s;
        for (qint32 x : v)
            s << QString::number(x);
        return s.join(QLatin1Char(','));
    };
    const QHash<QByteArray, QString> field{
        {":SAMP?", list({m.Sampling})},
        {":WIR?", list({m.Wiring})},
        {":CIRC?", list({m.CirNum})},
        {":INTE?", list({m.Intvl})},
        {"RS232:FLOW?", list({m.Flow})},
        {":SENS?", list({m.Sens[1], m.Sens[2], m.Sens[3], m.Sens[4]})},
        {":START:TIME?", list({m.StartY, m.StartM, m.StartD})},
        {":ID?", list({m.ID})},
        {"FILE:MEAS?", m.DataFName},
    };
    QCOMPARE(field.value(query), stored);
}

QTEST_MAIN(TestSettingsRecv)
#include "test_settings_recv.moc"
