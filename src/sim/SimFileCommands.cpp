#include "SimFileCommands.h"

#include "SimInstrument.h"

namespace {

const QByteArray kExecuteError = QByteArrayLiteral("EXECUTE ERROR");

bool isKind(const QByteArray& kind)
{
    return kind == "MEAS" || kind == "INST" || kind == "BMP" || kind == "WAVE";
}

bool cardMissing(SimInstrument& in, SimStorage::Medium m)
{
    return m == SimStorage::Card && in.config().noCard;
}

SimReply list(SimInstrument& in, SimStorage::Medium m, const QByteArray& args)
{
    const QByteArray kind = args.trimmed().toUpper();
    if (!isKind(kind))
        return SimReply::line(SimInstrument::BadParameter);
    if (cardMissing(in, m))
        return SimReply::line(kExecuteError);
    return {SimFileCommands::listReply(in.state().storage.files(m), kind), 0};
}

bool readPosition(const QByteArray& text, qint64* value)
{
    const QByteArray t = text.trimmed();
    if (t.isEmpty() || t.size() > 12)
        return false;
    for (char c : t)
        if (c < '0' || c > '9')
            return false;
    *value = t.toLongLong();
    return true;
}

// "name, start, end": the name is everything before the last two commas.
SimReply pick(SimInstrument& in, SimStorage::Medium m, const QByteArray& args)
{
    const qsizetype c2 = args.lastIndexOf(',');
    const qsizetype c1 = c2 > 0 ? args.lastIndexOf(',', c2 - 1) : -1;
    if (c1 < 0)
        return SimReply::line(SimInstrument::BadParameter);
    qint64 start = 0;
    qint64 end = 0;
    if (!readPosition(args.mid(c1 + 1, c2 - c1 - 1), &start) ||
        !readPosition(args.mid(c2 + 1), &end))
        return SimReply::line(SimInstrument::BadParameter);
    if (cardMissing(in, m))
        return SimReply::line(kExecuteError);
    const QByteArray name = args.left(c1);
    const SimStorage::File* file = in.state().storage.find(m, name);
    if (!file)
        return SimReply::line(kExecuteError);
    if (start < 1 || end < start || end > file->size || end - start + 1 > SimFileCommands::MaxBlock)
        return SimReply::line(SimInstrument::BadParameter);
    QByteArray bytes;
    bytes.reserve(end - start + 3);
    bytes.append(SimFileCommands::BlockLead);
    bytes.append(SimStorage::content(m, name, start, end - start + 1));
    bytes.append(SimFileCommands::BlockTrail);
    return {bytes, 0};
}

} // namespace

QByteArray SimFileCommands::listReply(const QList<SimStorage::File>& files, const QByteArray& kind)
{
    QByteArray out;
    for (const SimStorage::File& f : files) {
        if (f.kind != kind)
            continue;
        if (!out.isEmpty())
            out.append(',');
        out.append(f.name).append(',').append(QByteArray::number(f.size));
    }
    return (out.isEmpty() ? QByteArrayLiteral("NO FILES") : out) + "\r\n";
}

void SimFileCommands::install(SimInstrument& instrument)
{
    using M = SimStorage::Medium;
    instrument.addCommand(
        ":CARD:FILE?", [](SimInstrument& in, const QByteArray& a) { return list(in, M::Card, a); });
    instrument.addCommand(":MEM:FILE?", [](SimInstrument& in, const QByteArray& a) {
        return list(in, M::Memory, a);
    });
    instrument.addCommand(
        ":CARD:PICK?", [](SimInstrument& in, const QByteArray& a) { return pick(in, M::Card, a); });
    instrument.addCommand(":MEM:PICK?", [](SimInstrument& in, const QByteArray& a) {
        return pick(in, M::Memory, a);
    });
    instrument.addCommand(":CARD:DEL", [](SimInstrument& in, const QByteArray& name) {
        const int delay = in.config().deleteDelayMs;
        if (cardMissing(in, M::Card))
            return SimReply::line(kExecuteError, delay);
        QList<SimStorage::File>& files = in.state().storage.card;
        for (qsizetype i = 0; i < files.size(); ++i) {
            if (files[i].name == name) {
                files.removeAt(i);
                return SimReply::line("ALL RIGHT", delay);
            }
        }
        return SimReply::line(kExecuteError, delay);
    });
    instrument.addCommand(":MEM:FORM", [](SimInstrument& in, const QByteArray&) {
        in.state().storage.memory.clear();
        return SimReply::line("ALL RIGHT", in.config().deleteDelayMs);
    });
}
