#include "SettingsCodec.h"

#include "InstrumentWords.h"
#include "ItemWords.h"
#include "NumberText.h"

#include <array>

QString IntvlText(qint32 code)
{
    if (code < 0 || code >= qint32(InstrumentWords::Intvl.size()))
        return {};
    return QString::fromLatin1(InstrumentWords::Intvl[code]);
}

QString SensText(qint32 code)
{
    static constexpr std::array<const char*, 6> commandWords{"CLA",    "CLB", "FLX-500",
                                                             "FLX-5K", "CLC", "CLD"};
    if (code < 0 || code >= qint32(commandWords.size()))
        return {};
    return QString::fromLatin1(commandWords[code]);
}

QString IRangeText(qint32 code)
{
    static constexpr std::array<const char*, 10> amperes{"0.5", "1",   "5",   "10",   "50",
                                                         "100", "200", "500", "1000", "5000"};
    if (code < 0 || code >= qint32(amperes.size()))
        return {};
    return QString::fromLatin1(amperes[code]);
}

QString DataItemText(const ModSet& set)
{
    const ItemWords w = EncodeItemWords(set);
    QString text = QStringLiteral(":DATA:ITEM") + BlankForm(w[0]);
    for (qsizetype i = 1; i < qsizetype(w.size()); ++i)
        text += QLatin1Char(',') + BlankForm(w[i]);
    return text;
}

QList<QByteArray> SplitFields(const QByteArray& reply, int n)
{
    QByteArray rest = reply.size() >= 2 ? reply.left(reply.size() - 2) : QByteArray();
    rest.append(',');
    QList<QByteArray> fields;
    fields.reserve(n);
    qsizetype from = 0;
    for (int k = 0; k < n; ++k) {
        const qsizetype comma = from < rest.size() ? rest.indexOf(',', from) : -1;
        if (comma < 0) {
            fields.append(QByteArray());
            continue;
        }
        fields.append(rest.mid(from, comma - from));
        from = comma + 1;
    }
    return fields;
}

qint32 IRangeIndex(const QByteArray& field)
{
    const double v = ReadNumber(field);
    for (qsizetype i = 0; i < qsizetype(InstrumentWords::IRange.size()); ++i) {
        if (v == InstrumentWords::IRange[i])
            return qint32(i);
    }
    return 0;
}

qint32 SensIndex(const QByteArray& field)
{
    for (qsizetype i = 0; i < qsizetype(InstrumentWords::Sens.size()); ++i) {
        if (field == InstrumentWords::Sens[i])
            return qint32(i);
    }
    return 0;
}
