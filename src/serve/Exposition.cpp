#include "Exposition.h"

#include <QHash>
#include <QSet>

#include <charconv>
#include <cmath>

namespace {

QByteArray number(double v)
{
    char buf[64];
    const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, v);
    return QByteArray(buf, r.ptr - buf);
}

QByteArray helpText(const QString& text)
{
    QByteArray t = text.toUtf8();
    t.replace('\\', "\\\\");
    t.replace('\n', "\\n");
    return t;
}

// The families of one exposition, each written whole before the next begins.
class Writer
{
public:
    explicit Writer(const Labels& extra)
    {
        for (const auto& [name, value] : extra)
            m_extra += name.toUtf8() + "=\"" + LabelValue(value) + '"';
    }

    void family(const QByteArray& name, const char* type, const QString& help)
    {
        m_out += "# HELP " + name + ' ' + helpText(help) + '\n';
        m_out += "# TYPE " + name + ' ' + type + '\n';
    }
    void sample(const QByteArray& name, const Labels& labels, const QByteArray& value)
    {
        m_out += name + series(labels) + ' ' + value + '\n';
    }
    // {a="1",b="2"}, the extra labels first; empty without labels.
    QByteArray series(const Labels& labels) const
    {
        QByteArray s = m_extra;
        for (const auto& [name, value] : labels) {
            if (!s.isEmpty())
                s += ',';
            s += name.toUtf8() + "=\"" + LabelValue(value) + '"';
        }
        return s.isEmpty() ? s : '{' + s + '}';
    }
    void raw(const QByteArray& lines) { m_out += lines; }
    QByteArray take() { return std::move(m_out); }

private:
    QByteArray m_extra;
    QByteArray m_out;
};

QByteArray count(quint64 n)
{
    return QByteArray::number(n);
}

// The measured values: mapped families first, in the order their first item came, then the
// items left as received, then those that are no number.
void writeReadings(Writer& w, const PollState& poll, const MetricMap& map)
{
    struct Family
    {
        QByteArray name;
        QByteArray lines;
    };
    std::vector<Family> families;
    QHash<QString, size_t> familyAt;
    QSet<QByteArray> seen; // series already written: a second one would break the scrape
    QByteArray plain, nonNumeric;
    for (const Reading& r : poll.readings) {
        if (!r.value) {
            const Labels labels{{QStringLiteral("item"), r.item}, {QStringLiteral("value"), r.raw}};
            const QByteArray key = "pqlink_item_non_numeric" + w.series(labels);
            if (!seen.contains(key)) {
                seen.insert(key);
                nonNumeric += key + " 1\n";
            }
            continue;
        }
        if (const std::optional<MappedItem> m = map.map(r.item)) {
            const QByteArray key = m->family.toUtf8() + w.series(m->labels);
            if (!seen.contains(key)) {
                seen.insert(key);
                auto it = familyAt.constFind(m->family);
                if (it == familyAt.cend()) {
                    it = familyAt.insert(m->family, families.size());
                    families.push_back({m->family.toUtf8(), {}});
                }
                families[*it].lines += key + ' ' + number(*r.value * m->scale) + '\n';
                continue;
            }
        }
        const QByteArray key = "pqlink_item_value" + w.series({{QStringLiteral("item"), r.item}});
        if (!seen.contains(key)) {
            seen.insert(key);
            plain += key + ' ' + number(*r.value) + '\n';
        }
    }
    for (const Family& f : families) {
        const QString unit = map.unitOf(QString::fromUtf8(f.name));
        w.family(f.name, "gauge",
                 unit.isEmpty()
                     ? QStringLiteral("Measured items named by the metric map.")
                     : QStringLiteral("Measured items named by the metric map, in %1.").arg(unit));
        w.raw(f.lines);
    }
    if (!plain.isEmpty()) {
        w.family("pqlink_item_value", "gauge",
                 QStringLiteral("A measured item's number as the instrument sent it."));
        w.raw(plain);
    }
    if (!nonNumeric.isEmpty()) {
        w.family("pqlink_item_non_numeric", "gauge",
                 QStringLiteral("A measured item whose value is no number, with its text."));
        w.raw(nonNumeric);
    }
}

} // namespace

