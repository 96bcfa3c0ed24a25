#include "CommPort.h"

int CommPort::baudRate() const
{
    return m_settings.section(QLatin1Char(','), 0, 0).trimmed().toInt();
}
