// The MQTT output against a real mosquitto broker on loopback, watched with mosquitto_sub.

#include "MqttPublisher.h"
#include "TestUtil.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <pwd.h>
#include <unistd.h>

using TestUtil::waitFor;

namespace {

// mosquitto on a free loopback port, with the configuration lines given.
struct Broker
{
    explicit Broker(const QString& lines = QStringLiteral("allow_anonymous true"))
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        port = probe.serverPort();
        probe.close();
        QFile conf(dir.filePath("mosquitto.conf"));
        conf.open(QIODevice::WriteOnly);
        conf.write(QStringLiteral("listener %1 127.0.0.1\nuser %2\n%3\n")
                       .arg(port)
                       .arg(QString::fromLocal8Bit(getpwuid(getuid())->pw_name), lines)
                       .toUtf8());
        conf.close();
        start();
    }
    ~Broker() { stop(); }
    void start()
    {
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start("mosquitto", {"-c", dir.filePath("mosquitto.conf")});
        QByteArray log;
        QVERIFY(waitFor([&] { return (log += process.readAll()).contains(" running"); }));
    }
    void stop()
    {
        process.terminate();
        process.waitForFinished();
    }
    QString url(const char* scheme = "mqtt") const
    {
        return QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(port);
    }
    QTemporaryDir dir;
    QProcess process;
    int port = 0;
};

// The messages mosquitto_sub receives, each as "RETAIN TOPIC PAYLOAD".
struct Sub
{
    explicit Sub(const Broker& broker)
    {
        process.start("mosquitto_sub",
                      {"-p", QString::number(broker.port), "-t", "#", "-F", "%r %t %p"});
    }
    ~Sub()
    {
        process.kill();
        process.waitForFinished();
    }
    // How many start with prefix; "* " at its start matches either retain flag.
    int count(const QString& prefix)
    {
        lines += QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        const bool any = prefix.startsWith(QLatin1String("* "));
        return int(std::count_if(lines.begin(), lines.end(), [&](const QString& l) {
            return any ? l.mid(2).startsWith(prefix.mid(2)) : l.startsWith(prefix);
        }));
    }
    QJsonObject json(const QString& topic)
    {
        count({});
        const QString line = lines.filter(' ' + topic + ' ').value(0);
        return QJsonDocument::fromJson(line.section(' ', 2).toUtf8()).object();
    }
    QStringList lines;
    QProcess process;
};

MqttOptions options(const QString& url, const QString& id = QStringLiteral("t1"))
{
    MqttOptions o;
    o.url = url;
    o.id = id;
    o.haPrefix = QStringLiteral("homeassistant");
    return o;
}

} // namespace

class TestMqtt : public QObject
{
    Q_OBJECT
private slots:
    // What a newcomer finds retained, before and after the broker lost it all in a restart;
    // Home Assistant's "online" brings the configs again; a clean stop says "offline".
    void publishesAndHeals()
    {
        Broker broker;
        MqttPublisher pub(options(broker.url()));
        QSignalSpy problems(&pub, &MqttPublisher::problem);
        QVERIFY(pub.start().isEmpty());
        QVERIFY(waitFor([&] { return pub.connected(); }));
        pub.setInfo({"COM1", 9600, "3P4W", 1, 2});
        pub.setLink(true);
        pub.publishState({1,
                          QDateTime::currentDateTimeUtc(),
                          {{"U1", "+230.1", 230.1}, {"CH2 PF", "-----", {}}}});
        pub.setDiscovery({{"U1", "V", "voltage"}, {"CH2 PF", "", "power_factor"}});
        const QStringList view = {"1 pqlink/t1/status online", "1 pqlink/t1/info {",
                                  "1 pqlink/t1/state {", "1 homeassistant/sensor/t1_u1/config {",
                                  "1 homeassistant/sensor/t1_ch2_pf/config {"};
        auto whole = [&](Sub& s, const QString& flag, const QString& link) {
            for (const QString& v : view + QStringList{"1 pqlink/t1/link " + link}) {
                if (s.count(flag + v.mid(2)) != 1)
                    return false;
            }
            return true;
        };
        for (const QString link : {"ok", "lost"}) {
            Sub first(broker);
            QVERIFY(waitFor([&] { return whole(first, "* ", link); }));
            Sub later(broker); // after the broker had them all
            QVERIFY(waitFor([&] { return whole(later, "1 ", link); }));
            const QJsonObject state = later.json("pqlink/t1/state");
            QCOMPARE(state["readings"]["U1"].toDouble(), 230.1);
            QVERIFY(state["readings"]["CH2 PF"].isNull());
            QCOMPARE(state["raw"]["CH2 PF"].toString(), "-----");
            if (link == "lost")
                break;
            QProcess::execute("mosquitto_pub", {"-p", QString::number(broker.port), "-t",
                                                "homeassistant/status", "-m", "online"});
            QVERIFY(waitFor([&] { return later.count("* homeassistant/sensor/") == 4; }));
            pub.setLink(false);
            QVERIFY(waitFor([&] { return later.count("0 pqlink/t1/link lost") == 1; }));
            broker.stop();
            QVERIFY(waitFor([&] { return !pub.connected(); }));
            QVERIFY(problems.value(0).value(0).toString().contains(broker.url().mid(7)));
            broker.start();
            QVERIFY(waitFor([&] { return pub.connected(); }));
        }
        Sub last(broker);
        QVERIFY(waitFor([&] { return last.count("1 pqlink/t1/status online") == 1; }));
        pub.setDiscovery({{"U1", "V", "voltage"}}); // an empty retained config removes CH2 PF
        QVERIFY(waitFor([&] {
            return last.count("0 homeassistant/sensor/t1_ch2_pf/config ") == 1 &&
                   last.lines.contains("0 homeassistant/sensor/t1_ch2_pf/config ");
        }));
        QVERIFY(pub.stop(5000));
        QVERIFY(waitFor([&] { return last.count("0 pqlink/t1/status offline") == 1; }));
    }

