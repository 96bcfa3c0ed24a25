// pqlink-cli end to end: the real program against the real kestrel-sim on a pseudo-terminal,
// checking exit status, output and the lines the simulator received.

#include "Connect.h"
#include "InstrumentSession.h"
#include "Link.h"
#include "RecvSettings.h"
#include "SendSettings.h"
#include "SimInstrument.h"
#include "SimPort.h"
#include "SimProcess.h"
#include "TestUtil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

using TestUtil::fileBytes;

struct Run
{
    int status = -1;
    QStringList out;
    QString err;
};

// kestrel-sim logging its wire, and pqlink-cli run against it as COM1.
struct Cli
{
    explicit Cli(const QStringList& simOptions = {})
        : sim(simOptions + QStringList{QStringLiteral("--log"), dir.filePath("wire.log")})
    {
        sim.useAsConfigHome();
    }

    QProcess* start(const QStringList& args)
    {
        auto* p = new QProcess;
        p->setWorkingDirectory(dir.path());
        p->start(qEnvironmentVariable("PQLINK_CLI"), args);
        p->waitForStarted();
        return p;
    }
    Run finish(QProcess* p)
    {
        p->closeWriteChannel();
        p->waitForFinished(60000);
        Run r{p->exitStatus() == QProcess::NormalExit ? p->exitCode() : -1,
              QString::fromUtf8(p->readAllStandardOutput()).split('\n', Qt::SkipEmptyParts),
              QString::fromUtf8(p->readAllStandardError())};
        delete p;
        return r;
    }
    Run run(const QStringList& args, const QByteArray& input = {})
    {
        QProcess* p = start(args);
        p->write(input);
        return finish(p);
    }
    // The lines received since the last call.
    QList<QByteArray> wire()
    {
        QList<QByteArray> lines = fileBytes(dir.filePath("wire.log")).split('\n');
        lines.removeLast();
        const QList<QByteArray> fresh = lines.mid(m_seen);
        m_seen = int(lines.size());
        return fresh;
    }

    QTemporaryDir dir;
    SimProcess sim;
    int m_seen = 0;
};

QStringList args(const char* line)
{
    return QString::fromLatin1(line).split(' ');
}

} // namespace

class TestCliE2E : public QObject
{
    Q_OBJECT
private slots:
    void commands_data();
    void commands();
    void settingsRoundTripSendsWhatSendSends();
    void downloadResumesAfterInterrupt();
    void closedPipeAndSignalsEndTheRun();
};

