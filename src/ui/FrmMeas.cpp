#include "FrmMeas.h"

#include "DlgSettings.h"
#include "FlexGrid.h"
#include "FrmTrend.h"
#include "InstrumentSession.h"
#include "MeasGrid.h"
#include "Measurement.h"
#include "MessageService.h"
#include "Recording.h"
#include "RecvSettings.h"
#include "RepeatIntervals.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTime>

#include <cmath>

namespace {

const QString kRepeat = QStringLiteral("Repeat");

QString plainCaption(QString text)
{
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QStringLiteral("\x01"), QStringLiteral("&"));
    return text;
}

} // namespace

FrmMeas::FrmMeas(InstrumentSession& session, QWidget* parent)
    : QMainWindow(parent), m_session(session)
{
    setObjectName(QStringLiteral("FrmMeas"));
    setWindowTitle(QStringLiteral("MEASURE"));
    m_timerRepeat.setObjectName(QStringLiteral("TimerRepeat"));
    m_timerRepeat.setInterval(1000);
    connect(&m_timerRepeat, &QTimer::timeout, this, &FrmMeas::onRepeatTick);
    buildUi();
}

FrmMeas::~FrmMeas()
{
    m_session.cancelJobsOf(this);
    delete m_dlgSettings.data();
    if (m_frmTrend)
        m_frmTrend->unload();
}

DlgSettings* FrmMeas::settingsDialog() const
{
    return m_dlgSettings;
}

FrmTrend* FrmMeas::trendWindow() const
{
    return m_frmTrend;
}

void FrmMeas::buildUi()
{
    auto* central = new QWidget(this);
    setCentralWidget(central);

    // Positions are in twips: 15 to a pixel at 96 DPI, more on a high-DPI screen.
    const QScreen* scr = screen();
    const double scale = scr ? scr->logicalDotsPerInch() / 96.0 : 1.0;
    const double ppt = scale / 15.0;
    const auto px = [ppt](int twips) { return static_cast<int>(std::lround(twips * ppt)); };
    const auto place = [&](QWidget* w, int left, int top, int width, int height) {
        w->setGeometry(px(left), px(top), px(width), px(height));
    };
    central->setFixedSize(px(4980), px(4005));

    m_grid = new FlexGrid(2, ppt, central);
    m_grid->setObjectName(QStringLiteral("Grid1"));
    // "HEADDER": misspelt on purpose, kept as users know it.
    m_grid->setAccessibleName(QStringLiteral("HEADDER DATA"));
    m_grid->setRows(2);
    place(m_grid, 60, 60, 3435, 3915);

    CommandSingle = new QPushButton(QStringLiteral("&Single"), central);
    CommandSingle->setObjectName(QStringLiteral("CommandSingle"));
    place(CommandSingle, 3720, 0, 1215, 315);

    CommandRepeat = new QPushButton(central);
    CommandRepeat->setObjectName(QStringLiteral("CommandRepeat"));
    setRepeatCaption(false);
    place(CommandRepeat, 3720, 540, 1215, 315);

    m_intervalLabel = new QLabel(QStringLiteral("&Interval"), central);
    m_intervalLabel->setObjectName(QStringLiteral("Label1"));
    place(m_intervalLabel, 3540, 1020, 1395, 195);

    ComboRepeat = new QComboBox(central);
    ComboRepeat->setObjectName(QStringLiteral("ComboRepeat"));
    ComboRepeat->setEditable(true);
    ComboRepeat->setInsertPolicy(QComboBox::NoInsert);
    ComboRepeat->addItems(RepeatIntervals::texts());
    ComboRepeat->setCurrentIndex(-1);
    ComboRepeat->setEditText(QStringLiteral("Combo1"));
    m_intervalLabel->setBuddy(ComboRepeat);
    place(ComboRepeat, 3900, 1260, 1095, 300);

    m_stateLabel = new QLabel(QStringLiteral("Label2"), central);
    m_stateLabel->setObjectName(QStringLiteral("Label2"));
    place(m_stateLabel, 3540, 3180, 1155, 255);

    CommandStart = new QPushButton(QStringLiteral("S&tart/Stop"), central);
    CommandStart->setObjectName(QStringLiteral("CommandStart"));
    place(CommandStart, 3540, 3540, 1395, 315);

    // Says why a measurement was not shown; empty while measurements succeed.
    statusBar()->setObjectName(QStringLiteral("StatusLine"));
    statusBar()->setSizeGripEnabled(false);

    QMenu* menuFile = menuBar()->addMenu(QStringLiteral("&File"));
    menuFile->setObjectName(QStringLiteral("MenuFile"));
    MFLogging = menuFile->addAction(QStringLiteral("&LOGGING"));
    MFLogging->setObjectName(QStringLiteral("MFLogging"));
    MFLogging->setCheckable(true);
    MFLogging->setChecked(false);
    QMenu* menuSet = menuBar()->addMenu(QStringLiteral("Settin&gs"));
    menuSet->setObjectName(QStringLiteral("MenuSet"));
    MSSettings = menuSet->addAction(QStringLiteral("&KestrelSettings"));
    MSSettings->setObjectName(QStringLiteral("MSSettings"));
    QMenu* menuView = menuBar()->addMenu(QStringLiteral("&View"));
    menuView->setObjectName(QStringLiteral("MenuView"));
    MVTrend = menuView->addAction(QStringLiteral("&TREND"));
    MVTrend->setObjectName(QStringLiteral("MVTrend"));

    setTabOrder(m_grid, CommandSingle);
    setTabOrder(CommandSingle, CommandRepeat);
    setTabOrder(CommandRepeat, ComboRepeat);
    setTabOrder(ComboRepeat, CommandStart);

    connect(CommandSingle, &QPushButton::clicked, this, &FrmMeas::onSingleClicked);
    connect(CommandRepeat, &QPushButton::clicked, this, &FrmMeas::onRepeatClicked);
    connect(CommandStart, &QPushButton::clicked, this, &FrmMeas::onStartStopClicked);
    connect(MFLogging, &QAction::triggered, this, &FrmMeas::onLoggingClicked);
    connect(MSSettings, &QAction::triggered, this, &FrmMeas::onSettingsClicked);
    connect(MVTrend, &QAction::triggered, this, &FrmMeas::onTrendClicked);
}

