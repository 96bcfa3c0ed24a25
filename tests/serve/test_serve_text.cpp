// The pure parts of serve: its settings, the metric map, the exposition text, which
// Prometheus' own promtool must accept, and the MQTT discovery messages.

#include "Exposition.h"
#include "MetricMap.h"
#include "MqttPayloads.h"
#include "Promtool.h"
#include "ServeConfig.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTest>

namespace {

// Every "+line" must be a line of text, no line may start with a "-prefix".
void expectLines(const QByteArray& text, const QString& expected)
{
    const QList<QByteArray> lines = text.split('\n');
    for (const QString& e : expected.split('|')) {
        const QByteArray want = e.mid(1).toUtf8();
        if (e.startsWith('+'))
            QVERIFY2(lines.contains(want), qPrintable(e + "\nin:\n" + text));
        else
            for (const QByteArray& l : lines)
                QVERIFY2(!l.startsWith(want), qPrintable(e + "\nin:\n" + text));
    }
}

} // namespace

class TestServeText : public QObject
{
    Q_OBJECT
private slots:
    void resolvesSettings_data();
    void resolvesSettings();
    void mapsItems_data();
    void mapsItems();
    void writesExposition_data();
    void writesExposition();
    void discovery();
};

void TestServeText::resolvesSettings_data()
{
    QTest::addColumn<QString>("args");
    QTest::addColumn<QString>("file"); // the config file c.conf, lines split at '|'
    // Lines --print-config must show, joined by "|"; or "error: <start of the message>".
    QTest::addColumn<QString>("expected");
    const auto row = [](const char* args, const char* file, const char* expected) {
        QTest::newRow(args[0] ? args : file) << QString(args) << QString(file) << QString(expected);
    };
    row("", "",
        "port = COM1|baud = 9600|interval = 10|stale-after = 30|listen = 127.0.0.1:8642|"
        "id = meter1-COM1");
    row("-p /dev/serial/by-id/usb-FT232R_A1-if00 -b 38400 --interval 0.5", "",
        "port = /dev/serial/by-id/usb-FT232R_A1-if00|baud = 38400|stale-after = 1.5|"
        "id = meter1-usb-FT232R_A1-if00");
    row("--interval 2", "interval = 5|listen = :0|# a comment||textfile = /t/x.prom",
        "interval = 2|stale-after = 6|listen = 127.0.0.1:0|textfile = /t/x.prom");
    row("--listen [::1]:9000 --stale-after 40 --id m_2", "",
        "listen = [::1]:9000|stale-after = 40|id = m_2");
    row("--mqtt mqtts://broker.lan --mqtt-topic site/a --ha-discovery --mqtt-qos 1 "
        "--mqtt-no-retain --mqtt-user u --mqtt-cafile ca.pem",
        "",
        "mqtt = mqtts://broker.lan:8883|mqtt-topic = site/a|ha-discovery = homeassistant|"
        "mqtt-qos = 1|mqtt-no-retain = yes|mqtt-user = u|mqtt-cafile = ca.pem");
    row("--mqtt mqtt://[::1] --ha-discovery=ha", "", "mqtt = mqtt://[::1]:1883|ha-discovery = ha");
    row("", "mqtt = mqtt://h:1884|mqtt-no-retain = no", "mqtt = mqtt://h:1884|mqtt-qos = 0");
    row("--listen 10.255.0.1:9000", "", "listen = 10.255.0.1:9000");
    row("--listen 1.2.3.256:80", "", "error: --listen: expected");
    row("--interval 0.05", "", "error: --interval: takes seconds");
    row("--stale-after 5", "", "error: --stale-after: takes seconds from the interval");
    row("-p COM9", "", "error: --port: COM9 is neither");
    row("-b 4800", "", "error: --baud: 4800");
    row("--id a.b", "", "error: --id: takes letters");
    row("--textfile=", "", "error: --textfile: needs a file name");
    row("--mqtt mqtt://user:secret@h", "", "error: --mqtt: a URL carrying a user or password");
    row("--mqtt http://h:1883", "", "error: --mqtt: expected mqtt://HOST");
    row("--mqtt mqtt://h/x", "", "error: --mqtt: expected mqtt://HOST");
    row("--mqtt mqtt://h:0", "", "error: --mqtt: the port must be 1 to 65535");
    row("--mqtt mqtt://h --mqtt-cafile ca.pem", "",
        "error: --mqtt-cafile: applies only to an mqtts");
    row("--mqtt mqtts://h --mqtt-cert c.pem", "", "error: --mqtt-cert: --mqtt-cert and --mqtt-key");
    row("--mqtt mqtt://h --mqtt-topic a/#", "", "error: --mqtt-topic: takes a topic");
    row("--mqtt mqtt://h --mqtt-qos 3", "", "error: --mqtt-qos: takes 0, 1 or 2");
    row("--ha-discovery", "", "error: --ha-discovery: applies only with --mqtt");
    row("--mqtt-password x", "", "error: there is no password option");
    row("--print-config=yes", "", "error: option --print-config takes no value");
    row("--interval", "", "error: option --interval needs a value");
    row("--bogus 1", "", "error: unknown option --bogus");
    row("serve", "", "error: unexpected argument serve");
    row("", "interval = x", "error: c.conf:1: interval: takes seconds");
    row("", "|bogus = 1", "error: c.conf:2: unknown setting bogus");
    row("", "mqtt-password = x", "error: c.conf:1: there is no password option");
    row("", "interval 5", "error: c.conf:1: expected name = value");
    row("", "id = a|id = b", "error: c.conf:2: id is set twice");
    row("", "mqtt = mqtt://h|mqtt-no-retain = maybe", "error: c.conf:2: mqtt-no-retain: takes yes");
}

