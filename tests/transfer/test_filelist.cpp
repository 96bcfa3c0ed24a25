// The file lists of both media, delete and format, through the download window.

#include "DloadFixture.h"
#include "FileList.h"
#include "Link.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTreeView>

namespace {

using Kind = MessageService::Kind;

const QList<QByteArray> kCardQueries = {":HEAD OFF", ":CARD:FILE? MEAS", ":CARD:FILE? INST",
                                        ":CARD:FILE? BMP", ":CARD:FILE? WAVE"};
const QList<QByteArray> kMemQueries = {":HEAD OFF", ":MEM:FILE? MEAS", ":MEM:FILE? INST",
                                       ":MEM:FILE? BMP", ":MEM:FILE? WAVE"};
const char* const kFileControls[] = {"List1",        "Drive1",        "Dir1",
                                     "Option1",      "Option2",       "CommandGetFname",
                                     "CommandDExec", "CommandDelete", "CheckResume"};

// What the list must show for a medium: the stored files, MEAS first, then INST, BMP, WAVE.
QStringList expectedEntries(const QList<SimStorage::File>& files)
{
    QStringList out;
    for (const char* kind : {"MEAS", "INST", "BMP", "WAVE"})
        for (const SimStorage::File& f : files)
            if (f.kind == kind)
                out << QString::fromLatin1(f.name) + '\t' + QString::number(f.size);
    return out;
}

// Records the order in which widgets change their enabled state.
class EnableOrder : public QObject
{
public:
    QStringList order;
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (e->type() == QEvent::EnabledChange)
            order << o->objectName();
        return false;
    }
};

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
    void damagedAndLostReplies_data();
    void damagedAndLostReplies();
    void tableBound();
    void getFileNameDisablesInOrder();
    void deleteAndFormat_data();
    void deleteAndFormat();
    void deleteNeedsASelection();
    void closedWhileDeleting();
};

void TestFileList::parse_data()
{
    QTest::addColumn<QList<QByteArray>>("replies");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("damaged");

    const QByteArray none = "NO FILES\r\n";
    const int listed = int(FileList::Status::Listed);
    const int noFile = int(FileList::Status::NoFile);
    const int noCard = int(FileList::Status::NoCard);
    QTest::newRow("two files") << QList<QByteArray>{"F1.DAT,1234,F2.DAT,99\r\n", none, none, none}
                               << QStringList{"F1.DAT\t1234", "F2.DAT\t99"} << listed << false;
    QTest::newRow("kinds in order")
        << QList<QByteArray>{"A,1\r\n", "B,2,C,3\r\n", none, "D,4\r\n"}
        << QStringList{"A\t1", "B\t2", "C\t3", "D\t4"} << listed << false;
    QTest::newRow("no files anywhere") << QList<QByteArray>{none, none, none, "NO FILES FOUND\r\n"}
                                       << QStringList{} << noFile << false;
    QTest::newRow("execute error voids earlier entries")
        << QList<QByteArray>{"A,1\r\n", "EXECUTE ERROR\r\n", none, none} << QStringList{} << noCard
        << false;
    QTest::newRow("three bytes or less")
        << QList<QByteArray>{"", "\r\n", "X\r\n", "A,1"} << QStringList{} << noFile << false;
    QTest::newRow("cut in a size") << QList<QByteArray>{"F1.DAT,1234,F2.DAT,9", none, none, none}
                                   << QStringList{"F1.DAT\t1234"} << listed << true;
    QTest::newRow("cut in a name") << QList<QByteArray>{"F1.DAT,1234,F2.", "", "", ""}
                                   << QStringList{"F1.DAT\t1234"} << listed << true;
    QTest::newRow("LF without CR") << QList<QByteArray>{"F1.DAT,12\n", none, "B,2\r\n", none}
                                   << QStringList{"B\t2"} << listed << true;
    QTest::newRow("refusals and busy")
        << QList<QByteArray>{"COMMAND ERROR\r\n", "PARAMETER ERROR\r\n", "BUSY", none}
        << QStringList{} << noFile << true;
    QTest::newRow("garbled size kept as sent")
        << QList<QByteArray>{"F1.DAT,12#4\r\n", none, none, none} << QStringList{"F1.DAT\t12#4"}
        << listed << false;
}

