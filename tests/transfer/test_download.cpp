// Downloads: byte-exact copies through the download window, the decision about the local
// copy and what the window asks, injected faults, the window gone during a job or while a
// box is open, and names, sizes and writes that must not be trusted.

#include "DloadFixture.h"
#include "FileDownload.h"

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>

#include <csignal>
#include <map>
#include <sys/resource.h>

namespace {

using Kind = MessageService::Kind;
using Status = DownloadOutcome::Status;
using Wire = QList<QByteArray>;
const auto Card = SimStorage::Card;
const auto Memory = SimStorage::Memory;
const QByteArray M2 = "M0000002.DAT"; // 5000 bytes in the memory

QByteArray pick(SimStorage::Medium m, const QByteArray& name, qint64 start, qint64 end)
{
    return (m == Card ? ":CARD:PICK? " : ":MEM:PICK? ") + name + ", " + QByteArray::number(start) +
           ", " + QByteArray::number(end);
}

// The block requests for bytes from..size.
Wire blocks(SimStorage::Medium m, const QByteArray& name, qint64 from, qint64 size)
{
    Wire out;
    for (; from <= size; from += 1000)
        out << pick(m, name, from, std::min(from + 999, size));
    return out;
}
Wire rest(int from)
{
    return blocks(Memory, M2, from, 5000);
}
// The fetch that compares the local copy's last bytes with the stored ones.
Wire check(int have)
{
    return {pick(Memory, M2, std::max(have - 63, 1), have)};
}
// The first n bytes of a stored file with the last one changed: a copy of another file.
QByteArray differing(SimStorage::Medium m, const QByteArray& name, int n)
{
    QByteArray out = SimStorage::content(m, name, 1, n);
    out[n - 1] = char(out[n - 1] ^ 0x55);
    return out;
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
    void saveRoots_data();
    void saveRoots();
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
    f.bench.onLine(":PICK? ", 3,
                   [&] { duringThird << f.ctl<QLabel>("Label3")->text() << f.controls(true); });
    f.bench.clearWire();

    f.download(name);

    QCOMPARE(f.bench.messages.texts(), QStringList{});
    QCOMPARE(f.local(name), f.stored(m, name));
    QCOMPARE(f.bench.wire(), blocks(m, name, 1, size));
    QCOMPARE(f.bench.timeouts, QList<int>(f.bench.wire().size(), 5000));
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
    QTest::addColumn<QByteArray>("local"); // M0000002.DAT before the download
    QTest::addColumn<Status>("status");    // the local file is then whole, or as it was
    QTest::addColumn<Wire>("wire");
    QTest::addColumn<bool>("yes"); // the window's answer to its question
    const auto row = [](const char* name, bool resume, const QByteArray& local, Status status,
                        const Wire& wire, bool yes = true, const QString& fault = {}) {
        QTest::newRow(name) << fault << resume << local << status << wire << yes;
    };
    for (int have : {0, 1, 1000, 2500, 4999})
        QTest::addRow("resume from %d", have)
            << QString() << true << SimStorage::content(Memory, M2, 1, have) << Status::Complete
            << (have ? check(have) : Wire{}) + rest(have + 1) << true;
    row("no local copy", false, "<missing>", Status::Complete, rest(1));
    const QByteArray other = differing(Memory, M2, 2500), junk(7000, 'j');
    row("a different file, download again", true, other, Status::AskRestart, check(2500));
    row("a different file, keep it", true, other, Status::AskRestart, check(2500), false);
    row("the check fetch fails", true, other, Status::CheckFailed, check(2500), true,
        "drop,:MEM:PICK?,1");
    row("as long", true, junk.left(5000), Status::LocalNotShorter, {});
    row("longer", true, junk, Status::LocalNotShorter, {});
    row("exists, longer, overwrite it", false, junk, Status::AskOverwrite, {});
    row("exists, keep it", false, junk, Status::AskOverwrite, {}, false);
}

// The decision about the local copy, as the window shows it and acts on the answer (the
// job alone is what pqlink-cli runs; test_cli_e2e covers that). Catches: a
// resume that starts at the wrong byte, rewrites what is there, truncates, goes past the end,
// or joins the start of one file to the rest of another (a check of the local copy's end
// that reads the wrong bytes, or none); an existing file touched before the user agreed or
// when told No; a replacement that keeps a longer old tail or appends; a wrong text or kind
// of box; controls left disabled.
void TestDownload::localCopy()
{
    QFETCH(QString, fault);
    QFETCH(bool, resume);
    QFETCH(QByteArray, local);
    QFETCH(Status, status);
    QFETCH(Wire, wire);
    QFETCH(bool, yes);
    const std::map<Status, QString> boxes = {
        {Status::AskRestart, "The local file M0000002.DAT differs from the file on the "
                             "instrument. Download the whole file again?"},
        {Status::AskOverwrite, "The same name file exists\r\nOverwrite?"},
        {Status::CheckFailed, "Communication error"},
        {Status::LocalNotShorter,
         "The same name file exists with larger size than spcified file\r\nDo not download"}};
    const bool asks = status == Status::AskRestart || status == Status::AskOverwrite;
    const QByteArray whole = SimStorage::content(Memory, M2, 1, 5000);
    DloadFixture f({}, fault);
    f.clickMedium(false);
    if (local != "<missing>")
        f.writeLocal(M2, local);
    f.ctl<QCheckBox>("CheckResume")->setChecked(resume);
    f.bench.messages.answer(yes);
    f.bench.clearWire();
    f.download(M2);
    const QString box = boxes.count(status) ? boxes.at(status) : QString();
    QCOMPARE(f.bench.messages.texts(), box.isEmpty() ? QStringList{} : QStringList{box});
    if (!box.isEmpty()) // questions end in "?", refusals in "Do not download"
        QCOMPARE(f.bench.messages.shown()[0].kind, box.endsWith('?')          ? Kind::Question
                                                   : box.endsWith("download") ? Kind::Critical
                                                                              : Kind::Warning);
    QCOMPARE(f.local(M2), status == Status::Complete || (asks && yes) ? whole : local);
    QCOMPARE(f.bench.wire(), wire + (asks && yes ? rest(1) : Wire{}));
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
// completes the file, its progress starting from them. Each case waits out one 5 s block time-out.
// Every kind of fault against a block's outcome and the file's prefix is in test_fault_matrix;
// here, the window's part.
void TestDownload::faultEndsAndResumes()
{
    QFETCH(QString, fault);
    DloadFixture f({}, fault);
    f.clickMedium(false);
    f.download(M2);
    QCOMPARE(f.bench.messages.texts(), QStringList{"Communication error"});
    QCOMPARE(f.bench.messages.shown()[0].kind, Kind::Warning);
    const QByteArray whole = f.stored(Memory, M2);
    QCOMPARE(f.local(M2), whole.left(2000));
    QCOMPARE(f.ctl<QLabel>("Label3")->text(), QStringLiteral("2000/5000"));
    QCOMPARE(f.controls(false), QStringList{});

    if (fault.startsWith("hangup")) { // the line is dead: connect again
        f.bench.start->onConnectClicked();
        QVERIFY(f.bench.connectDirect());
        f.reopen();
        f.clickMedium(false);
    }
    if (fault.startsWith("delay")) // the late block must not be taken for the next one
        QVERIFY(TestUtil::waitFor([&] { return f.bench.port->idle(); }));
    f.bench.messages.clear();
    int bar = -1; // where the resumed run starts the bar: at the bytes already there
    f.bench.onLine(", 2001,", 1, [&] { bar = f.ctl<QProgressBar>("ProgressDload")->value(); });
    f.download(M2);
    QCOMPARE(f.bench.messages.texts(), QStringList{});
    QCOMPARE(f.local(M2), whole);
    QCOMPARE(bar, 2000);
}

void TestDownload::interrupted_data()
{
    QTest::addColumn<QString>("at"); // a job of the window, or a box (how its text ends)
    QTest::addColumn<int>("n");      // a job: the window goes after the job's n-th line
    QTest::addColumn<QString>("how");
    const std::pair<const char*, int> ats[] = {
        {"opening listing", 2}, {"listing", 2}, {"delete", 1},     {"format", 1},
        {"resume check", 1},    {"block", 5},   {"Overwrite?", 0}, {"again?", 0},
        {"Execute?", 0},        {"Error", 0}};
    for (const auto& [at, n] : ats)
        for (const char* how : {"close", "disconnect", "lost", "quit"})
            QTest::addRow("%s, %s", at, how)
                << QString::fromLatin1(at) << n << QString::fromLatin1(how);
}

// The window closed, a disconnect, the port lost or the program closed while a job of the
// window waits for a reply, or while a box is open (then answered Yes). Catches: a job or an
// answer that goes on (writing, on a dead line each command waiting out its time-out; the
// local file replaced; a delete on the card) or shows anything but the loss itself, a block
// written after the window went, a prefix lost, the link left busy; under the sanitizer
// build, a freed window or job touched. After a close, a new window resumes to a
// byte-identical copy (where: localCopy).
void TestDownload::interrupted()
{
    QFETCH(QString, at);
    QFETCH(int, n);
    QFETCH(QString, how);
    DloadFixture f;
    f.bench.port->setPieceSize(100); // a reply takes several receive events
    QList<SimStorage::File>& card = f.bench.instrument.state().storage.card;
    const QByteArray wave = f.stored(Card, "WAVE0001.DAT"), m2 = f.stored(Memory, M2);
    const QByteArray meas = differing(Card, "MEAS0001.DAT", 11); // for "again?"
    f.writeLocal("MEAS0001.DAT", meas);
    f.writeLocal(M2, m2.left(2500));
    f.ctl<QCheckBox>("CheckResume")->setChecked(at != "Overwrite?");
    f.list()->setCurrentRow(0); // MEAS0001.DAT
    if (at == "Error")          // the file went before the delete came: refused
        card.removeAt(0);
    if (at == "format" || at == "resume check")
        f.clickMedium(false);
    if (at == "opening listing")
        f.w->close();
    QPointer<FrmDload> window;
    qsizetype written = -1, shown = -1, stored = -1;
    const auto go = [&] {
        window = f.bench.start->dloadWindow();
        shown = f.bench.messages.shown().size();
        stored = card.size();
        if (how == "close")
            window->close();
        else if (how == "disconnect")
            f.bench.start->onConnectClicked();
        else if (how == "quit")
            f.bench.start->close();
        else { // handled before a box open now can be answered
            emit f.bench.port->lost(QStringLiteral("unplugged"));
            QCoreApplication::sendPostedEvents();
        }
        written = f.bench.timeouts.size(); // a lost port's reply may have come first
    };
    if (n > 0)
        f.bench.onLine("", n, go);
    else
        f.bench.messages.onShow([&](const ScriptedMessages::Shown& s) {
            if (shown < 0 && s.text.endsWith(at))
                go();
        });
    if (at == "opening listing")
        f.reopen();
    else if (at == "listing")
        f.click("CommandGetFname");
    else if (at == "delete" || at == "format" || at == "Execute?" || at == "Error")
        f.click("CommandDelete");
    else
        f.download(at == "block" ? "WAVE0001.DAT" : at == "resume check" ? M2 : "MEAS0001.DAT");
    QVERIFY(TestUtil::waitFor([&] { return shown >= 0 && window.isNull(); }));
    QVERIFY(f.bench.settle());
    QVERIFY(TestUtil::waitFor([&] { return !f.bench.link().held(); }));
    QCOMPARE(f.bench.timeouts.size(), written); // even to a closed port
    const QString lost = "The connection on COM1 (sim:COM1) was lost: unplugged.";
    QCOMPARE(f.bench.messages.texts().mid(shown),
             how == "lost" ? QStringList{lost} : QStringList{});
    QCOMPARE(f.local("MEAS0001.DAT"), meas);
    QCOMPARE(f.local(M2), m2.left(2500));
    QCOMPARE(f.local("WAVE0001.DAT"), at == "block" ? wave.left(4000) : "<missing>");
    QCOMPARE(card.size(), stored);
    if (at != "block" || how != "close")
        return;
    f.reopen();
    f.download("WAVE0001.DAT");
    QCOMPARE(f.local("WAVE0001.DAT"), wave);
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
    f.bench.clearWire();
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

void TestDownload::saveRoots_data()
{
    QTest::addColumn<QString>("mount");
    QTest::addColumn<bool>("offered");
    for (const char* m : {"/proc", "/sys/fs/cgroup", "/dev", "/dev/shm", "/run", "/run/user/1000"})
        QTest::newRow(m) << m << false;
    for (const char* m : {"/media/usb", "/runner", "/devices", "/home/x"})
        QTest::newRow(m) << m << true;
}

// Catches: the kernel's and the system's own mounts offered as a drive to save into, or a
// volume dropped because its name merely starts like one; the wrong drive shown first.
void TestDownload::saveRoots()
{
    QFETCH(QString, mount);
    QFETCH(bool, offered);
    const QStringList roots = SaveRoots({mount}, "/home/x");
    QCOMPARE(roots.contains(mount), offered);
    QVERIFY(roots.contains("/") && roots.contains("/home/x"));
    QCOMPARE(roots.value(CurrentRoot(roots, mount + "/data")), offered ? mount : "/");
    QCOMPARE(roots.value(CurrentRoot(roots, "/home/xy")), QStringLiteral("/"));
}

QTEST_MAIN(TestDownload)
#include "test_download.moc"
