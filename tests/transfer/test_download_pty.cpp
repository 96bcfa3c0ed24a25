// Downloads end to end: the real kestrel-sim on a pseudo-terminal, reached through
// QSerialPort, so the terminal's raw mode and the port's lack of flow control are on trial
// (a terminal that translated CR or swallowed XON/XOFF would corrupt the copy).

#include "FrmDload.h"
#include "FrmStart.h"
#include "Link.h"
#include "PortResolver.h"
#include "QtCommPort.h"
#include "ScriptedMessages.h"
#include "SimProcess.h"
#include "SimStorage.h"
#include "TestUtil.h"

#include <QFile>
#include <QFileSystemModel>
#include <QListWidget>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

namespace {

struct Program
{
    ScriptedMessages messages;
    FrmStart start{std::make_unique<QtCommPort>()};
    QTemporaryDir dir;
    QPointer<FrmDload> w;

    bool open()
    {
        QTest::mouseClick(start.findChild<QPushButton*>("CommandConnect"), Qt::LeftButton);
        if (start.link().ConnectStat() != -1)
            return false;
        QTest::mouseClick(start.findChild<QPushButton*>("CommandDloadDisp"), Qt::LeftButton);
        w = start.dloadWindow();
        if (!w)
            return false;
        auto* tree = w->findChild<QTreeView*>("Dir1");
        tree->setCurrentIndex(qobject_cast<QFileSystemModel*>(tree->model())->index(dir.path()));
        return true;
    }
    void download(const QByteArray& name)
    {
        auto* list = w->findChild<QListWidget*>("List1");
        const auto items = list->findItems(QString::fromLatin1(name) + '\t', Qt::MatchStartsWith);
        if (items.size() == 1)
            list->setCurrentItem(items.first());
        QTest::mouseClick(w->findChild<QPushButton*>("CommandDExec"), Qt::LeftButton);
    }
    QByteArray local(const QByteArray& name) const
    {
        QFile f(dir.filePath(QString::fromLatin1(name)));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
};

QByteArray stored(SimStorage::Medium m, const QByteArray& name)
{
    const SimStorage storage;
    return SimStorage::content(m, name, 1, storage.find(m, name)->size);
}

} // namespace

class TestDownloadPty : public QObject
{
    Q_OBJECT
private slots:
    void interruptedAndResumed();
};

// The user's way through: close the window in the middle of a paced download, open it
// again and continue to a byte-identical copy.
void TestDownloadPty::interruptedAndResumed()
{
    SimProcess sim({QStringLiteral("--baud"), QStringLiteral("38400")});
    sim.useAsConfigHome();
    Program p;
    QVERIFY(p.open());
    int blocks = 0;
    QObject::connect(&p.start.link(), &Link::written, [&](const QByteArray& line) {
        if (line.contains(":PICK? ") && ++blocks == 4)
            TestUtil::later(50, [&] { p.w->close(); });
    });
    p.download("MEAS0001.DAT");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(p.w.isNull());
    const QByteArray whole = stored(SimStorage::Card, "MEAS0001.DAT");
    QCOMPARE(p.local("MEAS0001.DAT"), whole.left(3000));

    QTest::mouseClick(p.start.findChild<QPushButton*>("CommandDloadDisp"), Qt::LeftButton);
    p.w = p.start.dloadWindow();
    QVERIFY(p.w);
    auto* tree = p.w->findChild<QTreeView*>("Dir1");
    tree->setCurrentIndex(qobject_cast<QFileSystemModel*>(tree->model())->index(p.dir.path()));
    p.download("MEAS0001.DAT");
    QCOMPARE(p.messages.texts(), QStringList{});
    QCOMPARE(p.local("MEAS0001.DAT"), whole);
}

QTEST_MAIN(TestDownloadPty)
#include "test_download_pty.moc"