// Catches: entries made up from damaged replies, lost order, "NO FILES" or "EXECUTE ERROR"
// taken for file names, earlier entries surviving "EXECUTE ERROR".
void TestFileList::parse()
{
    QFETCH(QList<QByteArray>, replies);
    QFETCH(QStringList, entries);
    QFETCH(int, status);
    QFETCH(bool, damaged);
    const FileList list = FileList::parse(replies);
    QStringList got;
    for (int i = 0; i < list.count(); ++i)
        got << list.entry(i);
    QCOMPARE(got, entries);
    QCOMPARE(int(list.status()), status);
    QCOMPARE(list.damaged(), damaged);
}

void TestFileList::windowAtStart()
{
    DloadFixture f;
    QVERIFY(f.w);
    QCOMPARE(f.w->windowTitle(), QStringLiteral("DOWNLOAD"));
    const QList<QPair<const char*, QString>> captions = {
        {"Label1", "File list"},
        {"Frame1", "Media"},
        {"Option1", "PC CARD"},
        {"Option2", "MEMORY"},
        {"Label2", "Directory to save"},
        {"CheckResume", "Download the additinal part only"},
        {"CommandGetFname", "Get file name"},
        {"CommandDelete", "Delete"},
        {"CommandDExec", "Download"},
        {"Label3", ""}};
    for (const auto& [name, text] : captions)
        QCOMPARE(TestUtil::caption(f.ctl<QWidget>(name)), text);
    QVERIFY(f.ctl<QRadioButton>("Option1")->isChecked());
    QVERIFY(f.ctl<QCheckBox>("CheckResume")->isChecked());
    QCOMPARE(f.ctl<QLabel>("Label1")->buddy(), f.ctl<QWidget>("List1"));
    QCOMPARE(f.ctl<QLabel>("Label2")->buddy(), f.ctl<QWidget>("Drive1"));
    QVERIFY(!f.ctl<QWidget>("Dir1")->accessibleName().isEmpty());
    for (const char* name : kFileControls)
        QVERIFY2(f.ctl<QWidget>(name)->isEnabled(), name);

    // Drive1 lists the file-system root and the home; choosing one moves Dir1 there.
    auto* drive = f.ctl<QComboBox>("Drive1");
    const int home = drive->findText(QDir::homePath());
    QVERIFY(drive->findText("/") >= 0);
    QVERIFY(home >= 0);
    drive->setCurrentIndex(drive->findText("/"));
    drive->setCurrentIndex(home);
    QCOMPARE(f.w->dirPath(), QDir::homePath());
    f.chooseDir(f.dir.path());
    QCOMPARE(f.w->dirPath(), f.dir.path());
}

void TestFileList::listsBothMedia()
{
    SimBench probe; // the instrument's initial files, for comparison
    DloadFixture f;
    QSignalSpy written(&f.bench.link(), &Link::written);
    // The opening listing went out before the spy; ask again to see it whole.
    f.bench.clearWire();
    f.click("CommandGetFname");
    QCOMPARE(f.bench.wire(), kCardQueries);
    QCOMPARE(f.entries(), expectedEntries(probe.instrument.state().storage.card));
    for (const QList<QVariant>& call : written)
        QCOMPARE(call[1].toInt(), 1000);

    f.bench.clearWire();
    f.clickMedium(false);
    QCOMPARE(TestUtil::caption(f.ctl<QPushButton>("CommandDelete")), QStringLiteral("Format"));
    QCOMPARE(f.bench.wire(), kMemQueries);
    QCOMPARE(f.entries(), expectedEntries(probe.instrument.state().storage.memory));

    f.bench.clearWire();
    f.clickMedium(true);
    QCOMPARE(TestUtil::caption(f.ctl<QPushButton>("CommandDelete")), QStringLiteral("Delete"));
    QCOMPARE(f.bench.wire(), kCardQueries);
    QVERIFY(f.bench.messages.shown().isEmpty());
}

