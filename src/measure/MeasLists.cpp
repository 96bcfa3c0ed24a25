#include "MeasLists.h"

const QByteArray& MeasLists::endMarker()
{
    static const QByteArray end = QByteArrayLiteral("END");
    return end;
}

template <class Store> qint32 MeasLists::split(const QByteArray& reply, Store store)
{
    const qsizetype length = reply.size();
    qint32 i = 0;
    if (length > 0) {
        qsizetype start = 0;
        // Items beyond the lists' capacity are dropped: the marker needs the last entry.
        while (i < MaxItems) {
            const qsizetype comma = reply.indexOf(',', start);
            if (comma < 0) {
                // The last item loses the reply's last two characters (its CR LF), even when
                // a time-out cut the line short; what is left may be nothing.
                const qsizetype end = length - 2;
                store(i, end > start ? reply.mid(start, end - start) : QByteArray());
                ++i;
                break;
            }
            store(i, reply.mid(start, comma - start));
            ++i;
            start = comma + 1;
        }
    }
    return i;
}

qint32 MeasLists::SplitHeaderData(const QByteArray& reply)
{
    const qint32 n = split(reply, [this](qint32 i, const QByteArray& item) {
        auto [name, value] = SplitItem(item);
        m_header[i] = std::move(name);
        m_data[i] = std::move(value);
    });
    m_header[n] = endMarker();
    m_data[n] = endMarker();
    return n;
}

qint32 MeasLists::SplitData(const QByteArray& reply)
{
    const qint32 n = split(reply, [this](qint32 i, const QByteArray& item) { m_data[i] = item; });
    m_data[n] = endMarker();
    return n;
}

std::pair<QByteArray, QByteArray> MeasLists::SplitItem(const QByteArray& item)
{
    const qsizetype first = item.indexOf(' ');
    if (first < 0)
        return {};
    const qsizetype second = item.indexOf(' ', first + 1);
    const qsizetype at = second >= 0 ? second : first;
    return {item.left(at), item.mid(at + 1)};
}
