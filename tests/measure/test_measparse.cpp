// The measured-data reply split into names and values, and the log lines built from them.

#include "MeasLists.h"
#include "MeasLog.h"
#include "MeasRecorder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using Bytes = QList<QByteArray>;

namespace {

Bytes headers(const MeasLists& l, int n)
{
    Bytes out;
    for (int i = 0; i < n; ++i)
        out << l.MeasHeader(i);
    return out;
}

Bytes values(const MeasLists& l, int n)
{
    Bytes out;
    for (int i = 0; i < n; ++i)
        out << l.MeasData(i);
    return out;
}

QByteArray reply(int items, bool names)
{
    QByteArray r;
    for (int i = 0; i < items; ++i) {
        if (i)
            r += ',';
        if (names)
            r += "H " + QByteArray::number(i) + ' ';
        r += QByteArray::number(i);
    }
    return r + "\r\n";
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

} // namespace

class TestMeasParse : public QObject
{
    Q_OBJECT
private slots:
    void splitItem_data();
    void splitItem();
    void split_data();
    void split();
    void longReplyKeepsTheFirst1600_data();
    void longReplyKeepsTheFirst1600();
    void shorterReplyLeavesOlderEntriesAfterTheMarker();
    void logLines_data();
    void logLines();
    void logAppendsAndOffTouchesNothing();
    void logFailureGivesTheReason_data();
    void logFailureGivesTheReason();
};

void TestMeasParse::splitItem_data()
{
    QTest::addColumn<QByteArray>("item");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("value");
    QTest::newRow("one blank") << QByteArray("N1 12.5") << QByteArray("N1") << QByteArray("12.5");
    QTest::newRow("name with a blank")
        << QByteArray("N 2 -3.0E+1") << QByteArray("N 2") << QByteArray("-3.0E+1");
    QTest::newRow("later blanks stay in the value")
        << QByteArray("A B C D") << QByteArray("A B") << QByteArray("C D");
    QTest::newRow("no blank") << QByteArray("XYZ") << QByteArray() << QByteArray();
    QTest::newRow("empty") << QByteArray() << QByteArray() << QByteArray();
    QTest::newRow("nothing trimmed")
        << QByteArray("U1  7 ") << QByteArray("U1 ") << QByteArray("7 ");
}

void TestMeasParse::splitItem()
{
    QFETCH(QByteArray, item);
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, value);
    const auto [n, v] = MeasLists::SplitItem(item);
    QCOMPARE(n, name);
    QCOMPARE(v, value);
}

void TestMeasParse::split_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<Bytes>("names");  // header-on split
    QTest::addColumn<Bytes>("values"); // header-on split
    QTest::addColumn<Bytes>("whole");  // header-off split
    QTest::newRow("empty reply") << QByteArray() << Bytes{} << Bytes{} << Bytes{};
    QTest::newRow("only CR LF") << QByteArray("\r\n") << Bytes{""} << Bytes{""} << Bytes{""};
    QTest::newRow("no comma") << QByteArray("N1 12.5\r\n") << Bytes{"N1"} << Bytes{"12.5"}
                              << Bytes{"N1 12.5"};
    QTest::newRow("names with a blank") << QByteArray("N 1 10,N 2 20\r\n") << Bytes{"N 1", "N 2"}
                                        << Bytes{"10", "20"} << Bytes{"N 1 10", "N 2 20"};
    QTest::newRow("values only") << QByteArray("10,20\r\n") << Bytes{"", ""} << Bytes{"", ""}
                                 << Bytes{"10", "20"};
    QTest::newRow("empty items") << QByteArray(",,\r\n") << Bytes{"", "", ""} << Bytes{"", "", ""}
                                 << Bytes{"", "", ""};
    // A time-out cut the line: the last two characters go all the same.
    QTest::newRow("cut short") << QByteArray("A 1,B 234") << Bytes{"A", "B"} << Bytes{"1", "2"}
                               << Bytes{"A 1", "B 2"};
    QTest::newRow("last item shorter than CR LF")
        << QByteArray("A 1,B") << Bytes{"A", ""} << Bytes{"1", ""} << Bytes{"A 1", ""};
    QTest::newRow("one character") << QByteArray("5") << Bytes{""} << Bytes{""} << Bytes{""};
    QTest::newRow("comma last") << QByteArray("A 1,") << Bytes{"A", ""} << Bytes{"1", ""}
                                << Bytes{"A 1", ""};
}

void TestMeasParse::split()
{
    QFETCH(QByteArray, reply);
    QFETCH(Bytes, names);
    QFETCH(Bytes, values);
    QFETCH(Bytes, whole);

    MeasLists on;
    const int n = on.SplitHeaderData(reply);
    QCOMPARE(n, names.size());
    QCOMPARE(headers(on, n), names);
    QCOMPARE(::values(on, n), values);
    QCOMPARE(on.MeasHeader(n), QByteArray("END"));
    QCOMPARE(on.MeasData(n), QByteArray("END"));

    MeasLists off;
    off.SplitHeaderData("X old,Y older,Z oldest\r\n");
    const int m = off.SplitData(reply);
    QCOMPARE(m, whole.size());
    QCOMPARE(::values(off, m), whole);
    QCOMPARE(off.MeasData(m), QByteArray("END"));
    // A values-only split leaves the names of the header-on one.
    QCOMPARE(headers(off, 3), (Bytes{"X", "Y", "Z"}));
}

