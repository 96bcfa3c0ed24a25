#pragma once

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include "Medium.h"

#include <array>
#include <cstdint>
#include <functional>

class CommPort;
class Job;

// The instrument link: one request/reply transaction at a time over the port. A job starts a
// transaction and is called back when the reply is complete (a CR LF, the modem's word, or a
// block's exact byte count) or its time-out has passed, never from inside its own start. The link
// is held by one job from its first transaction to its end; a transaction of any other job
// meanwhile is refused at once as busy, and nothing is written for it.
class Link : public QObject
{
    Q_OBJECT
public:
    enum class Result
    {
        Complete = 0,
        Timeout = 1,
        Busy = 2,
        InvalidRange = 3
    };

    enum class Mode
    {
        Line,      // a reply ends with LF
        ModemAck,  // ends when "OK" has come
        ModemDial, // ends when "CONNECT" or "NO " has come
        Block      // ends at the block's exact byte count
    };

    static constexpr int BlockBufSize = 1002;
    // A reply line longer than this is cut; the transaction then ends by time-out.
    static constexpr qsizetype MaxReplySize = 16 * 1024 * 1024;
    // After a time-out, how long a completed line waits for a second line that would show
    // it to be the late answer to the earlier command.
    static constexpr int LateLineGraceMs = 100;
    static constexpr int BlockTimeoutMs = 5000;

    struct Reply
    {
        Result result = Result::Complete;
        QByteArray text; // the line, or the block buffer
    };
    using ReplyHandler = std::function<void(const Reply&)>;

    explicit Link(CommPort& port, QObject* parent = nullptr);
    ~Link() override;

    CommPort& port() { return m_port; }

    // Whether a transaction of job would be refused as busy: another job holds the link, or
    // the reply of a cancelled job's transaction is still due.
    bool busyFor(const Job* job) const;
    bool held() const { return m_holder != nullptr || m_pending; }
    // job holds the link until release(job).
    void hold(Job* job);
    void release(Job* job);

    // Writes command and CR LF; handler gets the reply later from the event loop, unless the
    // transaction is abandoned first.
    void start(const QByteArray& command, int timeoutMs, Mode mode, ReplyHandler handler);
    // ":CARD:PICK? name, start, end" (or ":MEM:PICK?"); positions are 1-based, inclusive,
    // and the range is not empty (see invalidRangeReply).
    void startBlock(const QByteArray& fileName, qint32 start, qint32 end, Medium medium,
                    ReplyHandler handler);
    // The job waiting for the reply was cancelled: its handler is never called. The link
    // stays busy until the reply is complete or timed out, so its bytes are not taken as the
    // answer to a later command.
    void abandon();
    // What an empty or reversed block range is answered with, without a transaction.
    static QByteArray invalidRangeReply();

    // Initial texts and flags.
    void reset();
    // Ends a waiting transaction at once as a time-out: the port was closed and no reply can
    // come, so nothing should keep anyone waiting for it.
    void cancelWait();
    // As cancelWait, and every later transaction times out at once: the program is closing.
    void shutdown();

    // The last command line written, CR LF included ("mi soushin" until the first).
    QByteArray LastSent() const { return m_send; }
    // The time-out of the transaction running or last run.
    int timerComInterval() const { return m_timerCom.interval(); }

signals:
    // The link was taken by a job (true) or is free again (false).
    void controlsBusy(bool busy);
    // A transaction wrote this line (CR LF included) with this time-out.
    void written(const QByteArray& line, int timeoutMs);

private:
    void begin(const QByteArray& line, int timeoutMs, Mode mode, ReplyHandler handler);
    enum class Delivery
    {
        Now,  // from the port's notification or a timer
        Later // from a caller's handler
    };
    void complete(Result result, const QByteArray& reply, Delivery delivery = Delivery::Now);
    void deliver(quint64 serial, const Reply& reply);
    void setBusy(bool busy);
    QByteArray blockBuf() const;
    void OnComm();
    void TimerComTick();
    void GraceTick();

    CommPort& m_port;
    QTimer m_timerCom;
    QTimer m_grace;
    QByteArray m_recv;
    QByteArray m_send;
    Mode m_mode = Mode::Line;
    qint32 m_blockCount = 0;
    qint32 m_blockLen = 0;
    std::array<std::uint8_t, BlockBufSize> m_blockBuf{};
    Job* m_holder = nullptr;
    bool m_busySignalled = false;
    bool m_pending = false; // a transaction's reply is due
    ReplyHandler m_handler; // of the pending transaction, or of its reply not yet delivered
    quint64 m_serial = 0;   // of the last transaction started
    bool m_shutdown = false;
    bool m_lateLineLikely = false; // the last transaction timed out; its answer may yet come
};
