// The measured-data reply split into item names and values.

#include "MeasLists.h"

#include <QTest>

using Bytes = QList<QByteArray>;

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
    QTest::newRow("nothing trimmed")
        << QByteArray("U1  7 ") << QByteArray("U1 ") << QByteArray("7 ");
}

// Catches: a name split at a later blank, or a blank trimmed that belongs to the value.
void TestMeasParse::splitItem()
{
    QFETCH(QByteArray, item);
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, value);
    QCOMPARE(MeasLists::SplitItem(item), std::make_pair(name, value));
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
    // A time-out cut the line: the last two characters go all the same.
    QTest::newRow("cut short") << QByteArray("A 1,B 234") << Bytes{"A", "B"} << Bytes{"1", "2"}
                               << Bytes{"A 1", "B 2"};
    QTest::newRow("last item shorter than CR LF")
        << QByteArray("A 1,B") << Bytes{"A", ""} << Bytes{"1", ""} << Bytes{"A 1", ""};
    QTest::newRow("one character") << QByteArray("5") << Bytes{""} << Bytes{""} << Bytes{""};
}

// Catches: a name or value cut wrong at a comma or CR LF, older entries shown past the END
// marker, names taken from a values-only reply.
void TestMeasParse::split()
{
    QFETCH(QByteArray, reply);
    QFETCH(Bytes, names);
    QFETCH(Bytes, values);
    QFETCH(Bytes, whole);
    MeasLists l;
    l.SplitHeaderData("X old,Y older,Z oldest\r\n");
    const int n = l.SplitHeaderData(reply);
    Bytes gotNames, gotValues;
    for (int i = 0; i <= n; ++i) {
        gotNames << l.MeasHeader(i);
        gotValues << l.MeasData(i);
    }
    QCOMPARE(gotNames, names + Bytes{"END"});
    QCOMPARE(gotValues, values + Bytes{"END"});

    l.SplitHeaderData("X old,Y older,Z oldest\r\n");
    const int m = l.SplitData(reply);
    Bytes gotWhole;
    for (int i = 0; i <= m; ++i)
        gotWhole << l.MeasData(i);
    QCOMPARE(gotWhole, whole + Bytes{"END"});
    QCOMPARE(l.MeasHeader(0), QByteArray("X")); // names are a header-on reply's only
}

void TestMeasParse::longReplyKeepsTheFirst1600_data()
{
    QTest::addColumn<int>("items");
    QTest::addColumn<int>("kept");
    QTest::newRow("1600") << 1600 << 1600;
    QTest::newRow("1601") << 1601 << 1600;
    QTest::newRow("5000") << 5000 << 1600;
}

// Catches: more than 1600 items stored (past the lists) or the 1600th lost.
void TestMeasParse::longReplyKeepsTheFirst1600()
{
    QFETCH(int, items);
    QFETCH(int, kept);
    QByteArray on, off;
    for (int i = 0; i < items; ++i) {
        on += (i ? ",H " : "H ") + QByteArray::number(i) + " v" + QByteArray::number(i);
        off += (i ? ",v" : "v") + QByteArray::number(i);
    }
    MeasLists l;
    QCOMPARE(l.SplitHeaderData(on + "\r\n"), kept);
    QCOMPARE(l.MeasHeader(kept - 1), "H " + QByteArray::number(kept - 1));
    QCOMPARE(l.MeasData(kept - 1), "v" + QByteArray::number(kept - 1));
    QCOMPARE(l.MeasHeader(kept) + l.MeasData(kept), QByteArray("ENDEND"));
    QCOMPARE(l.SplitData(off + "\r\n"), kept);
    QCOMPARE(l.MeasData(kept), QByteArray("END"));
}

// Catches: the END marker misplaced after a shorter reply.
void TestMeasParse::shorterReplyLeavesOlderEntriesAfterTheMarker()
{
    MeasLists l;
    QCOMPARE(l.SplitHeaderData("A 1,B 2,C 3,D 4,E 5\r\n"), 5);
    QCOMPARE(l.SplitHeaderData("a 7,b 8,c 9\r\n"), 3);
    QCOMPARE(l.MeasHeader(3) + l.MeasData(3), QByteArray("ENDEND"));
    QCOMPARE(l.MeasHeader(4) + l.MeasData(4), QByteArray("E5"));
}

QTEST_GUILESS_MAIN(TestMeasParse)
#include "test_measparse.moc"