void TestCliE2E::commands_data()
{
    QTest::addColumn<QString>("sim");  // kestrel-sim's options
    QTest::addColumn<QString>("line"); // pqlink-cli's arguments
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("status");
    // Patterns for stdout, stderr and the lines the simulator received, joined by "|".
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::addColumn<QString>("wire");
    const auto row = [](const char* tag, const char* sim, const char* line, const QByteArray& input,
                        int status, const char* out, const char* err, const char* wire) {
        QTest::newRow(tag) << QString::fromLatin1(sim) << QString::fromLatin1(line)
                           << QByteArray(input) << status << QString::fromLatin1(out)
                           << QString::fromUtf8(err) << QString::fromLatin1(wire);
    };
    const char* none = "^$";
    const char* stateOnly = "^aaa\\|:DISP:MODE MEAS\\|:HEAD OFF\\|:STAT\\?$";
    // The log as the window writes it: names and values, then values alone.
    row("measure", "", "measure --count 3 --interval 0.1 --log m.log", "", 0,
        "^time,U1,[^|]+(\\|[^|]+){3}$", none,
        "^aaa\\|:HEAD ON\\|:TRAN:SEP 2\\|:MEAS\\?\\|:HEAD OFF\\|:MEAS\\?\\|:MEAS\\?$");
    row("record status", "", "record status", "", 0, "^STOP$", none, "^aaa\\|:STAT\\?$");
    row("record start", "", "record start", "", 0, "^(RUN|WAIT)$", none,
        "^aaa\\|:DISP:MODE MEAS\\|:HEAD OFF\\|:STAT\\?\\|:START\\|:STAT\\?$");
    row("record stop", "", "record start;record stop", "", 0, "^STOP$", none, "\\|:STOP\\|");
    // Stop on a stopped instrument only says so; it must not toggle recording on.
    row("record stop, stopped", "", "record stop", "", 0, "^STOP$", none, stateOnly);
    row("files list", "", "files list", "", 0, "(^|\\|)MEAS0002.DAT\t0(\\||$)", none,
        "^aaa\\|:HEAD OFF\\|:CARD:FILE\\? MEAS\\|:CARD:FILE\\? INST\\|:CARD:FILE\\? BMP\\|"
        ":CARD:FILE\\? WAVE$");
    row("files delete", "--delete-delay 0", "files delete MEAS0002.DAT", "", 0, none, none,
        "^aaa\\|:CARD:DEL MEAS0002.DAT$");
    row("memory format", "--delete-delay 0", "memory format --yes", "", 0, none, none,
        "^aaa\\|:MEM:FORM$");
    // Bad input sends nothing.
    row("value off the list", "", "settings set -", "\nSens[2]=FLX-9k", 1, none,
        "^pqlink-cli: -: line 2: Sens\\[2\\]=FLX-9k: Sens\\[2\\] takes one of CLA, CLB", "^$");
    row("unreadable file", "", "settings set nonexistent", "", 5, none, "^pqlink-cli: cannot read",
        "^$");
    // A rule the dialog would enforce: only the queries went out, no setting.
    row("rule", "", "settings set -", "Sens[1]=CLA\nIRange[1]=5k\n", 1, none,
        "breaks the sensor rule", "^aaa\\|:HEAD OFF(\\|[^|]+\\?)+$");
    row("missing port", "", "-p COM5 measure", "", 2, none,
        "^pqlink-cli: COM5 is not present: no link com5 in /[^ ]+/pqlink/dosdevices and no "
        "serial device number 5 on this computer.\n$",
        "^$");
    row("time-out", "--fault drop,:STAT?,1", "record status", "", 4, none,
        "^pqlink-cli: recording: No reply to :STAT\\?\n$", "");
    row("refused", "--no-card", "files list", "", 3, none, "^pqlink-cli: [^\n]+\n$", "");
    row("ports", "", "ports", "", 0, "^COM1\t/[^|]+\tpresent(\\|COM[2-8]\t[^|]+){7}$", none, "^$");
    row("settings --json", "", "settings get --json", "", 0,
        "^\\{\"Wiring\":\"1P2W\",\"CirNum\":\"x1\",.*\"Lang\":\"ENGLISH\"\\}$", none, "");
    row("measure --json", "", "measure --json", "", 0, "^\\{\"time\":\"[^\"]+\",\"U1\":", none, "");
    row("list --memory", "", "files list --memory", "", 0, "^M0000001.DAT\t1000\\|", none, "MEM:");
    row("get --memory", "", "files get M0000001.DAT --memory", "", 0, none, none,
        "\\|:MEM:PICK\\? M0000001.DAT, 1, 1000$");
    row("--overwrite", "", "files get MEAS0003.DAT;files get MEAS0003.DAT --overwrite", "", 0, none,
        none, "\\|:CARD:PICK\\? MEAS0003.DAT, 1, 1000\\|[^|]+ 1001, 1001$");
    row("--clock", "", "settings set - --clock", "", 0, none, none, "\\|:CLOCK \\d{4}(,\\d+){5}$");
    row("unknown file", "", "files get NO.DAT", "", 1, none, ": NO.DAT: no such file on", "");
    row("silent", "--fault drop,aaa,1", "measure", "", 2, none, "connection test failed", "^aaa$");
    row("modem busy", "--modem --dial-delay 0 --busy-number 5", "--modem 5 measure", "", 2, none,
        "did not connect to 5 \\(last reply: BUSY\\)\n$", "^AT\\|ATD5$");
    row("refused setting", "", "settings set -", "CT[1]=0", 3, none,
        ":CT 1,0/PARAMETER ERROR\n.*refused 1 setting", "\\|:CT 1,0\\|");
    row("refused delete", "--delete-delay 0", "files delete NO.DAT", "", 3, none,
        "NO.DAT: the instrument refused \\(reply \"EXECUTE ERROR\"\\)\n$", "");
    // The run goes on past a refused pass, and its exit status says so.
    row("refused pass", "--fault refuse,:MEAS?,2", "measure --count 3 --interval 0.1", "", 4,
        "^time,U1[^|]+(\\|[^|]+){2}$", "^[^\n]+:MEAS\\?: EXECUTE ERROR\n$", "(\\|:MEAS\\?){2}$");
    row("unwritable log", "", "measure --log nodir/m.log", "", 5, none, "cannot write nodir/m", "");
    row("start, running", "", "record start;record start", "", 0, "^RUN$", none, stateOnly);
    row("stop, no state", "--fault refuse,:STAT?,1", "record stop", "", 3, none,
        "answer to \":STAT\\?\" names no state\n$", stateOnly);
    row("device path", "", "-p /no/tty measure", "", 2, none, ": /no/tty cannot be opened", "");
    // A quoted line is cut, and its control bytes shown escaped.
    row("long binary line", "", "settings set -", QByteArray(1000000, '\x1b'), 1, none,
        "line 1: \"(\\\\x1B){80}… \\(1000000 characters\\)\" is not NAME=VALUE\n$", "^$");
}

