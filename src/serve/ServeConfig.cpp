#include "ServeConfig.h"

#include "MqttPayloads.h"

#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>

#include <cmath>

namespace {

enum class Arg
{
    Value,
    Flag,    // yes or no; on the command line its presence says yes
    Optional // --name or --name=VALUE on the command line, name = VALUE in the file
};

struct OptionForm
{
    Arg arg;
    bool inFile;
};

const QMap<QString, OptionForm>& optionForms()
{
    static const QMap<QString, OptionForm> s{
        {QStringLiteral("port"), {Arg::Value, true}},
        {QStringLiteral("baud"), {Arg::Value, true}},
        {QStringLiteral("interval"), {Arg::Value, true}},
        {QStringLiteral("stale-after"), {Arg::Value, true}},
        {QStringLiteral("listen"), {Arg::Value, true}},
        {QStringLiteral("port-file"), {Arg::Value, true}},
        {QStringLiteral("textfile"), {Arg::Value, true}},
        {QStringLiteral("id"), {Arg::Value, true}},
        {QStringLiteral("metric-map"), {Arg::Value, true}},
        {QStringLiteral("mqtt"), {Arg::Value, true}},
        {QStringLiteral("mqtt-topic"), {Arg::Value, true}},
        {QStringLiteral("mqtt-user"), {Arg::Value, true}},
        {QStringLiteral("mqtt-password-file"), {Arg::Value, true}},
        {QStringLiteral("mqtt-cafile"), {Arg::Value, true}},
        {QStringLiteral("mqtt-cert"), {Arg::Value, true}},
        {QStringLiteral("mqtt-key"), {Arg::Value, true}},
        {QStringLiteral("mqtt-qos"), {Arg::Value, true}},
        {QStringLiteral("mqtt-no-retain"), {Arg::Flag, true}},
        {QStringLiteral("ha-discovery"), {Arg::Optional, true}},
        {QStringLiteral("config"), {Arg::Value, false}},
        {QStringLiteral("print-config"), {Arg::Flag, false}},
        {QStringLiteral("help"), {Arg::Flag, false}},
    };
    return s;
}

// A setting's value and where it came from ("--interval" or "pq.conf:3: interval"), so an
// error names the option or the line.
struct Setting
{
    QString value;
    QString origin;
};
using Settings = QMap<QString, Setting>;

const QString kNoPasswordOption = QStringLiteral(
    "there is no password option: put the password in a file and use --mqtt-password-file");

bool parseArgs(const QStringList& args, Settings* out, QString* error)
{
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        QString name;
        std::optional<QString> value;
        if (a == QLatin1String("-p") || a == QLatin1String("-b") || a == QLatin1String("-h")) {
            name = a == QLatin1String("-p")   ? QStringLiteral("port")
                   : a == QLatin1String("-b") ? QStringLiteral("baud")
                                              : QStringLiteral("help");
        } else if (a.startsWith(QLatin1String("--")) && a.size() > 2) {
            name = a.mid(2).section(QLatin1Char('='), 0, 0);
            if (a.contains(QLatin1Char('=')))
                value = a.section(QLatin1Char('='), 1);
        } else {
            *error = QStringLiteral("unexpected argument %1").arg(a);
            return false;
        }
        if (name == QLatin1String("mqtt-password")) {
            *error = kNoPasswordOption;
            return false;
        }
        const auto form = optionForms().constFind(name);
        if (form == optionForms().cend()) {
            *error = QStringLiteral("unknown option %1").arg(a.section(QLatin1Char('='), 0, 0));
            return false;
        }
        const QString origin = QStringLiteral("--") + name;
        switch (form->arg) {
        case Arg::Value:
            if (!value) {
                if (i + 1 >= args.size()) {
                    *error = QStringLiteral("option %1 needs a value").arg(origin);
                    return false;
                }
                value = args[++i];
            }
            break;
        case Arg::Flag:
            if (value) {
                *error = QStringLiteral("option %1 takes no value").arg(origin);
                return false;
            }
            value = QStringLiteral("yes");
            break;
        case Arg::Optional:
            if (!value)
                value = QStringLiteral("homeassistant");
            break;
        }
        out->insert(name, {*value, origin});
    }
    return true;
}

