#include "SimProcess.h"

#include <QCoreApplication>
#include <QFileInfo>

SimProcess::SimProcess(const QStringList& options)
{
    const QString exe = QCoreApplication::applicationDirPath() + QStringLiteral("/../src/sim/kestrel-sim");
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(exe, QStringList{QStringLiteral("--com"), QStringLiteral("1"),
                                     QStringLiteral("--dosdevices"),
                                     m_config.path() + QStringLiteral("/pqlink/dosdevices")} +
                             options);
    if (m_process.waitForStarted(5000) && m_process.waitForReadyRead(5000))
        m_device = QString::fromLocal8Bit(m_process.readLine()).trimmed();
}

SimProcess::~SimProcess()
{
    m_process.terminate();
    m_process.waitForFinished(3000);
}
