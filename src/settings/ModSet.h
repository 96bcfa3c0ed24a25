#pragma once

#include <QString>

#include <array>
#include <cstdint>

// Every instrument setting the program exchanges, in one process-wide record that starts
// zeroed. A code is the 0-based position of its meaning in the dialog's list, except the
// counts CirNum and Average. Per-circuit arrays are indexed by circuit 1..4 (element 0 is
// unused), U by 1..3 and Ord by 1..40, as the instrument numbers them.
struct ModSet
{
    // Measurement
    qint32 Wiring = 0;
    qint32 CirNum = 0;
    qint32 Sampling = 0;
    qint32 Freq = 0;
    qint32 VarMethod = 0;
    qint32 Average = 0;
    qint32 URange = 0;
    double VT = 0;
    std::array<qint32, 5> Sens{};
    std::array<qint32, 5> IRange{};
    std::array<double, 5> CT{};

    // Recording
    qint32 StartMeth = 0;
    qint32 StartY = 0, StartM = 0, StartD = 0, StartHH = 0, StartMM = 0;
    qint32 StopMeth = 0;
    qint32 StopY = 0, StopM = 0, StopD = 0, StopHH = 0, StopMM = 0;
    qint32 Timer1 = 0, Timer2 = 0, Timer3 = 0;
    qint32 Intvl = 0;

    // Data output
    qint32 Media = 0;
    QString DataFName;
    qint32 RSConnection = 0;
    qint32 CopyDst = 0;

    // Save items
    bool Norm = false, Harm = false, Integ = false, Inst = false;
    bool Ave = false, Max = false, Min = false;
    std::array<bool, 5> Circuit{};
    std::array<bool, 4> U{};
    std::array<bool, 5> I{};
    bool P = false;
    bool Wave = false;

    // Harmonics
    bool Level = false, Percent = false, Phase = false, THD = false, Total = false;
    qint32 THDType = 0;
    qint32 OrdType = 0;
    std::array<bool, 41> Ord{};

    // System
    qint32 Baud = 0;
    qint32 Term = 0;
    qint32 Flow = 0;
    qint32 BL = 0;
    qint32 Beep = 0;
    qint32 ID = 0;
    qint32 Lang = 0;

    bool operator==(const ModSet&) const = default;
};
