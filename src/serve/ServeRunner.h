#pragma once

#include "MetricsBoard.h"
#include "MetricsHttp.h"
#include "ServeConfig.h"
#include "ServeWatcher.h"

#include <QObject>
#include <QTimer>

#include <memory>

// One run of `pqlink-cli serve`: the watch loop on the session, and the outputs it feeds
// here: the HTTP exposition, the text file, the service manager. The MQTT output is wired to
// watcher()'s signals by whoever creates this.
class ServeRunner : public QObject
{
    Q_OBJECT
public:
    enum class Start
    {
        Serving,
        InUse,      // the listen address is taken
        BadAddress, // it cannot be listened on
        PortFile    // --port-file cannot be written
    };

    ServeRunner(InstrumentSession& session, const ServeConfig& config, const QString& version,
                QObject* parent = nullptr);
    // The HTTP thread stops before anything it reads goes.
    ~ServeRunner() override;

    // Listens, then starts watching; *error says why not.
    Start start(QString* error);
    ServeWatcher& watcher() { return m_watcher; }

private:
    void publish();
    void writeTextFile();

    ServeConfig m_config;
    QString m_version;
    std::shared_ptr<MetricsBoard> m_board;
    std::unique_ptr<MetricsHttp> m_http;
    ServeWatcher m_watcher;
    QTimer m_watchdog;
    QString m_textError;
};
