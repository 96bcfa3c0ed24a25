// Downloads through the download window: byte-exact copies, resume, overwrite, injected
// faults, the window closed or the link lost on the way, and names, sizes and writes that
// must not be trusted.

#include "DloadFixture.h"
#include "Link.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>

#include <csignal>
#include <sys/resource.h>

namespace {

using Kind = MessageService::Kind;
using Medium = SimStorage::Medium;

const QString kDoNotDownload = QStringLiteral(
    "The same name file exists with larger size than spcified file\r\nDo not download");
const QString kOverwrite = QStringLiteral("The same name file exists\r\nOverwrite?");

const char* const kFileControls[] = {"List1",        "Drive1",        "Dir1",
                                     "Option1",      "Option2",       "CommandGetFname",
                                     "CommandDExec", "CommandDelete", "CheckResume"};

QByteArray pick(Medium m, const QByteArray& name, qint64 start, qint64 end)
{
    return (m == SimStorage::Card ? ":CARD:PICK? " : ":MEM:PICK? ") + name + ", " +
           QByteArray::number(start) + ", " + QByteArray::number(end);
}

// Runs f when the program has written its n-th block request, from the event loop.
void onPick(Link& link, int n, std::function<void()> f)
{
    auto count = std::make_shared<int>(0);
    QObject::connect(&link, &Link::written, [count, n, f](const QByteArray& line) {
        if (line.contains(":PICK? ") && ++*count == n)
            TestUtil::later(0, f);
    });
}

SimConfig withFault(const QString& text)
{
    SimConfig config;
    SimFault fault;
    QString error;
    if (!SimFault::parse(text, &fault, &error))
        qWarning("%s", qPrintable(error));
    config.faults.push_back(fault);
    return config;
}

} // namespace

class TestDownload : public QObject
{
    Q_OBJECT
private slots:
    void byteExact_data();
    void byteExact();
    void progressWhileRunning();
    void resumesFromTheLocalLength_data();
    void resumesFromTheLocalLength();
    void existingFile_data();
    void existingFile();
    void nothingSelected();
    void faultEndsAndResumes_data();
    void faultEndsAndResumes();
    void closedMidDownloadThenResumed();
    void linkLostMidDownload();
    void programClosedMidDownload();
    void unsafeNamesAreRefused_data();
    void unsafeNamesAreRefused();
    void sizesThatAreNotNumbers_data();
    void sizesThatAreNotNumbers();
    void writeFailures();
    void writeFailsMidDownload();
};

void TestDownload::byteExact_data()
{
    QTest::addColumn<int>("medium");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QString>("progress");
    QTest::addColumn<QList<QByteArray>>("firstPicks");

    const auto C = SimStorage::Card;
    const auto M = SimStorage::Memory;
    QTest::newRow("card 0") << int(C) << QByteArray("MEAS0002.DAT") << "" << QList<QByteArray>{};
    QTest::newRow("card 1") << int(C) << QByteArray("SCRN0002.BMP") << "1/1"
                            << QList<QByteArray>{pick(C, "SCRN0002.BMP", 1, 1)};
    QTest::newRow("card 999") << int(C) << QByteArray("INST0001.DAT") << "999/999"
                              << QList<QByteArray>{pick(C, "INST0001.DAT", 1, 999)};
    QTest::newRow("card 1000") << int(C) << QByteArray("SCRN0001.BMP") << "1000/1000"
                               << QList<QByteArray>{pick(C, "SCRN0001.BMP", 1, 1000)};
    QTest::newRow("card 1001") << int(C) << QByteArray("MEAS0003.DAT") << "1001/1001"
                               << QList<QByteArray>{pick(C, "MEAS0003.DAT", 1, 1000),
                                                    pick(C, "MEAS0003.DAT", 1001, 1001)};
    QTest::newRow("card 52345") << int(C) << QByteArray("MEAS0001.DAT") << "52345/52345"
                                << QList<QByteArray>{pick(C, "MEAS0001.DAT", 1, 1000),
                                                     pick(C, "MEAS0001.DAT", 1001, 2000)};
    QTest::newRow("card 3 MB") << int(C) << QByteArray("INST0002.DAT") << "3145745/3145745"
                               << QList<QByteArray>{pick(C, "INST0002.DAT", 1, 1000)};
    QTest::newRow("memory 0") << int(M) << QByteArray("M0000003.DAT") << "" << QList<QByteArray>{};
    QTest::newRow("memory 1") << int(M) << QByteArray("M0000004.BMP") << "1/1"
                              << QList<QByteArray>{pick(M, "M0000004.BMP", 1, 1)};
    QTest::newRow("memory 999") << int(M) << QByteArray("M0000005.BMP") << "999/999"
                                << QList<QByteArray>{pick(M, "M0000005.BMP", 1, 999)};
    QTest::newRow("memory 1000") << int(M) << QByteArray("M0000001.DAT") << "1000/1000"
                                 << QList<QByteArray>{pick(M, "M0000001.DAT", 1, 1000)};
    QTest::newRow("memory 1001") << int(M) << QByteArray("M0000006.DAT") << "1001/1001"
                                 << QList<QByteArray>{pick(M, "M0000006.DAT", 1, 1000),
                                                      pick(M, "M0000006.DAT", 1001, 1001)};
    QTest::newRow("memory 4 MB") << int(M) << QByteArray("M0000007.DAT") << "4194307/4194307"
                                 << QList<QByteArray>{pick(M, "M0000007.DAT", 1, 1000)};
}

