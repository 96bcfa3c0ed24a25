#include "FrmDload.h"

#include "FileCommands.h"
#include "FileDownload.h"
#include "InstrumentSession.h"
#include "MessageService.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStorageInfo>
#include <QTreeView>
#include <QVBoxLayout>

FrmDload::FrmDload(InstrumentSession& session, QWidget* parent)
    : QWidget(parent), m_session(session)
{
    setObjectName(QStringLiteral("FrmDload"));
    setWindowTitle(QStringLiteral("DOWNLOAD"));
    buildUi();
}

void FrmDload::buildUi()
{
    m_fileListLabel = new QLabel(QStringLiteral("&File list"), this);
    m_fileListLabel->setObjectName(QStringLiteral("Label1"));
    m_fileList = new QListWidget(this);
    m_fileList->setObjectName(QStringLiteral("List1"));
    m_fileList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_fileList->setMinimumWidth(260);
    m_fileListLabel->setBuddy(m_fileList);

    m_mediaFrame = new QGroupBox(QStringLiteral("Media"), this);
    m_mediaFrame->setObjectName(QStringLiteral("Frame1"));
    m_cardOption = new QRadioButton(QStringLiteral("&PC CARD"), m_mediaFrame);
    m_cardOption->setObjectName(QStringLiteral("Option1"));
    m_cardOption->setChecked(true);
    m_memoryOption = new QRadioButton(QStringLiteral("&MEMORY"), m_mediaFrame);
    m_memoryOption->setObjectName(QStringLiteral("Option2"));
    auto* media = new QHBoxLayout(m_mediaFrame);
    media->addWidget(m_cardOption);
    media->addWidget(m_memoryOption);
    media->addStretch();

    m_saveDirLabel = new QLabel(QStringLiteral("Directory &to save"), this);
    m_saveDirLabel->setObjectName(QStringLiteral("Label2"));
    m_driveCombo = new QComboBox(this);
    m_driveCombo->setObjectName(QStringLiteral("Drive1"));
    m_saveDirLabel->setBuddy(m_driveCombo);
    m_dirTree = new QTreeView(this);
    m_dirTree->setObjectName(QStringLiteral("Dir1"));
    m_dirTree->setAccessibleName(QStringLiteral("Directory to save, folder"));
    m_dirModel = new QFileSystemModel(this);
    m_dirModel->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    m_dirModel->setReadOnly(true);
    m_dirTree->setModel(m_dirModel);
    for (int c = 1; c < m_dirModel->columnCount(); ++c)
        m_dirTree->hideColumn(c);
    m_dirTree->setHeaderHidden(true);
    m_dirTree->setMinimumSize(240, 200);
    LabelDir = new QLabel(this);
    LabelDir->setObjectName(QStringLiteral("LabelDir"));
    LabelDir->setAccessibleName(QStringLiteral("Save into"));
    LabelDir->setTextInteractionFlags(Qt::TextSelectableByMouse);
    LabelDir->setWordWrap(true);

    // "additinal": misspelt on purpose, kept as users know it.
    CheckResume = new QCheckBox(QStringLiteral("Download the &additinal part only"), this);
    CheckResume->setObjectName(QStringLiteral("CheckResume"));
    CheckResume->setChecked(true);

    CommandGetFname = new QPushButton(QStringLiteral("&Get file name"), this);
    CommandGetFname->setObjectName(QStringLiteral("CommandGetFname"));
    CommandDelete = new QPushButton(QStringLiteral("&Delete"), this);
    CommandDelete->setObjectName(QStringLiteral("CommandDelete"));
    CommandDExec = new QPushButton(QStringLiteral("Do&wnload"), this);
    CommandDExec->setObjectName(QStringLiteral("CommandDExec"));

    m_progressLabel = new QLabel(this);
    m_progressLabel->setObjectName(QStringLiteral("Label3"));
    m_progressLabel->setAccessibleName(QStringLiteral("Progress"));
    m_progressLabel->setMinimumWidth(140);
    ProgressDload = new QProgressBar(this);
    ProgressDload->setObjectName(QStringLiteral("ProgressDload"));
    ProgressDload->setAccessibleName(QStringLiteral("Download progress"));
    ProgressDload->setRange(0, 1);
    ProgressDload->setValue(0);
    LabelRate = new QLabel(this);
    LabelRate->setObjectName(QStringLiteral("LabelRate"));
    LabelRate->setAccessibleName(QStringLiteral("Speed and time left"));
    LabelRate->setMinimumWidth(170);

    auto* left = new QVBoxLayout;
    left->addWidget(m_fileListLabel);
    left->addWidget(m_fileList, 1);

    auto* right = new QVBoxLayout;
    right->addWidget(m_mediaFrame);
    right->addWidget(m_saveDirLabel);
    right->addWidget(m_driveCombo);
    right->addWidget(m_dirTree, 1);
    right->addWidget(LabelDir);
    right->addWidget(CheckResume);

    auto* lists = new QHBoxLayout;
    lists->addLayout(left, 1);
    lists->addLayout(right, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(CommandGetFname);
    buttons->addWidget(CommandDelete);
    buttons->addStretch();
    buttons->addWidget(CommandDExec);

    auto* progress = new QHBoxLayout;
    progress->addWidget(m_progressLabel);
    progress->addWidget(ProgressDload, 1);
    progress->addWidget(LabelRate);

    auto* all = new QVBoxLayout(this);
    all->addLayout(lists, 1);
    all->addLayout(buttons);
    all->addLayout(progress);

    setTabOrder(m_fileList, m_cardOption);
    setTabOrder(m_cardOption, m_memoryOption);
    setTabOrder(m_memoryOption, m_driveCombo);
    setTabOrder(m_driveCombo, m_dirTree);
    setTabOrder(m_dirTree, CheckResume);
    setTabOrder(CheckResume, CommandGetFname);
    setTabOrder(CommandGetFname, CommandDelete);
    setTabOrder(CommandDelete, CommandDExec);

    fillDrives();
    setDirPath(QDir::currentPath());

    connect(m_cardOption, &QRadioButton::clicked, this, &FrmDload::onCardClicked);
    connect(m_memoryOption, &QRadioButton::clicked, this, &FrmDload::onMemoryClicked);
    connect(m_driveCombo, &QComboBox::currentIndexChanged, this, &FrmDload::onDriveChanged);
    connect(m_dirTree->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current, const QModelIndex& previous) {
                // When the chosen directory vanishes, the view moves on to a neighbour; the
                // download must then report the missing directory, not save elsewhere.
                if (previous.isValid() && !QFileInfo::exists(m_dirModel->filePath(previous)))
                    return;
                if (current.isValid())
                    showDirPath(m_dirModel->filePath(current));
            });
    connect(CommandGetFname, &QPushButton::clicked, this, &FrmDload::onListClicked);
    connect(CommandDelete, &QPushButton::clicked, this, &FrmDload::onDeleteClicked);
    connect(CommandDExec, &QPushButton::clicked, this, &FrmDload::onDownloadClicked);

    resize(640, 440);
}

