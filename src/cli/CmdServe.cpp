#include "CliSession.h"
#include "Commands.h"
#include "MqttPublisher.h"
#include "ServeConfig.h"
#include "ServeRunner.h"

#include <QCoreApplication>

Exit RunServe(CliSession& session, const ServeConfig& config)
{
    // A service manager stops serve with SIGTERM: that is its normal end.
    session.setInterruptStatus(Exit::Done);
    ServeRunner runner(session.session(), config, QStringLiteral(PQLINK_VERSION));
    std::unique_ptr<MqttPublisher> mqtt;
    if (config.mqtt) {
        mqtt = std::make_unique<MqttPublisher>(*config.mqtt);
        MqttPublisher* out = mqtt.get();
        ServeWatcher& watcher = runner.watcher();
        QObject::connect(&watcher, &ServeWatcher::instrumentFound, out, &MqttPublisher::setInfo);
        QObject::connect(&watcher, &ServeWatcher::linkChanged, out, &MqttPublisher::setLink);
        QObject::connect(&watcher, &ServeWatcher::polled, out,
                         [out, map = config.metricMap](const PollState& state, bool named) {
                             // Names measured again may have renamed items: discovery follows.
                             if (named && map)
                                 out->setDiscovery(map->discovery(state.readings));
                             out->publishState(state);
                         });
        QObject::connect(out, &MqttPublisher::connectedChanged, &watcher,
                         &ServeWatcher::setMqttConnected);
        QObject::connect(out, &MqttPublisher::problem, out, &CliSession::error);
        if (const QString why = out->start(); !why.isEmpty()) {
            CliSession::error(why);
            return Exit::LocalFile;
        }
    }
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
    const int status = QCoreApplication::exec();
    // A clean stop fires no last will: say "offline" ourselves, waiting a bounded time for the
    // broker to take it.
    if (mqtt)
        mqtt->stop(2000);
    return Exit(status);
}
