// pqlink-cli serve end to end: the real program against the real kestrel-sim, scraped by a
// real Prometheus on loopback, a random free port and a temporary folder.

#include "ListenSocket.h"
#include "MosquittoBroker.h"
#include "Promtool.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
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

// kestrel-sim linking its pseudo-terminal as DIR/com1, so a restarted one is found again
// under the same name.
struct Sim
{
    Sim(const QString& dosdevices, const QStringList& options = {}) { start(dosdevices, options); }
    ~Sim() { stop(&process); }
    void start(const QString& dosdevices, const QStringList& options = {})
    {
        diesWithTest(process);
        process.start(qEnvironmentVariable("KESTREL_SIM"),
                      QStringList{QStringLiteral("--dosdevices"), dosdevices} + options);
        if (!process.waitForStarted() || !process.waitForReadyRead(10000))
            qWarning("kestrel-sim did not start");
    }
    QProcess process;
};

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
    const QJsonArray result = QJsonDocument::fromJson(h.body)
                                  .object()[QLatin1String("data")][QLatin1String("result")]
                                  .toArray();
    return result.isEmpty() ? QString() : result[0][QLatin1String("value")].toArray()[1].toString();
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
        portFile = dir + QStringLiteral("/port");
        diesWithTest(process);
        process.start(qEnvironmentVariable("PQLINK_CLI"),
                      QStringList{QStringLiteral("serve"), QStringLiteral("--listen"),
                                  QStringLiteral("127.0.0.1:0"), QStringLiteral("--port-file"),
                                  portFile} +
                          options);
        process.waitForStarted();
    }
    ~Serve() { stop(&process, SIGKILL); }
    quint16 port()
    {
        for (QDeadlineTimer d(kWaitMs); !QFile::exists(portFile) && !d.hasExpired();)
            QTest::qWait(20);
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
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            QFAIL("Prometheus or mosquitto is not installed: bash scripts/setup.sh installs them");
}

