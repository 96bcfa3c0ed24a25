// The trend window's store, its per-column reduction and the files it opens.

#include "TrendFile.h"
#include "TrendHistory.h"
#include "TrendPlot.h"

#include <QTest>

#include <cmath>

using Bytes = QList<QByteArray>;
using Points = QList<QPointF>;

namespace {

// An item's points; -1 stands for a gap, as NaN compares unequal to itself.
Points points(const TrendHistory& h, const QByteArray& name)
{
    const TrendHistory::Series s = h.series(name);
    Points out;
    for (qsizetype i = 0; i < s.size(); ++i)
        out << QPointF(double(s.x(i)), std::isnan(s.y(i)) ? -1.0 : double(s.y(i)));
    return out;
}

} // namespace

class TestTrend : public QObject
{
    Q_OBJECT
private slots:
    void value();
    void recentPointsDropOldestFirst();
    void chosenItemsKeepLonger();
    void namesChangeKeepsChosenWithGaps();
    void plotKeepsPeaksAndBreaksAtGaps();
    void readFile_data();
    void readFile();
    void readFileRefusesWhatIsNoTable();
};

// Catches: a sign, leading zero, exponent or padding read wrong; a text that is not wholly a
// number read as one instead of a gap.
void TestTrend::value()
{
    const std::pair<const char*, float> numbers[] = {{"+100.10", 100.1f},   {"-12.5", -12.5f},
                                                     {"+1.234E+03", 1234},  {" 7 ", 7},
                                                     {"-0.0025", -0.0025f}, {"+1.5E-3", 0.0015f}};
    for (const auto& [text, v] : numbers)
        QCOMPARE(TrendValue(text), v);
    for (const char* gap : {"1E", ".", "-----", "OVER", "", "+-1", "inf", "12V"})
        QVERIFY2(std::isnan(TrendValue(gap)), gap);
}

// Catches: points kept past the count or the span, newer ones dropped first, a short reply
// shifting items, a newly chosen item starting empty.
void TestTrend::recentPointsDropOldestFirst()
{
    // At most 3 points and 25 x units per item.
    TrendHistory h({3, 25, 10, 1000});
    h.setNames({"U", "I"});
    h.append(0, Bytes{"1", "9"});
    h.append(10, Bytes{"2", "OVER"});
    h.append(20, Bytes{"3", "5"});
    h.append(30, Bytes{"4"}); // a short reply: I gets a gap
    QCOMPARE(points(h, "U"), (Points{{10, 2}, {20, 3}, {30, 4}}));
    QCOMPARE(points(h, "I"), (Points{{10, -1}, {20, 5}, {30, -1}}));
    h.append(50, Bytes{"7", "8"}); // 10 and 20 are now older than 25
    QCOMPARE(points(h, "U"), (Points{{30, 4}, {50, 7}}));
    // A newly chosen item starts with its recent points.
    QVERIFY(h.setChosen("I", true));
    h.append(60, Bytes{"9", "10"});
    QCOMPARE(points(h, "I"), (Points{{30, -1}, {50, 8}, {60, 10}}));
}

// Catches: more than MaxChosen items chosen, a chosen item kept no longer than the others,
// its points lost when it is no longer chosen.
void TestTrend::chosenItemsKeepLonger()
{
    TrendHistory h({2, 1000, 4, 1000});
    Bytes names;
    for (int i = 0; i < 10; ++i)
        names << "N" + QByteArray::number(i);
    h.setNames(names);
    for (int i = 0; i < TrendHistory::MaxChosen; ++i)
        QVERIFY(h.setChosen(names[i], true));
    QVERIFY(!h.setChosen("N9", true));
    QVERIFY(!h.setChosen("unknown", true));
    for (int x = 1; x <= 6; ++x)
        h.append(x, Bytes(10, QByteArray::number(x)));
    QCOMPARE(points(h, "N0"), (Points{{3, 3}, {4, 4}, {5, 5}, {6, 6}}));
    QCOMPARE(points(h, "N9"), (Points{{5, 5}, {6, 6}}));
    QCOMPARE(h.lastText("N7"), QByteArray("6"));
    QVERIFY(h.setChosen("N0", false));
    QCOMPARE(points(h, "N0"), (Points{{5, 5}, {6, 6}}));
    QCOMPARE(h.measurements(), 4); // x 3..6, still held by N1..N7
}

// Catches: a chosen item lost when the names change, a value given to the wrong item, an
// item that is neither shown nor chosen kept, a repeated name merged with the first.
void TestTrend::namesChangeKeepsChosenWithGaps()
{
    TrendHistory h;
    h.setNames({"U", "I", "P"});
    QVERIFY(h.setChosen("U", true));
    h.append(1000, Bytes{"1", "2", "3"});
    h.setNames({"P", "F", "P"});
    h.append(2000, Bytes{"30", "50", "31"});
    QCOMPARE(points(h, "U"), (Points{{1000, 1}, {2000, -1}}));
    QCOMPARE(points(h, "I"), Points{}); // forgotten: neither shown nor chosen
    QCOMPARE(points(h, "P"), (Points{{1000, 3}, {2000, 30}}));
    QCOMPARE(points(h, "P #2"), (Points{{2000, 31}}));
}