// Catches: bytes lost, added or changed at block edges, the wrong medium or range asked for,
// the leading reply byte taken for data, an empty file not created.
void TestDownload::byteExact()
{
    QFETCH(int, medium);
    QFETCH(QByteArray, name);
    QFETCH(QString, progress);
    QFETCH(QList<QByteArray>, firstPicks);
    DloadFixture f;
    const auto m = Medium(medium);
    if (m == SimStorage::Memory)
        f.clickMedium(false);
    f.bench.clearWire();
    QSignalSpy written(&f.bench.link(), &Link::written);

    f.download(name);

    QCOMPARE(f.bench.messages.texts(), QStringList{});
    QCOMPARE(f.local(name), f.stored(m, name));
    const QList<QByteArray> picks = f.picks();
    const qint64 size = f.bench.instrument.state().storage.find(m, name)->size;
    QCOMPARE(picks.size(), (size + 999) / 1000);
    QCOMPARE(picks.mid(0, firstPicks.size()), firstPicks);
    QCOMPARE(f.bench.wire().size(), picks.size()); // nothing but block requests
    for (const QList<QVariant>& call : written)
        QCOMPARE(call[1].toInt(), 5000);
    QCOMPARE(f.ctl<QLabel>("Label3")->text(), progress);
    auto* bar = f.ctl<QProgressBar>("ProgressDload");
    QCOMPARE(bar->value(), bar->maximum());
    for (const char* c : kFileControls)
        QVERIFY2(f.ctl<QWidget>(c)->isEnabled(), c);
}

// Catches: controls left usable while blocks are fetched, progress counted wrongly.
void TestDownload::progressWhileRunning()
{
    DloadFixture f;
    f.clickMedium(false);
    QStringList seen;
    QList<int> bar;
    QStringList enabled;
    onPick(f.bench.link(), 3, [&] {
        seen << f.ctl<QLabel>("Label3")->text();
        bar << f.ctl<QProgressBar>("ProgressDload")->value();
        for (const char* c : kFileControls)
            if (f.ctl<QWidget>(c)->isEnabled())
                enabled << c;
    });
    f.download("M0000002.DAT");
    QCOMPARE(seen, QStringList{"2000/5000"});
    QCOMPARE(bar, QList<int>{2000});
    QCOMPARE(enabled, QStringList{});
    QCOMPARE(f.ctl<QLabel>("Label3")->text(), QStringLiteral("5000/5000"));
}

void TestDownload::resumesFromTheLocalLength_data()
{
    QTest::addColumn<int>("have");
    QTest::newRow("empty file") << 0;
    QTest::newRow("1 byte") << 1;
    QTest::newRow("999") << 999;
    QTest::newRow("1000") << 1000;
    QTest::newRow("1001") << 1001;
    QTest::newRow("2500") << 2500;
    QTest::newRow("one byte short") << 4999;
}

// Catches: a resume that starts at the wrong byte, rewrites what is there, or truncates.
void TestDownload::resumesFromTheLocalLength()
{
    QFETCH(int, have);
    DloadFixture f;
    f.clickMedium(false);
    const QByteArray whole = f.stored(SimStorage::Memory, "M0000002.DAT");
    f.writeLocal("M0000002.DAT", whole.left(have));
    f.bench.clearWire();

    f.download("M0000002.DAT");

    QCOMPARE(f.bench.messages.texts(), QStringList{});
    QCOMPARE(f.local("M0000002.DAT"), whole);
    const QList<QByteArray> picks = f.picks();
    QCOMPARE(picks.first(),
             pick(SimStorage::Memory, "M0000002.DAT", have + 1, std::min(have + 1000, 5000)));
    QCOMPARE(picks.last().endsWith(", 5000"), true);
    QCOMPARE(picks.size(), (5000 - have + 999) / 1000);
}

