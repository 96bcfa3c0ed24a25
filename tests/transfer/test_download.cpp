// Downloads through the download window: byte-exact copies, resume, overwrite, injected
// faults, the window closed or the link lost on the way, and names, sizes and writes that
// must not be trusted.

#include "DloadFixture.h"
#include "Link.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>

#include <csignal>
#include <sys/resource.h>
#include <utility>

namespace {

using Kind = MessageService::Kind;
const auto Card = SimStorage::Card;
const auto Memory = SimStorage::Memory;

QByteArray pick(SimStorage::Medium m, const QByteArray& name, qint64 start, qint64 end)
{
    return (m == Card ? ":CARD:PICK? " : ":MEM:PICK? ") + name + ", " + QByteArray::number(start) +
           ", " + QByteArray::number(end);
}

// Runs f from the event loop once the program has written its n-th block request.
void onPick(Link& link, int n, std::function<void()> f)
{
    auto count = std::make_shared<int>(0);
    QObject::connect(&link, &Link::written, [count, n, f](const QByteArray& line, int) {
        if (line.contains(":PICK? ") && ++*count == n)
            TestUtil::later(0, f);
    });
}

SimConfig withFault(const QString& text)
{
    SimConfig config;
    config.faults.resize(1);
    QString error;
    if (!SimFault::parse(text, &config.faults[0], &error))
        qWarning("%s", qPrintable(error));
    return config;
}

} // namespace

class TestDownload : public QObject
{
    Q_OBJECT
private slots:
    void byteExact_data();
    void byteExact();
    void resumesFromTheLocalLength_data();
    void resumesFromTheLocalLength();
    void resumeOfADifferentFile_data();
    void resumeOfADifferentFile();
    void existingFile_data();
    void existingFile();
    void faultEndsAndResumes_data();
    void faultEndsAndResumes();
    void interrupted_data();
    void interrupted();
    void refusedBeforeAnyFetch_data();
    void refusedBeforeAnyFetch();
    void writeFailures();
    void unloadedWhileAsking_data();
    void unloadedWhileAsking();
};

void TestDownload::byteExact_data()
{
    QTest::addColumn<int>("medium");
    QTest::addColumn<QByteArray>("name");
    for (const char* name : {"MEAS0002.DAT", "SCRN0002.BMP", "INST0001.DAT", "SCRN0001.BMP",
                             "MEAS0003.DAT", "MEAS0001.DAT"})
        QTest::newRow(name) << int(Card) << QByteArray(name);
    for (const char* name : {"M0000003.DAT", "M0000007.DAT"})
        QTest::newRow(name) << int(Memory) << QByteArray(name);
}

// Sizes 0, 1, 999, 1000, 1001, 52345 and several MB from both media. Catches: bytes lost,
// added or changed at block edges, a wrong medium or range, the leading reply byte taken for
// data, an empty file not created, controls usable or progress wrong while blocks come.
void TestDownload::byteExact()
{
    QFETCH(int, medium);
    QFETCH(QByteArray, name);
    DloadFixture f;
    const auto m = SimStorage::Medium(medium);
    if (m == Memory)
        f.clickMedium(false);
    const qint64 size = f.bench.instrument.state().storage.find(m, name)->size;
    QStringList duringThird;
    onPick(f.bench.link(), 3, [&] {
        duringThird << f.ctl<QLabel>("Label3")->text();
        for (QWidget* c : f.fileControls())
            if (c->isEnabled())
                duringThird << c->objectName();
    });
    QList<int> timeouts;
    QObject::connect(&f.bench.link(), &Link::written,
                     [&](const QByteArray&, int ms) { timeouts << ms; });
    f.bench.clearWire();

    f.download(name);

    QCOMPARE(f.bench.messages.texts(), QStringList{});
    QCOMPARE(f.local(name), f.stored(m, name));
    QList<QByteArray> picks;
    for (qint64 start = 1; start <= size; start += 1000)
        picks << pick(m, name, start, std::min(start + 999, size));
    QCOMPARE(f.bench.wire(), picks);
    QCOMPARE(timeouts, QList<int>(picks.size(), 5000));
    if (size > 2000)
        QCOMPARE(duringThird, QStringList{"2000/" + QString::number(size)});
    QCOMPARE(f.ctl<QLabel>("Label3")->text(),
             size ? QString::number(size) + '/' + QString::number(size) : QString());
    auto* bar = f.ctl<QProgressBar>("ProgressDload");
    QCOMPARE(bar->value(), bar->maximum());
    for (QWidget* c : f.fileControls())
        QVERIFY2(c->isEnabled(), qPrintable(c->objectName()));
}

