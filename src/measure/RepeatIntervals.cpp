#include "RepeatIntervals.h"

#include <array>

namespace RepeatIntervals {

namespace {
constexpr std::array<int, 10> kMs = {1000,  2000,  5000,   10000,  15000,
                                     30000, 60000, 120000, 300000, 600000};
} // namespace

const QStringList& texts()
{
    static const QStringList list = {
        QStringLiteral(" 1s"), QStringLiteral(" 2s"), QStringLiteral(" 5s"), QStringLiteral("10s"),
        QStringLiteral("15s"), QStringLiteral("30s"), QStringLiteral(" 1m"), QStringLiteral(" 2m"),
        QStringLiteral(" 5m"), QStringLiteral("10m")};
    return list;
}

std::optional<int> milliseconds(int index)
{
    if (index < 0 || index >= static_cast<int>(kMs.size()))
        return std::nullopt;
    return kMs[static_cast<std::size_t>(index)];
}

} // namespace RepeatIntervals
