#pragma once

#include <QDateTime>
#include <QString>

#include <optional>
#include <vector>

// What the watch loop of `pqlink-cli serve` hands to its outputs (the HTTP exposition, the
// text file, MQTT). Plain values: an output on another thread gets its own copy.

// One measured item as the instrument named and sent it. value is the reply's number with its
// exponent applied; a text that is no number ("-----", "OVER") has no value and keeps its raw.
struct Reading
{
    QString item;
    QString raw;
    std::optional<double> value;
};

// The instrument as the last connection found it.
struct InstrumentInfo
{
    QString port; // the name the user gave (COM1, /dev/serial/by-id/...)
    int baud = 0;
    QString wiring; // the wiring's list text as received, e.g. "3P4W"
    int circuits = 0;
    int items = 0;
};

// The last poll that succeeded.
struct PollState
{
    quint64 seq = 0; // counts successful polls since start
    QDateTime time;  // when its reply arrived, UTC
    std::vector<Reading> readings;
};

// A mapped item that Home Assistant can show: its item name (the key in "readings"), its unit
// and device class from the metric map, and the map's factor from the reading to that unit.
struct DiscoveryItem
{
    QString item;
    QString unit;
    QString deviceClass;
    double scale = 1;
};

// The MQTT output's options, from the command line or the config file.
struct MqttOptions
{
    QString url;                             // mqtt://host:1883 or mqtts://host:8883
    QString base = QStringLiteral("pqlink"); // topic base: BASE/ID/...
    QString id;                              // the instance id
    QString user;
    QString password;                  // read from a file, never from the command line
    QString caFile, certFile, keyFile; // mqtts: the broker is always verified
    bool retainState = true;
    int qos = 0;
    std::optional<QString> haPrefix; // Home Assistant discovery, e.g. "homeassistant"
};
