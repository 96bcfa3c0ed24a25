// The MQTT output's pure parts: the discovery messages.

#include "MqttPayloads.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

class TestMqttPayloads : public QObject
{
    Q_OBJECT
private slots:
    void discovery()
    {
        MqttOptions o;
        o.id = "site 1";
        QVERIFY(discoveryConfigs(o, {{"U1", "V", "voltage"}}).empty());
        o.haPrefix = "ha";
        QStringList topics;
        const auto configs = discoveryConfigs(o, {{"CH1 P", "W", "power"},
                                                  {" CH1--p ", "W", "power"},
                                                  {"電圧", "V", ""},
                                                  {"it's", "", "", 0.001}});
        for (const DiscoveryConfig& c : configs)
            topics << c.topic.section('/', 2, 2);
        QCOMPARE(topics,
                 QStringList({"site_1_ch1_p", "site_1_ch1_p_2", "site_1_item", "site_1_it_s"}));
        const QJsonObject c = QJsonDocument::fromJson(configs[3].payload).object();
        QCOMPARE(c["unique_id"].toString(), "pqlink_site_1_it_s");
        QCOMPARE(c["state_topic"].toString(), "pqlink/site 1/state");
        // Scaled into the map's unit, as the exposition is; a reading that is no number is none.
        QCOMPARE(c["value_template"].toString(),
                 "{{ value_json.readings['it\\'s'] * 0.001 if "
                 "value_json.readings['it\\'s'] is number else None }}");
    }
};

QTEST_GUILESS_MAIN(TestMqttPayloads)
#include "test_mqtt_payloads.moc"
