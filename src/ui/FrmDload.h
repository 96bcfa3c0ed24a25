#pragma once

#include "FileList.h"
#include "FormLifetime.h"
#include "Medium.h"
#include "TransferMeter.h"

#include <QWidget>

class FileDownload;
class Link;
class QCheckBox;
class QComboBox;
class QFileSystemModel;
class QGroupBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTreeView;

// The download window: the stored files of the PC card or the internal memory, deleting a
// card file, formatting the memory, and downloading a file (resuming a partial copy) into a
// directory of this computer.
class FrmDload : public QWidget
{
    Q_OBJECT
public:
    explicit FrmDload(Link& link, QWidget* parent = nullptr);

    // The opening steps, then the window is shown (unless it was unloaded meanwhile).
    void open();
    void unload() { m_lifetime.unload(); }
    FormLifetime& lifetime() { return m_lifetime; }

    // medium: -1 PC card, 0 internal memory.
    void ListFiles(Medium medium);
    void DisableFileControls();
    void EnableFileControls();

    // The directory files are saved into: the entry chosen in Dir1.
    QString dirPath() const { return m_dirPath; }
    qint16 Closing() const { return m_closing; }

    void Option1_Click();
    void Option2_Click();
    void Drive1_Change();
    void CommandGetFname_Click();
    void CommandDelete_Click();
    void CommandDExec_Click();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // A continued download must extend the same file: checks the local copy's end against
    // the instrument and, when they differ, asks whether to download the whole file again.
    // False when the download must not go on (controls already restored if still open).
    bool resumeMatches(FileDownload& download, const QString& target, const QByteArray& name,
                       qint32* start);
    void buildUi();
    void fillDrives();
    void setDirPath(const QString& path);
    void showDirPath(const QString& path);
    void setFileControlsEnabled(bool enable);
    void showProgress(qint32 end, qint32 size, const QByteArray& sizeText);
    Medium selectedMedium() const;
    int selectedRow() const;

    Link& m_link;
    FormLifetime m_lifetime;
    FileList m_files;
    qint16 m_closing = 0;
    QString m_dirPath;
    TransferMeter m_meter;

    QLabel* Label1 = nullptr;
    QListWidget* List1 = nullptr;
    QGroupBox* Frame1 = nullptr;
    QRadioButton* Option1 = nullptr;
    QRadioButton* Option2 = nullptr;
    QLabel* Label2 = nullptr;
    QComboBox* Drive1 = nullptr;
    QTreeView* Dir1 = nullptr;
    QFileSystemModel* m_dirModel = nullptr;
    QLabel* LabelDir = nullptr;
    QCheckBox* CheckResume = nullptr;
    QPushButton* CommandGetFname = nullptr;
    QPushButton* CommandDelete = nullptr;
    QPushButton* CommandDExec = nullptr;
    QLabel* Label3 = nullptr;
    QProgressBar* ProgressDload = nullptr;
    QLabel* LabelRate = nullptr;
};