// Catches: a value in the wrong field, the file winning over a flag, a bad value accepted, an
// error that names neither the option nor the line, a URL with credentials let through.
void TestServeText::resolvesSettings()
{
    QFETCH(QString, args);
    QFETCH(QString, file);
    QFETCH(QString, expected);
    const ServeConfigResult r =
        ResolveServeConfig(args.split(' ', Qt::SkipEmptyParts),
                           file.replace('|', QLatin1Char('\n')), "c.conf", "meter1.example.org");
    if (expected.startsWith("error: ")) {
        QVERIFY(!r.config);
        QCOMPARE(r.kind, ServeConfigResult::Error::Usage);
        QVERIFY2(r.error.startsWith(expected.mid(7)), qPrintable(r.error));
        QVERIFY(!r.error.contains("secret"));
        return;
    }
    QVERIFY2(r.config, qPrintable(r.error));
    expectLines(ServeConfigText(*r.config).toUtf8(), '+' + expected.replace('|', "|+"));
}

void TestServeText::mapsItems_data()
{
    QTest::addColumn<QString>("map"); // lines split at '|'
    QTest::addColumn<QString>("item");
    // "family{label=value,...} xSCALE UNIT CLASS", "-" for unmapped, or "error: ...".
    QTest::addColumn<QString>("expected");
    const auto row = [](const char* tag, const char* map, const char* item, const char* expected) {
        QTest::newRow(tag) << QString(map) << QString(item) << QString(expected);
    };
    const char* volts = "U{phase} -> pqlink_voltage_volts unit=V class=voltage";
    row("label", volts, "U1", "pqlink_voltage_volts{phase=1} x1 V voltage");
    row("label takes a run", volts, "U12", "pqlink_voltage_volts{phase=12} x1 V voltage");
    row("label needs text", volts, "U", "-");
    row("whole name", volts, "U1 ", "-");
    row("case", "f -> pqlink_frequency_hertz", "F", "-");
    row("two labels", "CH{circuit} I{phase} -> pqlink_current_amperes", "CH2 I3",
        "pqlink_current_amperes{circuit=2,phase=3} x1  ");
    row("literal characters", "CH{c} WP+ -> e scale=1000 unit=Wh", "CH1 WP+", "e{c=1} x1000 Wh ");
    row("star", "CH* P -> p", "CHx.y P", "p{} x1  ");
    row("first rule wins", "U{p} -> a|U1 -> b", "U1", "a{p=1} x1  ");
    row("comments", "# x||  U1 -> b  ", "U1", "b{} x1  ");
    row("no arrow", "U1 pqlink_x", "U1", "error: line 1: expected PATTERN -> FAMILY");
    row("no family", "U1 ->", "U1", "error: line 1: expected PATTERN -> FAMILY");
    row("bad family", "|# c|U1 -> 1bad", "U1", "error: line 3: 1bad is no metric name");
    row("reserved", "U1 -> pqlink_up", "U1", "error: line 1: pqlink_up is a name");
    row("counter suffix", "U1 -> x_total", "U1", "error: line 1: x_total is a name");
    row("label twice", "U{a}{a} -> x", "U1", "error: line 1: the label a appears twice");
    row("bad label", "U{1a} -> x", "U1", "error: line 1: {1a} is no label name");
    row("reserved label", "U{__a} -> x", "U1", "error: line 1: {__a} is no label name");
    row("open brace", "U{a -> x", "U1", "error: line 1: {} is no label name");
    row("zero scale", "U1 -> x scale=0", "U1", "error: line 1: scale=0 is no factor");
    row("unknown key", "U1 -> x colour=red", "U1", "error: line 1: expected scale=");
}