bool parseConfigText(const QString& text, const QString& file, Settings* out, QString* error)
{
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (qsizetype n = 0; n < lines.size(); ++n) {
        const QString line = lines[n].trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QString where = QStringLiteral("%1:%2").arg(file).arg(n + 1);
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        const QString name = line.left(eq).trimmed();
        if (eq < 0 || name.isEmpty()) {
            *error = QStringLiteral("%1: expected name = value").arg(where);
            return false;
        }
        if (name == QLatin1String("mqtt-password")) {
            *error = QStringLiteral("%1: %2").arg(where, kNoPasswordOption);
            return false;
        }
        const auto form = optionForms().constFind(name);
        if (form == optionForms().cend() || !form->inFile) {
            *error = QStringLiteral("%1: unknown setting %2").arg(where, name);
            return false;
        }
        if (out->contains(name)) {
            *error = QStringLiteral("%1: %2 is set twice").arg(where, name);
            return false;
        }
        out->insert(name, {line.mid(eq + 1).trimmed(), QStringLiteral("%1: %2").arg(where, name)});
    }
    return true;
}

// seconds as milliseconds, within [lo, hi] seconds.
std::optional<int> seconds(const QString& text, double lo, double hi)
{
    bool ok = false;
    const double s = text.toDouble(&ok);
    if (!ok || !(s >= lo) || s > hi)
        return std::nullopt;
    return int(std::lround(s * 1000));
}

std::optional<bool> yesNo(const QString& text)
{
    const QString t = text.toLower();
    if (t == QLatin1String("yes") || t == QLatin1String("true") || t == QLatin1String("1"))
        return true;
    if (t == QLatin1String("no") || t == QLatin1String("false") || t == QLatin1String("0"))
        return false;
    return std::nullopt;
}

bool ipv4(const QString& text)
{
    static const QRegularExpression re(
        QStringLiteral("^(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})$"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch())
        return false;
    for (int i = 1; i <= 4; ++i)
        if (m.captured(i).toInt() > 255)
            return false;
    return true;
}

// ADDR:PORT, [V6]:PORT or :PORT (loopback); ADDR is an IP address or localhost.
bool parseListen(const QString& text, QString* address, quint16* port)
{
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon < 0)
        return false;
    QString addr = text.left(colon);
    bool ok = false;
    const uint p = text.mid(colon + 1).toUInt(&ok);
    if (!ok || p > 65535)
        return false;
    if (addr.isEmpty() || addr == QLatin1String("localhost")) {
        addr = QStringLiteral("127.0.0.1");
    } else if (addr.startsWith(QLatin1Char('[')) && addr.endsWith(QLatin1Char(']'))) {
        static const QRegularExpression v6(QStringLiteral("^[0-9A-Fa-f:.]+$"));
        addr = addr.mid(1, addr.size() - 2);
        if (!addr.contains(QLatin1Char(':')) || !v6.match(addr).hasMatch())
            return false;
    } else if (!ipv4(addr)) {
        return false;
    }
    *address = addr;
    *port = quint16(p);
    return true;
}

// A topic level path: no wildcards, no empty level at either end.
bool topicBase(const QString& t)
{
    return !t.isEmpty() && !t.contains(QLatin1Char('+')) && !t.contains(QLatin1Char('#')) &&
           !t.startsWith(QLatin1Char('/')) && !t.endsWith(QLatin1Char('/')) &&
           !t.contains(QChar(0));
}

std::optional<QString> mqttUrl(const QString& text, QString* why)
{
    const BrokerAddress a = parseBrokerUrl(text);
    if (!a.error.isEmpty()) {
        *why = a.error;
        return std::nullopt;
    }
    const QString host = a.host.contains(QLatin1Char(':')) ? u'[' + a.host + u']' : a.host;
    return QStringLiteral("%1://%2:%3")
        .arg(a.tls ? QLatin1String("mqtts") : QLatin1String("mqtt"), host)
        .arg(a.port);
}

ServeConfigResult usage(const QString& error)
{
    return {std::nullopt, ServeConfigResult::Error::Usage, error};
}