QStringList SaveRoots(const QStringList& mounts, const QString& home)
{
    QStringList roots{QStringLiteral("/")};
    for (const QString& root : mounts) {
        // The kernel's and the system's own mounts hold nothing to save into.
        static const char* const hidden[] = {"/proc", "/sys", "/dev", "/run", "/snap", "/boot"};
        bool skip = false;
        for (const char* h : hidden)
            skip = skip || root == QLatin1String(h) || root.startsWith(QLatin1String(h) + '/');
        if (!skip)
            roots << root;
    }
    roots << home;
    roots.removeDuplicates();
    std::sort(roots.begin(), roots.end());
    return roots;
}

int CurrentRoot(const QStringList& roots, const QString& here)
{
    int best = 0;
    for (int i = 0; i < roots.size(); ++i) {
        const QString& r = roots[i];
        const bool under = here == r || here.startsWith(r.endsWith('/') ? r : r + '/');
        if (under && r.size() > roots[best].size())
            best = i;
    }
    return best;
}

void FrmDload::fillDrives()
{
    QStringList roots;
#ifdef Q_OS_WIN
    for (const QFileInfo& drive : QDir::drives())
        roots << QDir::toNativeSeparators(drive.absoluteFilePath());
#else
    QStringList mounts;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes())
        if (volume.isValid() && volume.isReady())
            mounts << volume.rootPath();
    roots = SaveRoots(mounts, QDir::homePath());
#endif
    m_driveCombo->addItems(roots);
    m_driveCombo->setCurrentIndex(CurrentRoot(roots, QDir::currentPath()));
}

