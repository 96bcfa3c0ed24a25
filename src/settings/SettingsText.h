#pragma once

#include "ModSet.h"

#include <QByteArray>
#include <QString>

// The record as text, one NAME=VALUE line per setting, for the command line. Names are the
// record's field names, array elements as the instrument numbers them ("Sens[2]"). A list
// setting's value is its item text in the settings dialog, blanks trimmed ("Wiring=1P3W");
// a code the list has no item for is written "#code" and read back unchanged. Numbers are
// in the plain form, flags 0 or 1, DataFName as it is.
namespace SettingsText {

// Every setting, in the record's order, each line ending in "\n".
QString format(const ModSet& set);

struct ApplyResult
{
    bool ok = true;
    QString error; // "line N: ..." naming the allowed values or the rule
};

// Applies NAME=VALUE lines (UTF-8) to set. Blank lines and lines starting with "#" are
// skipped; blanks around names and values are ignored. A sensor/range or wiring/count pair
// that the lines change from its value in set and the dialog's rules would correct is
// refused, naming the rule. On an error set is left as it was. checkRules false checks the
// lines alone (before the record they apply to has been received).
ApplyResult apply(const QByteArray& text, ModSet& set, bool checkRules = true);

} // namespace SettingsText