ServeConfigResult build(const Settings& s, const QString& hostName)
{
    ServeConfig c;
    const auto has = [&s](const char* name) { return s.contains(QLatin1String(name)); };
    const auto value = [&s](const char* name) { return s.value(QLatin1String(name)).value; };
    const auto bad = [&s](const char* name, const QString& why) {
        return usage(QStringLiteral("%1: %2").arg(s.value(QLatin1String(name)).origin, why));
    };
    c.help = has("help");
    if (c.help)
        return {c, {}, {}};
    c.printConfig = has("print-config");

    if (has("port")) {
        const QString port = value("port");
        bool ok = false;
        const int n = port.mid(3).toInt(&ok);
        if (port.startsWith(QLatin1String("COM"), Qt::CaseInsensitive) && ok && n >= 1 && n <= 8 &&
            port.size() == 4) {
            c.portNumber = n;
            c.port = QStringLiteral("COM%1").arg(n);
        } else if (port.contains(QLatin1Char('/'))) {
            c.devicePath = port;
            c.port = port;
        } else {
            return bad("port",
                       QStringLiteral("%1 is neither COM1..COM8 nor a device path").arg(port));
        }
    }
    if (has("baud")) {
        const QString baud = value("baud");
        if (baud != QLatin1String("9600") && baud != QLatin1String("19200") &&
            baud != QLatin1String("38400"))
            return bad("baud", QStringLiteral("%1 is not 9600, 19200 or 38400").arg(baud));
        c.baud = baud.toInt();
    }
    if (has("interval")) {
        const std::optional<int> ms = seconds(value("interval"), 0.1, 86400);
        if (!ms)
            return bad("interval", QStringLiteral("takes seconds from 0.1 to 86400"));
        c.intervalMs = *ms;
    }
    c.staleAfterMs = 3 * c.intervalMs;
    if (has("stale-after")) {
        const std::optional<int> ms = seconds(value("stale-after"), 0.1, 3 * 86400);
        if (!ms || *ms < c.intervalMs)
            return bad("stale-after", QStringLiteral("takes seconds from the interval to 259200"));
        c.staleAfterMs = *ms;
    }
    if (has("listen") && !parseListen(value("listen"), &c.listenAddress, &c.listenPort))
        return bad("listen",
                   QStringLiteral("expected ADDRESS:PORT, [IPv6]:PORT or :PORT, with an IP "
                                  "address and a port from 0 to 65535"));
    c.portFile = value("port-file");
    c.textfile = value("textfile");
    c.metricMapFile = value("metric-map");
    c.id = DefaultServeId(hostName, c.port);
    if (has("id")) {
        static const QRegularExpression idChars(QStringLiteral("^[A-Za-z0-9_-]+$"));
        c.id = value("id");
        if (!idChars.match(c.id).hasMatch())
            return bad("id", QStringLiteral("takes letters, digits, '_' and '-' only"));
    }
    for (const char* name : {"port-file", "textfile", "metric-map", "mqtt-password-file",
                             "mqtt-cafile", "mqtt-cert", "mqtt-key"})
        if (has(name) && value(name).isEmpty())
            return bad(name, QStringLiteral("needs a file name"));

    if (!has("mqtt")) {
        for (auto it = s.cbegin(); it != s.cend(); ++it)
            if (it.key().startsWith(QLatin1String("mqtt-")) ||
                it.key() == QLatin1String("ha-discovery"))
                return usage(QStringLiteral("%1: applies only with --mqtt").arg(it->origin));
        return {c, {}, {}};
    }
    MqttOptions m;
    QString why;
    const std::optional<QString> url = mqttUrl(value("mqtt"), &why);
    if (!url)
        return bad("mqtt", why);
    m.url = *url;
    m.id = c.id;
    if (has("mqtt-topic")) {
        m.base = value("mqtt-topic");
        if (!topicBase(m.base))
            return bad("mqtt-topic",
                       QStringLiteral("takes a topic without '+', '#' or a '/' at either end"));
    }
    m.user = value("mqtt-user");
    const bool tls = m.url.startsWith(QLatin1String("mqtts:"));
    for (const char* name : {"mqtt-cafile", "mqtt-cert", "mqtt-key"})
        if (has(name) && !tls)
            return bad(name, QStringLiteral("applies only to an mqtts:// broker"));
    m.caFile = value("mqtt-cafile");
    m.certFile = value("mqtt-cert");
    m.keyFile = value("mqtt-key");
    if (m.certFile.isEmpty() != m.keyFile.isEmpty())
        return bad(has("mqtt-cert") ? "mqtt-cert" : "mqtt-key",
                   QStringLiteral("--mqtt-cert and --mqtt-key go together"));
    if (has("mqtt-qos")) {
        const QString q = value("mqtt-qos");
        if (q != QLatin1String("0") && q != QLatin1String("1") && q != QLatin1String("2"))
            return bad("mqtt-qos", QStringLiteral("takes 0, 1 or 2"));
        m.qos = q.toInt();
    }
    if (has("mqtt-no-retain")) {
        const std::optional<bool> no = yesNo(value("mqtt-no-retain"));
        if (!no)
            return bad("mqtt-no-retain", QStringLiteral("takes yes or no"));
        m.retainState = !*no;
    }
    if (has("ha-discovery")) {
        m.haPrefix = value("ha-discovery");
        if (!topicBase(*m.haPrefix))
            return bad("ha-discovery",
                       QStringLiteral("takes a topic without '+', '#' or a '/' at either end"));
    }
    c.mqttPasswordFile = value("mqtt-password-file");
    c.mqtt = m;
    return {c, {}, {}};
}

