#include "DloadFixture.h"

#include <QFile>
#include <QFileSystemModel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeView>

DloadFixture::DloadFixture(SimConfig config) : bench(std::move(config))
{
    if (!bench.connectDirect())
        qWarning("the bench did not connect");
    reopen();
}

void DloadFixture::reopen()
{
    w = bench.openDload();
    if (w)
        chooseDir(dir.path());
}

QStringList DloadFixture::entries()
{
    QStringList out;
    for (int i = 0; i < list()->count(); ++i)
        out << list()->item(i)->text();
    return out;
}

QList<QWidget*> DloadFixture::fileControls()
{
    QList<QWidget*> out;
    for (const char* name : {"List1", "Drive1", "Dir1", "Option1", "Option2", "CommandGetFname",
                             "CommandDExec", "CommandDelete", "CheckResume"})
        out << ctl<QWidget>(name);
    return out;
}

void DloadFixture::chooseDir(const QString& path)
{
    auto* tree = ctl<QTreeView>("Dir1");
    tree->setCurrentIndex(qobject_cast<QFileSystemModel*>(tree->model())->index(path));
}

void DloadFixture::clickMedium(bool card)
{
    QTest::mouseClick(ctl<QRadioButton>(card ? "Option1" : "Option2"), Qt::LeftButton);
}

void DloadFixture::click(const char* button)
{
    QTest::mouseClick(ctl<QPushButton>(button), Qt::LeftButton);
}

void DloadFixture::download(const QByteArray& name)
{
    const auto items = list()->findItems(QString::fromLatin1(name) + '\t', Qt::MatchStartsWith);
    if (items.size() == 1)
        list()->setCurrentItem(items.first());
    else
        qWarning("%s is not listed", name.constData());
    click("CommandDExec");
}

QByteArray DloadFixture::local(const QByteArray& name) const
{
    QFile f(dir.filePath(QString::fromLatin1(name)));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void DloadFixture::writeLocal(const QByteArray& name, const QByteArray& bytes) const
{
    QFile f(dir.filePath(QString::fromLatin1(name)));
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qWarning("cannot write %s", name.constData());
}

QByteArray DloadFixture::stored(SimStorage::Medium m, const QByteArray& name)
{
    const SimStorage::File* f = bench.instrument.state().storage.find(m, name);
    return f ? SimStorage::content(m, name, 1, f->size) : QByteArray("<not stored>");
}
