// The trend window's store, its per-column reduction and the files it opens.

#include "TrendFile.h"
#include "TrendHistory.h"
#include "TrendPlot.h"

#include <QTest>

#include <cmath>

using Bytes = QList<QByteArray>;

namespace {

QList<float> values(const TrendHistory& h, const QByteArray& name)
{
    const TrendHistory::Series s = h.series(name);
    QList<float> out;
    for (qsizetype i = 0; i < s.size(); ++i)
        out << s.y(i);
    return out;
}

// NaN compares unequal to itself; -1 stands for a gap in the expectations.
QList<float> gapsAsMinusOne(QList<float> v)
{
    for (float& f : v)
        if (std::isnan(f))
            f = -1;
    return v;
}

} // namespace

class TestTrend : public QObject
{
    Q_OBJECT
private slots:
    void value_data();
    void value();
    void recentPointsDropOldestFirst();
    void chosenItemsKeepLonger();
    void namesChangeKeepsChosenWithGaps();
    void plotKeepsPeaksAndBreaksAtGaps();
    void readFile_data();
    void readFile();
};

void TestTrend::value_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<double>("expected"); // NaN: a gap
    const double gap = std::nan("");
    QTest::newRow("plus") << QByteArray("+100.10") << 100.1;
    QTest::newRow("minus") << QByteArray("-12.5") << -12.5;
    QTest::newRow("exponent") << QByteArray("+1.234E+03") << 1234.0;
    QTest::newRow("blank padded") << QByteArray(" 7 ") << 7.0;
    QTest::newRow("small") << QByteArray("-0.0025") << -0.0025;
    QTest::newRow("negative exponent") << QByteArray("+1.5E-3") << 0.0015;
    QTest::newRow("exponent without digits") << QByteArray("1E") << gap;
    QTest::newRow("point alone") << QByteArray(".") << gap;
    QTest::newRow("dashes") << QByteArray("-----") << gap;
    QTest::newRow("over") << QByteArray("OVER") << gap;
    QTest::newRow("empty") << QByteArray() << gap;
    QTest::newRow("two signs") << QByteArray("+-1") << gap;
    QTest::newRow("inf") << QByteArray("inf") << gap;
    QTest::newRow("trailing text") << QByteArray("12V") << gap;
}

void TestTrend::value()
{
    QFETCH(QByteArray, text);
    QFETCH(double, expected);
    const float v = TrendValue(text);
    if (std::isnan(expected))
        QVERIFY(std::isnan(v));
    else
        QCOMPARE(v, float(expected));
}

void TestTrend::recentPointsDropOldestFirst()
{
    // At most 3 points and 25 x units per item.
    TrendHistory h({3, 25, 10, 1000});
    h.setNames({"U", "I"});
    h.append(0, Bytes{"1", "9"});
    h.append(10, Bytes{"2", "OVER"});
    h.append(20, Bytes{"3", "5"});
    h.append(30, Bytes{"4"}); // a short reply: I gets a gap
    QCOMPARE(values(h, "U"), (QList<float>{2, 3, 4}));
    QCOMPARE(h.series("U").x(0), 10);
    QCOMPARE(gapsAsMinusOne(values(h, "I")), (QList<float>{-1, 5, -1}));
    h.append(50, Bytes{"7", "8"}); // 10 and 20 are now older than 25
    QCOMPARE(values(h, "U"), (QList<float>{4, 7}));
    QCOMPARE(h.series("U").x(0), 30);
    // A newly chosen item starts with its recent points.
    QVERIFY(h.setChosen("I", true));
    h.append(60, Bytes{"9", "10"});
    QCOMPARE(gapsAsMinusOne(values(h, "I")), (QList<float>{-1, 8, 10}));
    QCOMPARE(h.series("I").x(0), 30);
}

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
    QCOMPARE(values(h, "N0"), (QList<float>{3, 4, 5, 6}));
    QCOMPARE(values(h, "N9"), (QList<float>{5, 6}));
    QCOMPARE(h.series("N0").x(0), 3);
    QCOMPARE(h.lastText("N7"), QByteArray("6"));
    QVERIFY(h.setChosen("N0", false));
    QCOMPARE(values(h, "N0"), (QList<float>{5, 6}));
    QCOMPARE(h.series("N0").x(0), 5);
    QCOMPARE(h.measurements(), 4); // x 3..6, still held by N1..N7
}

