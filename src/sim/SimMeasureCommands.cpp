#include "SimMeasureCommands.h"

#include "SimInstrument.h"

#include <QList>

#include <algorithm>
#include <array>

namespace {

const QByteArray kAllRight = QByteArrayLiteral("ALL RIGHT");
const QByteArray kExecuteError = QByteArrayLiteral("EXECUTE ERROR");

// Voltage channels and current channels per circuit of 1P2W, 1P3W, 3P3W, 3P3W3M, 3P4W, 3P4W4I.
constexpr std::array<int, 6> kVoltages = {1, 2, 2, 3, 3, 3};
constexpr std::array<int, 6> kCurrents = {1, 2, 2, 3, 3, 4};

int clampedWiring(int wiring)
{
    return std::clamp(wiring, 0, 5);
}

int clampedCircuits(int cirNum)
{
    return std::clamp(cirNum, 1, 4);
}

QByteArray signedNumber(double v, int decimals)
{
    QByteArray t = QByteArray::number(v, 'f', decimals);
    if (v >= 0)
        t.prepend('+');
    return t;
}

struct Item
{
    QByteArray name;
    QByteArray value;
};

QList<Item> naturalList(const SimSettings& s, int drift)
{
    const int w = clampedWiring(s.wiring);
    const int circuits = clampedCircuits(s.cirNum);
    const double d = (drift % 10) * 0.01;
    QList<Item> items;
    for (int u = 1; u <= kVoltages[w]; ++u)
        items.append({"U" + QByteArray::number(u), signedNumber(100.0 + u * 0.1 + d, 2)});
    // Per-circuit names carry one blank, as the instrument's do.
    for (int c = 1; c <= circuits; ++c) {
        const QByteArray ch = "CH" + QByteArray::number(c) + ' ';
        for (int i = 1; i <= kCurrents[w]; ++i)
            items.append(
                {ch + 'I' + QByteArray::number(i), signedNumber(5.0 * c + i * 0.01 + d, 3)});
        const double p = 500.0 * c + d * 10;
        items.append({ch + 'P', signedNumber(p, 1)});
        items.append({ch + 'Q', signedNumber(-12.5 * c, 1)});
        items.append({ch + 'S', signedNumber(p + 1.5, 1)});
        items.append({ch + "PF", signedNumber(0.997 - d / 10, 4)});
    }
    items.append({"f", signedNumber(50.0 + d, 2)});
    return items;
}

QByteArray separatorText(int separator)
{
    switch (separator) {
    case 1:
        return ";";
    case 3:
        return "\t";
    default:
        return ",";
    }
}

// A timed start becomes a running recording when the instrument's clock reaches it.
void advanceRecording(SimInstrument& in)
{
    SimMeasureState& m = in.state().measure;
    if (m.recording == 1 && m.waitUntil.isValid() && in.now() >= m.waitUntil)
        m.recording = 2;
}

QDateTime startMoment(SimInstrument& in)
{
    const SimSettings& s = in.state().settings;
    if (s.startMeth == 1) {
        const QDate date(s.startTime[0], s.startTime[1], s.startTime[2]);
        const QTime time(s.startTime[3], s.startTime[4]);
        return QDateTime(date, time); // invalid: waits until stopped
    }
    // JUST: the next whole minute.
    QDateTime t = in.now().addSecs(60);
    t.setTime(QTime(t.time().hour(), t.time().minute()));
    return t;
}

} // namespace

int SimMeasureCommands::naturalItems(int wiring, int cirNum)
{
    const int w = clampedWiring(wiring);
    return kVoltages[w] + clampedCircuits(cirNum) * (kCurrents[w] + 4) + 1;
}

QByteArray SimMeasureCommands::measLine(const SimSettings& settings, const SimMeasureState& state,
                                        int items, const QHash<QByteArray, QByteArray>& texts)
{
    const QList<Item> natural = naturalList(settings, state.measured);
    const int count = items > 0 ? items : static_cast<int>(natural.size());
    const QByteArray sep = separatorText(state.separator);
    QByteArray line;
    line.reserve(count * 16);
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            line += sep;
        // Beyond the wiring's own items come harmonic levels, named "HARM n".
        const Item item = i < natural.size()
                              ? natural[i]
                              : Item{"HARM " + QByteArray::number(i - natural.size() + 1),
                                     signedNumber((i % 97) * 0.125, 3)};
        if (state.headOn)
            line += item.name + ' ';
        line += texts.value(item.name, item.value);
    }
    return line;
}

void SimMeasureCommands::install(SimInstrument& instrument)
{
    instrument.addCommand("HEAD", [](SimInstrument& in, const QByteArray& args) {
        const QByteArray a = args.trimmed().toUpper();
        if (a != "ON" && a != "OFF")
            return SimReply::line(SimInstrument::BadParameter);
        in.state().measure.headOn = a == "ON";
        return SimReply::line(kAllRight);
    });
    instrument.addCommand("HEAD?", [](SimInstrument& in, const QByteArray&) {
        return SimReply::line(in.state().measure.headOn ? "ON" : "OFF");
    });
    instrument.addCommand("TRAN:SEP", [](SimInstrument& in, const QByteArray& args) {
        const QByteArray a = args.trimmed();
        if (a != "1" && a != "2" && a != "3")
            return SimReply::line(SimInstrument::BadParameter);
        in.state().measure.separator = a.toInt();
        return SimReply::line(kAllRight);
    });
    instrument.addCommand("MEAS?", [](SimInstrument& in, const QByteArray&) {
        SimMeasureState& m = in.state().measure;
        const QByteArray line =
            measLine(in.state().settings, m, in.config().measItems, in.config().measTexts);
        ++m.measured;
        return SimReply::line(line, in.config().measDelayMs);
    });
    instrument.addCommand("DISP:MODE", [](SimInstrument&, const QByteArray& args) {
        if (args.trimmed().toUpper() != "MEAS")
            return SimReply::line(SimInstrument::BadParameter);
        return SimReply::line(kAllRight);
    });
    instrument.addCommand("STAT?", [](SimInstrument& in, const QByteArray&) {
        advanceRecording(in);
        return SimReply::line(QByteArray::number(in.state().measure.recording));
    });
    instrument.addCommand("START", [](SimInstrument& in, const QByteArray&) {
        SimMeasureState& m = in.state().measure;
        advanceRecording(in);
        if (m.recording != 0)
            return SimReply::line(kExecuteError);
        if (in.state().settings.startMeth == 0) {
            m.recording = 2;
            m.waitUntil = {};
        } else {
            m.recording = 1;
            m.waitUntil = startMoment(in);
        }
        return SimReply::line(kAllRight);
    });
    instrument.addCommand("STOP", [](SimInstrument& in, const QByteArray&) {
        SimMeasureState& m = in.state().measure;
        m.recording = 0;
        m.waitUntil = {};
        return SimReply::line(kAllRight);
    });
}
