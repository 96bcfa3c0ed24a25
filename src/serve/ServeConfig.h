#pragma once

#include "MetricMap.h"
#include "ServeTypes.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

// The settings of `pqlink-cli serve`: from its options and an optional `--config FILE` of
// `name = value` lines (the long option names without "--"); an option on the command line
// wins over the same name in the file.

// A port outside the exporters' 9100-9999 range that no common service or exporter uses.
inline constexpr quint16 DefaultListenPort = 8642;

struct ServeConfig
{
    QString port = QStringLiteral("COM1"); // as given: COM1..COM8 or a device path
    int portNumber = 1;
    QString devicePath; // set when port is a device path
    int baud = 9600;
    int intervalMs = 10000;
    int staleAfterMs = 30000; // three intervals unless set
    QString listenAddress = QStringLiteral("127.0.0.1");
    quint16 listenPort = DefaultListenPort;
    QString portFile; // the port really listened on is written here (for --listen ADDR:0)
    QString textfile; // node_exporter's textfile collector format, rewritten after each poll
    QString id;       // names this instrument in MQTT topics and the text file
    QString metricMapFile;
    std::shared_ptr<const MetricMap> metricMap; // empty map when no file was given
    std::optional<MqttOptions> mqtt;
    QString mqttPasswordFile; // where the password was read from, for --print-config
    bool printConfig = false;
    bool help = false;
};

struct ServeConfigResult
{
    enum class Error
    {
        None,
        Usage, // a bad option or config line: exit 1
        File   // a file that cannot be read: exit 5
    };
    std::optional<ServeConfig> config;
    Error kind = Error::None;
    QString error; // one line naming the option, or the file and line
};

// Everything but files: args (after "serve") and the text of the config file, if any.
// hostName makes the default id; credentialsDir is $CREDENTIALS_DIRECTORY (systemd's
// LoadCredential=), where a password file "mqtt-password" is looked for.
ServeConfigResult ResolveServeConfig(const QStringList& args, const QString& configText = {},
                                     const QString& configName = {},
                                     const QString& hostName = QStringLiteral("localhost"));

// As ResolveServeConfig, reading --config, the password, the certificates and the metric map.
ServeConfigResult LoadServeConfig(const QStringList& args, const QString& hostName,
                                  const QString& credentialsDir);

// The effective settings as config-file lines; no secret is printed.
QString ServeConfigText(const ServeConfig& config);

// host and port mapped into [A-Za-z0-9_-]: "meter1-ttyUSB0".
QString DefaultServeId(const QString& hostName, const QString& port);

// The options of serve, for the usage text.
QString ServeUsage();
