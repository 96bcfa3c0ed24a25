// The speed and time left beside the download's progress bar.

#include "TransferMeter.h"

#include <QTest>

class TestTransferMeter : public QObject
{
    Q_OBJECT
private slots:
    void describe_data();
    void describe();
    void resumeCountsFromTheResumePoint();
};

void TestTransferMeter::describe_data()
{
    QTest::addColumn<qint64>("moved");
    QTest::addColumn<qint64>("ms");
    QTest::addColumn<qint64>("left");
    QTest::addColumn<QString>("text");
    const auto row = [](const char* name, qint64 moved, qint64 ms, qint64 left, const char* text) {
        QTest::newRow(name) << moved << ms << left << QString::fromLatin1(text);
    };
    row("too early", 5000, 199, 100, "");
    row("nothing moved yet", 0, 1000, 100, "");
    row("bytes", 999, 1000, 1998, "999 B/s, 0:02 left");
    row("kilobytes from 1000 B/s", 1000, 1000, 10000, "1.0 kB/s, 0:10 left");
    row("megabytes from 1000 kB/s", 1000000, 1000, 0, "1.0 MB/s, 0:00 left");
    row("rate from the elapsed time", 1000, 4000, 250, "250 B/s, 0:01 left");
    row("half a second rounds up", 2, 1000, 1, "2 B/s, 0:01 left");
    row("last minute:seconds", 1, 1000, 3599, "1 B/s, 59:59 left");
    row("first hour:minutes:seconds", 1, 1000, 3600, "1 B/s, 1:00:00 left");
}

// Catches: a wrong unit or threshold, a rate not per second, the time left not rounded, a
// minute or second shown without its leading zero, an hour shown as minutes.
void TestTransferMeter::describe()
{
    QFETCH(qint64, moved);
    QFETCH(qint64, ms);
    QFETCH(qint64, left);
    QFETCH(QString, text);
    QCOMPARE(TransferMeter::describe(moved, ms, left), text);
}

// Catches: a resumed download's rate counted from byte 1, as if the bytes already on disk had
// just been moved. 100 bytes in no less than 0.2 s cannot reach 1 kB/s; 1000100 bytes would.
void TestTransferMeter::resumeCountsFromTheResumePoint()
{
    TransferMeter meter;
    meter.start(1000001, 2000000);
    QTest::qWait(250);
    const QString text = meter.update(1000100);
    QVERIFY2(text.contains(QLatin1String(" B/s, ")), qPrintable(text));
}

QTEST_GUILESS_MAIN(TestTransferMeter)
#include "test_transfermeter.moc"
