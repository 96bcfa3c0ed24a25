#pragma once

#include "ServeTypes.h"

#include <QByteArray>
#include <QString>

#include <vector>

// The MQTT output's topics and messages, as pure functions of the values they show.

// A broker address from --mqtt: mqtt://host[:1883] or mqtts://host[:8883]. error is set (and
// the rest meaningless) for any other form, and for a URL that carries a user or password:
// a password on the command line would show in the process list.
struct BrokerAddress
{
    QString host;
    int port = 0;
    bool tls = false;
    QString error;
};
BrokerAddress parseBrokerUrl(const QString& url);

// What is wrong with the options, as a message naming it; empty when nothing is. Files are
// not looked at (MqttPublisher::start() does).
QString mqttOptionsError(const MqttOptions& options);

// BASE/ID/leaf.
QString mqttTopic(const MqttOptions& options, const QString& leaf);

// The retained description of the instrument (BASE/ID/info).
QByteArray infoPayload(const InstrumentInfo& info);

// One poll (BASE/ID/state): every item under "readings", null where the instrument sent no
// number, and those items' texts under "raw".
QByteArray statePayload(const PollState& state);

// An item name as a topic level and id part: lower case letters, digits and single '_'.
QString itemSlug(const QString& item);

// One Home Assistant discovery message: its retained config topic and payload.
struct DiscoveryConfig
{
    QString topic;
    QByteArray payload;
    bool operator==(const DiscoveryConfig&) const = default;
};
// The configs for items under options.haPrefix; items whose slugs clash get "_2", "_3", ...
// in the order given, so that every item keeps a topic and unique_id of its own.
std::vector<DiscoveryConfig> discoveryConfigs(const MqttOptions& options,
                                              const std::vector<DiscoveryItem>& items);
