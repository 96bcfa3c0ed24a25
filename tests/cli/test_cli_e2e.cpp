// pqlink-cli end to end: the real program against the real kestrel-sim on a pseudo-terminal,
// checking exit status, output and the lines the simulator received.

#include "Connect.h"
#include "Link.h"
#include "PortResolver.h"
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
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

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
        QFile f(dir.filePath("wire.log"));
        f.open(QIODevice::ReadOnly);
        QList<QByteArray> lines = f.readAll().split('\n');
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

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

} // namespace

class TestCliE2E : public QObject
{
    Q_OBJECT
private slots:
    void measuresAndRecords();
    void settingsRoundTripSendsWhatSendSends();
    void filesListDeleteAndFormat();
    void downloadResumesAfterInterrupt();
    void badInputSendsNothing_data();
    void badInputSendsNothing();
    void missingPortSaysWhatTheWindowSays();
    void closedPipeAndSignalsEndTheRun();
    void timeoutAndRefusalHaveTheirStatus();
};

void TestCliE2E::measuresAndRecords()
{
    Cli cli;
    const Run m = cli.run(args("measure --count 3 --interval 0.1 --log m.log"));
    QCOMPARE(m.status, 0);
    QCOMPARE(m.out.size(), 4);
    QVERIFY2(m.out[0].startsWith("time,U1,"), qPrintable(m.out[0]));
    QCOMPARE(m.out[3].count(','), m.out[0].count(','));
    QCOMPARE(cli.wire(), (QList<QByteArray>{"aaa", ":HEAD ON", ":TRAN:SEP 2", ":MEAS?", ":HEAD OFF",
                                            ":MEAS?", ":MEAS?"}));
    // The log as the window writes it: names and values, then values alone.
    QCOMPARE(fileBytes(cli.dir.filePath("m.log")).count("\r\n"), 4);

    QCOMPARE(cli.run(args("record status")).out, QStringList{"STOP"});
    QCOMPARE(cli.wire(), (QList<QByteArray>{"aaa", ":STAT?"}));
    const Run start = cli.run(args("record start"));
    QCOMPARE(start.status, 0);
    QVERIFY2(start.out == QStringList{"RUN"} || start.out == QStringList{"WAIT"},
             qPrintable(start.err));
    QCOMPARE(cli.wire(), (QList<QByteArray>{"aaa", ":DISP:MODE MEAS", ":HEAD OFF", ":STAT?",
                                            ":START", ":STAT?"}));
    QCOMPARE(cli.run(args("record stop")).out, QStringList{"STOP"});
    QCOMPARE(cli.wire().value(4), QByteArray(":STOP"));
}

void TestCliE2E::settingsRoundTripSendsWhatSendSends()
{
    // What RECEIVE then SEND put on the wire, in process against the same simulated state.
    SimInstrument instrument;
    SimPort port(instrument);
    port.open(nullptr);
    Link link(port);
    ConnectDirect(link);
    RecvSettings(link);
    SendSettings(link, {});
    const QList<QByteArray> expected = TestUtil::lines(port.written());

    Cli cli;
    const Run get = cli.run(args("settings get"));
    QCOMPARE(get.status, 0);
    QVERIFY(get.out.contains("Wiring=1P2W"));
    cli.wire();
    const Run set = cli.run(args("settings set -"), get.out.join('\n').toUtf8());
    QCOMPARE(set.status, 0);
    QCOMPARE(set.err, QString());
    QCOMPARE(cli.wire(), expected);

    // A changed value reaches the instrument and comes back.
    QCOMPARE(cli.run(args("settings set -"), "Wiring=1P3W\nCirNum=x2\nSens[2]=FLX-5k\nIRange[2]=5k")
                 .status,
             0);
    QVERIFY(cli.wire().contains(":SENS 2,FLX-5K"));
    const QStringList again = cli.run(args("settings get")).out;
    for (const char* line : {"Wiring=1P3W", "CirNum=x2", "Sens[2]=FLX-5k", "IRange[2]=5k"})
        QVERIFY2(again.contains(QLatin1String(line)), line);
}

