#include "SettingChoices.h"

#include "InstrumentWords.h"

namespace SettingChoices {

namespace {

QStringList words(std::initializer_list<const char*> items)
{
    QStringList list;
    for (const char* item : items)
        list << QString::fromUtf8(item);
    return list;
}

} // namespace

const QStringList& texts(List list)
{
    static const QStringList offOn = words({"OFF", "ON"});
    static const QStringList media = words({"PC CARD", "MEMORY"});
    static const QStringList wiring = words({"1P2W", "1P3W", "3P3W2M", "3P3W3M", "3P4W", "3P4W4I"});
    static const QStringList cirNum = words({"x1", "x2", "x3", "x4"});
    static const QStringList sampling = words({"PLL", "FIXED"});
    static const QStringList freq = words({"50Hz", "60Hz"});
    static const QStringList average = words({" 1", " 2", " 5", "10", "20"});
    static const QStringList uRange = words({"150", "300", "600"});
    static const QStringList sens = words({"CLA", "CLB", "FLX-500", "FLX-5k", "CLC", "CLD"});
    static const QStringList iRange =
        words({"0.5", "1", "5", "10", "50", "100", "200", "500", "1k", "5k"});
    static const QStringList startMeth = words({"MANUAL", "TIME", "JUST"});
    static const QStringList stopMeth = words({"MANUAL", "TIME", "TIMER"});
    static const QStringList intvl =
        words({"ALL WAVE", "100ms", "200ms", "500ms", " 1s", " 2s", " 5s", "10s", "15s", "30s",
               " 1m", " 2m", " 5m", "10m", "15m", "30m", "60m"});
    static const QStringList rsConnection = words({"PC", "PRINTER"});
    static const QStringList ordType = words({"ALL", "ODD", "EVEN", "SELECT"});
    static const QStringList thdType = words({"THD-F", "THD-R"});
    static const QStringList baud = words({" 2400bps", " 9600bps", "19200bps", "38400bps"});
    static const QStringList term = words({"CR+LF", "CR"});
    static const QStringList flow = words({"NONE", "XON/XOFF", "RTS/CTS", "BOTH"});
    static const QStringList bl = words({"OFF", "ON", "AUTO"});
    static const QStringList lang =
        words({"JAPANESE", "ENGLISH", "GERMAN", "ITALIAN", "CHINESE SIMPLE", "CHINESE TRAD"});

    switch (list) {
    case List::Wiring:
        return wiring;
    case List::CirNum:
        return cirNum;
    case List::Sampling:
        return sampling;
    case List::Freq:
        return freq;
    case List::VarMethod:
        return offOn;
    case List::Average:
        return average;
    case List::URange:
        return uRange;
    case List::Sens:
        return sens;
    case List::IRange:
        return iRange;
    case List::StartMeth:
        return startMeth;
    case List::StopMeth:
        return stopMeth;
    case List::Intvl:
        return intvl;
    case List::Media:
        return media;
    case List::RSConnection:
        return rsConnection;
    case List::OrdType:
        return ordType;
    case List::THDType:
        return thdType;
    case List::Baud:
        return baud;
    case List::Term:
        return term;
    case List::Flow:
        return flow;
    case List::BL:
        return bl;
    case List::Beep:
        return offOn;
    case List::Lang:
        return lang;
    }
    return offOn;
}

std::optional<qint32> code(List list, int position)
{
    if (position < 0 || position >= texts(list).size())
        return std::nullopt;
    if (list == List::CirNum)
        return position + 1;
    if (list == List::Average)
        return InstrumentWords::AverageCounts[std::size_t(position)];
    return position;
}

std::optional<int> position(List list, qint32 value)
{
    for (int i = 0; i < texts(list).size(); ++i)
        if (code(list, i) == value)
            return i;
    return std::nullopt;
}

} // namespace SettingChoices