void TestDownload::existingFile_data()
{
    QTest::addColumn<bool>("resume");
    QTest::addColumn<int>("localSize");
    QTest::addColumn<bool>("yes");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("downloads");
    QTest::newRow("resume, same size") << true << 5000 << true << kDoNotDownload << false;
    QTest::newRow("resume, larger") << true << 7000 << true << kDoNotDownload << false;
    QTest::newRow("overwrite? yes") << false << 7000 << true << kOverwrite << true;
    QTest::newRow("overwrite? yes, shorter") << false << 300 << true << kOverwrite << true;
    QTest::newRow("overwrite? no") << false << 7000 << false << kOverwrite << false;
}

// Catches: an existing file touched without consent, an overwrite that keeps a longer old
// tail, a resume past the end.
void TestDownload::existingFile()
{
    QFETCH(bool, resume);
    QFETCH(int, localSize);
    QFETCH(bool, yes);
    QFETCH(QString, message);
    QFETCH(bool, downloads);
    DloadFixture f;
    f.clickMedium(false);
    const QByteArray junk(localSize, 'j');
    f.writeLocal("M0000002.DAT", junk);
    f.ctl<QCheckBox>("CheckResume")->setChecked(resume);
    f.bench.messages.answer(yes);
    f.bench.clearWire();

    f.download("M0000002.DAT");

    QCOMPARE(f.bench.messages.texts(), QStringList{message});
    QCOMPARE(f.bench.messages.shown()[0].kind, resume ? Kind::Critical : Kind::Question);
    if (downloads) {
        QCOMPARE(f.local("M0000002.DAT"), f.stored(SimStorage::Memory, "M0000002.DAT"));
        QCOMPARE(f.picks().first(), pick(SimStorage::Memory, "M0000002.DAT", 1, 1000));
    } else {
        QCOMPARE(f.local("M0000002.DAT"), junk);
        QVERIFY(f.bench.wire().isEmpty());
    }
    for (const char* c : kFileControls)
        QVERIFY2(f.ctl<QWidget>(c)->isEnabled(), c);
}

void TestDownload::nothingSelected()
{
    DloadFixture f;
    f.bench.clearWire();
    f.click("CommandDExec");
    QCOMPARE(f.bench.messages.texts(), QStringList{"File is not selected"});
    QCOMPARE(f.bench.messages.shown()[0].kind, Kind::Warning);
    QVERIFY(f.bench.wire().isEmpty());
    QVERIFY(QDir(f.dir.path()).isEmpty());
}

void TestDownload::faultEndsAndResumes_data()
{
    QTest::addColumn<QString>("fault");
    QTest::newRow("dropped") << "drop,:MEM:PICK?,3";
    QTest::newRow("truncated") << "truncate,:MEM:PICK?,3";
    QTest::newRow("lengthened") << "lengthen,:MEM:PICK?,3";
    QTest::newRow("late") << "delay,:MEM:PICK?,3,5600";
    QTest::newRow("hung up") << "hangup,:MEM:PICK?,3";
}

// A failed third block: "Communication error", the first two blocks kept, and a second run
// completes the file. Each case waits out one 5 s block time-out.
void TestDownload::faultEndsAndResumes()
{
    QFETCH(QString, fault);
    DloadFixture f(withFault(fault));
    f.clickMedium(false);
    f.download("M0000002.DAT");
    QCOMPARE(f.bench.messages.texts(), QStringList{"Communication error"});
    QCOMPARE(f.bench.messages.shown()[0].kind, Kind::Warning);
    const QByteArray whole = f.stored(SimStorage::Memory, "M0000002.DAT");
    QCOMPARE(f.local("M0000002.DAT"), whole.left(2000));
    QCOMPARE(f.ctl<QLabel>("Label3")->text(), QStringLiteral("2000/5000"));
    for (const char* c : kFileControls)
        QVERIFY2(f.ctl<QWidget>(c)->isEnabled(), c);

    if (fault.startsWith("hangup")) {
        // The line is dead: disconnect, connect and open the window again.
        QTest::mouseClick(f.bench.startChild<QPushButton>("CommandConnect"), Qt::LeftButton);
        QVERIFY(f.bench.connectDirect());
        f.w = f.bench.openDload();
        f.chooseDir(f.dir.path());
        f.clickMedium(false);
    }
    if (fault.startsWith("delay")) // the late block must not be taken for the next one
        QVERIFY(TestUtil::waitFor([&] { return f.bench.link().BlockLen() > 0; }, 2000));
    f.bench.messages.clear();
    f.download("M0000002.DAT");
    QCOMPARE(f.bench.messages.texts(), QStringList{});
    QCOMPARE(f.local("M0000002.DAT"), whole);
}

