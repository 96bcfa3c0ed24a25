#include "WiringRule.h"

namespace WiringRule {

qint32 maxCircuits(qint32 wiring)
{
    switch (wiring) {
    case 0: // 1P2W
        return 4;
    case 1: // 1P3W
    case 2: // 3P3W2M
        return 2;
    default: // 3P3W3M, 3P4W, 3P4W4I use every input for one circuit
        return 1;
    }
}

qint32 allowedCount(qint32 wiring, qint32 count)
{
    return count > maxCircuits(wiring) ? 1 : count;
}

} // namespace WiringRule
