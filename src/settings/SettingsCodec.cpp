#include "SettingsCodec.h"

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