const char* PollErrorName(PollError reason)
{
    switch (reason) {
    case PollError::Timeout:
        return "timeout";
    case PollError::BadReply:
        return "bad_reply";
    case PollError::Busy:
        return "busy";
    case PollError::PortOpen:
        return "port_open";
    case PollError::NoAnswer:
        return "no_answer";
    case PollError::PortLost:
        return "port_lost";
    case PollError::Settings:
        return "settings";
    case PollError::Count:
        break;
    }
    return "";
}

std::optional<double> ItemNumber(const QByteArray& text)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

std::vector<Reading> ReadingsFrom(const QList<QByteArray>& names, const QList<QByteArray>& values)
{
    std::vector<Reading> readings;
    readings.reserve(size_t(values.size()));
    for (qsizetype i = 0; i < values.size() && i < names.size(); ++i) {
        const QByteArray raw = values[i].trimmed();
        readings.push_back(
            {QString::fromLatin1(names[i]), QString::fromLatin1(raw), ItemNumber(raw)});
    }
    return readings;
}

QByteArray LabelValue(const QString& value)
{
    QByteArray v = value.toUtf8();
    if (v.size() > 128) {
        qsizetype cut = 128;
        // Back to the first byte of the character the cut would split.
        while (cut > 0 && (quint8(v[cut]) & 0xC0) == 0x80)
            --cut;
        v.truncate(cut);
    }
    v.replace('\\', "\\\\");
    v.replace('"', "\\\"");
    v.replace('\n', "\\n");
    return v;
}

QByteArray WriteExposition(const WatchState& state, const MetricMap& map, bool fresh,
                           const QString& version, const Labels& extra)
{
    Writer w(extra);
    w.family("pqlink_up", "gauge",
             QStringLiteral("1 while the last poll of the instrument succeeded recently."));
    w.sample("pqlink_up", {}, fresh ? "1" : "0");
    w.family("pqlink_last_success_timestamp_seconds", "gauge",
             QStringLiteral("When a poll last succeeded, in seconds since the epoch; 0: never."));
    w.sample("pqlink_last_success_timestamp_seconds", {}, number(state.lastSuccessMs / 1000.0));
    w.family("pqlink_poll_duration_seconds", "gauge",
             QStringLiteral("How long the last poll took."));
    w.sample("pqlink_poll_duration_seconds", {}, number(state.lastPollSeconds));
    w.family("pqlink_polls_total", "counter", QStringLiteral("Polls of the instrument begun."));
    w.sample("pqlink_polls_total", {}, count(state.polls));
    w.family("pqlink_poll_errors_total", "counter",
             QStringLiteral("Failed polls and connections, by reason."));
    for (size_t i = 0; i < state.errors.size(); ++i)
        w.sample("pqlink_poll_errors_total",
                 {{QStringLiteral("reason"), QString::fromLatin1(PollErrorName(PollError(i)))}},
                 count(state.errors[i]));
    w.family("pqlink_port_opens_total", "counter",
             QStringLiteral("Times the serial port was opened."));
    w.sample("pqlink_port_opens_total", {}, count(state.portOpens));
    w.family("pqlink_mqtt_connected", "gauge",
             QStringLiteral("1 while connected to the MQTT broker."));
    w.sample("pqlink_mqtt_connected", {}, state.mqttConnected ? "1" : "0");
    w.family("pqlink_build_info", "gauge", QStringLiteral("The program's version."));
    w.sample("pqlink_build_info", {{QStringLiteral("version"), version}}, "1");
    const InstrumentInfo info = state.info.value_or(InstrumentInfo{});
    w.family("pqlink_instrument_info", "gauge",
             QStringLiteral("The instrument's wiring, circuits and measured items."));
    w.sample("pqlink_instrument_info",
             {{QStringLiteral("wiring"), info.wiring},
              {QStringLiteral("circuits"), QString::number(info.circuits)},
              {QStringLiteral("items"), QString::number(info.items)}},
             "1");
    if (fresh && state.poll)
        writeReadings(w, *state.poll, map);
    return w.take();
}