    // A publisher killed without a chance to say goodbye: the broker publishes its last will.
    void willOnKill()
    {
        Broker broker;
        QProcess probe;
        probe.start(qEnvironmentVariable("MQTT_PROBE"), {broker.url(), "k1"});
        QVERIFY(waitFor([&] { return probe.canReadLine(); }));
        QCOMPARE(probe.readLine(), "connected\n");
        Sub sub(broker);
        QVERIFY(waitFor([&] { return sub.count("* pqlink/k1/status online") == 1; }));
        probe.kill();
        QVERIFY(waitFor([&] { return sub.count("0 pqlink/k1/status offline") == 1; }));
    }

    void tls_data()
    {
        QTest::addColumn<QString>("ca");   // empty: the system's CAs
        QTest::addColumn<QString>("cert"); // the broker's
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("problem"); // empty: connects
        const QString failed = "certificate verify failed";
        QTest::newRow("verified") << "ca.crt"
                                  << "server"
                                  << "s3cret"
                                  << "";
        QTest::newRow("other CA") << "other-ca.crt"
                                  << "server"
                                  << "s3cret" << failed;
        QTest::newRow("system CAs") << ""
                                    << "server"
                                    << "s3cret" << failed;
        QTest::newRow("other name") << "ca.crt"
                                    << "elsewhere"
                                    << "s3cret" << failed;
        QTest::newRow("wrong password") << "ca.crt"
                                        << "server"
                                        << "guess"
                                        << "not authorised";
    }
    void tls()
    {
        QFETCH(QString, ca);
        QFETCH(QString, cert);
        QFETCH(QString, password);
        QFETCH(QString, problem);
        QTemporaryDir certs;
        QCOMPARE(
            QProcess::execute("sh", {qEnvironmentVariable("MQTT_CERTS"), certs.path(), "s3cret"}),
            0);
        Broker broker(QStringLiteral("cafile %1/ca.crt\ncertfile %1/%2.crt\nkeyfile "
                                     "%1/server.key\npassword_file %1/passwd")
                          .arg(certs.path(), cert));
        MqttOptions o = options(broker.url("mqtts"));
        o.user = "meter";
        o.password = password;
        o.caFile = ca.isEmpty() ? QString() : certs.filePath(ca);
        MqttPublisher pub(o);
        QSignalSpy problems(&pub, &MqttPublisher::problem);
        QVERIFY(pub.start().isEmpty());
        if (problem.isEmpty()) {
            QVERIFY(waitFor([&] { return pub.connected(); }));
            return;
        }
        QVERIFY(waitFor([&] { return !problems.isEmpty(); }));
        const QString text = problems[0][0].toString();
        QVERIFY2(text.contains(problem) && !text.contains(password), qPrintable(text));
        QVERIFY(!pub.connected());
    }
};

QTEST_GUILESS_MAIN(TestMqtt)
#include "test_mqtt.moc"
