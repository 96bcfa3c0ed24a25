#include "StallMeter.h"

#include <QStringList>

#include <algorithm>

StallMeter::StallMeter()
{
    m_timer.setInterval(5);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &StallMeter::tick);
}

void StallMeter::start()
{
    m_maxGapNs = 0;
    m_gapsNs.clear();
    m_clock.start();
    m_lastNs = 0;
    m_timer.start();
}

void StallMeter::stop()
{
    m_timer.stop();
    // The gap up to now counts too: a handler may still hold the thread when work ends.
    tick();
}

void StallMeter::tick()
{
    const qint64 now = m_clock.nsecsElapsed();
    const qint64 gap = now - m_lastNs;
    m_lastNs = now;
    m_gapsNs.push_back(gap);
    m_maxGapNs = std::max(m_maxGapNs, gap);
}

QString StallMeter::longest(int count) const
{
    std::vector<size_t> order(m_gapsNs.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(),
              [this](size_t a, size_t b) { return m_gapsNs[a] > m_gapsNs[b]; });
    // The tick that ended gap i came at the sum of the gaps up to it.
    std::vector<qint64> at(m_gapsNs.size());
    qint64 sum = 0;
    for (size_t i = 0; i < at.size(); ++i)
        at[i] = sum += m_gapsNs[i];
    QStringList out;
    for (size_t k = 0; k < order.size() && int(k) < count; ++k)
        out << QStringLiteral("%1 ms at %2 s")
                   .arg(double(m_gapsNs[order[k]]) / 1e6, 0, 'f', 1)
                   .arg(double(at[order[k]]) / 1e9, 0, 'f', 2);
    return out.join(QStringLiteral(", "));
}

int StallMeter::gapsOver(double ms) const
{
    return int(std::count_if(m_gapsNs.begin(), m_gapsNs.end(),
                             [ms](qint64 g) { return double(g) / 1e6 > ms; }));
}
