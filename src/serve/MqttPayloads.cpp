#include "MqttPayloads.h"

#include "PqlinkVersion.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QUrl>

BrokerAddress parseBrokerUrl(const QString& url)
{
    BrokerAddress a;
    const QUrl u(url, QUrl::StrictMode);
    const QString scheme = u.scheme();
    // The URL itself is never repeated: it might carry a password.
    if (!u.isValid() || (scheme != QLatin1String("mqtt") && scheme != QLatin1String("mqtts")) ||
        u.host().isEmpty() || !(u.path().isEmpty() || u.path() == QLatin1String("/")) ||
        u.hasQuery() || u.hasFragment()) {
        a.error = QStringLiteral("expected mqtt://HOST[:PORT] or mqtts://HOST[:PORT]");
        return a;
    }
    if (!u.userInfo().isEmpty()) {
        a.error = QStringLiteral("a URL carrying a user or password is refused: use --mqtt-user "
                                 "and --mqtt-password-file");
        return a;
    }
    a.tls = scheme == QLatin1String("mqtts");
    a.host = u.host();
    a.port = u.port(a.tls ? 8883 : 1883);
    if (a.port <= 0)
        a.error = QStringLiteral("the port must be 1 to 65535");
    return a;
}

QString mqttOptionsError(const MqttOptions& options)
{
    const BrokerAddress broker = parseBrokerUrl(options.url);
    if (!broker.error.isEmpty())
        return QStringLiteral("MQTT: ") + broker.error;
    for (const QString& part : {options.base, options.id}) {
        if (part.isEmpty() || part.contains(u'+') || part.contains(u'#') || part.contains(u'\0'))
            return QStringLiteral("MQTT: the topic base and the id must not be empty or hold "
                                  "'+' or '#'");
    }
    if (options.qos < 0 || options.qos > 2)
        return QStringLiteral("MQTT: the QoS must be 0, 1 or 2");
    if (!broker.tls && !(options.caFile + options.certFile + options.keyFile).isEmpty())
        return QStringLiteral("MQTT: a CA, certificate or key file needs an mqtts:// URL");
    if (options.certFile.isEmpty() != options.keyFile.isEmpty())
        return QStringLiteral("MQTT: a client certificate needs its key, and a key its "
                              "certificate");
    return {};
}

QString mqttTopic(const MqttOptions& options, const QString& leaf)
{
    return options.base + u'/' + options.id + u'/' + leaf;
}

QByteArray infoPayload(const InstrumentInfo& info)
{
    const QJsonObject o{{"version", QStringLiteral(PQLINK_VERSION)},
                        {"port", info.port},
                        {"baud", info.baud},
                        {"wiring", info.wiring},
                        {"circuits", info.circuits},
                        {"items", info.items}};
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QByteArray statePayload(const PollState& state)
{
    QJsonObject readings, raw;
    for (const Reading& r : state.readings) {
        if (r.value) {
            readings.insert(r.item, *r.value);
        } else {
            readings.insert(r.item, QJsonValue::Null);
            raw.insert(r.item, r.raw);
        }
    }
    const QJsonObject o{{"time", state.time.toUTC().toString(Qt::ISODateWithMs)},
                        {"seq", qint64(state.seq)},
                        {"readings", readings},
                        {"raw", raw}};
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QString itemSlug(const QString& item)
{
    QString s;
    for (const QChar c : item) {
        if ((c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9'))
            s += c;
        else if (c >= u'A' && c <= u'Z')
            s += c.toLower();
        else if (!s.endsWith(u'_'))
            s += u'_';
    }
    while (s.startsWith(u'_'))
        s.remove(0, 1);
    while (s.endsWith(u'_'))
        s.chop(1);
    return s.isEmpty() ? QStringLiteral("item") : s;
}

namespace {

// Home Assistant's object ids allow [A-Za-z0-9_-] only.
QString objectIdPart(const QString& id)
{
    QString s = id;
    for (QChar& c : s) {
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != u'_' && c != u'-')
            c = u'_';
    }
    return s;
}

// A Jinja string literal in single quotes.
QString jinjaString(const QString& text)
{
    QString s = text;
    s.replace(u'\\', QLatin1String("\\\\")).replace(u'\'', QLatin1String("\\'"));
    return u'\'' + s + u'\'';
}

} // namespace

std::vector<DiscoveryConfig> discoveryConfigs(const MqttOptions& options,
                                              const std::vector<DiscoveryItem>& items)
{
    std::vector<DiscoveryConfig> out;
    if (!options.haPrefix)
        return out;
    const QString id = objectIdPart(options.id);
    const QJsonArray availability{
        QJsonObject{{"topic", mqttTopic(options, QStringLiteral("status"))},
                    {"payload_available", "online"},
                    {"payload_not_available", "offline"}},
        QJsonObject{{"topic", mqttTopic(options, QStringLiteral("link"))},
                    {"payload_available", "ok"},
                    {"payload_not_available", "lost"}}};
    const QJsonObject device{{"identifiers", QJsonArray{QStringLiteral("pqlink_") + id}},
                             {"name", options.id},
                             {"sw_version", QStringLiteral(PQLINK_VERSION)}};
    // The state carries readings as received; the unit is the map's, so its factor is applied
    // here, and a reading that is no number stays none.
    const auto valueTemplate = [](const DiscoveryItem& item) {
        const QString v = QStringLiteral("value_json.readings[%1]").arg(jinjaString(item.item));
        if (item.scale == 1)
            return QStringLiteral("{{ %1 }}").arg(v);
        return QStringLiteral("{{ %1 * %2 if %1 is number else None }}")
            .arg(v, QString::number(item.scale, 'g', 17));
    };
    QSet<QString> used;
    for (const DiscoveryItem& item : items) {
        const QString slug = itemSlug(item.item);
        QString objectId = id + u'_' + slug;
        for (int n = 2; used.contains(objectId); ++n)
            objectId = id + u'_' + slug + u'_' + QString::number(n);
        used.insert(objectId);
        const QJsonObject config{{"name", item.item},
                                 {"unique_id", QStringLiteral("pqlink_") + objectId},
                                 {"state_topic", mqttTopic(options, QStringLiteral("state"))},
                                 {"value_template", valueTemplate(item)},
                                 {"unit_of_measurement", item.unit},
                                 {"device_class", item.deviceClass},
                                 {"state_class", "measurement"},
                                 {"availability", availability},
                                 {"availability_mode", "all"},
                                 {"device", device}};
        out.push_back(
            {*options.haPrefix + QStringLiteral("/sensor/") + objectId + QStringLiteral("/config"),
             QJsonDocument(config).toJson(QJsonDocument::Compact)});
    }
    return out;
}
