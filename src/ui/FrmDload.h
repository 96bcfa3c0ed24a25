#pragma once

#include "FileDownload.h"
#include "FileList.h"
#include "Medium.h"
#include "TransferMeter.h"

#include <QWidget>

class InstrumentSession;

// The places the window offers to save into: "/", every mounted volume but the kernel's and
// the system's own, and the home folder; sorted.
QStringList SaveRoots(const QStringList& mounts, const QString& home);
// The drive shown first: the longest of the roots that here lies under.
int CurrentRoot(const QStringList& roots, const QString& here);

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
    explicit FrmDload(InstrumentSession& session, QWidget* parent = nullptr);
    ~FrmDload() override;

    // The opening job (the PC card's files), then the window is shown.
    void open();
    // Cancels the window's jobs, hides it and destroys it from the event loop.
    void unload();
    bool unloaded() const { return m_unloaded; }

    // Lists the files of medium; then runs after the list is shown.
    void ListFiles(Medium medium, std::function<void()> then = {});
    void DisableFileControls();
    void EnableFileControls();

    // The directory files are saved into: the entry chosen in m_dirTree.
    QString dirPath() const { return m_dirPath; }
    void onCardClicked();
    void onMemoryClicked();
    void onDriveChanged();
    void onListClicked();
    void onDeleteClicked();
    void onDownloadClicked();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Submits the download; a question it ends with is asked here and the download submitted
    // again with the answer.
    void download(DownloadRequest request);
    void downloadFinished(const DownloadRequest& request, const DownloadOutcome& out);
    void fail(MessageKind kind, const QString& text);
    void buildUi();
    void fillDrives();
    void setDirPath(const QString& path);
    void showDirPath(const QString& path);
    void setFileControlsEnabled(bool enable);
    void showProgress(qint32 start, qint32 end, qint32 size, const QByteArray& sizeText);
    Medium selectedMedium() const;
    int selectedRow() const;

    InstrumentSession& m_session;
    FileList m_files;
    bool m_unloaded = false;
    QString m_dirPath;
    TransferMeter m_meter;

    QLabel* m_fileListLabel = nullptr;
    QListWidget* m_fileList = nullptr;
    QGroupBox* m_mediaFrame = nullptr;
    QRadioButton* m_cardOption = nullptr;
    QRadioButton* m_memoryOption = nullptr;
    QLabel* m_saveDirLabel = nullptr;
    QComboBox* m_driveCombo = nullptr;
    QTreeView* m_dirTree = nullptr;
    QFileSystemModel* m_dirModel = nullptr;
    QLabel* LabelDir = nullptr;
    QCheckBox* CheckResume = nullptr;
    QPushButton* CommandGetFname = nullptr;
    QPushButton* CommandDelete = nullptr;
    QPushButton* CommandDExec = nullptr;
    QLabel* m_progressLabel = nullptr;
    QProgressBar* ProgressDload = nullptr;
    QLabel* LabelRate = nullptr;
};
