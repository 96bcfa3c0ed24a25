#pragma once

#include "FrmDload.h"
#include "SimBench.h"

#include <QDir>
#include <QPointer>
#include <QTemporaryDir>

class QListWidget;

// The download window open on a connected bench, saving into a fresh temporary directory.
struct DloadFixture
{
    explicit DloadFixture(SimConfig config = {});

    SimBench bench;
    QTemporaryDir dir;
    QPointer<FrmDload> w;

    template <class T> T* ctl(const char* name) { return bench.child<T>(w.data(), name); }
    QListWidget* list() { return ctl<QListWidget>("List1"); }
    QStringList entries();
    // The controls DisableFileControls and EnableFileControls switch, in their order.
    QList<QWidget*> fileControls();

    // Opens the window (again) and chooses the temporary directory.
    void reopen();
    // Chooses a directory in Dir1, as a click in the tree does.
    void chooseDir(const QString& path);
    void clickMedium(bool card);
    void click(const char* button);
    // Selects the file's entry, clicks "Download" and returns when the handler has.
    void download(const QByteArray& name);

    QByteArray local(const QByteArray& name) const;
    void writeLocal(const QByteArray& name, const QByteArray& bytes) const;
    // The stored file's bytes.
    QByteArray stored(SimStorage::Medium m, const QByteArray& name);
};
