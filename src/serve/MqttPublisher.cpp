#include "MqttPublisher.h"

#include <QFileInfo>
#include <QRandomGenerator>

#include <mosquitto.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <system_error>

namespace {

constexpr int kKeepAliveS = 30;
// A poll of the library's loop ends at the latest after this, so that an abandoned
// connection is left within it; publishing wakes the loop at once.
constexpr int kLoopMs = 1000;
constexpr int kMaxBackOffS = 60;
const QByteArray kOffline = "offline";

// libmosquitto's global state, set up by the first publisher and torn down at exit.
void initLibrary()
{
    struct Library
    {
        Library() { mosquitto_lib_init(); }
        ~Library() { mosquitto_lib_cleanup(); }
    };
    static Library library;
}

// An encrypted private key is refused instead of OpenSSL asking for its pass phrase on a
// terminal, which a service does not have.
int noKeyPassword(char*, int, int, void*)
{
    return 0;
}

} // namespace

MqttPublisher::MqttPublisher(MqttOptions options, QObject* parent)
    : QObject(parent), m_options(std::move(options))
{
    connect(this, &MqttPublisher::eventsPending, this, &MqttPublisher::runEvents,
            Qt::QueuedConnection);
}

MqttPublisher::~MqttPublisher()
{
    blockSignals(true);
    stop(1000);
}

QString MqttPublisher::start()
{
    if (m_mosq || m_stopped)
        return QStringLiteral("MQTT: started twice");
    if (const QString error = mqttOptionsError(m_options); !error.isEmpty())
        return error;
    m_broker = parseBrokerUrl(m_options.url);
    for (const QString& f : {m_options.caFile, m_options.certFile, m_options.keyFile}) {
        if (!f.isEmpty() && !QFileInfo(f).isReadable())
            return QStringLiteral("MQTT: cannot read %1").arg(f);
    }

    initLibrary();
    const QByteArray clientId = (QStringLiteral("pqlink-") + m_options.id).toUtf8();
    m_mosq = mosquitto_new(clientId.constData(), true, this);
    if (!m_mosq)
        return QStringLiteral("MQTT: cannot create a client");
    mosquitto_threaded_set(m_mosq, true);
    mosquitto_connect_callback_set(m_mosq, &MqttPublisher::onConnect);
    mosquitto_publish_callback_set(m_mosq, &MqttPublisher::onPublish);
    mosquitto_message_callback_set(m_mosq, &MqttPublisher::onMessage);
    mosquitto_log_callback_set(m_mosq, &MqttPublisher::onLog);

    const QByteArray status = mqttTopic(m_options, QStringLiteral("status")).toUtf8();
    int rc = mosquitto_will_set(m_mosq, status.constData(), int(kOffline.size()),
                                kOffline.constData(), 1, true);
    if (rc == MOSQ_ERR_SUCCESS && !m_options.user.isEmpty()) {
        const QByteArray password = m_options.password.toUtf8();
        rc = mosquitto_username_pw_set(m_mosq, m_options.user.toUtf8().constData(),
                                       password.isEmpty() ? nullptr : password.constData());
    }
    if (rc == MOSQ_ERR_SUCCESS && m_broker.tls) {
        auto fileArg = [](const QByteArray& f) { return f.isEmpty() ? nullptr : f.constData(); };
        const QByteArray ca = m_options.caFile.toLocal8Bit();
        const QByteArray cert = m_options.certFile.toLocal8Bit();
        const QByteArray key = m_options.keyFile.toLocal8Bit();
        // Without a CA file the broker is checked against the system's certificates.
        rc = mosquitto_tls_set(m_mosq, fileArg(ca), ca.isEmpty() ? "/etc/ssl/certs" : nullptr,
                               fileArg(cert), fileArg(key), &noKeyPassword);
        if (rc == MOSQ_ERR_SUCCESS)
            rc = mosquitto_tls_insecure_set(m_mosq, false);
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        mosquitto_destroy(m_mosq);
        m_mosq = nullptr;
        return QStringLiteral("MQTT: %1").arg(QString::fromUtf8(mosquitto_strerror(rc)));
    }
    m_thread = std::thread([this] { run(); });
    return {};
}