void TestDownload::resumesFromTheLocalLength_data()
{
    QTest::addColumn<int>("have");
    for (int have : {0, 1, 1000, 2500})
        QTest::addRow("%d", have) << have;
}

// Catches: a resume that starts at the wrong byte, rewrites what is there, or truncates; a
// check of the local copy's end that reads the wrong bytes, or none.
void TestDownload::resumesFromTheLocalLength()
{
    QFETCH(int, have);
    DloadFixture f;
    f.clickMedium(false);
    const QByteArray whole = f.stored(Memory, "M0000002.DAT");
    f.writeLocal("M0000002.DAT", whole.left(have));
    f.bench.clearWire();
    f.download("M0000002.DAT");
    QCOMPARE(f.bench.messages.texts(), QStringList{});
    QCOMPARE(f.local("M0000002.DAT"), whole);
    QList<QByteArray> wire = f.bench.wire();
    if (have > 0)
        QCOMPARE(wire.takeFirst(), pick(Memory, "M0000002.DAT", std::max(have - 63, 1), have));
    QCOMPARE(wire.value(0), pick(Memory, "M0000002.DAT", have + 1, std::min(have + 1000, 5000)));
    QCOMPARE(wire.size(), (5000 - have + 999) / 1000);
}

void TestDownload::resumeOfADifferentFile_data()
{
    QTest::addColumn<bool>("yes");
    QTest::addColumn<int>("fault"); // the check fetch fails
    QTest::newRow("download again") << true << 0;
    QTest::newRow("keep the local file") << false << 0;
    QTest::newRow("check fetch fails") << true << 1;
}

// Catches: a resume that joins the start of one file to the rest of another (the local copy
// is of an earlier file of the same name), or that touches the local file when told No.
void TestDownload::resumeOfADifferentFile()
{
    QFETCH(bool, yes);
    QFETCH(int, fault);
    SimConfig config;
    QString error;
    if (fault)
        QVERIFY(
            config.parse({QStringLiteral("--fault"), QStringLiteral("drop,:MEM:PICK?,1")}, &error));
    DloadFixture f(config);
    f.clickMedium(false);
    const QByteArray whole = f.stored(Memory, "M0000002.DAT");
    QByteArray other = whole.left(2500);
    other[2499] = char(other[2499] ^ 0x55);
    f.writeLocal("M0000002.DAT", other);
    f.bench.messages.answer(yes);
    f.download("M0000002.DAT");
    const QString differs = "The local file M0000002.DAT differs from the file on the "
                            "instrument. Download the whole file again?";
    if (fault) {
        QCOMPARE(f.bench.messages.texts(), QStringList{"Communication error"});
        QCOMPARE(f.local("M0000002.DAT"), other);
        return;
    }
    QCOMPARE(f.bench.messages.texts(), QStringList{differs});
    QCOMPARE(f.local("M0000002.DAT"), yes ? whole : other);
}

void TestDownload::existingFile_data()
{
    const QString doNot = "The same name file exists with larger size than spcified file\r\n"
                          "Do not download";
    const QString overwrite = "The same name file exists\r\nOverwrite?";
    QTest::addColumn<bool>("resume");
    QTest::addColumn<int>("localSize");
    QTest::addColumn<bool>("yes");
    QTest::addColumn<QString>("message");
    QTest::newRow("resume, same size") << true << 5000 << true << doNot;
    QTest::newRow("overwrite? yes, shorter") << false << 300 << true << overwrite;
    QTest::newRow("overwrite? no") << false << 7000 << false << overwrite;
}