// Catches: a command's wrong wire, output or exit status; bad input that reaches the
// instrument; a missing port not named as the connection window names it.
void TestCliE2E::commands()
{
    QFETCH(QString, sim);
    QFETCH(QString, line);
    QFETCH(QByteArray, input);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QFETCH(QString, wire);
    Cli cli(sim.split(' ', Qt::SkipEmptyParts));
    QStringList runs = line.split(';'); // all but the last set the scene
    for (const QString& before : runs.mid(0, runs.size() - 1))
        cli.run(before.split(' '));
    cli.wire();
    const Run r = cli.run(runs.last().split(' '), input);
    QCOMPARE(r.status, status);
    const auto matches = [](const QString& text, const QString& pattern) {
        return QRegularExpression(pattern).match(text).hasMatch();
    };
    QVERIFY2(matches(r.out.join('|'), out), qPrintable(r.out.join('|')));
    QVERIFY2(matches(r.err, err), qPrintable(r.err));
    QList<QByteArray> sent = cli.wire();
    QVERIFY2(matches(QString::fromLatin1(sent.join('|')), wire), sent.join('|').constData());
    if (status == 0 && line.contains(QLatin1String("--log")))
        QCOMPARE(fileBytes(cli.dir.filePath("m.log")).count("\r\n"), 4);
}

// Catches: a round trip of settings get and set that sends other than RECEIVE then SEND. (A
// changed value reaching the instrument: the "refused setting" row of commands.)
void TestCliE2E::settingsRoundTripSendsWhatSendSends()
{
    // What RECEIVE then SEND put on the wire, in process against the same simulated state.
    SimInstrument instrument;
    auto* port = new SimPort(instrument);
    port->open(nullptr);
    InstrumentSession session{std::unique_ptr<SimPort>(port)};
    TestUtil::runJob<SendResult>(session, [&](Job& job) -> Task<SendResult> {
        co_await ConnectDirect(job);
        co_await RecvSettings(job, session.settings());
        co_return co_await SendSettings(job, session.settings(), {});
    });
    const QList<QByteArray> expected = TestUtil::lines(port->written());

    Cli cli;
    const Run get = cli.run(args("settings get"));
    QCOMPARE(get.status, 0);
    QVERIFY(get.out.contains("Wiring=1P2W"));
    cli.wire();
    const Run set = cli.run(args("settings set -"), get.out.join('\n').toUtf8());
    QCOMPARE(set.status, 0);
    QCOMPARE(set.err, QString());
    QCOMPARE(cli.wire(), expected);
}