void TestMeasParse::longReplyKeepsTheFirst1600_data()
{
    QTest::addColumn<int>("items");
    QTest::addColumn<int>("kept");
    QTest::newRow("1599") << 1599 << 1599;
    QTest::newRow("1600") << 1600 << 1600;
    QTest::newRow("1601") << 1601 << 1600;
    QTest::newRow("5000") << 5000 << 1600;
}

void TestMeasParse::longReplyKeepsTheFirst1600()
{
    QFETCH(int, items);
    QFETCH(int, kept);
    MeasLists l;
    QCOMPARE(l.SplitHeaderData(reply(items, true)), kept);
    QCOMPARE(l.MeasHeader(kept - 1), "H " + QByteArray::number(kept - 1));
    QCOMPARE(l.MeasData(kept - 1), QByteArray::number(kept - 1));
    QCOMPARE(l.MeasHeader(kept), QByteArray("END"));
    QCOMPARE(l.MeasData(kept), QByteArray("END"));
    QCOMPARE(l.SplitData(reply(items, false)), kept);
    QCOMPARE(l.MeasData(kept - 1), QByteArray::number(kept - 1));
    QCOMPARE(l.MeasData(kept), QByteArray("END"));
}

void TestMeasParse::shorterReplyLeavesOlderEntriesAfterTheMarker()
{
    MeasLists l;
    QCOMPARE(l.SplitHeaderData("A 1,B 2,C 3,D 4,E 5\r\n"), 5);
    QCOMPARE(l.SplitHeaderData("a 7,b 8,c 9\r\n"), 3);
    QCOMPARE(l.MeasHeader(3), QByteArray("END"));
    QCOMPARE(l.MeasData(3), QByteArray("END"));
    QCOMPARE(l.MeasHeader(4), QByteArray("E"));
    QCOMPARE(l.MeasData(4), QByteArray("5"));
}

void TestMeasParse::logLines_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("headerAndData");
    QTest::newRow("three items") << QByteArray("a 1,b 2,c 3\r\n")
                                 << QByteArray("a,b,c,\r\n1,2,3,\r\n");
    QTest::newRow("names with blanks")
        << QByteArray("CH1 P +5.0,f +50.00\r\n") << QByteArray("CH1 P,f,\r\n+5.0,+50.00,\r\n");
    QTest::newRow("no items") << QByteArray() << QByteArray("\r\n\r\n");
    QTest::newRow("one empty item") << QByteArray("\r\n") << QByteArray(",\r\n,\r\n");
}

void TestMeasParse::logLines()
{
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, headerAndData);
    QTemporaryDir dir;
    MeasRecorder r(dir.filePath(QStringLiteral("data.log")));
    r.log().setLogging(true);
    r.takeHeaderReply(reply);
    QVERIFY(!r.logFailed());
    QCOMPARE(readAll(r.log().path()), headerAndData);
}

void TestMeasParse::logAppendsAndOffTouchesNothing()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("data.log"));
    MeasRecorder r(path);
    r.takeHeaderReply("a 1,b 2\r\n");
    QVERIFY(!QFile::exists(path));

    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("older\r\n");
    }
    r.log().setLogging(true);
    r.takeHeaderReply("a 1,b 2\r\n");
    r.takeDataReply("3,4\r\n");
    r.takeDataReply("\r\n");
    r.takeDataReply("");
    const QByteArray expected("older\r\na,b,\r\n1,2,\r\n3,4,\r\n,\r\n\r\n");
    QCOMPARE(readAll(path), expected);

    r.log().setLogging(false);
    r.takeDataReply("5,6\r\n");
    QCOMPARE(readAll(path), expected);
}

void TestMeasParse::logFailureGivesTheReason_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("reason");
    QTest::newRow("a directory") << QStringLiteral("dir") << QStringLiteral("directory");
    QTest::newRow("disk full") << QStringLiteral("full") << QStringLiteral("space");
    QTest::newRow("no such folder") << QStringLiteral("missing") << QStringLiteral("No such file");
}

void TestMeasParse::logFailureGivesTheReason()
{
    QFETCH(QString, setup);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("data.log"));
    if (setup == QLatin1String("dir"))
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("data.log")));
    else if (setup == QLatin1String("full"))
        QVERIFY(QFile::link(QStringLiteral("/dev/full"), path));
    else
        path = dir.filePath(QStringLiteral("gone/data.log"));

    MeasRecorder r(path);
    r.log().setLogging(true);
    QCOMPARE(r.takeHeaderReply("a 1\r\n"), 1);
    QVERIFY(r.logFailed());
    QVERIFY2(r.logError().contains(reason, Qt::CaseInsensitive), qPrintable(r.logError()));
    // Reported once: logging is off until the user switches it on again.
    QVERIFY(!r.log().logging());
    r.takeDataReply("2\r\n");
    QVERIFY(!r.logFailed());
}

QTEST_GUILESS_MAIN(TestMeasParse)
#include "test_measparse.moc"
