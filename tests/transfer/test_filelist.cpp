// The file lists of both media, delete and format, through the download window.

#include "DloadFixture.h"
#include "FileList.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>

namespace {

using Kind = MessageService::Kind;
using Replies = QList<QByteArray>;

QList<QByteArray> queries(const QByteArray& medium)
{
    QList<QByteArray> out{":HEAD OFF"};
    for (const char* kind : {"MEAS", "INST", "BMP", "WAVE"})
        out << ":" + medium + ":FILE? " + kind;
    return out;
}

// What the list must show: the stored files, MEAS first, then INST, BMP, WAVE.
QStringList expectedEntries(const QList<SimStorage::File>& files)
{
    QStringList out;
    for (const char* kind : {"MEAS", "INST", "BMP", "WAVE"})
        for (const SimStorage::File& f : files)
            if (f.kind == kind)
                out << QString::fromLatin1(f.name) + '\t' + QString::number(f.size);
    return out;
}

} // namespace

class TestFileList : public QObject
{
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void windowAtStart();
    void listsBothMedia();
    void missingCardAndNoFiles();
    void mediumSwitchedDuringAListing();
    void tableBound();
    void deleteAndFormat_data();
    void deleteAndFormat();
    void needsASelection();
};

void TestFileList::parse_data()
{
    QTest::addColumn<Replies>("replies");
    QTest::addColumn<QString>("entries"); // joined by "|"
    QTest::addColumn<int>("status");
    const QByteArray no = "NO FILES\r\n";
    const int listed = int(FileList::Status::Listed);
    const int noFile = int(FileList::Status::NoFile);
    QTest::newRow("kinds in order")
        << Replies{"A,1\r\n", "B,2,C,3\r\n", no, "D,4\r\n"} << "A\t1|B\t2|C\t3|D\t4" << listed;
    QTest::newRow("no files") << Replies{no, no, no, "NO FILES FOUND\r\n"} << "" << noFile;
    QTest::newRow("execute error voids all")
        << Replies{"A,1\r\n", "EXECUTE ERROR\r\n", no, no} << "" << int(FileList::Status::NoCard);
    QTest::newRow("3 bytes or less") << Replies{"", "\r\n", "X\r\n", "A,1"} << "" << noFile;
    QTest::newRow("cut in a name")
        << Replies{"F1.DAT,1234,F2.", "", "", ""} << "F1.DAT\t1234" << listed;
    QTest::newRow("LF without CR") << Replies{"F1.DAT,12\n", no, "B,2\r\n", no} << "B\t2" << listed;
    QTest::newRow("garbled size kept")
        << Replies{"F1.DAT,12#4\r\n", no, no, no} << "F1.DAT\t12#4" << listed;
}

// Catches: entries made up from damaged replies, lost order, "NO FILES" or "EXECUTE ERROR"
// taken for file names, earlier entries surviving "EXECUTE ERROR".
void TestFileList::parse()
{
    QFETCH(Replies, replies);
    QFETCH(QString, entries);
    QFETCH(int, status);
    const FileList list = FileList::parse(replies);
    QStringList got;
    for (int i = 0; i < list.count(); ++i)
        got << list.entry(i);
    QCOMPARE(got.join('|'), entries);
    QCOMPARE(int(list.status()), status);
}

// Catches: the download window starting on the wrong medium, without resume, or with the
// drive list not moving the folder tree.
void TestFileList::windowAtStart()
{
    DloadFixture f;
    QVERIFY(f.ctl<QRadioButton>("Option1")->isChecked());
    QVERIFY(f.ctl<QCheckBox>("CheckResume")->isChecked());
    QCOMPARE(f.ctl<QLabel>("Label1")->buddy(), f.list());
    QCOMPARE(f.ctl<QLabel>("Label2")->buddy(), f.ctl<QWidget>("Drive1"));
    QVERIFY(!f.ctl<QWidget>("Dir1")->accessibleName().isEmpty());

    // Drive1 offers the root and the home; choosing one moves Dir1 there.
    auto* drive = f.ctl<QComboBox>("Drive1");
    QVERIFY(drive->findText("/") >= 0);
    drive->setCurrentIndex(drive->findText("/"));
    drive->setCurrentIndex(drive->findText(QDir::homePath()));
    QCOMPARE(f.w->dirPath(), QDir::homePath());
}

// Catches: a list query of the wrong medium, kind or time-out, files listed out of order.
void TestFileList::listsBothMedia()
{
    const SimStorage initial;
    DloadFixture f;
    f.bench.clearWire();
    f.click("CommandGetFname");
    QCOMPARE(f.bench.wire(), queries("CARD"));
    QCOMPARE(f.entries(), expectedEntries(initial.card));
    QCOMPARE(f.bench.timeouts, QList<int>(5, 1000));

    f.bench.clearWire();
    f.clickMedium(false);
    QCOMPARE(TestUtil::caption(f.ctl<QPushButton>("CommandDelete")), QStringLiteral("Format"));
    QCOMPARE(f.bench.wire(), queries("MEM"));
    QCOMPARE(f.entries(), expectedEntries(initial.memory));
    f.clickMedium(true);
    QCOMPARE(TestUtil::caption(f.ctl<QPushButton>("CommandDelete")), QStringLiteral("Delete"));
    QVERIFY(f.bench.messages.shown().isEmpty());
}

