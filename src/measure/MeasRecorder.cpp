#include "MeasRecorder.h"

MeasRecorder::MeasRecorder(QString logPath) : m_log(std::move(logPath)) {}

qint32 MeasRecorder::takeHeaderReply(const QByteArray& reply)
{
    const qint32 n = m_lists.SplitHeaderData(reply);
    logged(m_log.LogHeaderAndData(m_lists));
    return n;
}

qint32 MeasRecorder::takeDataReply(const QByteArray& reply)
{
    const qint32 n = m_lists.SplitData(reply);
    logged(m_log.LogData(m_lists));
    return n;
}

void MeasRecorder::logged(bool ok)
{
    m_logFailed = !ok;
    // One failure is reported once; later measurements must not try again behind the user's
    // back and pile up messages.
    if (!ok)
        m_log.setLogging(false);
}
