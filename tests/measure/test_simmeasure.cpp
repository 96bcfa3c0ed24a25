// The simulated instrument's measuring and recording commands, bytes in and bytes out.

#include "MeasLists.h"
#include "SimInstrument.h"
#include "SimMeasureCommands.h"

#include <QTest>

namespace {

QByteArray ask(SimInstrument& in, const QByteArray& line)
{
    QByteArray out;
    for (const SimOutput& o : in.receive(line + "\r\n"))
        out += o.bytes;
    return out;
}

} // namespace

class TestSimMeasure : public QObject
{
    Q_OBJECT
private slots:
    void formatCommands_data();
    void formatCommands();
    void itemsFollowWiringAndCircuits_data();
    void itemsFollowWiringAndCircuits();
    void itemCountOptionAndDelay();
    void recording_data();
    void recording();
};

void TestSimMeasure::formatCommands_data()
{
    QTest::addColumn<QByteArrayList>("commands");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("as it starts") << QByteArrayList{}
                                  << QByteArray("+100.10;+5.010;+500.0;"
                                                "-12.5;+501.5;+0.9970;+50.00\r\n");
    QTest::newRow("names, comma")
        << QByteArrayList{":HEAD ON", ":TRAN:SEP 2"}
        << QByteArray("U1 +100.10,CH1 I1 +5.010,CH1 P +500.0,CH1 Q -12.5,CH1 S +501.5,"
                      "CH1 PF +0.9970,f +50.00\r\n");
    QTest::newRow("names off again, tab")
        << QByteArrayList{":head on", ":HEAD OFF", ":TRAN:SEP 3"}
        << QByteArray("+100.10\t+5.010\t+500.0\t-12.5\t+501.5\t+0.9970\t+50.00\r\n");
    QTest::newRow("refused values change nothing")
        << QByteArrayList{":HEAD MAYBE", ":TRAN:SEP 4", ":TRAN:SEP"}
        << QByteArray("+100.10;+5.010;+500.0;-12.5;+501.5;+0.9970;+50.00\r\n");
}

void TestSimMeasure::formatCommands()
{
    QFETCH(QByteArrayList, commands);
    QFETCH(QByteArray, reply);
    SimInstrument in;
    for (const QByteArray& c : commands) {
        const QByteArray r = ask(in, c);
        const bool valid = !c.contains("MAYBE") && !c.endsWith('4') && c != ":TRAN:SEP";
        QCOMPARE(r, valid ? QByteArray("ALL RIGHT\r\n") : QByteArray("PARAMETER ERROR\r\n"));
    }
    QCOMPARE(ask(in, ":MEAS?"), reply);
    QCOMPARE(ask(in, ":HEAD?"),
             in.state().measure.headOn ? QByteArray("ON\r\n") : QByteArray("OFF\r\n"));
}

void TestSimMeasure::itemsFollowWiringAndCircuits_data()
{
    QTest::addColumn<int>("wiring");
    QTest::addColumn<int>("circuits");
    QTest::addColumn<int>("items");
    QTest::addColumn<QByteArray>("lastCircuitItem");
    QTest::newRow("1P2W x1") << 0 << 1 << 7 << QByteArray("CH1 PF");
    QTest::newRow("1P2W x4") << 0 << 4 << 22 << QByteArray("CH4 PF");
    QTest::newRow("1P3W x2") << 1 << 2 << 15 << QByteArray("CH2 PF");
    QTest::newRow("3P3W3M x1") << 3 << 1 << 11 << QByteArray("CH1 PF");
    QTest::newRow("3P4W4I x1") << 5 << 1 << 12 << QByteArray("CH1 PF");
}

void TestSimMeasure::itemsFollowWiringAndCircuits()
{
    QFETCH(int, wiring);
    QFETCH(int, circuits);
    QFETCH(int, items);
    QFETCH(QByteArray, lastCircuitItem);
    SimInstrument in;
    in.state().settings.wiring = wiring;
    in.state().settings.cirNum = circuits;
    ask(in, ":HEAD ON");
    ask(in, ":TRAN:SEP 2");
    MeasLists l;
    QCOMPARE(l.SplitHeaderData(ask(in, ":MEAS?")), items);
    QCOMPARE(l.MeasHeader(0), QByteArray("U1"));
    QCOMPARE(l.MeasHeader(items - 2), lastCircuitItem);
    QCOMPARE(l.MeasHeader(items - 1), QByteArray("f"));
    QCOMPARE(SimMeasureCommands::naturalItems(wiring, circuits), items);
    // Every item is a name, a blank and a value the program can split.
    for (int i = 0; i < items; ++i)
        QVERIFY(!l.MeasData(i).isEmpty() && !l.MeasData(i).contains(' '));
}

void TestSimMeasure::itemCountOptionAndDelay()
{
    SimConfig c;
    c.measItems = 1700;
    c.measDelayMs = 250;
    SimInstrument in(c);
    ask(in, ":TRAN:SEP 2");
    const auto out = in.receive(":MEAS?\r\n");
    QCOMPARE(out.size(), std::size_t(1));
    QCOMPARE(out[0].delayMs, 250);
    QCOMPARE(out[0].bytes.count(',') + 1, 1700);
    QVERIFY(out[0].bytes.endsWith("\r\n"));
    QCOMPARE(in.receive(":STAT?\r\n")[0].delayMs, 0);
}

void TestSimMeasure::recording_data()
{
    QTest::addColumn<int>("startMeth");
    QTest::addColumn<QByteArray>("afterStart");
    QTest::addColumn<QByteArray>("later"); // after the clock passed the start time
    QTest::newRow("MANUAL") << 0 << QByteArray("2\r\n") << QByteArray("2\r\n");
    QTest::newRow("TIME") << 1 << QByteArray("1\r\n") << QByteArray("2\r\n");
    QTest::newRow("JUST") << 2 << QByteArray("1\r\n") << QByteArray("2\r\n");
}

void TestSimMeasure::recording()
{
    QFETCH(int, startMeth);
    QFETCH(QByteArray, afterStart);
    QFETCH(QByteArray, later);
    SimInstrument in;
    const QDateTime start = in.now().addDays(1);
    in.state().settings.startMeth = startMeth;
    in.state().settings.startTime = {start.date().year(), start.date().month(), start.date().day(),
                                     start.time().hour(), start.time().minute()};
    QCOMPARE(ask(in, ":STAT?"), QByteArray("0\r\n"));
    QCOMPARE(ask(in, ":DISP:MODE MEAS"), QByteArray("ALL RIGHT\r\n"));
    QCOMPARE(ask(in, ":DISP:MODE WAVE"), QByteArray("PARAMETER ERROR\r\n"));
    QCOMPARE(ask(in, ":START"), QByteArray("ALL RIGHT\r\n"));
    QCOMPARE(ask(in, ":STAT?"), afterStart);
    QCOMPARE(ask(in, ":START"), QByteArray("EXECUTE ERROR\r\n"));
    in.setClock(start.addSecs(61));
    QCOMPARE(ask(in, ":STAT?"), later);
    QCOMPARE(ask(in, ":STOP"), QByteArray("ALL RIGHT\r\n"));
    QCOMPARE(ask(in, ":STAT?"), QByteArray("0\r\n"));
    QCOMPARE(ask(in, ":STOP"), QByteArray("ALL RIGHT\r\n"));
}

QTEST_GUILESS_MAIN(TestSimMeasure)
#include "test_simmeasure.moc"