// Catches: the memory's files listed under PC CARD after a switch during the listing.
void TestFileList::mediumSwitchedDuringAListing()
{
    // MEMORY is clicked, and PC CARD again while the memory's queries wait: the memory's
    // files must not end up listed under PC CARD, where Delete would remove a card file.
    DloadFixture f({.replyDelayMs = 150});
    TestUtil::later(200, [&] { f.clickMedium(true); });
    f.clickMedium(false);
    QVERIFY(f.ctl<QRadioButton>("Option1")->isChecked());
    QCOMPARE(f.entries().filter("M0000"), QStringList{}); // no memory file
}

// Catches: a missing card or an empty medium not reported, or blocking the other medium.
void TestFileList::missingCardAndNoFiles()
{
    DloadFixture f({.noCard = true});
    QCOMPARE(f.bench.messages.texts(), QStringList{"No PC card"});
    QCOMPARE(f.bench.messages.shown()[0].kind, Kind::Warning);
    QCOMPARE(f.list()->count(), 0);
    f.clickMedium(false); // the memory is there all the same
    QCOMPARE(f.list()->count(), 7);

    // Empty media give "No file", on the card too.
    f.bench.messages.clear();
    f.bench.instrument.state().storage = {{}, {}};
    f.bench.instrument.config().noCard = false;
    f.click("CommandGetFname");
    f.clickMedium(true);
    QCOMPARE(f.bench.messages.texts(), (QStringList{"No file", "No file"}));
    QCOMPARE(f.list()->count(), 0);
}

// Catches: a table written past its 501 entries, or later files pushing out earlier ones.
void TestFileList::tableBound()
{
    DloadFixture f;
    QList<SimStorage::File>& card = f.bench.instrument.state().storage.card;
    card.clear();
    for (int i = 0; i < 600; ++i)
        card.append({i < 300 ? "MEAS" : "WAVE", "F" + QByteArray::number(i) + ".DAT", i});
    f.click("CommandGetFname");
    QCOMPARE(f.entries().first(), QStringLiteral("F0.DAT\t0"));
    QCOMPARE(f.entries().last(), QStringLiteral("F500.DAT\t500"));
    QVERIFY(f.bench.messages.shown().isEmpty());
}

void TestFileList::deleteAndFormat_data()
{
    QTest::addColumn<bool>("card");
    QTest::addColumn<bool>("yes");
    QTest::addColumn<bool>("vanished"); // the file went before the command came
    QTest::addColumn<bool>("cut");      // the reply is cut off by the time-out
    QTest::newRow("delete, yes") << true << true << false << false;
    QTest::newRow("delete, no") << true << false << false << false;
    QTest::newRow("delete refused") << true << true << true << false;
    QTest::newRow("format, yes") << false << true << false << false;
    QTest::newRow("format, no") << false << false << false << false;
    // "ALL R" is part of "ALL RIGHT": no success.
    QTest::newRow("format, reply cut") << false << true << false << true;
}

// Catches: a delete or format without "Execute?", of the wrong file, claimed when refused
// or cut off, or not followed by a new listing.
void TestFileList::deleteAndFormat()
{
    QFETCH(bool, card);
    QFETCH(bool, yes);
    QFETCH(bool, vanished);
    QFETCH(bool, cut);
    DloadFixture f({}, cut ? "truncate,:MEM:FORM,1" : "");
    if (!card)
        f.clickMedium(false);
    f.list()->setCurrentRow(2); // MEAS0003.DAT on the card; ignored by "Format"
    if (vanished)
        f.bench.instrument.state().storage.card.removeAt(2);
    QStringList expected = f.entries();
    f.bench.clearWire();
    f.bench.messages.answer(yes);
    if (cut) // the 60 s wait for the rest of the reply ends as a time-out does
        f.bench.onLine("", 1, [&] { TestUtil::later(800, [&] { f.bench.link().cancelWait(); }); });

    f.click("CommandDelete");

    QCOMPARE(f.bench.messages.shown().value(0).text, QStringLiteral("Execute?"));
    QCOMPARE(f.bench.messages.shown().value(0).kind, Kind::Question);
    QCOMPARE(f.controls(false), QStringList{});
    if (!yes) {
        QVERIFY(f.bench.wire().isEmpty());
        return;
    }
    QCOMPARE(f.bench.wire(), QList<QByteArray>{card ? ":CARD:DEL MEAS0003.DAT" : ":MEM:FORM"} +
                                 queries(card ? "CARD" : "MEM"));
    QCOMPARE(f.bench.timeouts.value(0), 60000);
    if (card)
        expected.removeAt(2);
    else
        expected.clear();
    QCOMPARE(f.entries(), expected);
    QStringList messages = {"Execute?"};
    if (vanished || cut)
        messages << "Error";
    if (!card)
        messages << "No file";
    QCOMPARE(f.bench.messages.texts(), messages);
}

// Catches: Delete or Download acting without a selected file.
void TestFileList::needsASelection()
{
    DloadFixture f;
    f.bench.clearWire();
    for (const char* button : {"CommandDelete", "CommandDExec"}) {
        f.click(button);
        QCOMPARE(f.bench.messages.texts(), QStringList{"File is not selected"});
        QCOMPARE(f.bench.messages.shown()[0].kind, Kind::Warning);
        QCOMPARE(f.controls(false), QStringList{});
        f.bench.messages.clear();
    }
    QVERIFY(f.bench.wire().isEmpty());
    QVERIFY(f.dir.isValid() && QDir(f.dir.path()).isEmpty());
}

QTEST_MAIN(TestFileList)
#include "test_filelist.moc"
