// The trend window opened from the measurement window, fed by its measurements.

#include "FrmMeas.h"
#include "FrmTrend.h"
#include "Link.h"
#include "SimBench.h"
#include "TrendFile.h"

#include <QAction>
#include <QChartView>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QValueAxis>

class TestFrmTrend : public QObject
{
    Q_OBJECT
private slots:
    void followsSingleAndRepeatAndClosesWithTheWindow();
    void filesInAndOut();
};

// Catches: a second trend window, a Single or a repeat pass that adds no point, the wrong
// value drawn, a flat axis for a single point, a ninth item drawn, the trend window outliving the
// measurement window.
void TestFrmTrend::followsSingleAndRepeatAndClosesWithTheWindow()
{
    SimBench b;
    b.instrument.config().measItems = 9;
    QVERIFY(b.connectDirect());
    FrmMeas* meas = b.openMeas();
    QVERIFY(meas);
    QAction* trend = b.child<QAction>(meas, "MVTrend");
    trend->trigger();
    trend->trigger();
    QPointer<FrmTrend> w = meas->trendWindow();
    QVERIFY(w);
    QCOMPARE(std::ranges::count_if(QApplication::topLevelWidgets(),
                                   [](QWidget* t) { return qobject_cast<FrmTrend*>(t); }),
             1);

    b.child<QPushButton>(meas, "CommandSingle")->click();
    QVERIFY(TestUtil::waitFor([&] { return w->items()->count() > 0; }));
    QCOMPARE(w->items()->item(0)->text(), QStringLiteral("U1"));
    w->items()->item(0)->setCheckState(Qt::Checked);
    QCOMPARE(w->chartsShown(), 1);
    QVERIFY(w->hoverText(0, double(meas->trendHistory().lastX())).contains(QLatin1String("100.1")));
    // One point is no range: the value axis still opens around it.
    const auto* axis = qobject_cast<QValueAxis*>(
        w->findChild<QChartView*>()->chart()->axes(Qt::Vertical).value(0));
    QVERIFY(axis && axis->min() < 100.1 && axis->max() > 100.1);
    for (int row = 1; row < 9; ++row) // the ninth tick is refused, with its message
        w->items()->item(row)->setCheckState(Qt::Checked);
    QCOMPARE(w->items()->item(8)->checkState(), Qt::Unchecked);
    QCOMPARE(b.child<QLabel>(w, "LabelCursor")->text(),
             QStringLiteral("At most 8 items are drawn."));

    // Each pass of a repeat run adds a point: stopped at its fourth measurement, the run has
    // shown four.
    b.child<QComboBox>(meas, "ComboRepeat")->setEditText(QStringLiteral("fast"));
    meas->timerRepeat().setInterval(10);
    QPushButton* repeat = b.child<QPushButton>(meas, "CommandRepeat");
    b.onLine(":MEAS?", 4, [&] { repeat->click(); });
    repeat->click();
    QVERIFY(TestUtil::waitFor([&] { return TestUtil::caption(repeat) == "Repeat"; }) && b.settle());
    QVERIFY(meas->trendHistory().series("U1").size() >= 4);
    const TrendHistory::Series u1 = meas->trendHistory().series("U1");
    for (qsizetype i = 0; i < u1.size(); ++i)
        QVERIFY(u1.y(i) > 99 && u1.y(i) < 101);

    meas->unload();
    QVERIFY(TestUtil::waitFor([&] { return w.isNull(); }));
}

// Catches: saved data that reads back with other items, times or gaps (an untimed log's row
// column read as an item), a file that is no log changing the window.
void TestFrmTrend::filesInAndOut()
{
    QTemporaryDir dir;
    auto live = std::make_shared<TrendHistory>();
    live->setNames({"U1", "F"});
    live->append(1'000'000, QList<QByteArray>{"+100.10", "OVER"});
    live->append(1'001'000, QList<QByteArray>{"+100.20", "+50.00"});
    ScriptedMessages messages;
    FrmTrend w(live);
    for (int i = 0; i < 2; ++i)
        w.items()->item(i)->setCheckState(Qt::Checked);
    QCOMPARE(w.chartsShown(), 2);

    // Saved data reads back as it was, gaps included.
    const auto saved = [&w, csv = dir.filePath(QStringLiteral("t.csv"))] {
        QFile f(csv);
        return w.saveData(csv) && f.open(QIODevice::ReadOnly) ? ReadTrendFile(f.readAll())
                                                              : TrendFile{};
    };
    const TrendFile back = saved();
    QVERIFY2(back.history, qPrintable(back.error));
    QVERIFY(back.timed);
    const TrendHistory::Series s = back.history->series("F");
    QCOMPARE(s.size(), 2);
    QVERIFY(std::isnan(s.y(0)));
    QCOMPARE(s.y(1), 50.0f);
    QCOMPARE(s.x(1), 1'001'000);

    const QString png = dir.filePath(QStringLiteral("t.png"));
    QVERIFY(w.savePicture(png));
    QCOMPARE(QImage(png).isNull(), false);

    // A file that is missing or no log changes nothing.
    QVERIFY(!w.openLog(dir.filePath(QStringLiteral("missing.log"))) && !w.openLog(png));
    QCOMPARE(messages.shown().size(), 2);
    QCOMPARE(w.items()->count(), 2);
    QCOMPARE(w.chartsShown(), 2);

    QFile log(dir.filePath(QStringLiteral("data.log")));
    QVERIFY(log.open(QIODevice::WriteOnly) && log.write("U1,CH1 I1,\r\n+1,+2,\r\n+3,+4,\r\n") > 0);
    log.close();
    QVERIFY(w.openLog(log.fileName()));
    QCOMPARE(w.items()->count(), 2);
    QCOMPARE(w.items()->item(1)->text(), QStringLiteral("CH1 I1"));
    QCOMPARE(w.chartsShown(), 1); // U1, as drawn live
    QCOMPARE(w.hoverText(0, 2.2), QStringLiteral("U1   row 2   3"));
    const TrendFile rows = saved();
    QVERIFY2(rows.history && !rows.timed, qPrintable(rows.error));
    QCOMPARE(rows.history->names(), QList<QByteArray>{"U1"});
    QCOMPARE(rows.history->series("U1").x(1), 2);
    w.showLive();
    QCOMPARE(w.chartsShown(), 2);
}

QTEST_MAIN(TestFrmTrend)
#include "test_frmtrend.moc"
