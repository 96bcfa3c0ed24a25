#pragma once

#include "TrendHistory.h"

#include <QList>
#include <QPointF>

// What to draw of one item in a chart `columns` pixels wide showing x0..x1: per pixel
// column at most its first, lowest, highest and last point, so that a day of points draws
// as fast as a few hundred while every peak stays visible. A column holding a gap breaks
// the line on both sides. x1 is a point's x (a row or a time), never the largest qint64.
struct TrendPlot
{
    QList<QList<QPointF>> lines; // two points or more each
    QList<QPointF> dots;         // points with no neighbour to join
    double yMin = 0;
    double yMax = 0;
    bool hasNumbers = false;
};

TrendPlot PlotColumns(const TrendHistory::Series& series, qint64 x0, qint64 x1, int columns);