std::optional<QByteArray> readFile(const QString& path, QString* error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, f.errorString());
        return std::nullopt;
    }
    return f.readAll();
}

ServeConfigResult fileError(const QString& error)
{
    return {std::nullopt, ServeConfigResult::Error::File, error};
}

} // namespace

QString DefaultServeId(const QString& hostName, const QString& port)
{
    static const QRegularExpression other(QStringLiteral("[^A-Za-z0-9_-]+"));
    const QString device = port.section(QLatin1Char('/'), -1);
    QString id = (hostName.section(QLatin1Char('.'), 0, 0) + QLatin1Char('-') + device);
    id.replace(other, QStringLiteral("_"));
    return id;
}

ServeConfigResult ResolveServeConfig(const QStringList& args, const QString& configText,
                                     const QString& configName, const QString& hostName)
{
    Settings fromArgs;
    QString error;
    if (!parseArgs(args, &fromArgs, &error))
        return usage(error);
    Settings merged;
    if (!parseConfigText(configText, configName, &merged, &error))
        return usage(error);
    // Flags win over the file.
    for (auto it = fromArgs.cbegin(); it != fromArgs.cend(); ++it)
        merged.insert(it.key(), it.value());
    return build(merged, hostName);
}

ServeConfigResult LoadServeConfig(const QStringList& args, const QString& hostName,
                                  const QString& credentialsDir)
{
    Settings fromArgs;
    QString error;
    if (!parseArgs(args, &fromArgs, &error))
        return usage(error);
    QString text;
    const QString configFile = fromArgs.value(QStringLiteral("config")).value;
    if (!configFile.isEmpty() && !fromArgs.contains(QStringLiteral("help"))) {
        const std::optional<QByteArray> bytes = readFile(configFile, &error);
        if (!bytes)
            return fileError(error);
        text = QString::fromUtf8(*bytes);
    }
    ServeConfigResult r = ResolveServeConfig(args, text, configFile, hostName);
    if (!r.config || r.config->help)
        return r;
    ServeConfig& c = *r.config;
    if (c.mqtt) {
        QString passwordFile = c.mqttPasswordFile;
        const QString credential = credentialsDir + QStringLiteral("/mqtt-password");
        if (passwordFile.isEmpty() && !credentialsDir.isEmpty() && QFileInfo::exists(credential))
            passwordFile = credential;
        if (!passwordFile.isEmpty()) {
            const std::optional<QByteArray> bytes = readFile(passwordFile, &error);
            if (!bytes)
                return fileError(error);
            // The first line; a file written by echo ends in a line feed.
            c.mqtt->password =
                QString::fromUtf8(bytes->split('\n').first()).remove(QLatin1Char('\r'));
            c.mqttPasswordFile = passwordFile;
        }
        for (const QString& file : {c.mqtt->caFile, c.mqtt->certFile, c.mqtt->keyFile})
            if (!file.isEmpty() && !readFile(file, &error))
                return fileError(error);
    }
    auto map = std::make_shared<MetricMap>();
    if (!c.metricMapFile.isEmpty()) {
        const std::optional<QByteArray> bytes = readFile(c.metricMapFile, &error);
        if (!bytes)
            return fileError(error);
        std::optional<MetricMap> parsed = MetricMap::parse(QString::fromUtf8(*bytes), &error);
        if (!parsed)
            return usage(QStringLiteral("%1: %2").arg(c.metricMapFile, error));
        *map = std::move(*parsed);
    }
    c.metricMap = std::move(map);
    return r;
}

