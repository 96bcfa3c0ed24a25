#pragma once

// A real mosquitto broker on loopback and a mosquitto_sub watching it, for the tests of the
// MQTT output and of serve end to end. Both end with the test, even when it is killed.

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <pwd.h>
#include <sys/prctl.h>
#include <unistd.h>

inline void diesWithTest(QProcess& p)
{
    p.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

inline quint16 freePort()
{
    QTcpServer free;
    free.listen(QHostAddress::LocalHost);
    return free.serverPort();
}

// mosquitto on a free loopback port, with the configuration lines given.
struct Broker
{
    explicit Broker(const QString& lines = "allow_anonymous true")
    {
        port = freePort();
        QFile conf(dir.filePath("b.conf"));
        conf.open(QIODevice::WriteOnly);
        conf.write(QStringLiteral("listener %1 127.0.0.1\nuser %2\n%3\n")
                       .arg(port)
                       .arg(getpwuid(getuid())->pw_name, lines)
                       .toUtf8());
        conf.close();
        start();
    }
    ~Broker() { stop(); }
    void start()
    {
        diesWithTest(process);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start("mosquitto", {"-c", dir.filePath("b.conf")});
        QByteArray log;
        QVERIFY(QTest::qWaitFor([&] { return (log += process.readAll()).contains(" running"); },
                                20000));
    }
    void stop()
    {
        process.terminate();
        process.waitForFinished();
    }
    QString url(const char* scheme = "mqtt") const
    {
        return QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(port);
    }
    QTemporaryDir dir;
    QProcess process;
    int port = 0;
};

// What mosquitto_sub receives, a line "RETAIN TOPIC PAYLOAD" a message.
struct Sub
{
    explicit Sub(const Broker& b)
    {
        diesWithTest(process);
        process.start("mosquitto_sub",
                      {"-p", QString::number(b.port), "-t", "#", "-F", "%r %t %p"});
    }
    ~Sub()
    {
        process.kill();
        process.waitForFinished();
    }
    // The lines that start with prefix; "* " at its start matches either retain flag.
    QStringList with(const QString& prefix)
    {
        while (process.canReadLine()) // whole lines only: a long message may come in parts
            lines += QString::fromUtf8(process.readLine()).chopped(1);
        const QRegularExpression re('^' + QRegularExpression::escape(prefix).replace("\\*", "."));
        return lines.filter(re);
    }
    QStringList lines;
    QProcess process;
};
