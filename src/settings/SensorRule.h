#pragma once

#include <QtGlobal>

// The current ranges each current sensor can measure. Positions are those of the dialog
// lists: sensors 0 CLA, 1 CLB, 2 FLX-500, 3 FLX-5k, 4 CLC, 5 CLD; ranges 0 "0.5", 1 "1",
// 2 "5", 3 "10", 4 "50", 5 "100", 6 "200", 7 "500", 8 "1k", 9 "5k".
namespace SensorRule {

inline constexpr int SensorCount = 6;
inline constexpr int RangeCount = 10;

// The range position that the sensor allows in place of range: range itself when allowed,
// otherwise the sensor's replacement. An unknown sensor leaves range as it is.
qint32 allowedRange(qint32 sensor, qint32 range);

} // namespace SensorRule
