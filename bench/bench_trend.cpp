// The trend window's figures: adding a measurement, redrawing the charts, and the memory a
// full history takes. Each is printed as "name: value  # spread", with a baseline measured
// in the same run.

#include "FrmTrend.h"
#include "MeasLists.h"
#include "TrendHistory.h"
#include "TrendPlot.h"

#include <QApplication>
#include <QChartView>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QListWidget>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr int kItems = 1600;
constexpr qint64 kSecond = 1000;

struct Spread
{
    double median, min, max;
};

Spread spread(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v.front(), v.back()};
}

void figure(const char* name, double value, const QString& note)
{
    std::printf("%s: %.3f  # %s\n", name, value, qPrintable(note));
    std::fflush(stdout);
}

double rssMb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').front().toDouble() / 1024.0;
    return 0;
}

// A measurement of 1600 items as the instrument sends them: signs, four or five digits,
// sometimes an exponent, now and then a gap.
QList<QByteArray> measurement(qint64 t)
{
    QList<QByteArray> v;
    v.reserve(kItems);
    for (int i = 0; i < kItems; ++i) {
        const double x = 100.0 * std::sin(double(t) / 3.0e5 + i) + i;
        if ((t / kSecond + i) % 997 == 0)
            v << "-----";
        else if (i % 5 == 0)
            v << QByteArray::number(x, 'E', 3).prepend(x >= 0 ? "+" : "");
        else
            v << QByteArray::number(x, 'f', 2).prepend(x >= 0 ? "+" : "");
    }
    return v;
}

QList<QByteArray> names()
{
    QList<QByteArray> n;
    for (int i = 0; i < kItems; ++i)
        n << "CH" + QByteArray::number(i / 8 + 1) + " P" + QByteArray::number(i % 8 + 1);
    return n;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const double rssBefore = rssMb();

    // A day of measurements at one a second, eight items drawn.
    auto history = std::make_shared<TrendHistory>();
    history->setNames(names());
    for (int c = 0; c < TrendHistory::MaxChosen; ++c)
        history->setChosen(history->names()[c * 200], true);
    // Every 60th measurement is built anew; the others repeat it, which costs the store the
    // same.
    const qint64 start = 1'780'000'000'000;
    QList<QByteArray> values;
    qint64 t = start;
    for (int s = 0; s < 86'400; ++s, t += kSecond) {
        if (s % 60 == 0)
            values = measurement(t);
        history->append(t, values);
    }
    FrmTrend window(history);
    window.resize(1000, 760);
    window.show();
    QApplication::processEvents();
    window.redraw();
    window.grab();

    figure("trend_rss_mb", rssMb(),
           QStringLiteral("program with 24 h of 8 items and 1 h of %1 items at 1 s; %2 MB "
                          "before the history")
               .arg(kItems)
               .arg(rssBefore, 0, 'f', 1));

    // Adding one measurement as the measurement window does: into the store from its reply
    // lists, then the window told (it redraws later, once, at the next event-loop pass).
    MeasLists lists;
    {
        QByteArray reply;
        const QList<QByteArray> v = measurement(t);
        for (int i = 0; i < kItems; ++i)
            reply += (i ? "," : "") + v[i];
        lists.SplitData(reply);
    }
    std::vector<double> appendUs, parseUs;
    constexpr int batch = 200;
    for (int round = 0; round < 15; ++round) {
        QElapsedTimer timer;
        timer.start();
        for (int k = 0; k < batch; ++k, t += kSecond) {
            history->append(t, lists, kItems);
            window.measurementAdded();
        }
        appendUs.push_back(double(timer.nsecsElapsed()) / 1e3 / batch);
        // The baseline: reading the same 1600 texts as numbers into an array, nothing kept.
        std::vector<double> numbers(kItems);
        timer.restart();
        for (int k = 0; k < batch; ++k)
            for (int i = 0; i < kItems; ++i)
                numbers[std::size_t(i)] = lists.MeasData(i).toDouble();
        parseUs.push_back(double(timer.nsecsElapsed()) / 1e3 / batch);
        QApplication::processEvents(); // the deferred redraw, outside the timing
    }
    const Spread a = spread(appendUs), p = spread(parseUs);
    figure("trend_append_us", a.median,
           QStringLiteral("per measurement of %1 items, median of 15 rounds of %2; min %3, max %4")
               .arg(kItems)
               .arg(batch)
               .arg(a.min, 0, 'f', 2)
               .arg(a.max, 0, 'f', 2));
    figure("trend_append_vs_parse", a.median / p.median,
           QStringLiteral("÷ reading the 1600 texts with QByteArray::toDouble (%1 us)")
               .arg(p.median, 0, 'f', 2));

    // A full redraw: every chart's points reduced and replaced, then the window painted.
    std::vector<double> redrawMs, naiveMs, reduceMs, plotMs;
    QImage canvas(window.size(), QImage::Format_ARGB32_Premultiplied);
    for (int round = 0; round < 9; ++round) {
        QElapsedTimer timer;
        timer.start();
        for (const QByteArray& c : history->chosen())
            PlotColumns(history->series(c), history->firstX(), history->lastX(), 900);
        plotMs.push_back(double(timer.nsecsElapsed()) / 1e6);
        timer.restart();
        window.redraw();
        reduceMs.push_back(double(timer.nsecsElapsed()) / 1e6);
        window.grab();
        redrawMs.push_back(double(timer.nsecsElapsed()) / 1e6);
        // The baseline: every point of the eight items as one polyline each, painted on an
        // image of the window's size, with nothing else drawn.
        timer.restart();
        canvas.fill(Qt::white);
        QPainter painter(&canvas);
        const double h = double(canvas.height()) / TrendHistory::MaxChosen;
        for (int c = 0; c < TrendHistory::MaxChosen; ++c) {
            const TrendHistory::Series s = history->series(history->chosen()[c]);
            QPolygonF line;
            line.reserve(s.size());
            const double x0 = double(s.x(0)), dx = double(s.x(s.size() - 1)) - x0;
            for (qsizetype i = 0; i < s.size(); ++i)
                if (!std::isnan(s.y(i)))
                    line << QPointF((double(s.x(i)) - x0) / dx * canvas.width(),
                                    c * h + h / 2 - s.y(i) / 1000.0 * h);
            painter.drawPolyline(line);
        }
        painter.end();
        naiveMs.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    const Spread r = spread(redrawMs), n = spread(naiveMs), u = spread(reduceMs),
                 pc = spread(plotMs);
    qsizetype points = 0;
    for (const QByteArray& c : history->chosen())
        points = std::max(points, history->series(c).size());
    figure("trend_redraw_ms", r.median,
           QStringLiteral("8 charts of %1 points, %2x%3 window, median of 9; min %4, max %5; "
                          "%6 ms of it reducing and handing the points to the charts, of which "
                          "%7 ms reducing")
               .arg(points)
               .arg(window.width())
               .arg(window.height())
               .arg(r.min, 0, 'f', 2)
               .arg(r.max, 0, 'f', 2)
               .arg(u.median, 0, 'f', 2)
               .arg(pc.median, 0, 'f', 2));
    figure("trend_redraw_vs_polyline", r.median / n.median,
           QStringLiteral("÷ painting every point as plain polylines (%1 ms)")
               .arg(n.median, 0, 'f', 2));
    return 0;
}
