// The watch loop of serve through the session's jobs, against the in-process simulated
// instrument: what it sends when, how it counts failures, and how it reopens the port.

#include "InstrumentSession.h"
#include "ServeWatcher.h"
#include "SimInstrument.h"
#include "SimPort.h"

#include <QSignalSpy>
#include <QTest>

namespace {

constexpr int kWaitMs = 20000;

struct Watch
{
    explicit Watch(const QStringList& simOptions = {}, int intervalMs = 20, int namesEvery = 3)
        : instrument(SimConfig::fromOptions(simOptions))
    {
        auto p = std::make_unique<SimPort>(instrument);
        port = p.get();
        session = std::make_unique<InstrumentSession>(std::move(p));
        ServeWatcher::Options o;
        o.portName = QStringLiteral("COM1");
        o.intervalMs = intervalMs;
        o.namesEvery = namesEvery;
        o.backoff = [this](int attempt) {
            attempts << attempt;
            return 10;
        };
        watcher = std::make_unique<ServeWatcher>(*session, o);
    }
    // The measuring lines written so far, from the first measurement on (receiving the
    // settings sends ":HEAD OFF" too).
    QList<QByteArray> measuring() const
    {
        QList<QByteArray> lines;
        for (const QByteArray& l : port->written().split('\n'))
            if (l.startsWith(":HEAD") || l.startsWith(":MEAS") || l.startsWith(":TRAN"))
                lines << l.trimmed();
        return lines.mid(lines.indexOf(":HEAD ON"));
    }
    quint64 errors(PollError reason) const { return watcher->state().errors[size_t(reason)]; }
    quint64 seq() const { return watcher->state().poll ? watcher->state().poll->seq : 0; }

    SimInstrument instrument;
    SimPort* port = nullptr;
    std::unique_ptr<InstrumentSession> session;
    std::unique_ptr<ServeWatcher> watcher;
    QList<int> attempts;
};

} // namespace

class TestServeWatch : public QObject
{
    Q_OBJECT
private slots:
    void backoff();
    void namesAtStartThenEveryFewPolls();
    void anotherItemCountIsMeasuredWithNames();
    void ticksDuringASlowPollMerge();
    void threeFailuresReopenThePort();
    void openFailuresBackOffFurther();
};

// Catches: a back-off that does not double, is not capped at 60 s, or jitters beyond 20 %.
void TestServeWatch::backoff()
{
    const struct
    {
        int attempt;
        double unit; // the jitter's random number
        int ms;
    } rows[] = {{0, 0.5, 1000}, {5, 0.5, 32000}, {6, 0.5, 60000}, {40, 0.5, 60000},
                {0, 0.0, 800},  {3, 1.0, 9600},  {0, 7.0, 1200}};
    for (const auto& r : rows)
        QCOMPARE(BackoffMs(r.attempt, r.unit), r.ms);
}

// Catches: values polled before the names, names measured at every poll or never again, the
// header left on.
void TestServeWatch::namesAtStartThenEveryFewPolls()
{
    Watch w;
    QSignalSpy found(w.watcher.get(), &ServeWatcher::instrumentFound);
    w.watcher->start();
    QTRY_VERIFY_WITH_TIMEOUT(w.measuring().size() >= 14, kWaitMs); // eight polls
    const QList<QByteArray> named{":HEAD ON", ":TRAN:SEP 2", ":MEAS?", ":HEAD OFF"};
    const QList<QByteArray> values{":MEAS?", ":MEAS?", ":MEAS?"};
    QCOMPARE(w.measuring().mid(0, 14), named + values + named + values);
    QCOMPARE(found.size(), 1);
    const InstrumentInfo info = found.first().first().value<InstrumentInfo>();
    QCOMPARE(info.items, int(w.watcher->state().poll->readings.size()));
    QVERIFY(w.watcher->state().poll->readings.front().value);
}