// Catches: an interrupted download that leaves a wrong prefix or is not continued after it, a
// local copy of another file continued, --restart not starting afresh.
void TestCliE2E::downloadResumesAfterInterrupt()
{
    // A paced line (10 kB/s), so the download is still running when it is interrupted.
    Cli slow({QStringLiteral("--baud"), QStringLiteral("100000")});
    QProcess* p = slow.start(args("files get MEAS0001.DAT"));
    const QString target = slow.dir.filePath("MEAS0001.DAT");
    QVERIFY(TestUtil::waitFor([&] { return QFileInfo(target).size() >= 3000; }, 20000));
    ::kill(pid_t(p->processId()), SIGINT);
    QCOMPARE(slow.finish(p).status, 130);
    const qint64 prefix = QFileInfo(target).size();
    QVERIFY2(prefix > 0 && prefix < 52345 && prefix % 1000 == 0,
             qPrintable(QString::number(prefix)));

    Cli cli;
    // A local copy whose end differs is of another file: it is not continued (5), and
    // --restart downloads the whole file instead.
    QByteArray other = fileBytes(target);
    other[other.size() - 1] = char(other.back() ^ 0x55);
    QVERIFY(TestUtil::writeFile(cli.dir.filePath("MEAS0001.DAT"), other));
    QCOMPARE(cli.run(args("files get MEAS0001.DAT")).status, 5);
    QCOMPARE(fileBytes(cli.dir.filePath("MEAS0001.DAT")), other);
    const auto pick = [](qint64 from, qint64 to) {
        return QStringLiteral(":CARD:PICK? MEAS0001.DAT, %1, %2").arg(from).arg(to).toLatin1();
    };
    cli.wire();
    QCOMPARE(cli.run(args("files get MEAS0001.DAT --restart")).status, 0);
    QCOMPARE(cli.wire().mid(6, 1), QList<QByteArray>{pick(1, 1000)});
    QVERIFY(QFile::remove(cli.dir.filePath("MEAS0001.DAT")));
    QVERIFY(QFile::copy(target, cli.dir.filePath("MEAS0001.DAT")));
    QCOMPARE(cli.run(args("files get MEAS0001.DAT")).status, 0);
    // The run checks the prefix's last 64 bytes, then continues after it.
    QCOMPARE(cli.wire().mid(6, 2),
             QList<QByteArray>({pick(prefix - 63, prefix), pick(prefix + 1, prefix + 1000)}));
    QVERIFY(QDir(cli.dir.path()).mkdir("fresh"));
    QCOMPARE(cli.run(args("files get MEAS0001.DAT -d fresh")).status, 0);
    QCOMPARE(fileBytes(cli.dir.filePath("MEAS0001.DAT")),
             fileBytes(cli.dir.filePath("fresh/MEAS0001.DAT")));
    const Run again = cli.run(args("files get MEAS0001.DAT"));
    QCOMPARE(again.status, 5);
    QCOMPARE(again.err.count('\n'), 1);
}

// Catches: a closed pipe or SIGTERM that ends the run with an error, a message or a hang.
void TestCliE2E::closedPipeAndSignalsEndTheRun()
{
    Cli cli;
    QProcess shell;
    shell.start(QStringLiteral("bash"),
                {QStringLiteral("-c"),
                 QStringLiteral("\"$0\" measure --count 0 --interval 0.1 | head -1; "
                                "exit ${PIPESTATUS[0]}"),
                 qEnvironmentVariable("PQLINK_CLI")});
    shell.setWorkingDirectory(cli.dir.path());
    QVERIFY(shell.waitForFinished(30000));
    QCOMPARE(shell.exitCode(), 0);
    QCOMPARE(shell.readAllStandardError(), QByteArray());

    QProcess* p = cli.start(args("measure --count 0 --interval 0.1"));
    QVERIFY(TestUtil::waitFor([&] { return p->canReadLine(); }));
    ::kill(pid_t(p->processId()), SIGTERM);
    const Run r = cli.finish(p);
    QCOMPARE(r.status, 130);
    QCOMPARE(r.err, QString());
}

QTEST_GUILESS_MAIN(TestCliE2E)
#include "test_cli_e2e.moc"