void TestFileList::missingCardAndNoFiles()
{
    SimConfig noCard;
    noCard.noCard = true;
    DloadFixture f(noCard);
    QVERIFY(f.w);
    QCOMPARE(f.bench.messages.texts(), QStringList{"No PC card"});
    QCOMPARE(f.bench.messages.shown()[0].kind, Kind::Warning);
    QCOMPARE(f.list()->count(), 0);
    // The memory is there all the same.
    f.clickMedium(false);
    QCOMPARE(f.list()->count(), 7);

    // Empty media: "No file", on the card too (not "No PC card").
    f.bench.messages.clear();
    f.bench.instrument.state().storage.memory.clear();
    f.bench.instrument.state().storage.card.clear();
    f.bench.instrument.config().noCard = false;
    f.click("CommandGetFname");
    f.clickMedium(true);
    QCOMPARE(f.bench.messages.texts(), (QStringList{"No file", "No file"}));
    QCOMPARE(f.list()->count(), 0);
}

void TestFileList::damagedAndLostReplies_data()
{
    QTest::addColumn<QString>("fault");
    // The opening listing sends replies 1 to 4 of ":CARD:FILE?"; "Get file name" 5 to 8.
    QTest::newRow("MEAS list cut in half") << "truncate,:CARD:FILE?,5";
    QTest::newRow("WAVE list cut in half") << "truncate,:CARD:FILE?,8";
    QTest::newRow("INST list lost") << "drop,:CARD:FILE?,6";
}

// A damaged or lost reply may cost entries, but every entry shown is a stored file with its
// true size: nothing is made up from a piece of a reply. The other kinds are still listed.
void TestFileList::damagedAndLostReplies()
{
    QFETCH(QString, fault);
    SimConfig config;
    SimFault f1;
    QString error;
    QVERIFY(SimFault::parse(fault, &f1, &error));
    config.faults.push_back(f1);
    DloadFixture f(config);
    const QStringList all = expectedEntries(f.bench.instrument.state().storage.card);
    f.click("CommandGetFname"); // the second listing meets the fault
    const QStringList shown = f.entries();
    QVERIFY(shown.size() < all.size());
    QVERIFY(shown.size() >= all.size() - 4);
    for (const QString& e : shown)
        QVERIFY2(all.contains(e), qPrintable(e));
}

// Catches: a table written past its 501 entries, or later files pushing out earlier ones.
void TestFileList::tableBound()
{
    DloadFixture f;
    QList<SimStorage::File>& card = f.bench.instrument.state().storage.card;
    card.clear();
    for (int i = 0; i < 600; ++i)
        card.append(
            {i < 300 ? "MEAS" : "WAVE", QByteArray("F") + QByteArray::number(i) + ".DAT", i});
    f.click("CommandGetFname");
    QCOMPARE(f.list()->count(), FileList::MaxEntries);
    QCOMPARE(f.entries().first(), QStringLiteral("F0.DAT\t0"));
    QCOMPARE(f.entries().last(), QStringLiteral("F500.DAT\t500"));
    QVERIFY(f.bench.messages.shown().isEmpty());
}

