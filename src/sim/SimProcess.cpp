#include "SimProcess.h"

#include <QCoreApplication>

SimProcess::SimProcess(const QStringList& options, int com, const QString& executable)
    : m_args(QStringList{QStringLiteral("--com"), QString::number(com),
                         QStringLiteral("--dosdevices"),
                         m_config.path() + QStringLiteral("/pqlink/dosdevices")} +
             options),
      m_executable(executable)
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    start();
}

SimProcess::~SimProcess()
{
    stop();
}

void SimProcess::start()
{
    m_process.start(m_executable, m_args);
    // The first line of its output is the device; it is ready to serve once printed.
    if (m_process.waitForStarted(5000) && m_process.waitForReadyRead(5000))
        m_device = QString::fromLocal8Bit(m_process.readLine()).trimmed();
}

void SimProcess::stop()
{
    m_process.terminate();
    m_process.waitForFinished(3000);
}

void SimProcess::useAsConfigHome() const
{
    qputenv("XDG_CONFIG_HOME", configHome().toLocal8Bit());
}

QString SimProcess::defaultExecutable()
{
    const QString env = qEnvironmentVariable("KESTREL_SIM");
    if (!env.isEmpty())
        return env;
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../src/sim/kestrel-sim");
}
