#include "TrendPlot.h"

#include <algorithm>
#include <cmath>

namespace {

struct Column
{
    qsizetype first = -1, last = -1, low = -1, high = -1;
    float lowY = 0, highY = 0;
    bool gap = false;
    bool numbers() const { return first >= 0; }
};

} // namespace

TrendPlot PlotColumns(const TrendHistory::Series& series, qint64 x0, qint64 x1, int columns)
{
    TrendPlot plot;
    columns = std::max(columns, 1);
    const qsizetype begin = series.lowerBound(x0);
    const qsizetype end = series.lowerBound(x1 + 1);
    const double perX = columns / double(std::max<qint64>(x1 - x0, 1));

    QList<QPointF> line;
    const auto endLine = [&] {
        if (line.size() == 1)
            plot.dots << line.front();
        else if (line.size() > 1)
            plot.lines << line;
        line.clear();
    };
    const auto point = [&](qsizetype i) { return QPointF(double(series.x(i)), series.y(i)); };
    const auto flush = [&](const Column& c) {
        if (!c.numbers()) {
            if (c.gap)
                endLine();
            return;
        }
        if (!plot.hasNumbers) {
            plot.yMin = c.lowY;
            plot.yMax = c.highY;
            plot.hasNumbers = true;
        }
        plot.yMin = std::min<double>(plot.yMin, c.lowY);
        plot.yMax = std::max<double>(plot.yMax, c.highY);
        if (c.gap)
            endLine();
        qsizetype picks[4] = {c.first, c.low, c.high, c.last};
        std::sort(picks, picks + 4);
        for (int k = 0; k < 4; ++k)
            if (k == 0 || picks[k] != picks[k - 1])
                line << point(picks[k]);
        if (c.gap)
            endLine();
    };

    Column col;
    int colIndex = -1;
    for (qsizetype i = begin; i < end; ++i) {
        const int at = std::min(columns - 1, int(double(series.x(i) - x0) * perX));
        if (at != colIndex) {
            flush(col);
            col = Column();
            colIndex = at;
        }
        const float y = series.y(i);
        if (std::isnan(y)) {
            col.gap = true;
            continue;
        }
        if (col.first < 0) {
            col.first = col.low = col.high = i;
            col.lowY = col.highY = y;
        } else if (y < col.lowY) {
            col.low = i;
            col.lowY = y;
        } else if (y > col.highY) {
            col.high = i;
            col.highY = y;
        }
        col.last = i;
    }
    flush(col);
    endLine();
    return plot;
}
