#include "MetricMap.h"

#include <QSet>

#include <cmath>

namespace {

const QRegularExpression& metricName()
{
    static const QRegularExpression re(QStringLiteral("^[a-zA-Z_:][a-zA-Z0-9_:]*$"));
    return re;
}

const QRegularExpression& labelName()
{
    static const QRegularExpression re(QStringLiteral("^[a-zA-Z_][a-zA-Z0-9_]*$"));
    return re;
}

// The pattern as an anchored expression, and the names of its labels in order.
std::optional<QRegularExpression> compile(const QString& pattern, QStringList* labels,
                                          QString* error)
{
    QString re;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern[i];
        if (c == QLatin1Char('*')) {
            re += QStringLiteral(".*");
        } else if (c == QLatin1Char('{')) {
            const qsizetype close = pattern.indexOf(QLatin1Char('}'), i);
            const QString name = close < 0 ? QString() : pattern.mid(i + 1, close - i - 1);
            if (!labelName().match(name).hasMatch() || name.startsWith(QLatin1String("__"))) {
                *error = QStringLiteral("{%1} is no label name").arg(name);
                return std::nullopt;
            }
            if (labels->contains(name)) {
                *error = QStringLiteral("the label %1 appears twice").arg(name);
                return std::nullopt;
            }
            labels->append(name);
            re += QStringLiteral("([A-Za-z0-9]+)");
            i = close;
        } else {
            re += QRegularExpression::escape(QString(c));
        }
    }
    return QRegularExpression(QRegularExpression::anchoredPattern(re));
}

} // namespace

bool MetricMap::reservedFamily(const QString& family)
{
    static const QSet<QString> names{
        QStringLiteral("pqlink_up"),
        QStringLiteral("pqlink_last_success_timestamp_seconds"),
        QStringLiteral("pqlink_poll_duration_seconds"),
        QStringLiteral("pqlink_polls_total"),
        QStringLiteral("pqlink_poll_errors_total"),
        QStringLiteral("pqlink_port_opens_total"),
        QStringLiteral("pqlink_mqtt_connected"),
        QStringLiteral("pqlink_build_info"),
        QStringLiteral("pqlink_instrument_info"),
        QStringLiteral("pqlink_item_value"),
        QStringLiteral("pqlink_item_non_numeric"),
    };
    return names.contains(family);
}

std::optional<MetricMap> MetricMap::parse(const QString& text, QString* error)
{
    MetricMap map;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int n = 0; n < lines.size(); ++n) {
        const QString line = lines[n].trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const auto fail = [&](const QString& why) {
            *error = QStringLiteral("line %1: %2").arg(n + 1).arg(why);
            return std::nullopt;
        };
        const qsizetype arrow = line.indexOf(QLatin1String("->"));
        if (arrow < 0)
            return fail(QStringLiteral("expected PATTERN -> FAMILY"));
        const QString pattern = line.left(arrow).trimmed();
        const QStringList words = line.mid(arrow + 2).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (pattern.isEmpty() || words.isEmpty())
            return fail(QStringLiteral("expected PATTERN -> FAMILY"));
        Rule rule;
        rule.target.family = words.first();
        const QString& family = rule.target.family;
        if (!metricName().match(family).hasMatch())
            return fail(QStringLiteral("%1 is no metric name").arg(family));
        if (reservedFamily(family) || family.endsWith(QLatin1String("_total")) ||
            family.endsWith(QLatin1String("_info")))
            return fail(QStringLiteral("%1 is a name the program keeps for itself").arg(family));
        QString why;
        const std::optional<QRegularExpression> re = compile(pattern, &rule.labels, &why);
        if (!re)
            return fail(why);
        rule.pattern = *re;
        for (qsizetype w = 1; w < words.size(); ++w) {
            const QString key = words[w].section(QLatin1Char('='), 0, 0);
            const QString value = words[w].section(QLatin1Char('='), 1);
            if (!words[w].contains(QLatin1Char('=')) || value.isEmpty())
                return fail(
                    QStringLiteral("expected scale=, unit= or class=, not %1").arg(words[w]));
            if (key == QLatin1String("scale")) {
                bool ok = false;
                rule.target.scale = value.toDouble(&ok);
                if (!ok || !std::isfinite(rule.target.scale) || rule.target.scale == 0)
                    return fail(QStringLiteral("scale=%1 is no factor").arg(value));
            } else if (key == QLatin1String("unit")) {
                rule.target.unit = value;
            } else if (key == QLatin1String("class")) {
                rule.target.deviceClass = value;
            } else {
                return fail(
                    QStringLiteral("expected scale=, unit= or class=, not %1").arg(words[w]));
            }
        }
        map.m_rules.push_back(std::move(rule));
    }
    return map;
}

std::optional<MappedItem> MetricMap::map(const QString& item) const
{
    for (const Rule& rule : m_rules) {
        const QRegularExpressionMatch m = rule.pattern.match(item);
        if (!m.hasMatch())
            continue;
        MappedItem mapped = rule.target;
        for (qsizetype i = 0; i < rule.labels.size(); ++i)
            mapped.labels.emplace_back(rule.labels[i], m.captured(int(i) + 1));
        return mapped;
    }
    return std::nullopt;
}

QString MetricMap::unitOf(const QString& family) const
{
    for (const Rule& rule : m_rules)
        if (rule.target.family == family)
            return rule.target.unit;
    return {};
}

std::vector<DiscoveryItem> MetricMap::discovery(const std::vector<Reading>& readings) const
{
    std::vector<DiscoveryItem> items;
    for (const Reading& r : readings)
        if (const std::optional<MappedItem> m = map(r.item); m && !m->deviceClass.isEmpty())
            items.push_back({r.item, m->unit, m->deviceClass, m->scale});
    return items;
}