void TestTrend::namesChangeKeepsChosenWithGaps()
{
    TrendHistory h;
    h.setNames({"U", "I", "P"});
    QVERIFY(h.setChosen("U", true));
    h.append(1000, Bytes{"1", "2", "3"});
    h.setNames({"P", "F", "P"});
    h.append(2000, Bytes{"30", "50", "31"});
    QCOMPARE(gapsAsMinusOne(values(h, "U")), (QList<float>{1, -1}));
    QCOMPARE(values(h, "I"), QList<float>{}); // forgotten: neither shown nor chosen
    QCOMPARE(values(h, "P"), (QList<float>{3, 30}));
    QCOMPARE(values(h, "P #2"), (QList<float>{31}));
    QCOMPARE(h.series("P #2").x(0), 2000);
}

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
    QTest::addColumn<QList<qint64>>("xs");
    QTest::addColumn<QList<float>>("ys"); // -1: a gap; nothing: no such file

    QTest::newRow("measurement log, names twice")
        << QByteArray("U,I,\r\n1.5,OVER,\r\n2.5,3,\r\nU,I,\r\n-----,-----,\r\n4,5,\r\n") << false
        << QByteArray("U") << QList<qint64>{1, 2, 3, 4} << QList<float>{1.5f, 2.5f, -1, 4};
    QTest::newRow("measurement log, new items")
        << QByteArray("U,\r\n1,\r\nP,\r\n7,\r\n") << false << QByteArray("P") << QList<qint64>{2}
        << QList<float>{7};
    QTest::newRow("csv with time")
        << QByteArray("time,U,I\n2026-12-07T10:00:00,+1.0E+2,1\n2026-12-07T10:00:01.500,OVER,2\n")
        << true << QByteArray("U")
        << QList<qint64>{QDateTime(QDate(2026, 12, 7), QTime(10, 0)).toMSecsSinceEpoch(),
                         QDateTime(QDate(2026, 12, 7), QTime(10, 0, 1, 500)).toMSecsSinceEpoch()}
        << QList<float>{100, -1};
    QTest::newRow("csv of pqlink-cli, with offsets")
        << QByteArray("time,U\n2026-12-07T10:00:00+01:00,1\n2026-12-07T10:00:01Z,2\n") << true
        << QByteArray("U")
        << QList<qint64>{QDateTime(QDate(2026, 12, 7), QTime(9, 0), Qt::UTC).toMSecsSinceEpoch(),
                         QDateTime(QDate(2026, 12, 7), QTime(10, 0, 1), Qt::UTC)
                             .toMSecsSinceEpoch()}
        << QList<float>{1, 2};
    QTest::newRow("csv without time")
        << QByteArray("\"U\",I\n1,2\n3,4\n") << false << QByteArray("I") << QList<qint64>{1, 2}
        << QList<float>{2, 4};
    QTest::newRow("bad time") << QByteArray("time,U\nyesterday,1\n") << false << QByteArray()
                              << QList<qint64>{} << QList<float>{};
    QTest::newRow("short row") << QByteArray("time,U,I\n2026-12-07T10:00:00,1\n") << false
                               << QByteArray() << QList<qint64>{} << QList<float>{};
    QTest::newRow("numbers first") << QByteArray("1,2,\r\n3,4,\r\n") << false << QByteArray()
                                   << QList<qint64>{} << QList<float>{};
    QTest::newRow("no value") << QByteArray("Dear colleague,\nsee you\n") << false << QByteArray()
                              << QList<qint64>{} << QList<float>{};
    QTest::newRow("binary") << QByteArray("\x89PNG\0\0,\n1,\n", 12) << false << QByteArray()
                            << QList<qint64>{} << QList<float>{};
}

void TestTrend::readFile()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, timed);
    QFETCH(QByteArray, item);
    QFETCH(QList<qint64>, xs);
    QFETCH(QList<float>, ys);
    const TrendFile f = ReadTrendFile(content);
    if (ys.isEmpty()) {
        QVERIFY(!f.history);
        QVERIFY(!f.error.isEmpty());
        return;
    }
    QVERIFY2(f.history, qPrintable(f.error));
    QCOMPARE(f.timed, timed);
    const TrendHistory::Series s = f.history->series(item);
    QList<qint64> gotX;
    for (qsizetype i = 0; i < s.size(); ++i)
        gotX << s.x(i);
    QCOMPARE(gotX, xs);
    QCOMPARE(gapsAsMinusOne(values(*f.history, item)), ys);
}

QTEST_GUILESS_MAIN(TestTrend)
#include "test_trend.moc"
