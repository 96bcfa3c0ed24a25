#pragma once

#include "FrmDload.h"
#include "Link.h"
#include "SimBench.h"

#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTreeView>

// The download window open on a connected bench, saving into a fresh temporary directory.
struct DloadFixture
{
    // fault: the simulator's --fault, if any.
    explicit DloadFixture(SimConfig config = {}, const QString& fault = {})
        : bench(SimBench::withFault(fault, std::move(config)))
    {
        if (!bench.connectDirect())
            qWarning("the bench did not connect");
        reopen();
    }

    SimBench bench;
    QTemporaryDir dir;
    QPointer<FrmDload> w;

    template <class T> T* ctl(const char* name) { return bench.child<T>(w.data(), name); }
    QListWidget* list() { return ctl<QListWidget>("List1"); }
    QStringList entries()
    {
        QStringList out;
        for (int i = 0; i < list()->count(); ++i)
            out << list()->item(i)->text();
        return out;
    }
    // The names of the controls DisableFileControls and EnableFileControls switch that are
    // (or are not) enabled.
    QStringList controls(bool enabled)
    {
        QStringList out;
        for (const char* name : {"List1", "Drive1", "Dir1", "Option1", "Option2", "CommandGetFname",
                                 "CommandDExec", "CommandDelete", "CheckResume"})
            if (ctl<QWidget>(name)->isEnabled() == enabled)
                out << name;
        return out;
    }
    // Runs the event loop until no job is left and the window waits for no answer: its
    // controls are enabled again, or it is gone. (A block may wait out its 5 s time-out.)
    bool settle()
    {
        return TestUtil::waitFor(
            [this] {
                return bench.session->idle() &&
                       (!bench.start->dloadWindow() || ctl<QWidget>("CommandDExec")->isEnabled());
            },
            20000);
    }

    // Opens the window (again) and chooses the temporary directory.
    void reopen()
    {
        w = bench.openDload();
        if (w)
            chooseDir(dir.path());
    }
    // Chooses a directory in Dir1, as a click in the tree does.
    void chooseDir(const QString& path)
    {
        auto* tree = ctl<QTreeView>("Dir1");
        tree->setCurrentIndex(qobject_cast<QFileSystemModel*>(tree->model())->index(path));
    }
    void clickMedium(bool card)
    {
        QTest::mouseClick(ctl<QRadioButton>(card ? "Option1" : "Option2"), Qt::LeftButton);
        settle();
    }
    void click(const char* button)
    {
        QTest::mouseClick(ctl<QPushButton>(button), Qt::LeftButton);
        settle();
    }
    // Selects the file's entry, clicks "Download" and settles.
    void download(const QByteArray& name)
    {
        const auto items = list()->findItems(QString::fromLatin1(name) + '\t', Qt::MatchStartsWith);
        if (items.size() == 1)
            list()->setCurrentItem(items.first());
        else
            qWarning("%s is not listed", name.constData());
        click("CommandDExec");
    }

    QByteArray local(const QByteArray& name) const
    {
        return TestUtil::fileBytes(dir.filePath(QString::fromLatin1(name)), "<missing>");
    }
    void writeLocal(const QByteArray& name, const QByteArray& bytes) const
    {
        if (!TestUtil::writeFile(dir.filePath(QString::fromLatin1(name)), bytes))
            qWarning("cannot write %s", name.constData());
    }
    // The stored file's bytes.
    QByteArray stored(SimStorage::Medium m, const QByteArray& name)
    {
        const SimStorage::File* f = bench.instrument.state().storage.find(m, name);
        return f ? SimStorage::content(m, name, 1, f->size) : QByteArray("<not stored>");
    }
};
