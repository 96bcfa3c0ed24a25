#include "CliSession.h"
#include "Commands.h"
#include "ServeConfig.h"
#include "ServeRunner.h"

#include <QCoreApplication>

Exit RunServe(CliSession& session, const ServeConfig& config)
{
    // A service manager stops serve with SIGTERM: that is its normal end.
    session.setInterruptStatus(Exit::Done);
    ServeRunner runner(session.session(), config, QStringLiteral(PQLINK_VERSION));
    // --- MQTT output: create it here from config.mqtt (when set) and connect it to
    // runner.watcher()'s signals: instrumentFound (info), linkChanged (link ok/lost), polled
    // (state; when named, config.metricMap->discovery(poll.readings) gives the discovery
    // items). It reports its broker connection with runner.watcher().setMqttConnected().
    // Stop it (offline at QoS 1, bounded wait) after exec() returns, before the runner goes.
    QString error;
    switch (runner.start(&error)) {
    case ServeRunner::Start::Serving:
        break;
    case ServeRunner::Start::InUse:
        CliSession::error(error);
        return Exit::ListenInUse;
    case ServeRunner::Start::BadAddress:
        CliSession::error(error);
        return Exit::Usage;
    case ServeRunner::Start::PortFile:
        CliSession::error(error);
        return Exit::LocalFile;
    }
    return Exit(QCoreApplication::exec());
}