QString ServeConfigText(const ServeConfig& c)
{
    QString t;
    const auto line = [&t](const char* name, const QString& value) {
        if (!value.isEmpty())
            t += QStringLiteral("%1 = %2\n").arg(QLatin1String(name), value);
    };
    line("port", c.port);
    line("baud", QString::number(c.baud));
    line("interval", QString::number(c.intervalMs / 1000.0));
    line("stale-after", QString::number(c.staleAfterMs / 1000.0));
    const QString address = c.listenAddress.contains(QLatin1Char(':'))
                                ? QLatin1Char('[') + c.listenAddress + QLatin1Char(']')
                                : c.listenAddress;
    line("listen", QStringLiteral("%1:%2").arg(address).arg(c.listenPort));
    line("port-file", c.portFile);
    line("textfile", c.textfile);
    line("id", c.id);
    line("metric-map", c.metricMapFile);
    if (c.mqtt) {
        const MqttOptions& m = *c.mqtt;
        line("mqtt", m.url);
        line("mqtt-topic", m.base);
        line("mqtt-user", m.user);
        line("mqtt-password-file", c.mqttPasswordFile);
        if (!m.password.isEmpty())
            t += QStringLiteral("# the MQTT password was read from that file (not shown)\n");
        line("mqtt-cafile", m.caFile);
        line("mqtt-cert", m.certFile);
        line("mqtt-key", m.keyFile);
        line("mqtt-qos", QString::number(m.qos));
        line("mqtt-no-retain", m.retainState ? QString() : QStringLiteral("yes"));
        line("ha-discovery", m.haPrefix.value_or(QString()));
    }
    return t;
}

QString ServeUsage()
{
    return QStringLiteral(
        R"(SERVE
  serve [OPTIONS]                watch the instrument for Prometheus (and MQTT) until stopped:
                                 the settings and a measurement with names at start and after
                                 every reconnect, then values only at each interval
  -p, --port PORT, -b, --baud BAUD   as above; the port is looked up again at every reopen
  --interval S                   seconds between polls (default 10, at least 0.1)
  --stale-after S                measured values and pqlink_up=1 last this long after the last
                                 good poll (default 3 intervals)
  --listen ADDR:PORT             HTTP address of / and /metrics (default 127.0.0.1:8642);
                                 [IPv6]:PORT; port 0 picks a free port
  --port-file FILE               write the port listened on to FILE
  --textfile FILE                rewrite FILE (node_exporter's textfile collector format, every
                                 series labelled id) atomically after each poll
  --id NAME                      this instrument's name in MQTT topics and the text file
                                 (default HOST-DEVICE, in [A-Za-z0-9_-])
  --metric-map FILE              item name patterns to metric families (see the README)
  --mqtt URL                     mqtt://HOST[:PORT] or mqtts://HOST[:PORT]; no user or password in it
  --mqtt-topic BASE              topics BASE/ID/... (default pqlink)
  --mqtt-user NAME, --mqtt-password-file FILE
                                 the password is read from FILE, or from
                                 $CREDENTIALS_DIRECTORY/mqtt-password; there is no password option
  --mqtt-cafile FILE, --mqtt-cert FILE, --mqtt-key FILE
                                 mqtts: the broker's certificate is always verified (against the
                                 system's CAs without --mqtt-cafile); a client certificate
  --mqtt-qos N, --mqtt-no-retain the state messages' QoS (default 0) and retain flag (default on)
  --ha-discovery[=PREFIX]        Home Assistant discovery of mapped items (default homeassistant)
  --config FILE                  "name = value" lines of the options above without "--"; an
                                 option given on the command line wins
  --print-config                 print the effective settings as such lines (no secret) and end
  SIGTERM and SIGINT end serve with exit status 0. Serial faults never end it: the port is
  closed and reopened with back-off. Exit status 1: a bad option or config line; 5: a file
  that cannot be read (config, password, certificate, metric map); 6: the listen address is in use.
)");
}
