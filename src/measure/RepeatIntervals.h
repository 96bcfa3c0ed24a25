#pragma once

#include <QStringList>

#include <optional>

// The intervals offered for repeated measurements.
namespace RepeatIntervals {

// The list texts, in list order (blanks included).
const QStringList& texts();
// The timer interval of a list position; none for a position off the list.
std::optional<int> milliseconds(int index);
// The position selected when the window opens: "30s".
constexpr int defaultIndex = 5;

} // namespace RepeatIntervals
