#pragma once

#include <QElapsedTimer>
#include <QString>

// Speed and time left of a running download, for the progress line beside the bar.
class TransferMeter
{
public:
    // The run fetches from startPos (1-based) to size.
    void start(qint64 startPos, qint64 size);
    // The run has written up to position end; the text for the progress line.
    QString update(qint64 end);

    // "12.3 kB/s, 0:42 left" for bytes moved in elapsedMs with bytesLeft to go.
    static QString describe(qint64 bytesMoved, qint64 elapsedMs, qint64 bytesLeft);

private:
    QElapsedTimer m_clock;
    qint64 m_startPos = 1;
    qint64 m_size = 0;
};