// Catches: an existing file touched without consent, an overwrite that keeps a longer old
// tail or appends, a resume past the end.
void TestDownload::existingFile()
{
    QFETCH(bool, resume);
    QFETCH(int, localSize);
    QFETCH(bool, yes);
    QFETCH(QString, message);
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
    const bool downloads = !resume && yes;
    QCOMPARE(f.local("M0000002.DAT"), downloads ? f.stored(Memory, "M0000002.DAT") : junk);
    QCOMPARE(f.bench.wire().size(), downloads ? 5 : 0);
    for (QWidget* c : f.fileControls())
        QVERIFY2(c->isEnabled(), qPrintable(c->objectName()));
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
    const QByteArray whole = f.stored(Memory, "M0000002.DAT");
    QCOMPARE(f.local("M0000002.DAT"), whole.left(2000));
    QCOMPARE(f.ctl<QLabel>("Label3")->text(), QStringLiteral("2000/5000"));
    QVERIFY(f.ctl<QWidget>("CommandDExec")->isEnabled());

    if (fault.startsWith("hangup")) { // the line is dead: connect again
        QTest::mouseClick(f.bench.startChild<QPushButton>("CommandConnect"), Qt::LeftButton);
        QVERIFY(f.bench.connectDirect());
        f.reopen();
        f.clickMedium(false);
    }
    if (fault.startsWith("delay")) // the late block must not be taken for the next one
        QVERIFY(TestUtil::waitFor([&] { return f.bench.link().BlockLen() > 0; }, 2000));
    f.bench.messages.clear();
    f.download("M0000002.DAT");
    QCOMPARE(f.bench.messages.texts(), QStringList{});
    QCOMPARE(f.local("M0000002.DAT"), whole);
}

void TestDownload::interrupted_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("window closed") << "close";
    QTest::newRow("port lost") << "lost";
    QTest::newRow("program closed") << "quit";
}

// During the fifth fetch: the loop ends after it without writing its block, the file keeps
// the four before, the window goes without a message of its own, and a new window resumes to
// a byte-identical copy. Under the sanitizer build this also proves that the suspended
// handler never touches the freed window. A lost port waits out the block time-out.
void TestDownload::interrupted()
{
    QFETCH(QString, how);
    DloadFixture f;
    f.bench.port->setPieceSize(100); // the reply takes several receive events
    onPick(f.bench.link(), 5, [&] {
        if (how == "close")
            f.w->close();
        else if (how == "lost")
            emit f.bench.port->lost(QStringLiteral("unplugged"));
        else
            f.bench.start->close();
    });
    f.download("WAVE0001.DAT");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(f.w.isNull());
    const QByteArray whole = f.stored(Card, "WAVE0001.DAT");
    QCOMPARE(f.local("WAVE0001.DAT"), whole.left(4000));
    QVERIFY(!f.bench.messages.texts().contains("Communication error"));
    QCOMPARE(f.bench.link().Busy(), qint16(0));
    if (how != "close")
        return;
    f.reopen();
    f.bench.clearWire();
    f.download("WAVE0001.DAT");
    QCOMPARE(f.bench.wire().mid(0, 2), QList<QByteArray>({pick(Card, "WAVE0001.DAT", 3937, 4000),
                                                          pick(Card, "WAVE0001.DAT", 4001, 5000)}));
    QCOMPARE(f.local("WAVE0001.DAT"), whole);
}

void TestDownload::refusedBeforeAnyFetch_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("size");
    QTest::addColumn<QString>("why");
    const QByteArray ok = "10";
    QTest::newRow("parent") << QByteArray("../EVIL.DAT") << ok << "the name contains \"/\"";
    QTest::newRow("absolute") << QByteArray("/tmp/EVIL.DAT") << ok << "the name contains \"/\"";
    QTest::newRow("backslash") << QByteArray("..\\EVIL.DAT") << ok << "the name contains \"\\\"";
    QTest::newRow("drive") << QByteArray("C:EVIL.DAT") << ok << "the name contains \":\"";
    QTest::newRow("dot dot") << QByteArray("..") << ok << "\"..\" names a directory";
    QTest::newRow("empty") << QByteArray("") << ok << "the name is empty";
    QTest::newRow("control") << QByteArray("EV\x1bIL.DAT") << ok << "control character 0x1b";
    for (const char* size : {"52a45", "", "-5", " 12", "4294967296"})
        QTest::addRow("size \"%s\"", size)
            << QByteArray("MEAS0001.DAT") << QByteArray(size) << "is not a number of bytes";
}