namespace {

// The settings (an ERROR box pauses it before ":STAT?"), then the recording state.
Task<RecordStatus> openingJob(Job& job, InstrumentSession* session)
{
    co_await session->receiveFlow(job);
    co_return co_await ReadRecordState(job);
}

} // namespace

void FrmMeas::open()
{
    m_session.submit<RecordStatus>(
        this, [s = &m_session](Job& job) { return openingJob(job, s); },
        [this](const RecordStatus& status) {
            MeasGrid::titles(*m_grid);
            m_timerRepeat.stop();
            ComboRepeat->setCurrentIndex(RepeatIntervals::defaultIndex);
            RepeatTick = false;
            RepeatStop = false;
            showState(status.state);
            show();
        });
}

void FrmMeas::closeEvent(QCloseEvent* event)
{
    event->accept();
    unload();
}

void FrmMeas::unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    // Nothing more is written for this window, and no result of its jobs is shown.
    m_session.cancelJobsOf(this);
    m_timerRepeat.stop();
    if (m_dlgSettings)
        m_dlgSettings->unload();
    if (m_frmTrend)
        m_frmTrend->unload();
    hide();
    deleteLater();
}

void FrmMeas::setActionsEnabled(bool enabled)
{
    CommandSingle->setEnabled(enabled);
    CommandRepeat->setEnabled(enabled);
    CommandStart->setEnabled(enabled);
}

bool FrmMeas::repeatCaptionIs(const QString& caption) const
{
    return plainCaption(CommandRepeat->text()) == caption;
}

void FrmMeas::setRepeatCaption(bool running)
{
    CommandRepeat->setText(running ? QStringLiteral("Sto&p") : QStringLiteral("&Repeat"));
}

void FrmMeas::showState(RecordState state)
{
    // A reply that names no state leaves the label as it was.
    if (state != RecordState::Unknown)
        m_stateLabel->setText(RecordStateText(state));
}

void FrmMeas::showReply(const QByteArray& reply, bool withNames)
{
    statusBar()->clearMessage();
    const qint32 n =
        withNames ? m_recorder.takeHeaderReply(reply) : m_recorder.takeDataReply(reply);
    const bool logFailed = m_recorder.logFailed();
    if (logFailed)
        MFLogging->setChecked(false);
    if (withNames)
        MeasGrid::fillFull(*m_grid, m_recorder.lists(), n);
    else
        MeasGrid::fillValues(*m_grid, m_recorder.lists(), n);
    addToTrend(withNames, n);
    if (logFailed)
        reportLogFailure();
}

void FrmMeas::addToTrend(bool withNames, qint32 n)
{
    const MeasLists& lists = m_recorder.lists();
    if (withNames) {
        QList<QByteArray> names;
        names.reserve(n);
        for (int i = 0; i < n; ++i)
            names << lists.MeasHeader(i);
        m_trend->setNames(names);
    }
    m_trend->append(QDateTime::currentMSecsSinceEpoch(), lists, n);
    if (m_frmTrend)
        m_frmTrend->measurementAdded();
}

