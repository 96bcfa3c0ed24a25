// The simulated instrument's measuring and recording commands, bytes in and bytes out.

#include "SimInstrument.h"

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
    void measReply_data();
    void measReply();
    void recording_data();
    void recording();
};

void TestSimMeasure::measReply_data()
{
    QTest::addColumn<int>("wiring");
    QTest::addColumn<int>("circuits");
    QTest::addColumn<QByteArrayList>("commands");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("as it starts: values, separator 1")
        << 0 << 1 << QByteArrayList{}
        << QByteArray("+100.10;+5.010;+500.0;-12.5;+501.5;+0.9970;+50.00\r\n");
    QTest::newRow("names, comma")
        << 0 << 1 << QByteArrayList{":HEAD ON", ":TRAN:SEP 2"}
        << QByteArray("U1 +100.10,CH1 I1 +5.010,CH1 P +500.0,CH1 Q -12.5,CH1 S +501.5,"
                      "CH1 PF +0.9970,f +50.00\r\n");
    QTest::newRow("refused values change nothing")
        << 0 << 1 << QByteArrayList{":HEAD MAYBE", ":TRAN:SEP 4"}
        << QByteArray("+100.10;+5.010;+500.0;-12.5;+501.5;+0.9970;+50.00\r\n");
    QTest::newRow("1P3W, two circuits, tab")
        << 1 << 2 << QByteArrayList{":head on", ":HEAD OFF", ":TRAN:SEP 3"}
        << QByteArray("+100.10\t+100.20\t+5.010\t+5.020\t+500.0\t-12.5\t+501.5\t+0.9970\t"
                      "+10.010\t+10.020\t+1000.0\t-25.0\t+1001.5\t+0.9970\t+50.00\r\n");
}

void TestSimMeasure::measReply()
{
    QFETCH(int, wiring);
    QFETCH(int, circuits);
    QFETCH(QByteArrayList, commands);
    QFETCH(QByteArray, reply);
    SimInstrument in;
    in.state().settings.wiring = wiring;
    in.state().settings.cirNum = circuits;
    for (const QByteArray& c : commands)
        ask(in, c);
    QCOMPARE(ask(in, ":MEAS?"), reply);
    QCOMPARE(ask(in, ":HEAD MAYBE"), QByteArray("PARAMETER ERROR\r\n"));
}

void TestSimMeasure::recording_data()
{
    QTest::addColumn<int>("startMeth");
    QTest::addColumn<QByteArray>("afterStart");
    QTest::newRow("MANUAL") << 0 << QByteArray("2\r\n");
    QTest::newRow("TIME") << 1 << QByteArray("1\r\n");
    QTest::newRow("JUST") << 2 << QByteArray("1\r\n");
}

void TestSimMeasure::recording()
{
    QFETCH(int, startMeth);
    QFETCH(QByteArray, afterStart);
    SimInstrument in;
    const QDateTime start = in.now().addDays(1);
    in.state().settings.startMeth = startMeth;
    in.state().settings.startTime = {start.date().year(), start.date().month(), start.date().day(),
                                     start.time().hour(), start.time().minute()};
    QCOMPARE(ask(in, ":STAT?"), QByteArray("0\r\n"));
    QCOMPARE(ask(in, ":START"), QByteArray("ALL RIGHT\r\n"));
    QCOMPARE(ask(in, ":STAT?"), afterStart);
    QCOMPARE(ask(in, ":START"), QByteArray("EXECUTE ERROR\r\n"));
    // A waiting start runs once the instrument's clock has passed its moment.
    in.setClock(start.addSecs(61));
    QCOMPARE(ask(in, ":STAT?"), QByteArray("2\r\n"));
    QCOMPARE(ask(in, ":STOP"), QByteArray("ALL RIGHT\r\n"));
    QCOMPARE(ask(in, ":STAT?"), QByteArray("0\r\n"));
}

QTEST_GUILESS_MAIN(TestSimMeasure)
#include "test_simmeasure.moc"
