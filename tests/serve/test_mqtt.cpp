// The MQTT output against a real mosquitto broker on loopback, watched with mosquitto_sub.

#include "MosquittoBroker.h"
#include "MqttPublisher.h"
#include "TestUtil.h"

#include <QSignalSpy>

using TestUtil::waitFor;

class TestMqtt : public QObject
{
    Q_OBJECT
private slots:
    // What a newcomer finds retained; Home Assistant's "online" brings the configs again, an
    // empty retained config removes an item, the link follows. (A restarted broker and the
    // "offline" at a stop are the end-to-end test's.)
    void publishesAndHeals()
    {
        Broker broker;
        Sub sub(broker);
        MqttOptions o;
        o.url = broker.url();
        o.id = "t1";
        o.haPrefix = "homeassistant";
        MqttPublisher pub(o);
        QVERIFY(pub.start().isEmpty());
        QVERIFY(waitFor([&] { return pub.connected(); }));
        pub.setInfo({"COM1", 9600, "3P4W", 1, 2});
        pub.setLink(true);
        pub.publishState({1, QDateTime::currentDateTimeUtc(), {{"U1", "+230.1", 230.1}}});
        pub.setDiscovery({{"U1", "V", "voltage"}, {"CH2 PF", "", "power_factor"}});
        QVERIFY(waitFor([&] { return sub.with("* homeassistant/sensor/").size() == 2; }));
        // All of it is in the broker now (one connection, in order): a newcomer finds it kept.
        Sub later(broker);
        for (const char* m : {"1 pqlink/t1/info {", "1 pqlink/t1/link ok", "1 pqlink/t1/state {",
                              "1 homeassistant/sensor/t1_ch2_pf/config {"})
            QVERIFY2(waitFor([&] { return later.with(m).size() == 1; }), m);
        QProcess::execute("mosquitto_pub", {"-p", QString::number(broker.port), "-t",
                                            "homeassistant/status", "-m", "online"});
        QVERIFY(waitFor([&] { return sub.with("* homeassistant/sensor/").size() == 4; }));
        pub.setLink(false);
        QVERIFY(waitFor([&] { return sub.with("* pqlink/t1/link lost").size() == 1; }));
        pub.setDiscovery({{"U1", "V", "voltage"}});
        QVERIFY(waitFor(
            [&] { return sub.with("0 ").contains("0 homeassistant/sensor/t1_ch2_pf/config "); }));
        QVERIFY(pub.stop(5000));
    }

    void tls_data()
    {
        QTest::addColumn<QString>("setup");   // our CA file ("-": the system's), the broker's
                                              // certificate, our password
        QTest::addColumn<QString>("problem"); // empty: connects
        const QString failed = "certificate verify failed";
        QTest::newRow("verified") << "ca.crt server s3cret" << QString();
        QTest::newRow("other CA") << "other-ca.crt server s3cret" << failed;
        QTest::newRow("system CAs") << "- server s3cret" << failed;
        QTest::newRow("other name") << "ca.crt elsewhere s3cret" << failed;
        QTest::newRow("wrong password") << "ca.crt server guess" << QString("not authorised");
    }
    void tls()
    {
        QFETCH(QString, setup);
        QFETCH(QString, problem);
        const QStringList parts = setup.split(' ');
        const QString password = parts[2];
        QTemporaryDir certs;
        QCOMPARE(
            QProcess::execute("sh", {qEnvironmentVariable("MQTT_CERTS"), certs.path(), "s3cret"}),
            0);
        Broker broker(QStringLiteral("cafile %1/ca.crt\ncertfile %1/%2.crt\nkeyfile "
                                     "%1/server.key\npassword_file %1/passwd")
                          .arg(certs.path(), parts[1]));
        MqttOptions o;
        o.url = broker.url("mqtts");
        o.id = "t1";
        o.user = "meter";
        o.password = password;
        o.caFile = parts[0] == "-" ? QString() : certs.filePath(parts[0]);
        MqttPublisher pub(o);
        QSignalSpy problems(&pub, &MqttPublisher::problem);
        QVERIFY(pub.start().isEmpty());
        QVERIFY(waitFor([&] { return pub.connected() || !problems.isEmpty(); }));
        const QString text = problems.value(0).value(0).toString();
        QVERIFY2(text.contains(problem) && !text.contains(password) &&
                     pub.connected() == problem.isEmpty(),
                 qPrintable(text));
    }
};

QTEST_GUILESS_MAIN(TestMqtt)
#include "test_mqtt.moc"
