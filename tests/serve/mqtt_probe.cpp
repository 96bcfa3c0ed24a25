// mqtt_probe URL ID: a publisher in a process of its own, for the tests that kill it. It says
// "connected" on stdout when it is, and runs until killed.

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
    return publisher.start().isEmpty() ? app.exec() : 1;
}
