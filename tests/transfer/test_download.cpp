// Downloads through the download window: byte-exact copies, resume, overwrite, injected
// faults, the window closed or the link lost on the way, and names, sizes and writes that
// must not be trusted.

#include "DloadFixture.h"

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>

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

// The block requests for bytes from..size.
QList<QByteArray> blocks(SimStorage::Medium m, const QByteArray& name, qint64 from, qint64 size)
{
    QList<QByteArray> out;
    for (; from <= size; from += 1000)
        out << pick(m, name, from, std::min(from + 999, size));
    return out;
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

} // namespace

class TestDownload : public QObject
{
    Q_OBJECT
private slots:
    void byteExact_data();
    void byteExact();
    void localCopy_data();
    void localCopy();
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
    QTest::addColumn<QByteArray>("name"); // M0...: in the memory
    for (const char* name : {"MEAS0002.DAT", "SCRN0002.BMP", "INST0001.DAT", "SCRN0001.BMP",
                             "MEAS0003.DAT", "MEAS0001.DAT", "M0000003.DAT", "M0000007.DAT"})
        QTest::newRow(name) << QByteArray(name);
}

// Sizes 0, 1, 999, 1000, 1001, 52345 and several MB from both media. Catches: bytes lost,
// added or changed at block edges, a wrong medium or range, the leading reply byte taken for
// data, an empty file not created, controls usable or progress wrong while blocks come.
void TestDownload::byteExact()
{
    QFETCH(QByteArray, name);
    DloadFixture f;
    const auto m = name.startsWith("M0") ? Memory : Card;
    if (m == Memory)
        f.clickMedium(false);
    const qint64 size = f.bench.instrument.state().storage.find(m, name)->size;
    QStringList duringThird;
    onPick(f.bench.link(), 3,
           [&] { duringThird << f.ctl<QLabel>("Label3")->text() << f.controls(true); });
    f.clearWire();

    f.download(name);

    QCOMPARE(f.bench.messages.texts(), QStringList{});
    QCOMPARE(f.local(name), f.stored(m, name));
    QCOMPARE(f.bench.wire(), blocks(m, name, 1, size));
    QCOMPARE(f.timeouts, QList<int>(f.bench.wire().size(), 5000));
    if (size > 2000)
        QCOMPARE(duringThird, QStringList{"2000/" + QString::number(size)});
    QCOMPARE(f.ctl<QLabel>("Label3")->text(),
             size ? QString::number(size) + '/' + QString::number(size) : QString());
    auto* bar = f.ctl<QProgressBar>("ProgressDload");
    QCOMPARE(bar->value(), bar->maximum());
    QCOMPARE(f.controls(false), QStringList{});
}

void TestDownload::localCopy_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("resume");
    QTest::addColumn<QByteArray>("local"); // M0000002.DAT (5000 bytes) before the download
    QTest::addColumn<bool>("yes");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QList<QByteArray>>("wire");
    const QByteArray whole = SimStorage::content(Memory, "M0000002.DAT", 1, 5000);
    const auto rest = [](int from) { return blocks(Memory, "M0000002.DAT", from, 5000); };
    // The fetch that compares the local copy's last bytes with the stored ones.
    const auto check = [](int have) {
        return QList<QByteArray>{pick(Memory, "M0000002.DAT", std::max(have - 63, 1), have)};
    };
    for (int have : {0, 1, 1000, 2500})
        QTest::addRow("resume from %d", have)
            << QString() << true << whole.left(have) << true << QString() << whole
            << (have ? check(have) : QList<QByteArray>{}) + rest(have + 1);
    // A local copy of an earlier file of the same name.
    QByteArray other = whole.left(2500);
    other[2499] = char(other[2499] ^ 0x55);
    const QString differs = "The local file M0000002.DAT differs from the file on the "
                            "instrument. Download the whole file again?";
    QTest::newRow("different, download again")
        << QString() << true << other << true << differs << whole << check(2500) + rest(1);
    QTest::newRow("different, keep it")
        << QString() << true << other << false << differs << other << check(2500);
    QTest::newRow("the check fetch fails") << "drop,:MEM:PICK?,1" << true << other << true
                                           << "Communication error" << other << check(2500);
    const QString overwrite = "The same name file exists\r\nOverwrite?";
    const QByteArray junk(5000, 'j');
    QTest::newRow("resume, same size")
        << QString() << true << junk << true
        << "The same name file exists with larger size than spcified file\r\nDo not download"
        << junk << QList<QByteArray>{};
    QTest::newRow("overwrite? yes, shorter")
        << QString() << false << junk.left(300) << true << overwrite << whole << rest(1);
    QTest::newRow("overwrite? no") << QString() << false << QByteArray(7000, 'j') << false
                                   << overwrite << QByteArray(7000, 'j') << QList<QByteArray>{};
}