// Catches: a name from the instrument leading the write outside the chosen directory, and a
// size read as its leading digits (or as 0) that writes a short or empty file.
void TestDownload::refusedBeforeAnyFetch()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, size);
    QFETCH(QString, why);
    DloadFixture f;
    QDir(f.dir.path()).mkdir("inner");
    f.chooseDir(f.dir.filePath("inner"));
    f.bench.instrument.addCommand(":CARD:FILE?", [=](SimInstrument&, const QByteArray& kind) {
        return SimReply::line(kind == "MEAS" ? name + ',' + size : QByteArray("NO FILES"));
    });
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
    QVERIFY(QDir(f.dir.filePath("inner")).isEmpty());
    QVERIFY(!QFile::exists("/tmp/EVIL.DAT"));
    QVERIFY(f.ctl<QWidget>("CommandDExec")->isEnabled());
}

// A write that fails is reported with the system's reason, never as success, and keeps
// every byte written before: the directory gone before the start, the disk full (/dev/full,
// length 0 so a resume starts at byte 1), a file-size limit met in the third block.
void TestDownload::writeFailures()
{
    DloadFixture f;
    f.clickMedium(false);
    const auto failure = [&](const char* reason) {
        const QStringList texts = f.bench.messages.texts();
        f.bench.messages.clear();
        return texts.size() == 1 && texts[0].contains(reason);
    };
    QDir(f.dir.path()).mkdir("gone");
    f.chooseDir(f.dir.filePath("gone"));
    QVERIFY(QDir(f.dir.filePath("gone")).removeRecursively());
    QTest::qWait(200); // let the directory view notice
    f.bench.clearWire();
    f.download("M0000002.DAT");
    QVERIFY(failure("No such file or directory"));
    QVERIFY(f.bench.wire().isEmpty());

    f.bench.instrument.state().storage.memory.append({"MEAS", "full", 3000});
    f.click("CommandGetFname");
    f.chooseDir(QStringLiteral("/dev"));
    f.download("full");
    QVERIFY(failure("No space left on device"));
    QCOMPARE(f.ctl<QLabel>("Label3")->text(), QString());

    f.chooseDir(f.dir.path());
    rlimit old{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit limited = old;
    limited.rlim_cur = 2500;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
    f.download("M0000002.DAT");
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    QVERIFY(failure("File too large"));
    const QByteArray whole = f.stored(Memory, "M0000002.DAT");
    QCOMPARE(f.local("M0000002.DAT"), whole.left(2500));
    f.download("M0000002.DAT");
    QVERIFY(f.bench.messages.texts().isEmpty());
    QCOMPARE(f.local("M0000002.DAT"), whole);
}

void TestDownload::unloadedWhileAsking_data()
{
    QTest::addColumn<bool>("deleting");
    QTest::newRow("Overwrite?") << false;
    QTest::newRow("Execute?") << true;
}

// The user disconnects while the question is open (the box runs its own event loop), then
// answers Yes. Catches: a handler that goes on once its window is unloaded: deletes the
// local file, downloads, deletes on the card, or shows anything more.
void TestDownload::unloadedWhileAsking()
{
    QFETCH(bool, deleting);
    DloadFixture f;
    f.clickMedium(deleting);
    f.writeLocal("M0000002.DAT", "older");
    f.ctl<QCheckBox>("CheckResume")->setChecked(false);
    bool disconnected = false;
    f.bench.messages.onShow([&](const ScriptedMessages::Shown&) {
        if (!std::exchange(disconnected, true))
            f.bench.start->CommandConnect_Click();
    });
    int sent = 0; // the port is closed by then: count what the link was asked to send
    QObject::connect(&f.bench.link(), &Link::written, [&] { ++sent; });
    if (deleting) {
        f.list()->setCurrentRow(0);
        f.click("CommandDelete");
    } else {
        f.download("M0000002.DAT");
    }
    QCOMPARE(f.bench.messages.texts(),
             QStringList{deleting ? "Execute?" : "The same name file exists\r\nOverwrite?"});
    QCOMPARE(sent, 0);
    QCOMPARE(f.local("M0000002.DAT"), QByteArray("older"));
    QVERIFY(f.bench.instrument.state().storage.find(Card, "MEAS0001.DAT"));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(f.w.isNull());
}

QTEST_MAIN(TestDownload)
#include "test_download.moc"
