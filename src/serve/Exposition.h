#pragma once

#include "MetricMap.h"
#include "ServeTypes.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

// Why a poll (or the connection before it) failed: the label values of
// pqlink_poll_errors_total, every one always present.
enum class PollError
{
    Timeout,  // no reply in time
    BadReply, // a reply that cannot be the answer (an error line, a cut line)
    Busy,     // the link was held by another conversation
    PortOpen, // the port could not be opened
    NoAnswer, // the connection test was not answered
    PortLost, // the port went away under an open connection
    Settings, // receiving the settings failed
    Count
};
const char* PollErrorName(PollError reason);

// What the watch loop counts and last saw; the exposition is made from a copy.
struct WatchState
{
    quint64 polls = 0;
    std::array<quint64, size_t(PollError::Count)> errors{};
    quint64 portOpens = 0;
    double lastPollSeconds = 0;            // how long the last poll took
    qint64 lastSuccessMs = 0;              // when it last succeeded, ms since the epoch; 0: never
    bool lastPollOk = false;               // the last poll succeeded
    bool mqttConnected = false;            // set by an MQTT output
    std::optional<InstrumentInfo> info;    // once the settings were received
    std::shared_ptr<const PollState> poll; // the last successful poll
};

// The measured values of a reply: names and values as the instrument sent them (value blanks
// trimmed); a value that is no finite number ("-----", "OVER") has no value.
std::vector<Reading> ReadingsFrom(const QList<QByteArray>& names, const QList<QByteArray>& values);
std::optional<double> ItemNumber(const QByteArray& text);

// The label value as the text format writes it: cut to 128 bytes of UTF-8 (never inside a
// character), then backslash, double quote and line feed escaped.
QByteArray LabelValue(const QString& value);

using Labels = std::vector<std::pair<QString, QString>>;

// Prometheus' text format (0.0.4) of the state: HELP and TYPE for every family, no
// timestamps. fresh: the last poll succeeded within --stale-after; otherwise pqlink_up is 0
// and no measured value is written. extra labels go on every series (the text file's id).
QByteArray WriteExposition(const WatchState& state, const MetricMap& map, bool fresh,
                           const QString& version, const Labels& extra = {});
