#pragma once

#include <QByteArray>
#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include "Medium.h"

#include <array>
#include <cstdint>

class CommPort;

// The instrument link: one request/reply transaction at a time over the port, with the
// link state the windows read (Recv, Send, ConnectStat). Waiting runs a local event loop
// that wakes on received data or on the time-out, so other handlers keep running and a
// second transaction started meanwhile is refused with result 2.
class Link : public QObject
{
    Q_OBJECT
public:
    static constexpr qint32 ResultComplete = 0;
    static constexpr qint32 ResultTimeout = 1;
    static constexpr qint32 ResultBusy = 2;
    static constexpr qint32 ResultInvalidRange = 3;

    static constexpr qint16 ModeLine = 0;
    static constexpr qint16 ModeBlock = 1;
    static constexpr qint16 ModeModemAck = 2;
    static constexpr qint16 ModeModemDial = 3;

    static constexpr int BlockBufSize = 1002;
    // A reply line longer than this is cut; the transaction then ends by time-out.
    static constexpr qsizetype MaxReplySize = 16 * 1024 * 1024;
    // After a time-out, how long a completed line waits for a second line that would show
    // it to be the late answer to the earlier command.
    static constexpr int LateLineGraceMs = 100;

    struct Reply
    {
        qint32 result = 0;
        QByteArray text;
    };
    struct Block
    {
        qint32 result = 0;
        QByteArray bytes;
    };

    explicit Link(CommPort& port, QObject* parent = nullptr);
    ~Link() override;

    CommPort& port() { return m_port; }

    Reply SendCommand(const QByteArray& command, int timeoutMs);
    Reply SendModemCommand(const QByteArray& command, int timeoutMs);
    // Positions are 1-based, inclusive.
    Block FetchBlock(const QByteArray& fileName, qint32 start, qint32 end, Medium medium);

    // Load of the start window: initial texts and flags.
    void reset();
    // Ends a waiting transaction at once as a time-out: the port was closed and no reply can
    // come, so nothing should keep the windows waiting for it.
    void cancelWait();
    // As cancelWait, and every later transaction times out at once: the program is closing.
    void shutdown();

    QByteArray Recv() const { return m_recv; }
    // The last command line written, CR LF included ("mi soushin" until the first).
    QByteArray LastSent() const { return m_send; }
    qint16 ConnectStat() const { return m_connectStat; }
    void setConnectStat(qint16 value) { m_connectStat = value; }
    qint16 Busy() const { return m_busy; }
    qint16 TimeUp() const { return m_timeUp; }
    qint16 RecvMode() const { return m_recvMode; }
    void setRecvMode(qint16 mode) { m_recvMode = mode; }
    qint32 BlockCount() const { return m_blockCount; }
    qint32 BlockLen() const { return m_blockLen; }
    int timerComInterval() const { return m_timerCom.interval(); }

signals:
    // SetControlsBusy of the start window, called with the new value of Busy.
    void controlsBusy(qint16 busy);
    // A transaction wrote this line (CR LF included) with this time-out.
    void written(const QByteArray& line, int timeoutMs);

private:
    // What a waiting transaction receives when its reply completes.
    struct Completion
    {
        bool done = false;
        QByteArray reply;
    };

    Reply transact(const QByteArray& command, int timeoutMs);
    void setBusy(qint16 busy);
    void waitForCompletion(Completion& mine);
    void complete(const QByteArray& reply);
    QByteArray blockBuf() const;
    void wake();
    void OnComm();
    void TimerComTick();
    void GraceTick();

    CommPort& m_port;
    QTimer m_timerCom;
    QTimer m_grace;
    QByteArray m_recv;
    QByteArray m_send;
    qint16 m_connectStat = 0;
    qint16 m_busy = 0;
    qint16 m_timeUp = 0;
    qint16 m_recvMode = ModeLine;
    qint32 m_blockCount = 0;
    qint32 m_blockLen = 0;
    std::array<std::uint8_t, BlockBufSize> m_blockBuf{};
    QEventLoop m_loop;
    bool m_loopInExec = false; // m_loop's exec() is on the stack, even if already told to quit
    QEventLoop* m_waitLoop = nullptr;
    Completion* m_completion = nullptr; // the transaction waiting for its reply
    bool m_shutdown = false;
    bool m_lateLineLikely = false; // the last transaction timed out; its answer may yet come
};