// Catches: a header-off reply of another length taken with the old names.
void TestServeWatch::anotherItemCountIsMeasuredWithNames()
{
    Watch w({}, 20, 1000);
    w.watcher->start();
    QTRY_VERIFY_WITH_TIMEOUT(w.seq() >= 2, kWaitMs);
    const size_t before = w.watcher->state().poll->readings.size();
    w.instrument.config().measItems = int(before) + 5;
    const quint64 seq = w.seq();
    QTRY_VERIFY_WITH_TIMEOUT(w.seq() >= seq + 2, kWaitMs);
    QCOMPARE(w.watcher->state().poll->readings.size(), before + 5);
    QCOMPARE(w.watcher->state().info->items, int(before) + 5);
    QCOMPARE(w.watcher->state().poll->readings.back().item, QStringLiteral("HARM 5"));
    QCOMPARE(w.errors(PollError::BadReply) + w.errors(PollError::Timeout), 0u);
    // The values-only reply of the new length, then names in the same poll.
    const QList<QByteArray> lines = w.measuring();
    QVERIFY(lines.count(":HEAD ON") == 2);
}

// Catches: a tick during a poll counted as a failure or refused as busy, or piling up.
void TestServeWatch::ticksDuringASlowPollMerge()
{
    Watch w({QStringLiteral("--meas-delay"), QStringLiteral("100")}, 20, 1000);
    w.watcher->start();
    QTRY_VERIFY_WITH_TIMEOUT(w.seq() >= 5, kWaitMs);
    const WatchState& s = w.watcher->state();
    for (quint64 e : s.errors)
        QCOMPARE(e, 0u);
    // Every poll begun is one measurement: the ticks meanwhile did not start any of their own.
    QCOMPARE(quint64(w.measuring().count(":MEAS?")), s.polls + (w.session->idle() ? 0 : 1));
}

// Catches: the port kept after three failures in a row, failures not counted, the link not
// reported lost and ok again.
void TestServeWatch::threeFailuresReopenThePort()
{
    Watch w({QStringLiteral("--fault"), QStringLiteral("refuse,:MEAS?,3"),
             QStringLiteral("--fault"), QStringLiteral("refuse,:MEAS?,4"),
             QStringLiteral("--fault"), QStringLiteral("refuse,:MEAS?,5")});
    QSignalSpy link(w.watcher.get(), &ServeWatcher::linkChanged);
    w.watcher->start();
    QTRY_COMPARE_WITH_TIMEOUT(w.watcher->state().portOpens, 2u, kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(w.watcher->state().lastPollOk, kWaitMs);
    QCOMPARE(w.errors(PollError::BadReply), 3u);
    QCOMPARE(w.attempts, QList<int>{0});
    QList<bool> ups;
    for (const QList<QVariant>& l : link)
        ups << l.first().toBool();
    QCOMPARE(ups, (QList<bool>{true, false, true}));
}

// Catches: a back-off that does not grow while the port stays away, or does not start over
// once it opened; a lost port ignored until its polls time out, or ending the watch.
void TestServeWatch::openFailuresBackOffFurther()
{
    Watch w;
    w.port->setOpenError(QStringLiteral("gone"));
    w.watcher->start();
    QTRY_VERIFY_WITH_TIMEOUT(w.attempts.size() >= 3, kWaitMs);
    w.port->setOpenError({});
    QTRY_VERIFY_WITH_TIMEOUT(w.watcher->state().lastPollOk, kWaitMs);
    QCOMPARE(w.attempts.mid(0, 3), (QList<int>{0, 1, 2}));
    QVERIFY(w.errors(PollError::PortOpen) >= 3);
    QCOMPARE(w.watcher->state().portOpens, 1u);
    emit w.port->lost(QStringLiteral("unplugged"));
    QTRY_COMPARE_WITH_TIMEOUT(w.watcher->state().portOpens, 2u, kWaitMs);
    QCOMPARE(w.attempts.last(), 0);
    QCOMPARE(w.errors(PollError::PortLost), 1u);
}

QTEST_GUILESS_MAIN(TestServeWatch)
#include "test_serve_watch.moc"
