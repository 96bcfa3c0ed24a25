#include "MeasLog.h"

#include "MeasLists.h"

#include <QFile>

namespace {

template <class Entry> QByteArray line(Entry entry)
{
    QByteArray out;
    for (int i = 0; i < MeasLists::Capacity; ++i) {
        const QByteArray& e = entry(i);
        if (e == MeasLists::endMarker())
            break;
        out += e;
        out += ',';
    }
    out += "\r\n";
    return out;
}

} // namespace

MeasLog::MeasLog(QString path) : m_path(std::move(path)) {}

QByteArray MeasLog::headerLine(const MeasLists& lists)
{
    return line([&](int i) -> const QByteArray& { return lists.MeasHeader(i); });
}

QByteArray MeasLog::dataLine(const MeasLists& lists)
{
    return line([&](int i) -> const QByteArray& { return lists.MeasData(i); });
}

bool MeasLog::LogHeaderAndData(const MeasLists& lists)
{
    if (!m_logging)
        return true;
    return append(headerLine(lists) + dataLine(lists));
}

bool MeasLog::LogData(const MeasLists& lists)
{
    if (!m_logging)
        return true;
    return append(dataLine(lists));
}

bool MeasLog::append(const QByteArray& bytes)
{
    m_error.clear();
    QFile file(m_path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        m_error = file.errorString();
        return false;
    }
    // A full disk shows only when the buffer reaches the file, so flush before closing.
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        m_error = file.errorString();
        return false;
    }
    file.close();
    return true;
}