void FrmDload::setDirPath(const QString& path)
{
    const QString drive = m_driveCombo->currentText();
    m_dirTree->setRootIndex(m_dirModel->setRootPath(drive).parent());
    const QModelIndex index = m_dirModel->index(path);
    if (index.isValid()) {
        m_dirTree->setCurrentIndex(index);
        m_dirTree->scrollTo(index);
    }
    showDirPath(path);
}

void FrmDload::showDirPath(const QString& path)
{
    m_dirPath = path;
    LabelDir->setText(QStringLiteral("Save into: %1").arg(QDir::toNativeSeparators(path)));
}

FrmDload::~FrmDload()
{
    m_session.cancelJobsOf(this);
}

void FrmDload::open()
{
    ListFiles(Medium::Card, [this] { show(); });
}

void FrmDload::closeEvent(QCloseEvent* event)
{
    event->accept();
    unload();
}

void FrmDload::unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    // A download on its way stops here; the local file keeps every block written.
    m_session.cancelJobsOf(this);
    hide();
    deleteLater();
}

Medium FrmDload::selectedMedium() const
{
    return m_cardOption->isChecked() ? Medium::Card : Medium::Memory;
}

int FrmDload::selectedRow() const
{
    const QList<QListWidgetItem*> items = m_fileList->selectedItems();
    return items.isEmpty() ? -1 : m_fileList->row(items.first());
}

void FrmDload::ListFiles(Medium medium, std::function<void()> then)
{
    m_session.submit<Listing>(
        this, [medium](Job& job) { return ::ListFiles(job, medium); },
        [this, medium, then](Listing listing) {
            // The user chose the other medium while this listing waited: its files must not
            // be shown under that medium's button, where Delete and Download would act on the
            // wrong medium.
            if (medium == selectedMedium()) {
                m_files = std::move(listing.files);
                m_fileList->clear();
                if (m_files.status() == FileList::Status::NoCard)
                    MessageService::warning(QStringLiteral("No PC card"));
                else if (m_files.count() == 0)
                    MessageService::warning(QStringLiteral("No file"));
                else
                    for (int i = 0; i < m_files.count(); ++i)
                        m_fileList->addItem(m_files.entry(i));
            }
            if (then)
                then();
        });
}

void FrmDload::setFileControlsEnabled(bool enable)
{
    for (QWidget* w : {static_cast<QWidget*>(m_fileList), static_cast<QWidget*>(m_driveCombo),
                       static_cast<QWidget*>(m_dirTree), static_cast<QWidget*>(m_cardOption),
                       static_cast<QWidget*>(m_memoryOption),
                       static_cast<QWidget*>(CommandGetFname), static_cast<QWidget*>(CommandDExec),
                       static_cast<QWidget*>(CommandDelete), static_cast<QWidget*>(CheckResume)})
        w->setEnabled(enable);
}

void FrmDload::DisableFileControls()
{
    setFileControlsEnabled(false);
}

void FrmDload::EnableFileControls()
{
    setFileControlsEnabled(true);
}

void FrmDload::onCardClicked()
{
    CommandDelete->setText(QStringLiteral("&Delete"));
    ListFiles(Medium::Card);
}

void FrmDload::onMemoryClicked()
{
    CommandDelete->setText(QStringLiteral("Fo&rmat"));
    ListFiles(Medium::Memory);
}

void FrmDload::onDriveChanged()
{
    setDirPath(m_driveCombo->currentText());
}

void FrmDload::onListClicked()
{
    DisableFileControls();
    ListFiles(selectedMedium(), [this] { EnableFileControls(); });
}

void FrmDload::onDeleteClicked()
{
    const Medium medium = selectedMedium();
    const int row = selectedRow();
    if (medium == Medium::Card && row < 0) {
        MessageService::warning(QStringLiteral("File is not selected"));
        return;
    }
    DisableFileControls();
    const QByteArray name = medium == Medium::Card ? m_files.names().at(row) : QByteArray();
    MessageService::ask(QStringLiteral("Execute?"), this, [this, medium, name](bool yes) {
        // Unloaded while the question was open (closed, a disconnect, the port lost): the
        // window is only waiting to be destroyed, and the answer must not delete anything.
        if (m_unloaded)
            return;
        if (!yes) {
            EnableFileControls();
            return;
        }
        m_session.submit<FileCommandResult>(
            this,
            [medium, name](Job& job) {
                return medium == Medium::Card ? DeleteCardFile(job, name) : FormatMemory(job);
            },
            [this, medium](const FileCommandResult& done) {
                if (!done.succeeded)
                    MessageService::warning(QStringLiteral("Error"));
                ListFiles(medium, [this] { EnableFileControls(); });
            });
    });
}