// Catches: a peak lost in the reduction, more than four points a column, a line drawn
// across a gap, a lone value not drawn.
void TestTrend::plotKeepsPeaksAndBreaksAtGaps()
{
    TrendHistory h(TrendHistory::unlimited(10000));
    h.setNames({"U"});
    for (int i = 0; i < 10000; ++i) {
        QByteArray v = QByteArray::number(i % 7);
        if (i == 4321)
            v = "+999";
        if (i == 6000 || i == 9995)
            v = "OVER";
        h.append(i, Bytes{v});
    }
    const TrendPlot p = PlotColumns(h.series("U"), 0, 9999, 10);
    QCOMPARE(p.yMax, 999.0);
    QCOMPARE(p.yMin, 0.0);
    qsizetype drawn = p.dots.size();
    bool peak = false;
    for (const auto& line : p.lines) {
        drawn += line.size();
        for (const QPointF& pt : line)
            peak = peak || pt == QPointF(4321, 999);
    }
    QVERIFY(peak);
    QVERIFY(drawn <= 4 * 10);
    // Columns 6 and 9 hold gaps: lines 0-5, 6, 7-8, 9.
    QCOMPARE(p.lines.size(), 4);
    QCOMPARE(p.lines[0].front().x(), 0.0);
    QCOMPARE(p.lines[1].front().x(), 6001.0); // just after the gap
    QCOMPARE(p.lines[2].front().x(), 7000.0);

    // A lone value between gaps has no neighbour to join.
    TrendHistory g(TrendHistory::unlimited(3));
    g.setNames({"U"});
    g.append(0, Bytes{"-----"});
    g.append(1, Bytes{"5"});
    g.append(2, Bytes{"-----"});
    const TrendPlot q = PlotColumns(g.series("U"), 0, 2, 100);
    QCOMPARE(q.lines.size(), 0);
    QCOMPARE(q.dots, QList<QPointF>{QPointF(1, 5)});
}

void TestTrend::readFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("timed");
    QTest::addColumn<QByteArray>("item");
    QTest::addColumn<Points>("expected"); // -1: a gap
    const auto at = [](QTime t, Qt::TimeSpec zone = Qt::LocalTime) {
        return double(QDateTime(QDate(2026, 12, 7), t, zone).toMSecsSinceEpoch());
    };

    QTest::newRow("measurement log, names twice")
        << QByteArray("U,I,\r\n1.5,OVER,\r\n2.5,3,\r\nU,I,\r\n-----,-----,\r\n4,5,\r\n") << false
        << QByteArray("U") << Points{{1, 1.5}, {2, 2.5}, {3, -1}, {4, 4}};
    QTest::newRow("measurement log, new items")
        << QByteArray("U,\r\n1,\r\nP,\r\n7,\r\n") << false << QByteArray("P") << Points{{2, 7}};
    // Times with milliseconds and offsets, as pqlink-cli writes them.
    QTest::newRow("csv with time")
        << QByteArray("time,U,I\n2026-12-07T10:00:00,+1.0E+2,1\n2026-12-07T10:00:01.500Z,OVER,2\n")
        << true << QByteArray("U")
        << Points{{at(QTime(10, 0)), 100}, {at(QTime(10, 0, 1, 500), Qt::UTC), -1}};
    QTest::newRow("csv without time")
        << QByteArray("\"U\",I\n1,2\n3,4\n") << false << QByteArray("I") << Points{{1, 2}, {2, 4}};
}

// Catches: a log's names taken for values or the reverse, a time or its offset misread, the
// time column taken for an item.
void TestTrend::readFile()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, timed);
    QFETCH(QByteArray, item);
    QFETCH(Points, expected);
    const TrendFile f = ReadTrendFile(content);
    QVERIFY2(f.history, qPrintable(f.error));
    QCOMPARE(f.timed, timed);
    QCOMPARE(points(*f.history, item), expected);
}

// Catches: a file that is not a table of measured values opened as one, or refused without a
// reason.
void TestTrend::readFileRefusesWhatIsNoTable()
{
    const QByteArray refused[] = {"time,U\nyesterday,1\n", "time,U,I\n2026-12-07T10:00:00,1\n",
                                  "1,2,\r\n3,4,\r\n", "U,I\nOVER,-----\n",
                                  QByteArray("\x89PNG\0\0,\n1,\n", 12)};
    for (const QByteArray& content : refused) {
        const TrendFile f = ReadTrendFile(content);
        QVERIFY2(!f.history && !f.error.isEmpty(), content.constData());
    }
}

QTEST_GUILESS_MAIN(TestTrend)
#include "test_trend.moc"
