#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// kestrel-sim as a child process, its comN link in a private dosdevices folder, for the
// end-to-end tests and the benchmarks.
class SimProcess
{
public:
    explicit SimProcess(const QStringList& options, int com = 1,
                        const QString& executable = defaultExecutable());
    ~SimProcess();
    // Ends the simulator; start() brings it back under the same comN link.
    void stop();
    void start();

    // The pseudo-terminal the simulator serves; empty when it did not start.
    QString device() const { return m_device; }
    // Point XDG_CONFIG_HOME here and COMn resolves to this simulator.
    QString configHome() const { return m_config.path(); }
    void useAsConfigHome() const;

    // $KESTREL_SIM, else the kestrel-sim of the build tree the running program belongs to.
    static QString defaultExecutable();

private:
    QTemporaryDir m_config;
    QStringList m_args;
    QString m_executable;
    QProcess m_process;
    QString m_device;
};