// Catches: a pattern read as a regular expression or matched in part, labels swapped or
// lost, a later rule winning, a bad rule accepted or blamed on the wrong line.
void TestServeText::mapsItems()
{
    QFETCH(QString, map);
    QFETCH(QString, item);
    QFETCH(QString, expected);
    QString error;
    const std::optional<MetricMap> m =
        MetricMap::parse(map.replace('|', QLatin1Char('\n')), &error);
    if (expected.startsWith("error: ")) {
        QVERIFY(!m);
        QVERIFY2(error.startsWith(expected.mid(7)), qPrintable(error));
        return;
    }
    QVERIFY2(m, qPrintable(error));
    const std::optional<MappedItem> mapped = m->map(item);
    QString got = "-";
    if (mapped) {
        QStringList labels;
        for (const auto& [k, v] : mapped->labels)
            labels << k + '=' + v;
        got = QStringLiteral("%1{%2} x%3 %4 %5")
                  .arg(mapped->family, labels.join(','))
                  .arg(mapped->scale)
                  .arg(mapped->unit, mapped->deviceClass);
    }
    QCOMPARE(got, expected);
}

void TestServeText::writesExposition_data()
{
    QTest::addColumn<QString>("map");
    QTest::addColumn<bool>("fresh");
    QTest::addColumn<QString>("id");       // the text file's extra label
    QTest::addColumn<QString>("expected"); // "+line" present, "-prefix" absent, joined by '|'
    const auto row = [](const char* tag, const char* map, bool fresh, const char* id,
                        const QString& expected) {
        QTest::newRow(tag) << QString(map) << fresh << QString(id) << expected;
    };
    row("unmapped", "", true, "",
        "+pqlink_up 1|+pqlink_item_value{item=\"U1\"} 230.1|"
        "+pqlink_item_value{item=\"CH1 P\"} 1.5|-pqlink_active|+pqlink_item_value{item=\"E\"} -30|"
        "+pqlink_item_non_numeric{item=\"N\",value=\"nan\"} 1|"
        "+pqlink_item_non_numeric{item=\"CH2 PF\",value=\"-----\"} 1|"
        "-pqlink_item_value{item=\"CH2 PF\"}|+pqlink_item_value{item=\"A\\\"B\\\\C\\nD\"} 1|"
        "+pqlink_poll_errors_total{reason=\"timeout\"} 2|"
        "+pqlink_poll_errors_total{reason=\"port_lost\"} 0|+pqlink_port_opens_total 3|"
        "+pqlink_mqtt_connected 0|+pqlink_last_success_timestamp_seconds 1700000000.5|"
        "+pqlink_build_info{version=\"9.9\"} 1|"
        "+pqlink_instrument_info{wiring=\"3P4W\",circuits=\"2\",items=\"5\"} 1|"
        "+pqlink_item_value{item=\"" +
            QString(128, 'y') + "\"} 3");
    row("stale", "", false, "", "+pqlink_up 0|-pqlink_item_|+pqlink_polls_total 7");
    row("mapped", "CH{c} P -> pqlink_active_power_watts scale=1000 unit=W", true, "",
        "+pqlink_active_power_watts{c=\"1\"} 1500|"
        "+# HELP pqlink_active_power_watts Measured items named by the metric map, in W.|"
        "+# TYPE pqlink_active_power_watts gauge|-pqlink_item_value{item=\"CH1 P\"}");
    row("same series twice", "U* -> v", true, "", "+v 230.1|+pqlink_item_value{item=\"U2\"} 231");
    row("text file id", "", true, "m1",
        "+pqlink_up{id=\"m1\"} 1|+pqlink_item_value{id=\"m1\",item=\"U1\"} 230.1|"
        "+pqlink_poll_errors_total{id=\"m1\",reason=\"timeout\"} 2");
}

