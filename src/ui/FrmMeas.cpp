#include "FrmMeas.h"

#include "DlgSettings.h"
#include "FlexGrid.h"
#include "FrmTrend.h"
#include "Link.h"
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
#include <QEventLoop>
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

FrmMeas::FrmMeas(Link& link, QWidget* parent)
    : QMainWindow(parent), m_link(link), m_lifetime(this, [this] { Form_Unload(); })
{
    setObjectName(QStringLiteral("FrmMeas"));
    setWindowTitle(QStringLiteral("MEASURE"));
    m_timerRepeat.setObjectName(QStringLiteral("TimerRepeat"));
    m_timerRepeat.setInterval(1000);
    connect(&m_timerRepeat, &QTimer::timeout, this, &FrmMeas::TimerRepeat_Timer);
    buildUi();
}

FrmMeas::~FrmMeas()
{
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

    connect(CommandSingle, &QPushButton::clicked, this, &FrmMeas::CommandSingle_Click);
    connect(CommandRepeat, &QPushButton::clicked, this, &FrmMeas::CommandRepeat_Click);
    connect(CommandStart, &QPushButton::clicked, this, &FrmMeas::CommandStart_Click);
    connect(MFLogging, &QAction::triggered, this, &FrmMeas::MFLogging_Click);
    connect(MSSettings, &QAction::triggered, this, &FrmMeas::MSSettings_Click);
    connect(MVTrend, &QAction::triggered, this, &FrmMeas::MVTrend_Click);
}

void FrmMeas::open()
{
    FormLifetime::Scope scope(m_lifetime);
    RecvSettings(m_link);
    if (m_lifetime.unloading())
        return;
    MeasGrid::titles(*m_grid);
    m_timerRepeat.stop();
    ComboRepeat->setCurrentIndex(RepeatIntervals::defaultIndex);
    RepeatTick = 0;
    RepeatStop = 0;
    const RecordStatus status = ReadRecordState(m_link);
    if (m_lifetime.unloading())
        return;
    showState(status.state);
    show();
}

void FrmMeas::closeEvent(QCloseEvent* event)
{
    event->accept();
    m_lifetime.unload();
}

void FrmMeas::Form_Unload()
{
    // A running loop ends at its next pass; it sends nothing more.
    RepeatStop = 1;
    m_timerRepeat.stop();
    wakeRepeatLoop();
    if (m_dlgSettings)
        m_dlgSettings->unload();
    if (m_frmTrend)
        m_frmTrend->unload();
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

void FrmMeas::CommandSingle_Click()
{
    FormLifetime::Scope scope(m_lifetime);
    setActionsEnabled(false);
    if (!measureWithNames())
        return;
    setActionsEnabled(true);
}

bool FrmMeas::measureWithNames()
{
    const Measurement m = MeasureWithNames(m_link, [this] { return m_lifetime.unloading(); });
    if (m.outcome.stopped)
        return false;
    if (!m.ok())
        reportFailure(m.outcome);
    else
        showReply(m.reply.text, true);
    return !m_lifetime.unloading();
}

void FrmMeas::reportFailure(const Outcome& outcome)
{
    // No box: a run goes on, and an overnight run must not pile up boxes.
    statusBar()->showMessage(
        QStringLiteral("%1 at %2")
            .arg(FailureText(outcome), QTime::currentTime().toString(QStringLiteral("HH:mm:ss"))));
}

void FrmMeas::CommandRepeat_Click()
{
    FormLifetime::Scope scope(m_lifetime);
    CommandSingle->setEnabled(false);
    CommandStart->setEnabled(false);

    if (!repeatCaptionIs(kRepeat)) {
        // Stop: the running loop sees the flag once the transaction it waits for has ended.
        m_timerRepeat.stop();
        setRepeatCaption(false);
        CommandSingle->setEnabled(true);
        CommandStart->setEnabled(true);
        RepeatStop = 1;
        wakeRepeatLoop();
        return;
    }

    setRepeatCaption(true);
    const QString typed = ComboRepeat->currentText();
    const int index = ComboRepeat->currentIndex();
    // A text typed into the box is no selection: the interval stays as it was.
    if (index >= 0 && typed == ComboRepeat->itemText(index))
        if (const auto ms = RepeatIntervals::milliseconds(index))
            m_timerRepeat.setInterval(*ms);
    RepeatTick = 0;
    RepeatStop = 0;
    const quint32 run = ++m_runSerial;
    m_timerRepeat.start();

    if (!measureWithNames())
        return;
    HeaderOff(m_link);

    for (;;) {
        if (m_lifetime.unloading() || run != m_runSerial)
            return;
        if (RepeatStop == 1) {
            RepeatStop = 0;
            return;
        }
        if (RepeatTick != 1) {
            waitForRepeatEvent();
            continue;
        }
        RepeatTick = 0;
        const Measurement m = MeasureValues(m_link);
        // A newer run started while this reply was awaited: it is not this window's to show.
        if (m_lifetime.unloading() || run != m_runSerial)
            return;
        // The link was taken: the loop ends, the run stays on until the user stops it.
        if (m.reply.text == "BUSY")
            return;
        if (!m.ok())
            reportFailure(m.outcome);
        else
            showReply(m.reply.text, false);
    }
}

void FrmMeas::waitForRepeatEvent()
{
    QEventLoop loop;
    QEventLoop* outer = m_repeatWait;
    m_repeatWait = &loop;
    loop.exec();
    m_repeatWait = outer;
}

void FrmMeas::wakeRepeatLoop()
{
    if (m_repeatWait)
        m_repeatWait->quit();
}

void FrmMeas::TimerRepeat_Timer()
{
    RepeatTick = 1;
    wakeRepeatLoop();
}

void FrmMeas::CommandStart_Click()
{
    FormLifetime::Scope scope(m_lifetime);
    setActionsEnabled(false);
    const RecordStatus status =
        SetRecording(m_link, RecordAction::Toggle, [this] { return m_lifetime.unloading(); });
    if (status.outcome.stopped)
        return;
    showState(status.state);
    setActionsEnabled(true);
}

void FrmMeas::MFLogging_Click()
{
    // The action has already inverted its own check mark.
    m_recorder.log().setLogging(MFLogging->isChecked());
}

void FrmMeas::MSSettings_Click()
{
    FormLifetime::Scope scope(m_lifetime);
    if (!repeatCaptionIs(kRepeat) || m_dlgSettings)
        return;
    auto* dlg = new DlgSettings(m_link, this);
    m_dlgSettings = dlg;
    {
        // Held across exec(): even when this window unloads the dialog meanwhile, the dialog
        // is destroyed only after exec() and the dialog's own handlers have returned.
        FormLifetime::Scope dialogScope(dlg->lifetime());
        dlg->exec();
        dlg->unload();
    }
}

void FrmMeas::MVTrend_Click()
{
    if (m_frmTrend) {
        m_frmTrend->raise();
        m_frmTrend->activateWindow();
        return;
    }
    m_frmTrend = new FrmTrend(m_trend);
    m_frmTrend->show();
}
