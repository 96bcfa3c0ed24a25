#pragma once

#include <QByteArray>
#include <QHash>

class SimInstrument;
struct SimMeasureState;
struct SimSettings;

// Measuring and recording: :MEAS?, :STAT?, :START, :STOP and the reply format commands.
class SimMeasureCommands
{
public:
    static void install(SimInstrument& instrument);

    // The :MEAS? line (without CR LF) for these settings and this format; items 0 gives the
    // items the wiring and circuit count produce. texts: items answered with a text (such as
    // "-----" or "OVER") instead of their number.
    static QByteArray measLine(const SimSettings& settings, const SimMeasureState& state, int items,
                               const QHash<QByteArray, QByteArray>& texts = {});
    // Items of a :MEAS? reply for a wiring (0..5) and circuit count.
    static int naturalItems(int wiring, int cirNum);
};