// The window's close box during a fetch: the loop ends after that fetch without writing its
// block, the file keeps the blocks before, the window goes, and a new window resumes the
// file to a byte-identical copy. Under the sanitizer build this also proves that the
// suspended handler never touches the freed window.
void TestDownload::closedMidDownloadThenResumed()
{
    DloadFixture f;
    f.bench.port->setPieceSize(100); // the reply takes several receive events
    onPick(f.bench.link(), 5, [&] { f.w->close(); });
    f.download("WAVE0001.DAT");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(f.w.isNull());
    QCOMPARE(f.bench.messages.texts(), QStringList{});
    const QByteArray whole = f.stored(SimStorage::Card, "WAVE0001.DAT");
    QCOMPARE(f.local("WAVE0001.DAT"), whole.left(4000));
    QCOMPARE(f.bench.link().Busy(), qint16(0));

    f.w = f.bench.openDload();
    QVERIFY(f.w);
    f.chooseDir(f.dir.path());
    f.bench.clearWire();
    f.download("WAVE0001.DAT");
    QCOMPARE(f.picks().first(), pick(SimStorage::Card, "WAVE0001.DAT", 4001, 5000));
    QCOMPARE(f.local("WAVE0001.DAT"), whole);
}

// The port goes away during a fetch: the start window disconnects and unloads us; the
// fetch ends by its time-out and nothing more is written or shown by this window.
void TestDownload::linkLostMidDownload()
{
    DloadFixture f;
    f.bench.port->setPieceSize(100);
    onPick(f.bench.link(), 5, [&] { emit f.bench.port->lost(QStringLiteral("unplugged")); });
    f.download("WAVE0001.DAT");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(f.w.isNull());
    QCOMPARE(f.local("WAVE0001.DAT"), f.stored(SimStorage::Card, "WAVE0001.DAT", 4000));
    QCOMPARE(f.bench.messages.shown().size(), 1);
    QVERIFY(!f.bench.messages.texts().contains("Communication error"));
    QCOMPARE(f.bench.link().ConnectStat(), qint16(0));
}

void TestDownload::programClosedMidDownload()
{
    DloadFixture f;
    f.bench.port->setPieceSize(100);
    onPick(f.bench.link(), 3, [&] { f.bench.start->close(); });
    f.download("WAVE0001.DAT");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(f.w.isNull());
    QCOMPARE(f.local("WAVE0001.DAT"), f.stored(SimStorage::Card, "WAVE0001.DAT", 2000));
    QCOMPARE(f.bench.messages.texts(), QStringList{});
}

void TestDownload::unsafeNamesAreRefused_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QString>("why");
    QTest::newRow("parent") << QByteArray("../EVIL.DAT") << "the name contains \"/\"";
    QTest::newRow("absolute") << QByteArray("/tmp/EVIL.DAT") << "the name contains \"/\"";
    QTest::newRow("backslash") << QByteArray("..\\EVIL.DAT") << "the name contains \"\\\"";
    QTest::newRow("drive") << QByteArray("C:EVIL.DAT") << "the name contains \":\"";
    QTest::newRow("dot dot") << QByteArray("..") << "\"..\" names a directory";
    QTest::newRow("empty") << QByteArray("") << "the name is empty";
    QTest::newRow("control") << QByteArray("EV\x1bIL.DAT")
                             << "the name contains the control character 0x1b";
}

