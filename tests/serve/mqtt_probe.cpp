// A publisher in a process of its own, for the tests that kill it: mqtt_probe URL ID connects,
// says "connected" on stdout and stays connected until it is killed.

#include "MqttPublisher.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    MqttOptions options;
    options.url = app.arguments().value(1);
    options.id = app.arguments().value(2);
    MqttPublisher publisher(options);
    QObject::connect(&publisher, &MqttPublisher::connectedChanged, [](bool up) {
        std::puts(up ? "connected" : "disconnected");
        std::fflush(stdout);
    });
    const QString error = publisher.start();
    if (!error.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    publisher.setLink(true);
    return app.exec();
}
