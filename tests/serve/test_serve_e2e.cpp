// pqlink-cli serve end to end: the real program against the real kestrel-sim, scraped by a
// real Prometheus on loopback, a random free port and a temporary folder.

#include "ListenSocket.h"
#include "MosquittoBroker.h"
#include "Promtool.h"
#include "SimProcess.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

constexpr int kWaitMs = 60000;

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

void stop(QProcess* p, int signal = SIGTERM)
{
    if (p->state() != QProcess::NotRunning) {
        ::kill(pid_t(p->processId()), signal);
        p->waitForFinished(kWaitMs);
    }
}

// The simulator's COM1 link, found again after a restart (on another pseudo-terminal).
QString comLink(const SimProcess& sim)
{
    return sim.configHome() + "/pqlink/dosdevices/com1";
}

struct Http
{
    int status = 0;
    QByteArray body;
};

Http get(const QString& url, const QByteArray& verb = "GET")
{
    QNetworkAccessManager nam;
    QNetworkReply* reply = nam.sendCustomRequest(QNetworkRequest(QUrl(url)), verb);
    QSignalSpy done(reply, &QNetworkReply::finished);
    done.wait(kWaitMs);
    Http h{reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll()};
    delete reply;
    return h;
}

// The first sample's value of an instant query, or "" when there is none.
QString query(quint16 prometheus, const QString& expr)
{
    const Http h = get(QStringLiteral("http://127.0.0.1:%1/api/v1/query?query=%2")
                           .arg(prometheus)
                           .arg(QString::fromLatin1(QUrl::toPercentEncoding(expr))));
    const QJsonValue result = QJsonDocument::fromJson(h.body)["data"]["result"];
    return result[0]["value"][1].toString();
}

// The value of a series in an exposition, "" when it is not there.
QString sample(const QByteArray& text, const QByteArray& series)
{
    for (const QByteArray& line : text.split('\n'))
        if (line.startsWith(series + ' '))
            return QString::fromLatin1(line.mid(series.size() + 1));
    return {};
}

// pqlink-cli serve on a free port of loopback, written to a port file.
struct Serve
{
    Serve(const QString& dir, const QStringList& options)
    {
        portFile = dir + "/port";
        diesWithTest(process);
        process.start(qEnvironmentVariable("PQLINK_CLI"),
                      QStringList{"serve", "--listen", "127.0.0.1:0", "--port-file", portFile} +
                          options);
        process.waitForStarted();
    }
    ~Serve() { stop(&process, SIGKILL); }
    quint16 port()
    {
        if (!QTest::qWaitFor([this] { return QFile::exists(portFile); }, kWaitMs))
            return 0;
        QFile f(portFile);
        f.open(QIODevice::ReadOnly);
        return quint16(f.readAll().trimmed().toUInt());
    }
    QByteArray scrape()
    {
        return get(QStringLiteral("http://127.0.0.1:%1/metrics").arg(port())).body;
    }

    QString portFile;
    QProcess process;
};

} // namespace

class TestServeE2E : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void prometheusScrapesAndServeHeals();
    void badRequestsAreRefused();
    void exitStatuses_data();
    void exitStatuses();
};

void TestServeE2E::initTestCase()
{
    for (const char* tool : {"prometheus", "promtool", "mosquitto", "mosquitto_sub"})
        if (QStandardPaths::findExecutable(tool).isEmpty())
            QFAIL("Prometheus or mosquitto is not installed: bash scripts/setup.sh installs them");
    if (qEnvironmentVariable("PQLINK_CLI").isEmpty() ||
        qEnvironmentVariable("KESTREL_SIM").isEmpty())
        QFAIL("PQLINK_CLI and KESTREL_SIM name the programs under test: run it through ctest");
}

