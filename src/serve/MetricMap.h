#pragma once

#include "ServeTypes.h"

#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

// Turns measured items into named metric families in base units. The instrument names its
// items itself, so a map is written for one instrument (and must be checked against its
// manual). The file, one rule a line ('#' starts a comment line; blank lines are skipped):
//
//     PATTERN -> FAMILY [scale=FACTOR] [unit=UNIT] [class=DEVICE_CLASS]
//
//     U{phase}             -> pqlink_voltage_volts    unit=V class=voltage
//     CH{circuit} I{phase} -> pqlink_current_amperes  unit=A class=current
//     CH{circuit} WP+      -> pqlink_energy_watthours scale=1000 unit=Wh class=energy
//
// PATTERN is matched against the whole item name, blanks included, case-sensitively.
// {NAME} matches a run of letters and digits and becomes the label NAME with that text;
// '*' matches any text, and every other character stands for itself. The first rule that
// matches wins; an item no rule matches stays pqlink_item_value{item="..."}.
// FAMILY is a Prometheus metric name (a gauge: an energy the instrument may reset is no
// counter). The value is the item's number times FACTOR (default 1). UNIT and DEVICE_CLASS
// are what Home Assistant shows; an item with a class is offered to its discovery.

struct MappedItem
{
    QString family;
    std::vector<std::pair<QString, QString>> labels; // in the pattern's order
    double scale = 1;
    QString unit;
    QString deviceClass;
};

class MetricMap
{
public:
    // Empty: every item stays pqlink_item_value.
    MetricMap() = default;
    // Nothing when a line is wrong; *error then names its line: "line 3: ...".
    static std::optional<MetricMap> parse(const QString& text, QString* error);

    bool empty() const { return m_rules.empty(); }
    std::optional<MappedItem> map(const QString& item) const;
    // The unit of a family (from its first rule), for its HELP text.
    QString unitOf(const QString& family) const;
    // The items of a reply that Home Assistant can show: mapped with a device class.
    std::vector<DiscoveryItem> discovery(const std::vector<Reading>& readings) const;

    // Names the program writes itself; a rule may not take them.
    static bool reservedFamily(const QString& family);

private:
    struct Rule
    {
        QRegularExpression pattern;
        QStringList labels;
        MappedItem target;
    };
    std::vector<Rule> m_rules;
};