void TestFileList::getFileNameDisablesInOrder()
{
    DloadFixture f;
    EnableOrder order;
    for (const char* name : kFileControls)
        f.ctl<QWidget>(name)->installEventFilter(&order);
    QStringList disabledWhileWaiting;
    QObject::connect(&f.bench.link(), &Link::written, [&] {
        for (const char* name : kFileControls)
            if (!f.ctl<QWidget>(name)->isEnabled())
                disabledWhileWaiting << name;
    });
    f.click("CommandGetFname");
    QStringList once;
    for (const char* name : kFileControls)
        once << name;
    QCOMPARE(order.order, once + once);
    QCOMPARE(disabledWhileWaiting.size(), 5 * 9);
    for (const char* name : kFileControls)
        QVERIFY2(f.ctl<QWidget>(name)->isEnabled(), name);
}

void TestFileList::deleteAndFormat_data()
{
    QTest::addColumn<bool>("card");
    QTest::addColumn<bool>("yes");
    QTest::addColumn<bool>("vanished"); // the file was gone before the command came
    QTest::newRow("delete, yes") << true << true << false;
    QTest::newRow("delete, no") << true << false << false;
    QTest::newRow("delete refused") << true << true << true;
    QTest::newRow("format, yes") << false << true << false;
    QTest::newRow("format, no") << false << false << false;
}

void TestFileList::deleteAndFormat()
{
    QFETCH(bool, card);
    QFETCH(bool, yes);
    QFETCH(bool, vanished);
    DloadFixture f;
    if (!card)
        f.clickMedium(false);
    QVERIFY(f.select(card ? "MEAS0003.DAT" : "M0000002.DAT"));
    if (vanished)
        f.bench.instrument.state().storage.card.removeAt(2);
    const QStringList before = f.entries();
    f.bench.clearWire();
    f.bench.messages.answer(yes);
    QSignalSpy written(&f.bench.link(), &Link::written);

    f.click("CommandDelete");

    const QByteArray command = card ? ":CARD:DEL MEAS0003.DAT" : ":MEM:FORM";
    QCOMPARE(f.bench.messages.shown().value(0).text, QStringLiteral("Execute?"));
    QCOMPARE(f.bench.messages.shown().value(0).kind, Kind::Question);
    for (const char* name : kFileControls)
        QVERIFY2(f.ctl<QWidget>(name)->isEnabled(), name);
    if (!yes) {
        QVERIFY(f.bench.wire().isEmpty());
        QCOMPARE(f.entries(), before);
        return;
    }
    QCOMPARE(f.bench.wire(), QList<QByteArray>{command} + (card ? kCardQueries : kMemQueries));
    QCOMPARE(written.value(0).value(1).toInt(), 60000);
    QStringList expected = before;
    if (card)
        expected.removeAll(QStringLiteral("MEAS0003.DAT\t1001"));
    else
        expected.clear();
    QCOMPARE(f.entries(), expected);
    QStringList messages = {"Execute?"};
    if (vanished)
        messages << "Error";
    if (!card)
        messages << "No file";
    QCOMPARE(f.bench.messages.texts(), messages);
}

void TestFileList::deleteNeedsASelection()
{
    DloadFixture f;
    f.bench.clearWire();
    f.click("CommandDelete");
    QCOMPARE(f.bench.messages.texts(), QStringList{"File is not selected"});
    QCOMPARE(f.bench.messages.shown()[0].kind, Kind::Warning);
    QVERIFY(f.bench.wire().isEmpty());
    QVERIFY(f.ctl<QWidget>("CommandDelete")->isEnabled());
}

// Under the sanitizer build: the handler resumes after its wait without touching the freed
// window.
void TestFileList::closedWhileDeleting()
{
    DloadFixture f;
    QVERIFY(f.select("MEAS0001.DAT"));
    TestUtil::later(100, [&] { f.w->close(); });
    f.click("CommandDelete");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(f.w.isNull());
    QCOMPARE(f.bench.messages.texts(), QStringList{"Execute?"});
    QCOMPARE(f.bench.wire().last(), QByteArray(":CARD:DEL MEAS0001.DAT"));
    QCOMPARE(f.bench.link().Busy(), qint16(0));
}

QTEST_MAIN(TestFileList)
#include "test_filelist.moc"