// Catches: measured series left in after --stale-after, a mapped value unscaled or doubled
// into pqlink_item_value, a duplicate series, an unescaped label, a missing counter.
void TestServeText::writesExposition()
{
    QFETCH(QString, map);
    QFETCH(bool, fresh);
    QFETCH(QString, id);
    QFETCH(QString, expected);
    QString error;
    const std::optional<MetricMap> m = MetricMap::parse(map, &error);
    QVERIFY(m);
    WatchState s;
    s.polls = 7;
    s.errors[size_t(PollError::Timeout)] = 2;
    s.portOpens = 3;
    s.lastSuccessMs = 1700000000500;
    s.info = InstrumentInfo{"COM1", 9600, "3P4W", 2, 5};
    QList<QByteArray> names{"U1", "U2", "CH1 P", "CH2 PF", "A\"B\\C\nD", "E", "N", "q\"\\\n"};
    names << QByteArray(130, 'y') << QByteArray(131, 'y');
    const QList<QByteArray> values{"+230.1",   "+231", "1.5",  "-----", "1",
                                   " -3.0E+1", "nan",  "OVER", "3",     "4"};
    auto poll = std::make_shared<PollState>();
    poll->readings = ReadingsFrom(names, values);
    s.poll = poll;
    Labels extra;
    if (!id.isEmpty())
        extra.emplace_back("id", id);
    const QByteArray text = WriteExposition(s, *m, fresh, "9.9", extra);
    expectLines(text, expected);
    // HELP and TYPE on every family, escapes, names its lint accepts.
    if (QStandardPaths::findExecutable("promtool").isEmpty())
        QSKIP("promtool is not installed (bash scripts/setup.sh installs it)");
    const QByteArray said = promtool(text);
    QVERIFY2(said.isEmpty(), said + "\nin:\n" + text);
}

// Catches: two items on one topic, a topic Home Assistant refuses, a value shown unscaled
// or a non-number passed to a sensor as text.
void TestServeText::discovery()
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
    QCOMPARE(topics, QStringList({"site_1_ch1_p", "site_1_ch1_p_2", "site_1_item", "site_1_it_s"}));
    const QJsonObject c = QJsonDocument::fromJson(configs[3].payload).object();
    QCOMPARE(c["unique_id"].toString(), "pqlink_site_1_it_s");
    QCOMPARE(c["state_topic"].toString(), "pqlink/site 1/state");
    // Scaled into the map's unit, as the exposition is; a reading that is no number is none.
    QCOMPARE(c["value_template"].toString(),
             "{{ value_json.readings['it\\'s'] * 0.001 if "
             "value_json.readings['it\\'s'] is number else None }}");
}

QTEST_GUILESS_MAIN(TestServeText)
#include "test_serve_text.moc"
