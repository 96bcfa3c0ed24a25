#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The list settings as the settings dialog offers them: the item texts of each list (blanks
// included, as shown) and how a list position maps to the record's code. Both front ends
// take their texts from here, so the dialog and the command line name values alike.
namespace SettingChoices {

enum class List
{
    Wiring,
    CirNum,
    Sampling,
    Freq,
    VarMethod,
    Average,
    URange,
    Sens,
    IRange,
    StartMeth,
    StopMeth,
    Intvl,
    Media, // also CopyDst
    RSConnection,
    OrdType,
    THDType,
    Baud,
    Term,
    Flow,
    BL,
    Beep,
    Lang
};

// The item texts of the list, in list order.
const QStringList& texts(List list);
// The record's code of a list position: the position itself, except the counts CirNum
// (position + 1) and Average (the averaging count). Nothing for a position off the list.
std::optional<qint32> code(List list, int position);
// The list position that shows a code; nothing when the list has no item for it.
std::optional<int> position(List list, qint32 code);

} // namespace SettingChoices
