// pqlink-cli serve as a process against kestrel-sim, group "serve" (bench/run serve):
//   serve_scrape_p99_ms, serve_scrape_ratio  p99 of 1,000 scrapes of a 1600-item exposition
//        while a 1600-item reply streams at 9600 baud, and its ratio to a minimal
//        libmicrohttpd responder serving the same text in the same run
//   serve_rss_mb          serve's resident memory after those scrapes
//   serve_rss_growth_mb   growth over PQBENCH_SERVE_POLLS (default 10,000) polls of 1600 items
//                         at --interval 0.1 against the unpaced simulator, after a warm-up
//   serve_recover_s       from the reopen that succeeds (pqlink_port_opens_total rising) to
//                         pqlink_up 1, --interval 1
//   serve_cpu_share       CPU seconds per wall second polling every second at 38400 baud

#include "ListenSocket.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <microhttpd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

QString sibling(const char* relative)
{
    return QCoreApplication::applicationDirPath() + QLatin1String(relative);
}

struct Proc
{
    Proc(const QString& program, const QStringList& args)
    {
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(program, args);
        p.waitForStarted();
    }
    ~Proc()
    {
        if (p.state() != QProcess::NotRunning) {
            ::kill(pid_t(p.processId()), SIGTERM);
            p.waitForFinished(10000);
        }
    }
    QProcess p;
};

std::unique_ptr<Proc> startSim(const QString& dosdevices, const QStringList& options)
{
    auto sim =
        std::make_unique<Proc>(sibling("/../src/sim/kestrel-sim"),
                               QStringList{QStringLiteral("--dosdevices"), dosdevices} + options);
    sim->p.waitForReadyRead(10000);
    return sim;
}

std::unique_ptr<Proc> startServe(const QTemporaryDir& dir, const QStringList& options,
                                 quint16* port)
{
    const QString portFile = dir.filePath(QStringLiteral("port"));
    QFile::remove(portFile);
    auto serve = std::make_unique<Proc>(
        sibling("/../src/cli/pqlink-cli"),
        QStringList{QStringLiteral("serve"), QStringLiteral("-p"),
                    dir.filePath(QStringLiteral("dd/com1")), QStringLiteral("--listen"),
                    QStringLiteral("127.0.0.1:0"), QStringLiteral("--port-file"), portFile} +
            options);
    for (QDeadlineTimer d(30000); !QFile::exists(portFile) && !d.hasExpired();)
        QThread::msleep(10);
    QFile f(portFile);
    f.open(QIODevice::ReadOnly);
    *port = quint16(f.readAll().trimmed().toUInt());
    return serve;
}

