#include "TransferMeter.h"

void TransferMeter::start(qint64 startPos, qint64 size)
{
    m_startPos = startPos;
    m_size = size;
    m_clock.start();
}

QString TransferMeter::update(qint64 end)
{
    return describe(end - m_startPos + 1, m_clock.elapsed(), m_size - end);
}

QString TransferMeter::describe(qint64 bytesMoved, qint64 elapsedMs, qint64 bytesLeft)
{
    // Too early for a meaningful speed.
    if (bytesMoved <= 0 || elapsedMs < 200)
        return QString();
    const double perSecond = double(bytesMoved) * 1000.0 / double(elapsedMs);
    QString speed;
    if (perSecond >= 1e6)
        speed = QStringLiteral("%1 MB/s").arg(perSecond / 1e6, 0, 'f', 1);
    else if (perSecond >= 1e3)
        speed = QStringLiteral("%1 kB/s").arg(perSecond / 1e3, 0, 'f', 1);
    else
        speed = QStringLiteral("%1 B/s").arg(qint64(perSecond));
    const qint64 secondsLeft = qint64(double(bytesLeft) / perSecond + 0.5);
    const QString left = secondsLeft >= 3600
                             ? QStringLiteral("%1:%2:%3")
                                   .arg(secondsLeft / 3600)
                                   .arg(secondsLeft / 60 % 60, 2, 10, QLatin1Char('0'))
                                   .arg(secondsLeft % 60, 2, 10, QLatin1Char('0'))
                             : QStringLiteral("%1:%2")
                                   .arg(secondsLeft / 60)
                                   .arg(secondsLeft % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1, %2 left").arg(speed, left);
}
