#pragma once

#include "Exposition.h"
#include "InstrumentSession.h"
#include "MeasLists.h"
#include "ServeTypes.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

// The delay before reopen number attempt (0, 1, ...): 1, 2, 4 ... 60 s, times 0.8 to 1.2 as
// unit (0 to 1) says, so that meters restarted together do not retry in step.
int BackoffMs(int attempt, double unit);

// The watch loop of `pqlink-cli serve`, on the session's thread: every step is a job of the
// session. At start and after each reopen: the connection test, the settings, a measurement
// with names. Then a values-only measurement at every tick of the interval timer, with names
// again every 60 polls, after a failure and when the item count changes. A tick while a
// poll runs makes one more poll right after it. Three failures in a row or a lost port close
// the port; it is reopened after a back-off, the port name looked up again.
//
// Outputs listen to the signals below (the HTTP exposition and the text file here; the MQTT
// output is connected to the same signals). Each signal comes from the event loop.
class ServeWatcher : public QObject
{
    Q_OBJECT
public:
    struct Options
    {
        ConnectRequest request;
        QString portName; // as the user gave it, for InstrumentInfo
        int intervalMs = 10000;
        int namesEvery = 60;             // polls between measurements with names
        std::function<double()> random;  // 0..1 for the back-off's jitter
        std::function<int(int)> backoff; // tests shorten it; default BackoffMs
    };

    ServeWatcher(InstrumentSession& session, Options options, QObject* parent = nullptr);
    ~ServeWatcher() override;

    void start();
    const WatchState& state() const { return m_state; }
    // When a poll last succeeded, on the steady clock, for --stale-after.
    std::chrono::steady_clock::time_point lastSuccessSteady() const { return m_lastSuccessSteady; }
    // The MQTT output says whether it is connected (pqlink_mqtt_connected).
    void setMqttConnected(bool connected);

signals:
    // --- for every output, the MQTT output included
    // The settings were received over a new connection.
    void instrumentFound(const InstrumentInfo& info);
    // The link to the instrument became ok (after a reopen) or lost (port closed).
    void linkChanged(bool ok);
    // A poll succeeded; named: its item names were measured again (discovery may change).
    void polled(const PollState& state, bool named);
    // A poll, a connection or a counter changed: outputs read state() again.
    void stateChanged();
    // The first port open has been tried (a service manager may be told it is ready).
    void firstOpenTried();

private:
    struct PollOutcome
    {
        bool ok = false;
        PollError reason = PollError::Timeout;
        QString error;       // for the log line
        bool opened = false; // a connection job opened the port
        bool named = false;
        QList<QByteArray> names;
        QList<QByteArray> values;
    };

    void startConnect();
    void onTick();
    void startPoll();
    void onDone(const PollOutcome& outcome, bool connecting);
    void onPortLost(const QString& reason);
    void closeAndBackOff(const QString& why);
    void setLink(bool ok);
    Task<PollOutcome> connectJob(Job& job);
    Task<PollOutcome> pollJob(Job& job, bool names);
    void failed(PollOutcome& out, PollError reason, const Outcome& outcome);
    void log(const QString& line) const;

    InstrumentSession& m_session;
    Options m_options;
    QTimer m_tick;
    QTimer m_reopen;
    QPointer<Job> m_job;
    bool m_connected = false;
    bool m_pendingTick = false;
    bool m_needNames = true;
    bool m_openTried = false;
    int m_pollsSinceNames = 0;
    int m_failuresInRow = 0;
    int m_attempt = 0;
    std::optional<bool> m_link;
    QElapsedTimer m_pollClock;
    std::chrono::steady_clock::time_point m_lastSuccessSteady;
    QList<QByteArray> m_names;
    MeasLists m_lists;
    WatchState m_state;
};