QByteArray fetch(QNetworkAccessManager& nam, quint16 port)
{
    QNetworkReply* reply =
        nam.get(QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:%1/metrics").arg(port))));
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    const QByteArray body = reply->readAll();
    delete reply;
    return body;
}

double value(const QByteArray& text, const QByteArray& series)
{
    for (const QByteArray& line : text.split('\n'))
        if (line.startsWith(series + ' '))
            return line.mid(series.size() + 1).toDouble();
    return -1;
}

// Waits (fetching every 20 ms) until series reaches at least min; the text then.
QByteArray waitFor(QNetworkAccessManager& nam, quint16 port, const QByteArray& series, double min,
                   int timeoutMs)
{
    QDeadlineTimer d(timeoutMs);
    QByteArray text = fetch(nam, port);
    while (value(text, series) < min && !d.hasExpired()) {
        QThread::msleep(20);
        text = fetch(nam, port);
    }
    return text;
}

double p99Ms(QNetworkAccessManager& nam, quint16 port, int n)
{
    std::vector<double> ms;
    for (int i = 0; i < n; ++i) {
        QElapsedTimer t;
        t.start();
        fetch(nam, port);
        ms.push_back(t.nsecsElapsed() / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return ms[size_t(double(ms.size() - 1) * 0.99)];
}

double rssMb(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    f.open(QIODevice::ReadOnly);
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return -1;
}

double cpuSeconds(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    f.open(QIODevice::ReadOnly);
    const QList<QByteArray> fields = f.readAll().split(')').last().trimmed().split(' ');
    // utime and stime: the 14th and 15th fields, the 12th and 13th after the name.
    return (fields[11].toDouble() + fields[12].toDouble()) / double(::sysconf(_SC_CLK_TCK));
}

MHD_Result respond(void* cls, MHD_Connection* c, const char*, const char*, const char*, const char*,
                   size_t*, void**)
{
    const auto* text = static_cast<const QByteArray*>(cls);
    MHD_Response* r = MHD_create_response_from_buffer(
        size_t(text->size()), const_cast<char*>(text->constData()), MHD_RESPMEM_PERSISTENT);
    const MHD_Result result = MHD_queue_response(c, MHD_HTTP_OK, r);
    MHD_destroy_response(r);
    return result;
}

void print(const char* name, double v)
{
    std::printf("%s: %.3f\n", name, v);
    std::fflush(stdout);
}

void scrapes()
{
    QTemporaryDir dir;
    QNetworkAccessManager nam;
    auto sim = startSim(dir.filePath(QStringLiteral("dd")),
                        {QStringLiteral("--baud"), QStringLiteral("9600"),
                         QStringLiteral("--meas-items"), QStringLiteral("1600")});
    quint16 port = 0;
    auto serve = startServe(dir, {QStringLiteral("--interval"), QStringLiteral("1")}, &port);
    // The first poll (with names) takes about half a minute at 9600 baud.
    const QByteArray text = waitFor(nam, port, "pqlink_up", 1, 180000);
    const double serveP99 = p99Ms(nam, port, 1000);
    print("serve_rss_mb", rssMb(serve->p.processId()));

    const ListenSocket socket = OpenListenSocket(QStringLiteral("127.0.0.1"), 0);
    MHD_Daemon* floor = MHD_start_daemon(
        MHD_USE_AUTO_INTERNAL_THREAD, 0, nullptr, nullptr, &respond, const_cast<QByteArray*>(&text),
        MHD_OPTION_LISTEN_SOCKET, MHD_socket(socket.fd), MHD_OPTION_END);
    const double floorP99 = p99Ms(nam, socket.port, 1000);
    MHD_stop_daemon(floor);
    print("serve_scrape_p99_ms", serveP99);
    print("serve_scrape_ratio", serveP99 / floorP99);
}

void growth()
{
    QTemporaryDir dir;
    QNetworkAccessManager nam;
    const int polls = qEnvironmentVariableIsSet("PQBENCH_SERVE_POLLS")
                          ? qEnvironmentVariableIntValue("PQBENCH_SERVE_POLLS")
                          : 10000;
    auto sim = startSim(dir.filePath(QStringLiteral("dd")),
                        {QStringLiteral("--meas-items"), QStringLiteral("1600")});
    quint16 port = 0;
    auto serve = startServe(dir, {QStringLiteral("--interval"), QStringLiteral("0.1")}, &port);
    const int warmUp = std::max(10, polls / 50);
    waitFor(nam, port, "pqlink_polls_total", warmUp, 600000);
    const double before = rssMb(serve->p.processId());
    waitFor(nam, port, "pqlink_polls_total", warmUp + polls, 24 * 3600 * 1000);
    print("serve_rss_growth_mb", rssMb(serve->p.processId()) - before);
}

void recovery()
{
    QTemporaryDir dir;
    QNetworkAccessManager nam;
    const QString dd = dir.filePath(QStringLiteral("dd"));
    auto sim = startSim(dd, {});
    quint16 port = 0;
    auto serve = startServe(dir, {QStringLiteral("--interval"), QStringLiteral("1")}, &port);
    const QByteArray up = waitFor(nam, port, "pqlink_up", 1, 60000);
    const double opens = value(up, "pqlink_port_opens_total");
    sim.reset();
    waitFor(nam, port, "pqlink_poll_errors_total{reason=\"port_lost\"}", 1, 60000);
    sim = startSim(dd, {});
    // The reopen that succeeds: from there to the first good poll.
    waitFor(nam, port, "pqlink_port_opens_total", opens + 1, 120000);
    QElapsedTimer t;
    t.start();
    waitFor(nam, port, "pqlink_up", 1, 60000);
    print("serve_recover_s", t.nsecsElapsed() / 1e9);
}

void cpuShare()
{
    QTemporaryDir dir;
    QNetworkAccessManager nam;
    // The simulator's own items for its wiring, polled every second at 38400 baud.
    auto sim = startSim(dir.filePath(QStringLiteral("dd")),
                        {QStringLiteral("--baud"), QStringLiteral("38400")});
    quint16 port = 0;
    auto serve = startServe(dir,
                            {QStringLiteral("-b"), QStringLiteral("38400"),
                             QStringLiteral("--interval"), QStringLiteral("1")},
                            &port);
    waitFor(nam, port, "pqlink_up", 1, 60000);
    const qint64 pid = serve->p.processId();
    const int seconds = qEnvironmentVariableIsSet("PQBENCH_SERVE_CPU_S")
                            ? qEnvironmentVariableIntValue("PQBENCH_SERVE_CPU_S")
                            : 60;
    const double cpu0 = cpuSeconds(pid);
    QElapsedTimer t;
    t.start();
    QThread::sleep(seconds);
    print("serve_cpu_share", (cpuSeconds(pid) - cpu0) / (t.nsecsElapsed() / 1e9));
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    scrapes();
    recovery();
    cpuShare();
    growth();
    return 0;
}