void FrmMeas::reportLogFailure()
{
    const QString file =
        QDir::toNativeSeparators(QFileInfo(m_recorder.log().path()).absoluteFilePath());
    MessageService::warning(QStringLiteral("The measurement could not be written to %1: %2.\n"
                                           "LOGGING has been switched off.")
                                .arg(file, m_recorder.logError()));
}

void FrmMeas::onSingleClicked()
{
    setActionsEnabled(false);
    m_session.submit<Measurement>(this, MeasureWithNames, [this](const Measurement& m) {
        if (!m.ok())
            reportFailure(m.outcome);
        else
            showReply(m.reply.text, true);
        setActionsEnabled(true);
    });
}

void FrmMeas::reportFailure(const Outcome& outcome)
{
    // No box: a run goes on, and an overnight run must not pile up boxes.
    statusBar()->showMessage(
        QStringLiteral("%1 at %2")
            .arg(FailureText(outcome), QTime::currentTime().toString(QStringLiteral("HH:mm:ss"))));
}

void FrmMeas::onRepeatClicked()
{
    CommandSingle->setEnabled(false);
    CommandStart->setEnabled(false);

    if (!repeatCaptionIs(kRepeat)) {
        // Stop: a pass on its way is still shown; the run ends after it.
        m_timerRepeat.stop();
        setRepeatCaption(false);
        CommandSingle->setEnabled(true);
        CommandStart->setEnabled(true);
        RepeatStop = !m_pass.isNull();
        return;
    }

    setRepeatCaption(true);
    const QString typed = ComboRepeat->currentText();
    const int index = ComboRepeat->currentIndex();
    // A text typed into the box is no selection: the interval stays as it was.
    if (index >= 0 && typed == ComboRepeat->itemText(index))
        if (const auto ms = RepeatIntervals::milliseconds(index))
            m_timerRepeat.setInterval(*ms);
    RepeatTick = false;
    RepeatStop = false;
    m_looping = true;
    const quint32 run = ++m_run;
    m_timerRepeat.start();
    submitPass(run, true);
}

void FrmMeas::submitPass(quint32 run, bool withNames)
{
    m_pass = m_session.submit<Measurement>(
        this, withNames ? MeasureWithNames : MeasureValues,
        [this, run, withNames](const Measurement& m) { passFinished(run, withNames, m); });
}

void FrmMeas::passFinished(quint32 run, bool withNames, const Measurement& m)
{
    // A newer run started while this reply was awaited: it is not this window's to show.
    if (run != m_run)
        return;
    m_pass.clear();
    // The link was taken: no more passes; the run stays on "Stop" until the user stops it.
    if (!withNames && m.reply.text == "BUSY") {
        m_looping = false;
        return;
    }
    if (!m.ok())
        reportFailure(m.outcome);
    else
        showReply(m.reply.text, withNames);
    if (!withNames) {
        nextPass(run);
        return;
    }
    // Later replies carry values only.
    m_pass = m_session.submit<Outcome>(this, HeaderOff, [this, run](const Outcome&) {
        if (run != m_run)
            return;
        m_pass.clear();
        nextPass(run);
    });
}

void FrmMeas::nextPass(quint32 run)
{
    if (RepeatStop) {
        RepeatStop = false;
        return;
    }
    // Stopped with nothing on its way, or waiting for the next tick.
    if (!m_looping || repeatCaptionIs(kRepeat) || !RepeatTick)
        return;
    RepeatTick = false;
    submitPass(run, false);
}

void FrmMeas::onRepeatTick()
{
    RepeatTick = true;
    // Ticks during a pass make one pending pass, taken when the pass has finished.
    if (m_pass.isNull())
        nextPass(m_run);
}

void FrmMeas::onStartStopClicked()
{
    setActionsEnabled(false);
    m_session.submit<RecordStatus>(
        this, [](Job& job) { return SetRecording(job, RecordAction::Toggle); },
        [this](const RecordStatus& status) {
            showState(status.state);
            setActionsEnabled(true);
        });
}

void FrmMeas::onLoggingClicked()
{
    // The action has already inverted its own check mark.
    m_recorder.log().setLogging(MFLogging->isChecked());
}

void FrmMeas::onSettingsClicked()
{
    if (!repeatCaptionIs(kRepeat) || m_dlgSettings)
        return;
    // Modal over every window, without a nested event loop: its buttons submit jobs.
    m_dlgSettings = new DlgSettings(m_session, this);
    m_dlgSettings->setWindowModality(Qt::ApplicationModal);
    connect(m_dlgSettings, &QDialog::finished, m_dlgSettings, &DlgSettings::unload);
    m_dlgSettings->show();
}

void FrmMeas::onTrendClicked()
{
    if (m_frmTrend) {
        m_frmTrend->raise();
        m_frmTrend->activateWindow();
        return;
    }
    m_frmTrend = new FrmTrend(m_trend);
    m_frmTrend->show();
}
