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
    w = bench.openDload();
    if (w)
        chooseDir(dir.path());
}

QListWidget* DloadFixture::list()
{
    return ctl<QListWidget>("List1");
}

QStringList DloadFixture::entries()
{
    QStringList out;
    for (int i = 0; i < list()->count(); ++i)
        out << list()->item(i)->text();
    return out;
}

void DloadFixture::chooseDir(const QString& path)
{
    auto* tree = ctl<QTreeView>("Dir1");
    auto* model = qobject_cast<QFileSystemModel*>(tree->model());
    tree->setCurrentIndex(model->index(path));
}

void DloadFixture::clickMedium(bool card)
{
    QTest::mouseClick(ctl<QRadioButton>(card ? "Option1" : "Option2"), Qt::LeftButton);
}

void DloadFixture::click(const char* button)
{
    QTest::mouseClick(ctl<QPushButton>(button), Qt::LeftButton);
}

bool DloadFixture::select(const QByteArray& name)
{
    const QString prefix = QString::fromLatin1(name) + QLatin1Char('\t');
    for (int i = 0; i < list()->count(); ++i) {
        if (list()->item(i)->text().startsWith(prefix)) {
            list()->setCurrentRow(i);
            return true;
        }
    }
    return false;
}

void DloadFixture::download(const QByteArray& name)
{
    if (!select(name))
        qWarning("%s is not listed", name.constData());
    click("CommandDExec");
}

QString DloadFixture::localPath(const QByteArray& name) const
{
    return dir.filePath(QString::fromLatin1(name));
}

QByteArray DloadFixture::local(const QByteArray& name) const
{
    QFile f(localPath(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void DloadFixture::writeLocal(const QByteArray& name, const QByteArray& bytes) const
{
    QFile f(localPath(name));
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qWarning("cannot write %s", qPrintable(localPath(name)));
}

QByteArray DloadFixture::stored(SimStorage::Medium m, const QByteArray& name, qint64 count)
{
    const SimStorage::File* f = bench.instrument.state().storage.find(m, name);
    if (!f)
        return QByteArray("<not stored>");
    return SimStorage::content(m, name, 1, count < 0 ? f->size : std::min(count, f->size));
}

QList<QByteArray> DloadFixture::picks() const
{
    QList<QByteArray> out;
    for (const QByteArray& l : bench.wire())
        if (l.contains(":PICK? "))
            out << l;
    return out;
}
