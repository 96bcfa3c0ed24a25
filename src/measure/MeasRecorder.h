#pragma once

#include "MeasLists.h"
#include "MeasLog.h"

// What happens to one measured-data reply before it is shown: it is split into the lists
// and, while logging is on, appended to the log file.
class MeasRecorder
{
public:
    explicit MeasRecorder(QString logPath = QStringLiteral("data.log"));

    // A header-on reply (names and values); gives the item count.
    qint32 takeHeaderReply(const QByteArray& reply);
    // A header-off reply (values only); gives the item count.
    qint32 takeDataReply(const QByteArray& reply);

    // The last take could not write the log; logging has been switched off.
    bool logFailed() const { return m_logFailed; }
    const QString& logError() const { return m_log.errorString(); }

    const MeasLists& lists() const { return m_lists; }
    MeasLog& log() { return m_log; }

private:
    void logged(bool ok);

    MeasLists m_lists;
    MeasLog m_log;
    bool m_logFailed = false;
};