// Catches: a resume that starts at the wrong byte, rewrites what is there, truncates, goes
// past the end, or joins the start of one file to the rest of another (a check of the local
// copy's end that reads the wrong bytes, or none); an existing file touched without consent
// or when told No; an overwrite that keeps a longer old tail or appends.
void TestDownload::localCopy()
{
    QFETCH(QString, fault);
    QFETCH(bool, resume);
    QFETCH(QByteArray, local);
    QFETCH(bool, yes);
    QFETCH(QString, message);
    QFETCH(QByteArray, after);
    QFETCH(QList<QByteArray>, wire);
    DloadFixture f({}, fault);
    f.clickMedium(false);
    f.writeLocal("M0000002.DAT", local);
    f.ctl<QCheckBox>("CheckResume")->setChecked(resume);
    f.bench.messages.answer(yes);
    f.clearWire();
    f.download("M0000002.DAT");
    QCOMPARE(f.bench.messages.texts(), message.isEmpty() ? QStringList{} : QStringList{message});
    if (!message.isEmpty()) // questions end in "?", refusals in "Do not download"
        QCOMPARE(f.bench.messages.shown()[0].kind, message.endsWith('?')          ? Kind::Question
                                                   : message.endsWith("download") ? Kind::Critical
                                                                                  : Kind::Warning);
    QCOMPARE(f.local("M0000002.DAT"), after);
    QCOMPARE(f.bench.wire(), wire);
    QCOMPARE(f.controls(false), QStringList{});
}

void TestDownload::faultEndsAndResumes_data()
{
    QTest::addColumn<QString>("fault");
    QTest::newRow("dropped") << "drop,:MEM:PICK?,3";
    QTest::newRow("late") << "delay,:MEM:PICK?,3,5600";
    QTest::newRow("hung up") << "hangup,:MEM:PICK?,3";
}

// A failed third block: "Communication error", the first two blocks kept, and a second run
// completes the file. Each case waits out one 5 s block time-out. Every kind of fault against
// a block's outcome and the file's prefix is in test_fault_matrix; here, the window's part.
void TestDownload::faultEndsAndResumes()
{
    QFETCH(QString, fault);
    DloadFixture f({}, fault);
    f.clickMedium(false);
    f.download("M0000002.DAT");
    QCOMPARE(f.bench.messages.texts(), QStringList{"Communication error"});
    QCOMPARE(f.bench.messages.shown()[0].kind, Kind::Warning);
    const QByteArray whole = f.stored(Memory, "M0000002.DAT");
    QCOMPARE(f.local("M0000002.DAT"), whole.left(2000));
    QCOMPARE(f.ctl<QLabel>("Label3")->text(), QStringLiteral("2000/5000"));
    QCOMPARE(f.controls(false), QStringList{});

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
// a byte-identical copy (where its resume starts: localCopy). Under the sanitizer build this also
// proves that the suspended handler never touches the freed window. A lost port waits out the block
// time-out.
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
    f.download("WAVE0001.DAT");
    QCOMPARE(f.local("WAVE0001.DAT"), whole);
}

void TestDownload::refusedBeforeAnyFetch_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("size");
    QTest::addColumn<QString>("why");
    const QByteArray ok = "10";
    QTest::newRow("parent") << QByteArray("../EVIL.DAT") << ok << "the name contains \"/\"";
    QTest::newRow("backslash") << QByteArray("..\\EVIL.DAT") << ok << "the name contains \"\\\"";
    QTest::newRow("drive") << QByteArray("C:EVIL.DAT") << ok << "the name contains \":\"";
    QTest::newRow("dot dot") << QByteArray("..") << ok << "\"..\" names a directory";
    QTest::newRow("empty") << QByteArray("") << ok << "the name is empty";
    QTest::newRow("control") << QByteArray("EV\x1bIL.DAT") << ok << "control character 0x1b";
    for (const char* size : {"52a45", "", "-5", "4294967296"})
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
    f.clearWire();
    f.download(name);
    QCOMPARE(f.bench.messages.shown().size(), 1);
    QCOMPARE(f.bench.messages.shown()[0].kind, Kind::Critical);
    QVERIFY2(f.bench.messages.texts()[0].contains(why), qPrintable(f.bench.messages.texts()[0]));
    QVERIFY(f.bench.wire().isEmpty());
    QCOMPARE(QDir(f.dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{"inner"});
    QVERIFY(QDir(f.dir.filePath("inner")).isEmpty());
    QCOMPARE(f.controls(false), QStringList{});
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
    f.clearWire(); // the port is closed by then: f.timeouts counts what the link was asked to send
    if (deleting) {
        f.list()->setCurrentRow(0);
        f.click("CommandDelete");
    } else {
        f.download("M0000002.DAT");
    }
    QCOMPARE(f.bench.messages.texts(),
             QStringList{deleting ? "Execute?" : "The same name file exists\r\nOverwrite?"});
    QCOMPARE(f.timeouts, QList<int>{});
    QCOMPARE(f.local("M0000002.DAT"), QByteArray("older"));
    QVERIFY(f.bench.instrument.state().storage.find(Card, "MEAS0001.DAT"));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(f.w.isNull());
}

QTEST_MAIN(TestDownload)
#include "test_download.moc"