void MqttPublisher::setInfo(const InstrumentInfo& info)
{
    m_info = infoPayload(info);
    publish(mqttTopic(m_options, QStringLiteral("info")), *m_info, 1, true);
}

void MqttPublisher::setLink(bool ok)
{
    if (m_link == ok)
        return;
    m_link = ok;
    publish(mqttTopic(m_options, QStringLiteral("link")), ok ? "ok" : "lost", 1, true);
}

void MqttPublisher::publishState(const PollState& state)
{
    m_state = statePayload(state);
    publish(mqttTopic(m_options, QStringLiteral("state")), *m_state, m_options.qos,
            m_options.retainState);
}

void MqttPublisher::setDiscovery(const std::vector<DiscoveryItem>& items)
{
    std::vector<DiscoveryConfig> next = discoveryConfigs(m_options, items);
    if (next == m_discovery)
        return;
    // An empty retained message removes an entity whose item is gone.
    for (const DiscoveryConfig& old : m_discovery) {
        if (std::none_of(next.begin(), next.end(),
                         [&](const DiscoveryConfig& c) { return c.topic == old.topic; }))
            publish(old.topic, {}, 1, true);
    }
    m_discovery = std::move(next);
    publishDiscovery();
}

bool MqttPublisher::stop(int boundMs)
{
    const bool wasStopped = m_stopped;
    m_stopped = true;
    if (!m_mosq || wasStopped)
        return false;
    bool acked = false;
    if (m_connected) {
        // A clean disconnect does not fire the will, so "offline" is published first.
        m_recordAcks = true;
        int mid = 0;
        const QByteArray status = mqttTopic(m_options, QStringLiteral("status")).toUtf8();
        if (mosquitto_publish(m_mosq, &mid, status.constData(), int(kOffline.size()),
                              kOffline.constData(), 1, true) == MOSQ_ERR_SUCCESS) {
            std::unique_lock lock(m_mutex);
            acked = m_wake.wait_for(lock, std::chrono::milliseconds(boundMs),
                                    [&] { return m_acked.count(mid) > 0; });
        }
    }
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_all();
    // Unacknowledged, the connection is dropped without a DISCONNECT: the broker then
    // publishes the will.
    if (acked)
        mosquitto_disconnect(m_mosq);
    else
        m_abandon = true;
    m_thread.join();
    mosquitto_destroy(m_mosq);
    m_mosq = nullptr;
    if (m_connected) {
        m_connected = false;
        emit connectedChanged(false);
    }
    return acked;
}

void MqttPublisher::run()
{
    const QByteArray host = m_broker.host.toUtf8();
    int backOffS = 1;
    for (bool first = true; !m_quit; first = false) {
        {
            std::lock_guard lock(m_mutex);
            m_libError.clear();
        }
        m_sawConnack = false;
        int rc = first
                     ? mosquitto_connect_async(m_mosq, host.constData(), m_broker.port, kKeepAliveS)
                     : mosquitto_reconnect_async(m_mosq);
        int err = errno;
        // After a DISCONNECT the loop ends by itself once it has been written.
        while (rc == MOSQ_ERR_SUCCESS && !m_abandon) {
            rc = mosquitto_loop(m_mosq, kLoopMs, 1);
            err = errno;
        }
        std::unique_lock lock(m_mutex);
        if (m_quit)
            return;
        QString why = rc == MOSQ_ERR_ERRNO
                          ? QString::fromStdString(std::generic_category().message(err))
                          : QString::fromUtf8(mosquitto_strerror(rc));
        if (!m_libError.isEmpty())
            why += QStringLiteral(" (%1)").arg(m_libError);
        toMain([this, why] { connectionDown(why); });
        if (m_sawConnack)
            backOffS = 1;
        const double jitter = 0.8 + 0.4 * QRandomGenerator::global()->generateDouble();
        m_wake.wait_for(lock, std::chrono::milliseconds(qint64(backOffS * 1000 * jitter)),
                        [this] { return m_quit.load(); });
        backOffS = std::min(backOffS * 2, kMaxBackOffS);
    }
}

