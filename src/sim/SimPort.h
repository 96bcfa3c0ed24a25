#pragma once

#include "CommPort.h"

#include <QElapsedTimer>
#include <QTimer>

#include <deque>

class SimInstrument;

// An in-process serial port whose other end is a SimInstrument. Replies arrive
// asynchronously through the event loop, optionally cut into small pieces, so the link is
// tested as it runs against a real line.
class SimPort : public CommPort
{
    Q_OBJECT
public:
    explicit SimPort(SimInstrument& instrument, QObject* parent = nullptr);

    bool open(QString* error) override;
    void close() override;
    bool isOpen() const override { return m_open; }
    void write(const QByteArray& bytes) override;
    qint64 bytesWaiting() const override { return m_inbox.size(); }
    void discardInput() override { m_inbox.clear(); }
    QByteArray read(qint64 maxBytes) override;
    QString deviceName(int n) const override;

    // Deliver received bytes in pieces of at most n bytes, one receive event each (0: whole).
    void setPieceSize(int n) { m_pieceSize = n; }
    // The next open fails with this text (empty: opens).
    void setOpenError(const QString& text) { m_openError = text; }
    // Bytes that arrive from the line as if the instrument had sent them, after delayMs.
    void inject(const QByteArray& bytes, int delayMs = 0);
    // Nothing is on its way to the program.
    bool idle() const { return m_queue.empty(); }
    // Everything the program wrote since the port was made.
    QByteArray written() const { return m_written; }
    void clearWritten() { m_written.clear(); }
    int openCount() const { return m_openCount; }

private:
    struct Pending
    {
        qint64 dueMs;
        QByteArray bytes;
    };
    void schedule(int delayMs, const QByteArray& bytes);
    void deliver();
    void arm();

    SimInstrument& m_instrument;
    bool m_open = false;
    int m_openCount = 0;
    int m_pieceSize = 0;
    QString m_openError;
    QByteArray m_inbox;
    QByteArray m_written;
    std::deque<Pending> m_queue;
    QElapsedTimer m_clock;
    QTimer m_timer;
};
