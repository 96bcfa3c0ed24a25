#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// kestrel-sim started for a benchmark, its COM1 link in a private dosdevices folder.
class SimProcess
{
public:
    explicit SimProcess(const QStringList& options);
    ~SimProcess();
    QString device() const { return m_device; }
    // The folder to point XDG_CONFIG_HOME at so that COM1 resolves to this simulator.
    QString configHome() const { return m_config.path(); }

private:
    QTemporaryDir m_config;
    QProcess m_process;
    QString m_device;
};
