#pragma once

#include "MqttPayloads.h"
#include "ServeTypes.h"

#include <QObject>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <vector>

struct mosquitto;
struct mosquitto_message;

// Publishes what the watch loop hands it to an MQTT broker through libmosquitto, keeping the
// broker's view whole across reconnects: BASE/ID/status (retained "online", "offline" by the
// last will or a clean stop), link, info, the last state and the Home Assistant discovery
// configs are published again on every connection.
//
// The object lives on the main thread; the library runs on a network thread of ours, which
// also (re)connects with back-off. Its callbacks come back to the main thread as queued calls
// through a queue of our own (toMain), whose mutex a thread checker can see, unlike Qt's event
// queue.
class MqttPublisher : public QObject
{
    Q_OBJECT
public:
    explicit MqttPublisher(MqttOptions options, QObject* parent = nullptr);
    // Stops as stop() does with a short bound, unless stopped already.
    ~MqttPublisher() override;

    // Starts connecting in the background. An empty text, or what makes it impossible (the
    // options' mqttOptionsError(), an unreadable CA, certificate or key file); then nothing
    // runs.
    QString start();
    void setInfo(const InstrumentInfo& info);
    // The instrument answers (true) or its port is lost.
    void setLink(bool ok);
    // After each poll that succeeded.
    void publishState(const PollState& state);
    // The items Home Assistant is told about (with --ha-discovery; ignored otherwise). Items
    // no longer in the list have their configs removed from the broker.
    void setDiscovery(const std::vector<DiscoveryItem>& items);
    bool connected() const { return m_connected; }

    // Publishes "offline" and waits up to boundMs for the broker's acknowledgement before a
    // clean disconnect; without one the connection is dropped, so that the broker publishes
    // the last will instead. The only place that blocks the main thread. True when
    // acknowledged.
    bool stop(int boundMs);

signals:
    void connectedChanged(bool connected);
    // A connection attempt failed or the connection was lost: why, naming the broker. Said
    // once until it changes or a connection succeeds; never carries a secret.
    void problem(const QString& text);
    // Events from the network thread wait in m_events.
    void eventsPending(QPrivateSignal);

private:
    // On the network thread.
    void run();
    static void onConnect(mosquitto* m, void* self, int rc);
    static void onPublish(mosquitto* m, void* self, int mid);
    static void onMessage(mosquitto* m, void* self, const mosquitto_message* msg);
    static void onLog(mosquitto* m, void* self, int level, const char* text);
    void toMain(std::function<void()> event);

    // On the main thread.
    void runEvents();
    void connectionUp();
    void connectionDown(const QString& why);
    void publish(const QString& topic, const QByteArray& payload, int qos, bool retain);
    void publishDiscovery();
    void report(const QString& text);

    MqttOptions m_options;
    BrokerAddress m_broker;
    mosquitto* m_mosq = nullptr;
    bool m_connected = false;
    bool m_stopped = false;
    QString m_lastProblem;
    std::optional<QByteArray> m_info, m_state;
    std::optional<bool> m_link;
    std::vector<DiscoveryConfig> m_discovery;

    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::atomic<bool> m_quit = false;    // set under m_mutex
    std::atomic<bool> m_abandon = false; // leave the connection without a DISCONNECT
    std::set<int> m_acked;               // under m_mutex: acknowledged message ids, while stopping
    std::atomic<bool> m_recordAcks = false;
    std::mutex m_eventsMutex;
    std::vector<std::function<void()>> m_events; // under m_eventsMutex
    QString m_libError;                          // under m_mutex: the library's last error line
    bool m_sawConnack = false;                   // network thread only
};
