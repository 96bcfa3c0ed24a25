#pragma once

#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QTimer>

#include <deque>

class QSocketNotifier;
class SimInstrument;

// Serves a SimInstrument on the master side of a pseudo-terminal, pacing what it reads and
// sends at the configured line speed. Survives the client closing and reopening the port.
class PtyServer : public QObject
{
    Q_OBJECT
public:
    explicit PtyServer(SimInstrument& instrument, QObject* parent = nullptr);
    ~PtyServer() override;

    // Opens the pseudo-terminal (raw, no echo); returns false with *error on failure.
    bool start(QString* error);
    QString devicePath() const { return m_slavePath; }
    // Appends every line received from the client to path, one a line without its CR LF, so a
    // test can see the wire as the instrument saw it. Returns false with *error on failure.
    bool setLog(const QString& path, QString* error);

private:
    struct Pending
    {
        qint64 dueNs;
        QByteArray bytes;
    };
    void onReadable();
    void pollReopen();
    void logReceived(const QByteArray& bytes);
    void clientClosed();
    void schedule(qint64 dueNs, const QByteArray& bytes);
    void pump();
    qint64 byteNs() const;

    SimInstrument& m_instrument;
    int m_master = -1;
    QString m_slavePath;
    QSocketNotifier* m_readNotifier = nullptr;
    QSocketNotifier* m_writeNotifier = nullptr;
    QTimer m_reopenPoll;
    QTimer m_sendTimer;
    QElapsedTimer m_clock;
    qint64 m_readFreeNs = 0; // when the paced line has delivered what was read so far
    qint64 m_sendFreeNs = 0; // when the paced line can take the next byte
    std::deque<Pending> m_queue;
    bool m_clientOpen = false;
    QFile m_log;
    QByteArray m_logLine; // the part of a line received so far
};