// Catches: a dead exposition, a family promtool refuses, a non-number exported as a value,
// pqlink_up staying 1 without the instrument, serve not reopening a restarted port (or
// ending), a SIGTERM that is not a clean exit; --mqtt not wired to the watch loop: no
// status, link, info, state or discovery, a link that does not follow the port, no
// "offline" at a clean stop.
void TestServeE2E::prometheusScrapesAndServeHeals()
{
    QTemporaryDir dir;
    const QString dd = dir.filePath(QStringLiteral("dd"));
    const QStringList simOptions{QStringLiteral("--meas-text"), QStringLiteral("CH1 PF=-----")};
    Sim sim(dd, simOptions);
    Broker broker;
    Sub sub(broker); // every message as it comes
    Serve serve(dir.path(), {QStringLiteral("-p"), dd + QStringLiteral("/com1"),
                             QStringLiteral("--interval"), QStringLiteral("0.5"),
                             QStringLiteral("--metric-map"), QStringLiteral(PQ_EXAMPLE_MAP),
                             QStringLiteral("--textfile"), dir.filePath(QStringLiteral("m.prom")),
                             QStringLiteral("--id"), QStringLiteral("t1"), QStringLiteral("--mqtt"),
                             broker.url(), QStringLiteral("--ha-discovery")});
    const quint16 port = serve.port();

    const quint16 web = freePort();
    const QString config = dir.filePath(QStringLiteral("prometheus.yml"));
    writeFile(config, QStringLiteral("global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n"
                                     "scrape_configs:\n  - job_name: pqlink\n    static_configs:\n"
                                     "      - targets: ['127.0.0.1:%1']\n")
                          .arg(port)
                          .toUtf8());
    QProcess prometheus;
    diesWithTest(prometheus);
    prometheus.start(QStringLiteral("prometheus"),
                     {QStringLiteral("--config.file=") + config,
                      QStringLiteral("--storage.tsdb.path=") + dir.filePath(QStringLiteral("tsdb")),
                      QStringLiteral("--web.listen-address=127.0.0.1:%1").arg(web),
                      QStringLiteral("--log.level=warn")});
    QVERIFY(prometheus.waitForStarted());
    const auto cleanup = qScopeGuard([&prometheus] { stop(&prometheus); });

    QTRY_COMPARE_WITH_TIMEOUT(query(web, QStringLiteral("pqlink_up")), QStringLiteral("1"),
                              kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(
        query(web, QStringLiteral("pqlink_active_power_watts{circuit=\"1\"}")).toDouble() > 400,
        kWaitMs);
    QCOMPARE(query(web, QStringLiteral("pqlink_item_non_numeric{item=\"CH1 PF\"}")),
             QStringLiteral("1"));
    QCOMPARE(query(web, QStringLiteral("count(pqlink_power_factor_ratio)")), QString());

    const QByteArray scraped = serve.scrape();
    QCOMPARE(promtool(scraped), QByteArray());
    QFile textfile(dir.filePath(QStringLiteral("m.prom")));
    QVERIFY(textfile.open(QIODevice::ReadOnly));
    const QByteArray text = textfile.readAll();
    QCOMPARE(sample(text, "pqlink_up{id=\"t1\"}"), QStringLiteral("1"));

    // The instrument goes away: pqlink_up 0, and its values are no longer offered.
    stop(&sim.process);
    QTRY_COMPARE_WITH_TIMEOUT(query(web, QStringLiteral("pqlink_up")), QStringLiteral("0"),
                              kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(!sub.with(QStringLiteral("* pqlink/t1/link lost")).isEmpty(), kWaitMs);
    QCOMPARE(sample(serve.scrape(), "pqlink_frequency_hertz"), QString());
    const int opens = sample(serve.scrape(), "pqlink_port_opens_total").toInt();

    // It comes back on another pseudo-terminal under the same name: serve finds it.
    sim.start(dd, simOptions);
    QTRY_COMPARE_WITH_TIMEOUT(query(web, QStringLiteral("pqlink_up")), QStringLiteral("1"),
                              kWaitMs);
    QVERIFY(sample(serve.scrape(), "pqlink_port_opens_total").toInt() > opens);
    QCOMPARE(serve.process.state(), QProcess::Running);
    QCOMPARE(sample(serve.scrape(), "pqlink_mqtt_connected"), QStringLiteral("1"));

    // A restarted broker has lost every retained message: serve brings them all again, the
    // link back to ok. The state comes last, so a newcomer after it finds all retained.
    broker.stop();
    broker.start();
    Sub back(broker);
    QTRY_VERIFY_WITH_TIMEOUT(!back.with(QStringLiteral("* pqlink/t1/state ")).isEmpty(), kWaitMs);
    Sub later(broker);
    for (const char* retained :
         {"1 pqlink/t1/status online", "1 pqlink/t1/link ok", "1 pqlink/t1/info {",
          "1 pqlink/t1/state {", "1 homeassistant/sensor/t1_ch1_pf/config {"})
        QTRY_VERIFY2_WITH_TIMEOUT(later.with(QString::fromLatin1(retained)).size() == 1, retained,
                                  kWaitMs);
    QVERIFY(later.with(QStringLiteral("1 pqlink/t1/info "))[0].contains(
        QLatin1String(R"("wiring":"1P2W")")));
    QVERIFY(later.with(QStringLiteral("1 pqlink/t1/state "))[0].contains(
        QLatin1String(R"("CH1 PF":null)")));

    stop(&serve.process, SIGTERM);
    QCOMPARE(serve.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(serve.process.exitCode(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(later.with(QStringLiteral("* pqlink/t1/status offline")).size(), 1,
                              kWaitMs);
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
    const QString dd = dir.filePath(QStringLiteral("dd"));
    Sim sim(dd);
    Broker broker;
    Serve serve(dir.path(),
                {QStringLiteral("-p"), dd + QStringLiteral("/com1"), QStringLiteral("--interval"),
                 QStringLiteral("0.2"), QStringLiteral("--mqtt"), broker.url(),
                 QStringLiteral("--id"), QStringLiteral("b1")});
    const quint16 port = serve.port();
    // A slow client: half a request line, then nothing.
    QTcpSocket slow;
    slow.connectToHost(QStringLiteral("127.0.0.1"), port);
    QVERIFY(slow.waitForConnected(kWaitMs));
    slow.write("GET /met");
    slow.flush();
    for (int round = 0; round < 10; ++round) {
        for (const Bad& bad : table) {
            QTcpSocket s;
            s.connectToHost(QStringLiteral("127.0.0.1"), port);
            QVERIFY(s.waitForConnected(kWaitMs));
            s.write(bad.request);
            QByteArray answer;
            while (s.waitForReadyRead(kWaitMs))
                answer += s.readAll();
            answer += s.readAll();
            const int got = answer.startsWith("HTTP/1.") ? answer.mid(9, 3).toInt() : 0;
            const QByteArray what = QByteArray(bad.tag) + ": " + answer.left(200);
            if (bad.status != 0)
                QVERIFY2(got == bad.status, what);
            else
                QVERIFY2(got == 0 || got >= 400, what);
            if (got == 405)
                QVERIFY2(answer.contains("Allow: GET, HEAD"), what);
        }
    }
    // Still serving, the slow client notwithstanding; HEAD has the headers only.
    QTRY_COMPARE_WITH_TIMEOUT(sample(serve.scrape(), "pqlink_up"), QStringLiteral("1"), kWaitMs);
    const Http head = get(QStringLiteral("http://127.0.0.1:%1/metrics").arg(port), "HEAD");
    QCOMPARE(head.status, 200);
    QVERIFY(head.body.isEmpty());
    QCOMPARE(get(QStringLiteral("http://127.0.0.1:%1/").arg(port)).status, 200);
    // The slow client is sent away after the time-out.
    QTRY_COMPARE_WITH_TIMEOUT(slow.state(), QAbstractSocket::UnconnectedState, kWaitMs);
    QCOMPARE(serve.process.state(), QProcess::Running);
    // Killed without a chance to say goodbye: the broker publishes its last will.
    Sub sub(broker);
    QTRY_COMPARE_WITH_TIMEOUT(sub.with(QStringLiteral("* pqlink/b1/status online")).size(), 1,
                              kWaitMs);
    stop(&serve.process, SIGKILL);
    QTRY_COMPARE_WITH_TIMEOUT(sub.with(QStringLiteral("0 pqlink/b1/status offline")).size(), 1,
                              kWaitMs);
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
        QTest::newRow(tag) << QString::fromUtf8(args) << status << QString::fromUtf8(err)
                           << QString::fromUtf8(out);
    };
    row("in use", "--listen 127.0.0.1:%P", 6,
        "pqlink-cli: --listen 127.0.0.1:%P: the address is in use");
    row("no such address", "--listen 192.0.2.1:0", 1, "pqlink-cli: --listen");
    row("bad option", "--interval 0", 1, "pqlink-cli: serve: --interval: takes");
    row("bad map line", "--metric-map %D/bad.map", 1,
        "pqlink-cli: serve: %D/bad.map: line 2: expected");
    row("unreadable map", "--metric-map %D/none", 5, "pqlink-cli: serve: cannot read %D/none");
    row("unreadable password", "--mqtt mqtt://h --mqtt-password-file %D/none", 5,
        "pqlink-cli: serve: cannot read");
    row("unreadable CA", "--mqtt mqtts://h --mqtt-cafile %D/none", 5,
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
    QDir(dir.path()).mkpath(QStringLiteral("creds"));
    writeFile(dir.filePath("pw"), "hunter2\n");
    writeFile(dir.filePath("creds/mqtt-password"), "fromcreds");
    writeFile(dir.filePath("c.conf"),
              "mqtt = mqtt://h\nmqtt-password-file = " + dir.filePath("pw").toUtf8());
    writeFile(dir.filePath("bad.map"), "U{p} -> pqlink_voltage_volts\nnonsense\n");
    const ListenSocket taken = OpenListenSocket(QStringLiteral("127.0.0.1"), 0);
    const auto close = qScopeGuard([&taken] { CloseListenSocket(taken.fd); });
    for (QString* s : {&args, &err, &out}) {
        s->replace(QLatin1String("%D"), dir.path());
        s->replace(QLatin1String("%P"), QString::number(taken.port));
    }
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("CREDENTIALS_DIRECTORY"), dir.filePath(QStringLiteral("creds")));
    p.setProcessEnvironment(env);
    p.start(qEnvironmentVariable("PQLINK_CLI"),
            QStringList{QStringLiteral("serve"), QStringLiteral("-p"),
                        dir.filePath(QStringLiteral("nodevice"))} +
                args.split(QLatin1Char(' ')));
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