// Catches: a name from the instrument leading the write outside the chosen directory.
void TestDownload::unsafeNamesAreRefused()
{
    QFETCH(QByteArray, name);
    QFETCH(QString, why);
    DloadFixture f;
    QDir(f.dir.path()).mkdir("inner");
    const QString inner = f.dir.filePath("inner");
    f.chooseDir(inner);
    f.bench.instrument.state().storage.card = {{"MEAS", name, 10}};
    f.click("CommandGetFname");
    QCOMPARE(f.list()->count(), 1);
    f.list()->setCurrentRow(0);
    f.bench.clearWire();

    f.click("CommandDExec");

    QCOMPARE(f.bench.messages.shown().size(), 1);
    QCOMPARE(f.bench.messages.shown()[0].kind, Kind::Critical);
    QVERIFY2(f.bench.messages.texts()[0].contains(why), qPrintable(f.bench.messages.texts()[0]));
    QVERIFY(f.bench.wire().isEmpty());
    QCOMPARE(QDir(f.dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{"inner"});
    QVERIFY(QDir(inner).isEmpty());
    QVERIFY(!QFile::exists("/tmp/EVIL.DAT"));
    QVERIFY(f.ctl<QWidget>("CommandDExec")->isEnabled());
}

void TestDownload::sizesThatAreNotNumbers_data()
{
    QTest::addColumn<QByteArray>("size");
    QTest::newRow("letter") << QByteArray("52a45");
    QTest::newRow("empty") << QByteArray("");
    QTest::newRow("negative") << QByteArray("-5");
    QTest::newRow("blank") << QByteArray(" 12");
    QTest::newRow("past 32 bits") << QByteArray("4294967296");
}

// Catches: a size read as its leading digits (or as 0) and a partial or empty file written.
void TestDownload::sizesThatAreNotNumbers()
{
    QFETCH(QByteArray, size);
    DloadFixture f;
    f.bench.instrument.addCommand(":CARD:FILE?", [size](SimInstrument&, const QByteArray& kind) {
        return SimReply::line(kind == "MEAS" ? "MEAS0001.DAT," + size : QByteArray("NO FILES"));
    });
    f.click("CommandGetFname");
    QCOMPARE(f.list()->count(), 1);
    f.list()->setCurrentRow(0);
    f.bench.clearWire();

    f.click("CommandDExec");

    QCOMPARE(f.bench.messages.shown().size(), 1);
    QCOMPARE(f.bench.messages.shown()[0].kind, Kind::Critical);
    QVERIFY(f.bench.messages.texts()[0].contains("not a number"));
    QVERIFY(f.bench.wire().isEmpty());
    QVERIFY(QDir(f.dir.path()).isEmpty());
}

// The target cannot be opened, or the disk is full at the first block: the system's reason
// is shown, never success.
void TestDownload::writeFailures()
{
    DloadFixture f;
    f.clickMedium(false);
    QDir(f.dir.path()).mkdir("gone");
    f.chooseDir(f.dir.filePath("gone"));
    QVERIFY(QDir(f.dir.filePath("gone")).removeRecursively());
    QTest::qWait(200); // let the directory view notice
    f.bench.clearWire();
    f.download("M0000002.DAT");
    QCOMPARE(f.bench.messages.shown().size(), 1);
    QCOMPARE(f.bench.messages.shown()[0].kind, Kind::Critical);
    QVERIFY2(f.bench.messages.texts()[0].contains("No such file or directory"),
             qPrintable(f.bench.messages.texts()[0]));
    QVERIFY2(f.bench.messages.texts()[0].contains(f.dir.filePath("gone/M0000002.DAT")),
             qPrintable(f.bench.messages.texts()[0]));
    QVERIFY(f.bench.wire().isEmpty());
    QVERIFY(QDir(f.dir.path()).isEmpty());

    // /dev/full: it exists with length 0, so a resume starts at byte 1; every write fails.
    f.bench.messages.clear();
    f.bench.instrument.state().storage.memory.append({"MEAS", "full", 3000});
    f.click("CommandGetFname");
    f.chooseDir(QStringLiteral("/dev"));
    f.download("full");
    QCOMPARE(f.bench.messages.shown().size(), 1);
    QVERIFY2(f.bench.messages.texts()[0].contains("No space left on device"),
             qPrintable(f.bench.messages.texts()[0]));
    QCOMPARE(f.ctl<QLabel>("Label3")->text(), QString());
}

// A file-size limit stops the writes in the third block: the bytes written stay, and a
// resume without the limit completes the file.
void TestDownload::writeFailsMidDownload()
{
    DloadFixture f;
    f.clickMedium(false);
    rlimit old{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit limited = old;
    limited.rlim_cur = 2500;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
    f.download("M0000002.DAT");
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    QCOMPARE(f.bench.messages.shown().size(), 1);
    QCOMPARE(f.bench.messages.shown()[0].kind, Kind::Critical);
    QVERIFY2(f.bench.messages.texts()[0].contains("File too large"),
             qPrintable(f.bench.messages.texts()[0]));
    const QByteArray whole = f.stored(SimStorage::Memory, "M0000002.DAT");
    QCOMPARE(f.local("M0000002.DAT"), whole.left(2500));
    QCOMPARE(f.picks().size(), 3);

    f.bench.messages.clear();
    f.download("M0000002.DAT");
    QCOMPARE(f.bench.messages.texts(), QStringList{});
    QCOMPARE(f.local("M0000002.DAT"), whole);
}

QTEST_MAIN(TestDownload)
#include "test_download.moc"