void FrmDload::showProgress(qint32 start, qint32 end, qint32 size, const QByteArray& sizeText)
{
    // The bar's int range holds every size: parseSize refuses anything past 32 bits.
    ProgressDload->setRange(0, std::max(size, 1));
    if (end < start) {
        // The run starts here.
        m_meter.start(start, size);
        ProgressDload->setValue(start - 1);
        LabelRate->clear();
        return;
    }
    m_progressLabel->setText(QString::number(end) + QLatin1Char('/') +
                             QString::fromLatin1(sizeText));
    ProgressDload->setValue(size == 0 ? 1 : end);
    LabelRate->setText(m_meter.update(end));
}

void FrmDload::fail(MessageKind kind, const QString& text)
{
    MessageService::instance().open(kind, text, nullptr, {});
    EnableFileControls();
}

void FrmDload::onDownloadClicked()
{
    const int row = selectedRow();
    if (row < 0) {
        MessageService::warning(QStringLiteral("File is not selected"));
        return;
    }
    DisableFileControls();
    DownloadRequest request;
    request.name = m_files.names().at(row);
    request.sizeText = m_files.sizes().at(row);
    request.directory = dirPath();
    request.medium = selectedMedium();
    request.resume = CheckResume->isChecked();
    request.progress = [this, sizeText = request.sizeText](qint32 start, qint32 end, qint32 size) {
        showProgress(start, end, size, sizeText);
    };
    download(request);
}

void FrmDload::download(DownloadRequest request)
{
    m_session.submit<DownloadOutcome>(
        this, [request](Job& job) { return DownloadFile(job, request); },
        [this, request](const DownloadOutcome& out) { downloadFinished(request, out); });
}

void FrmDload::downloadFinished(const DownloadRequest& request, const DownloadOutcome& out)
{
    using Status = DownloadOutcome::Status;
    const QString target = QDir::toNativeSeparators(out.target);
    const QString name = QString::fromLatin1(request.name);
    switch (out.status) {
    case Status::Complete:
        ProgressDload->setValue(ProgressDload->maximum());
        EnableFileControls();
        return;
    case Status::NameProblem: {
        QString shown = name;
        for (QChar& c : shown)
            if (c.unicode() < 0x20 || c.unicode() == 0x7f)
                c = QChar::ReplacementCharacter;
        return fail(
            MessageKind::Critical,
            QStringLiteral("The file cannot be saved under the name \"%1\": %2.\r\nDo not download")
                .arg(shown, out.reason));
    }
    case Status::BadSize:
        return fail(MessageKind::Critical,
                    QStringLiteral(
                        "The size of \"%1\" is not a number of bytes: \"%2\".\r\nDo not download")
                        .arg(name, QString::fromLatin1(request.sizeText)));
    case Status::LocalNotShorter:
        // "spcified": misspelt on purpose, kept as users know it.
        return fail(MessageKind::Critical,
                    QStringLiteral("The same name file exists with larger size than spcified "
                                   "file\r\nDo not download"));
    case Status::AskOverwrite:
    case Status::AskRestart: {
        const QString question =
            out.status == Status::AskOverwrite
                ? QStringLiteral("The same name file exists\r\nOverwrite?")
                : QStringLiteral("The local file %1 differs from the file on the instrument. "
                                 "Download the whole file again?")
                      .arg(name);
        MessageService::ask(question, this, [this, request](bool yes) {
            // As for "Execute?": a Yes must not replace the local file of a closed window.
            if (m_unloaded)
                return;
            if (!yes) {
                EnableFileControls();
                return;
            }
            DownloadRequest again = request;
            again.replace = true;
            download(again);
        });
        return;
    }
    case Status::CannotDelete:
        return fail(MessageKind::Critical,
                    QStringLiteral("Cannot delete %1: %2").arg(target, out.reason));
    case Status::CheckFailed:
    case Status::CommunicationError:
        return fail(MessageKind::Warning, QStringLiteral("Communication error"));
    case Status::CannotReadLocal:
        return fail(MessageKind::Critical,
                    QStringLiteral("Cannot read %1\r\nDo not download").arg(target));
    case Status::FileError:
        return fail(
            MessageKind::Critical,
            QStringLiteral("Cannot write %1: %2\r\nThe download stopped.").arg(target, out.reason));
    }
}
