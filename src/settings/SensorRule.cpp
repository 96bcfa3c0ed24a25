#include "SensorRule.h"

namespace SensorRule {

namespace {
struct Rule
{
    qint32 low; // window of ranges tested first
    qint32 high;
    qint32 outside; // what a range outside the window becomes
    qint32 gap;     // a range inside the window that the sensor cannot measure (-1: none)
    qint32 gapBecomes;
};

// The flexible sensors (FLX) have a single range, so their window is empty.
constexpr Rule kRules[SensorCount] = {
    {2, 5, 5, -1, -1}, // CLA: 5 to 100 A
    {2, 7, 7, 6, 5},   // CLB: 5 to 500 A, but not 200 A
    {1, 0, 7, -1, -1}, // FLX-500
    {1, 0, 9, -1, -1}, // FLX-5k
    {5, 8, 8, 7, 8},   // CLC: 100, 200 and 1k A
    {0, 2, 2, -1, -1}, // CLD: 0.5 to 5 A
};
} // namespace

qint32 allowedRange(qint32 sensor, qint32 range)
{
    if (sensor < 0 || sensor >= SensorCount)
        return range;
    const Rule& rule = kRules[sensor];
    if (range < rule.low || range > rule.high)
        return rule.outside;
    if (range == rule.gap)
        return rule.gapBecomes;
    return range;
}

} // namespace SensorRule