void MqttPublisher::onConnect(mosquitto*, void* self, int rc)
{
    auto* p = static_cast<MqttPublisher*>(self);
    if (rc != 0) {
        std::lock_guard lock(p->m_mutex);
        p->m_libError = QStringLiteral("the broker refused: %1")
                            .arg(QString::fromUtf8(mosquitto_connack_string(rc)));
        return;
    }
    p->m_sawConnack = true;
    p->toMain([p] { p->connectionUp(); });
}

void MqttPublisher::onPublish(mosquitto*, void* self, int mid)
{
    auto* p = static_cast<MqttPublisher*>(self);
    if (!p->m_recordAcks)
        return;
    {
        std::lock_guard lock(p->m_mutex);
        p->m_acked.insert(mid);
    }
    p->m_wake.notify_all();
}

void MqttPublisher::onMessage(mosquitto*, void* self, const mosquitto_message* msg)
{
    auto* p = static_cast<MqttPublisher*>(self);
    const QString topic = QString::fromUtf8(msg->topic);
    const QByteArray payload(static_cast<const char*>(msg->payload), msg->payloadlen);
    p->toMain([p, topic, payload] {
        // Home Assistant says "online" when it (re)starts and has forgotten the configs.
        if (!p->m_stopped && p->m_options.haPrefix &&
            topic == *p->m_options.haPrefix + QStringLiteral("/status") && payload == "online")
            p->publishDiscovery();
    });
}

void MqttPublisher::onLog(mosquitto*, void* self, int level, const char* text)
{
    if (level != MOSQ_LOG_ERR)
        return;
    auto* p = static_cast<MqttPublisher*>(self);
    std::lock_guard lock(p->m_mutex);
    p->m_libError = QString::fromUtf8(text);
}

void MqttPublisher::toMain(std::function<void()> event)
{
    bool wake = false;
    {
        std::lock_guard lock(m_eventsMutex);
        wake = m_events.empty();
        m_events.push_back(std::move(event));
    }
    if (wake)
        emit eventsPending(QPrivateSignal());
}

void MqttPublisher::runEvents()
{
    std::vector<std::function<void()>> events;
    {
        std::lock_guard lock(m_eventsMutex);
        events.swap(m_events);
    }
    for (const auto& event : events)
        event();
}

void MqttPublisher::connectionUp()
{
    if (m_stopped)
        return;
    m_connected = true;
    m_lastProblem.clear();
    if (m_options.haPrefix) {
        const QByteArray haStatus = (*m_options.haPrefix + QStringLiteral("/status")).toUtf8();
        mosquitto_subscribe(m_mosq, nullptr, haStatus.constData(), 1);
    }
    publish(mqttTopic(m_options, QStringLiteral("status")), "online", 1, true);
    if (m_info)
        publish(mqttTopic(m_options, QStringLiteral("info")), *m_info, 1, true);
    if (m_link)
        publish(mqttTopic(m_options, QStringLiteral("link")), *m_link ? "ok" : "lost", 1, true);
    publishDiscovery();
    if (m_state)
        publish(mqttTopic(m_options, QStringLiteral("state")), *m_state, m_options.qos,
                m_options.retainState);
    emit connectedChanged(true);
}

void MqttPublisher::connectionDown(const QString& why)
{
    if (m_stopped)
        return;
    report(QStringLiteral("MQTT %1:%2: %3").arg(m_broker.host).arg(m_broker.port).arg(why));
    if (m_connected) {
        m_connected = false;
        emit connectedChanged(false);
    }
}

void MqttPublisher::publish(const QString& topic, const QByteArray& payload, int qos, bool retain)
{
    if (!m_connected)
        return;
    const QByteArray t = topic.toUtf8();
    mosquitto_publish(m_mosq, nullptr, t.constData(), int(payload.size()), payload.constData(), qos,
                      retain);
}

void MqttPublisher::publishDiscovery()
{
    for (const DiscoveryConfig& c : m_discovery)
        publish(c.topic, c.payload, 1, true);
}

void MqttPublisher::report(const QString& text)
{
    if (text == m_lastProblem)
        return;
    m_lastProblem = text;
    emit problem(text);
}