void TestCliE2E::filesListDeleteAndFormat()
{
    Cli cli({QStringLiteral("--delete-delay"), QStringLiteral("0")});
    const Run list = cli.run(args("files list"));
    QCOMPARE(list.status, 0);
    QVERIFY(list.out.contains("MEAS0002.DAT\t0"));
    QCOMPARE(cli.wire(),
             (QList<QByteArray>{"aaa", ":HEAD OFF", ":CARD:FILE? MEAS", ":CARD:FILE? INST",
                                ":CARD:FILE? BMP", ":CARD:FILE? WAVE"}));
    QCOMPARE(cli.run(args("files delete MEAS0002.DAT")).status, 0);
    QCOMPARE(cli.wire(), (QList<QByteArray>{"aaa", ":CARD:DEL MEAS0002.DAT"}));
    QVERIFY(!cli.run(args("files list")).out.contains("MEAS0002.DAT\t0"));
    QCOMPARE(cli.run(args("memory format --yes")).status, 0);
    cli.wire();
    QCOMPARE(cli.run(args("memory format --yes")).status, 0);
    QCOMPARE(cli.wire(), (QList<QByteArray>{"aaa", ":MEM:FORM"}));
    QCOMPARE(cli.run(args("files list --memory")).out, QStringList{});
}

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
    QFile changed(cli.dir.filePath("MEAS0001.DAT"));
    QVERIFY(changed.open(QIODevice::WriteOnly) && changed.write(other) == other.size());
    changed.close();
    QCOMPARE(cli.run(args("files get MEAS0001.DAT")).status, 5);
    QCOMPARE(fileBytes(cli.dir.filePath("MEAS0001.DAT")), other);
    cli.wire();
    QVERIFY(QFile::remove(cli.dir.filePath("MEAS0001.DAT")));
    QVERIFY(QFile::copy(target, cli.dir.filePath("MEAS0001.DAT")));
    QCOMPARE(cli.run(args("files get MEAS0001.DAT")).status, 0);
    // The run checks the prefix's last 64 bytes, then continues after it.
    const auto pick = [](qint64 from, qint64 to) {
        return QStringLiteral(":CARD:PICK? MEAS0001.DAT, %1, %2").arg(from).arg(to).toLatin1();
    };
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

void TestCliE2E::badInputSendsNothing_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("error");
    QTest::newRow("unknown command")
        << "frobnicate" << QByteArray() << 1 << "unknown command frobnicate";
    QTest::newRow("unknown option")
        << "measure --bogus" << QByteArray() << 1 << "unknown option --bogus";
    QTest::newRow("value off the list")
        << "settings set -" << QByteArray("\nSens[2]=FLX-9k") << 1
        << "-: line 2: Sens[2]=FLX-9k: Sens[2] takes one of CLA, CLB";
    QTest::newRow("unreadable file")
        << "settings set nonexistent" << QByteArray() << 5 << "cannot read";
}

void TestCliE2E::badInputSendsNothing()
{
    QFETCH(QString, line);
    QFETCH(QByteArray, input);
    QFETCH(int, status);
    QFETCH(QString, error);
    Cli cli;
    const Run r = cli.run(line.split(' '), input);
    QCOMPARE(r.status, status);
    QVERIFY2(r.err.startsWith(QStringLiteral("pqlink-cli: ") + error), qPrintable(r.err));
    QCOMPARE(cli.wire(), QList<QByteArray>{});
}

void TestCliE2E::missingPortSaysWhatTheWindowSays()
{
    Cli cli;
    const Run r = cli.run(args("-p COM5 measure"));
    QCOMPARE(r.status, 2);
    QCOMPARE(r.err, QStringLiteral("pqlink-cli: ") +
                        PortResolver::openErrorText(5, QString(), QString(), false) + '\n');
    // A rule the dialog would enforce: only the queries went out, no setting.
    const Run rule = cli.run(args("settings set -"), "Sens[1]=CLA\nIRange[1]=5k\n");
    QCOMPARE(rule.status, 1);
    QVERIFY2(rule.err.contains("breaks the sensor rule"), qPrintable(rule.err));
    for (const QByteArray& sent : cli.wire())
        QVERIFY2(sent.endsWith('?') || sent == "aaa" || sent == ":HEAD OFF", sent.constData());
}

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

void TestCliE2E::timeoutAndRefusalHaveTheirStatus()
{
    Cli cli(
        {QStringLiteral("--fault"), QStringLiteral("drop,:STAT?,1"), QStringLiteral("--no-card")});
    const Run timeout = cli.run(args("record status"));
    QCOMPARE(timeout.status, 4);
    QCOMPARE(timeout.err, QStringLiteral("pqlink-cli: recording: No reply to :STAT?\n"));
    const Run refused = cli.run(args("files list"));
    QCOMPARE(refused.status, 3);
    QCOMPARE(refused.err.count('\n'), 1);
}

QTEST_GUILESS_MAIN(TestCliE2E)
#include "test_cli_e2e.moc"
