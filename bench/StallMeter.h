#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <vector>

// How responsive the UI thread stays: a 5 ms timer ticking on it, and the longest gap seen
// between two consecutive ticks. A handler that holds the thread shows as a long gap.
class StallMeter : public QObject
{
    Q_OBJECT
public:
    StallMeter();
    void start();
    void stop();
    double maxGapMs() const { return double(m_maxGapNs) / 1e6; }
    // Gaps longer than ms.
    int gapsOver(double ms) const;
    int ticks() const { return int(m_gapsNs.size()); }
    // "12.3 ms at 4.56 s, ..." for the longest gaps, for finding their cause.
    QString longest(int count) const;

private:
    void tick();

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_lastNs = 0;
    qint64 m_maxGapNs = 0;
    std::vector<qint64> m_gapsNs;
};
