// The measured-data reply split into item names and values.

#include "MeasLists.h"

#include <QTest>

using Bytes = QList<QByteArray>;

class TestMeasParse : public QObject
{
    Q_OBJECT
private slots:
    void splitItem();
    void split_data();
    void split();
    void longReplyKeepsTheFirst1600();
};

// Catches: a name split at a later blank, or a blank trimmed that belongs to the value.
void TestMeasParse::splitItem()
{
    // The item, then its name and value.
    const QByteArray rows[][3] = {{"N1 12.5", "N1", "12.5"},
                                  {"N 2 -3.0E+1", "N 2", "-3.0E+1"},
                                  {"A B C D", "A B", "C D"}, // later blanks stay in the value
                                  {"XYZ", "", ""},
                                  {"U1  7 ", "U1 ", "7 "}}; // nothing trimmed
    for (const auto& [item, name, value] : rows)
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
// marker or the marker misplaced after a shorter reply, names taken from a values-only reply.
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
    if (n < 2) // the older reply's entries stay past the marker
        QCOMPARE(l.MeasHeader(2) + l.MeasData(2), QByteArray("Zoldest"));

    l.SplitHeaderData("X old,Y older,Z oldest\r\n");
    const int m = l.SplitData(reply);
    Bytes gotWhole;
    for (int i = 0; i <= m; ++i)
        gotWhole << l.MeasData(i);
    QCOMPARE(gotWhole, whole + Bytes{"END"});
    QCOMPARE(l.MeasHeader(0), QByteArray("X")); // names are a header-on reply's only
}

// Catches: more than 1600 items stored (past the lists) or the 1600th lost.
void TestMeasParse::longReplyKeepsTheFirst1600()
{
    const int kept = 1600;
    for (int items : {1600, 1601}) {
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
}

QTEST_GUILESS_MAIN(TestMeasParse)
#include "test_measparse.moc"