// Catches: a dead exposition, a family promtool refuses, a non-number exported as a value,
// pqlink_up staying 1 without the instrument, serve not reopening a restarted port (or
// ending), a SIGTERM that is not a clean exit; --mqtt not wired to the watch loop: no
// status, link, info, state or discovery, a link that does not follow the port, no
// "offline" at a clean stop.
void TestServeE2E::prometheusScrapesAndServeHeals()
{
    QTemporaryDir dir;
    SimProcess sim({"--meas-text", "CH1 PF=-----"});
    Broker broker;
    Sub sub(broker); // every message as it comes
    Serve serve(dir.path(), {"-p", comLink(sim), "--interval", "0.5", "--metric-map",
                             QStringLiteral(PQ_EXAMPLE_MAP), "--textfile", dir.filePath("m.prom"),
                             "--id", "t1", "--mqtt", broker.url(), "--ha-discovery"});
    const quint16 port = serve.port();

    const quint16 web = freePort();
    const QString config = dir.filePath("prometheus.yml");
    writeFile(config, QStringLiteral("global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n"
                                     "scrape_configs:\n  - job_name: pqlink\n    static_configs:\n"
                                     "      - targets: ['127.0.0.1:%1']\n")
                          .arg(port)
                          .toUtf8());
    QProcess prometheus;
    diesWithTest(prometheus);
    prometheus.start("prometheus",
                     {"--config.file=" + config, "--storage.tsdb.path=" + dir.filePath("tsdb"),
                      QStringLiteral("--web.listen-address=127.0.0.1:%1").arg(web),
                      "--log.level=warn"});
    QVERIFY(prometheus.waitForStarted());
    const auto cleanup = qScopeGuard([&prometheus] { stop(&prometheus); });

    QTRY_COMPARE_WITH_TIMEOUT(query(web, "pqlink_up"), "1", kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(
        query(web, "pqlink_active_power_watts{circuit=\"1\"}").toDouble() > 400, kWaitMs);
    QCOMPARE(query(web, "pqlink_item_non_numeric{item=\"CH1 PF\"}"), "1");
    QCOMPARE(query(web, "count(pqlink_power_factor_ratio)"), QString());

    const QByteArray scraped = serve.scrape();
    QCOMPARE(promtool(scraped), QByteArray());
    QFile textfile(dir.filePath("m.prom"));
    QVERIFY(textfile.open(QIODevice::ReadOnly));
    const QByteArray text = textfile.readAll();
    QCOMPARE(sample(text, "pqlink_up{id=\"t1\"}"), "1");

    // The instrument goes away: pqlink_up 0, and its values are no longer offered.
    sim.stop();
    QTRY_COMPARE_WITH_TIMEOUT(query(web, "pqlink_up"), "0", kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(!sub.with("* pqlink/t1/link lost").isEmpty(), kWaitMs);
    QCOMPARE(sample(serve.scrape(), "pqlink_frequency_hertz"), QString());
    const int opens = sample(serve.scrape(), "pqlink_port_opens_total").toInt();

    // It comes back on another pseudo-terminal under the same name: serve finds it.
    sim.start();
    QTRY_COMPARE_WITH_TIMEOUT(query(web, "pqlink_up"), "1", kWaitMs);
    QVERIFY(sample(serve.scrape(), "pqlink_port_opens_total").toInt() > opens);
    QCOMPARE(serve.process.state(), QProcess::Running);
    QCOMPARE(sample(serve.scrape(), "pqlink_mqtt_connected"), "1");

    // A restarted broker has lost every retained message: serve brings them all again, the
    // link back to ok. The state comes last, so a newcomer after it finds all retained.
    broker.stop();
    broker.start();
    Sub back(broker);
    QTRY_VERIFY_WITH_TIMEOUT(!back.with("* pqlink/t1/state ").isEmpty(), kWaitMs);
    Sub later(broker);
    for (const char* retained :
         {"1 pqlink/t1/status online", "1 pqlink/t1/link ok", "1 pqlink/t1/info {",
          "1 pqlink/t1/state {", "1 homeassistant/sensor/t1_ch1_pf/config {"})
        QTRY_VERIFY2_WITH_TIMEOUT(later.with(retained).size() == 1, retained, kWaitMs);
    QVERIFY(later.with("1 pqlink/t1/info ")[0].contains(R"("wiring":"1P2W")"));
    const QString state = later.with("1 pqlink/t1/state ")[0];
    QVERIFY2(state.contains(R"("CH1 PF":null)") && state.contains(R"("raw":{"CH1 PF":"-----"})"),
             qPrintable(state));

    stop(&serve.process, SIGTERM);
    QCOMPARE(serve.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(serve.process.exitCode(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(later.with("* pqlink/t1/status offline").size(), 1, kWaitMs);
}

// Catches: a method or path served that should not be, a server that stops answering or
// ends after bad input, a slow client holding the server, a kill that leaves no will.
void TestServeE2E::badRequestsAreRefused()
{
    struct Bad
    {
        const char* tag;
        QByteArray request;
        int status; // 0: no answer, or one that is no success
    };
    const QByteArray end = "Host: x\r\nConnection: close\r\n\r\n";
    const Bad table[] = {
        {"POST", "POST /metrics HTTP/1.1\r\nContent-Length: 3\r\n" + end + "abc", 405},
        {"other path", "GET /metrics/../etc HTTP/1.1\r\n" + end, 404},
        {"GET with a body", "GET /metrics HTTP/1.1\r\nContent-Length: 4\r\n" + end + "abcd", 0},
        {"garbage", "\x01\x02 nonsense\r\n\r\n", 0},
        {"huge header", "GET /metrics HTTP/1.1\r\nX: " + QByteArray(64 * 1024, 'a') + "\r\n" + end,
         0},
    };
    QTemporaryDir dir;
    SimProcess sim({});
    Broker broker;
    Serve serve(dir.path(),
                {"-p", comLink(sim), "--interval", "0.2", "--mqtt", broker.url(), "--id", "b1"});
    const quint16 port = serve.port();
    // A slow client: half a request line, then nothing.
    QTcpSocket slow;
    slow.connectToHost("127.0.0.1", port);
    QVERIFY(slow.waitForConnected(kWaitMs));
    slow.write("GET /met");
    slow.flush();
    for (int round = 0; round < 10; ++round) {
        for (const Bad& bad : table) {
            QTcpSocket s;
            s.connectToHost("127.0.0.1", port);
            QVERIFY(s.waitForConnected(kWaitMs));
            s.write(bad.request);
            QByteArray answer;
            while (s.waitForReadyRead(kWaitMs))
                answer += s.readAll();
            answer += s.readAll();
            const int got = answer.startsWith("HTTP/1.") ? answer.mid(9, 3).toInt() : 0;
            const QByteArray what = QByteArray(bad.tag) + ": " + answer.left(200);
            QVERIFY2(bad.status != 0 ? got == bad.status : got == 0 || got >= 400, what);
            if (got == 405)
                QVERIFY2(answer.contains("Allow: GET, HEAD"), what);
        }
    }
    // Still serving, the slow client notwithstanding; HEAD has the headers only.
    QTRY_COMPARE_WITH_TIMEOUT(sample(serve.scrape(), "pqlink_up"), "1", kWaitMs);
    const Http head = get(QStringLiteral("http://127.0.0.1:%1/metrics").arg(port), "HEAD");
    QCOMPARE(head.status, 200);
    QVERIFY(head.body.isEmpty());
    QCOMPARE(get(QStringLiteral("http://127.0.0.1:%1/").arg(port)).status, 200);
    // The slow client is sent away after the time-out.
    QTRY_COMPARE_WITH_TIMEOUT(slow.state(), QAbstractSocket::UnconnectedState, kWaitMs);
    QCOMPARE(serve.process.state(), QProcess::Running);
    // Killed without a chance to say goodbye: the broker publishes its last will.
    Sub sub(broker);
    QTRY_COMPARE_WITH_TIMEOUT(sub.with("* pqlink/b1/status online").size(), 1, kWaitMs);
    stop(&serve.process, SIGKILL);
    QTRY_COMPARE_WITH_TIMEOUT(sub.with("0 pqlink/b1/status offline").size(), 1, kWaitMs);
}

void TestServeE2E::exitStatuses_data()
{
    // %D: a folder with the password file pw, c.conf naming it, bad.map and creds/ holding
    // the credential mqtt-password; %P: a port in use.
    QTest::addColumn<QString>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("err"); // the start of stderr
    QTest::addColumn<QString>("out"); // a line of stdout
    const auto row = [](const char* tag, const char* args, int status, const char* err,
                        const char* out = "") {
        QTest::newRow(tag) << QString(args) << status << QString(err) << QString(out);
    };
    row("in use", "--listen 127.0.0.1:%P", 6,
        "pqlink-cli: --listen 127.0.0.1:%P: the address is in use");
    row("no such address", "--listen 192.0.2.1:0", 1, "pqlink-cli: --listen");
    row("bad map line", "--metric-map %D/bad.map", 1,
        "pqlink-cli: serve: %D/bad.map: line 2: expected");
    row("unreadable map", "--metric-map %D/none", 5, "pqlink-cli: serve: cannot read %D/none");
    row("unreadable password", "--mqtt mqtt://h --mqtt-password-file %D/none", 5,
        "pqlink-cli: serve: cannot read");
    row("config", "--config %D/c.conf --print-config", 0, "", "mqtt-password-file = %D/pw");
    row("credential", "--mqtt mqtt://h --print-config", 0, "",
        "mqtt-password-file = %D/creds/mqtt-password");
    row("file over credential", "--mqtt mqtt://h --mqtt-password-file %D/pw --print-config", 0, "",
        "mqtt-password-file = %D/pw");
}

// Catches: a wrong exit status for a service manager to act on, a missing secret or
// certificate taken as none, the credential ignored or preferred, a secret printed.
void TestServeE2E::exitStatuses()
{
    QFETCH(QString, args);
    QFETCH(int, status);
    QFETCH(QString, err);
    QFETCH(QString, out);
    QTemporaryDir dir;
    QDir(dir.path()).mkpath("creds");
    writeFile(dir.filePath("pw"), "hunter2\n");
    writeFile(dir.filePath("creds/mqtt-password"), "fromcreds");
    writeFile(dir.filePath("c.conf"),
              "mqtt = mqtt://h\nmqtt-password-file = " + dir.filePath("pw").toUtf8());
    writeFile(dir.filePath("bad.map"), "U{p} -> pqlink_voltage_volts\nnonsense\n");
    const ListenSocket taken = OpenListenSocket("127.0.0.1", 0);
    const auto close = qScopeGuard([&taken] { CloseListenSocket(taken.fd); });
    for (QString* s : {&args, &err, &out}) {
        s->replace("%D", dir.path());
        s->replace("%P", QString::number(taken.port));
    }
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("CREDENTIALS_DIRECTORY", dir.filePath("creds"));
    p.setProcessEnvironment(env);
    p.start(qEnvironmentVariable("PQLINK_CLI"),
            QStringList{"serve", "-p", dir.filePath("nodevice")} + args.split(' '));
    QVERIFY(p.waitForFinished(kWaitMs));
    const QByteArray stdoutText = p.readAllStandardOutput(), stderrText = p.readAllStandardError();
    QCOMPARE(p.exitCode(), status);
    QVERIFY2(err.isEmpty() || QString::fromUtf8(stderrText).startsWith(err), stderrText);
    QVERIFY2(out.isEmpty() || stdoutText.split('\n').contains(out.toUtf8()), stdoutText);
    QVERIFY(!(stdoutText + stderrText).contains("hunter2"));
    QVERIFY(!(stdoutText + stderrText).contains("fromcreds"));
}

QTEST_GUILESS_MAIN(TestServeE2E)
#include "test_serve_e2e.moc"
