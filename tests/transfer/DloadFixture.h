#pragma once

#include "FrmDload.h"
#include "SimBench.h"

#include <QByteArray>
#include <QPointer>
#include <QTemporaryDir>

class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;

// The download window open on a connected bench, saving into a fresh temporary directory.
struct DloadFixture
{
    explicit DloadFixture(SimConfig config = {});

    SimBench bench;
    QTemporaryDir dir;
    QPointer<FrmDload> w;

    template <class T> T* ctl(const char* name) { return bench.child<T>(w.data(), name); }
    QListWidget* list();
    QStringList entries();

    // Chooses a directory in Dir1, as a click in the tree does.
    void chooseDir(const QString& path);
    void clickMedium(bool card);
    void click(const char* button);
    // Selects the list entry of this file; false when it is not listed.
    bool select(const QByteArray& name);
    // Selects the file, clicks "Download" and returns when the handler has returned.
    void download(const QByteArray& name);

    QString localPath(const QByteArray& name) const;
    QByteArray local(const QByteArray& name) const;
    void writeLocal(const QByteArray& name, const QByteArray& bytes) const;
    // The stored file's bytes, all of them or the first `count`.
    QByteArray stored(SimStorage::Medium m, const QByteArray& name, qint64 count = -1);
    // Block requests the program wrote since the last clearWire().
    QList<QByteArray> picks() const;
};
