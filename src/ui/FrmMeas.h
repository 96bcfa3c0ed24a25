#pragma once

#include "FormLifetime.h"
#include "MeasRecorder.h"
#include "Recording.h"
#include "TrendHistory.h"

#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <memory>

class DlgSettings;
class FlexGrid;
class FrmTrend;
class Link;
class QAction;
class QComboBox;
class QEventLoop;
class QLabel;
class QPushButton;

// The measurement window: single and repeated measurements shown in the grid (and logged
// while LOGGING is checked), and the instrument's own recording started and stopped.
class FrmMeas : public QMainWindow
{
    Q_OBJECT
public:
    explicit FrmMeas(Link& link, QWidget* parent = nullptr);
    ~FrmMeas() override;

    // The opening steps, then the window is shown (unless it was unloaded meanwhile).
    void open();
    void unload() { m_lifetime.unload(); }
    FormLifetime& lifetime() { return m_lifetime; }

    void CommandSingle_Click();
    void CommandRepeat_Click();
    void CommandStart_Click();
    void TimerRepeat_Timer();
    void MFLogging_Click();
    void MSSettings_Click();
    void MVTrend_Click();

    FlexGrid* grid() const { return Grid1; }
    QTimer& timerRepeat() { return m_timerRepeat; }
    const MeasLists& lists() const { return m_recorder.lists(); }
    // The settings dialog while it is shown.
    DlgSettings* settingsDialog() const;
    // The trend window while it is open.
    FrmTrend* trendWindow() const;
    const TrendHistory& trendHistory() const { return *m_trend; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildUi();
    void Form_Unload();
    void setActionsEnabled(bool enabled);
    bool repeatCaptionIs(const QString& caption) const;
    void setRepeatCaption(bool running);
    void showState(RecordState state);
    // Splits, logs and shows a reply: with names (Single, a run's first measurement) or
    // values only (the later measurements of a run).
    void showReply(const QByteArray& reply, bool withNames);
    // ":HEAD ON", ":TRAN:SEP 2", ":MEAS?" and the reply shown with its names; false when the
    // window was unloaded meanwhile.
    bool measureWithNames();
    void reportLogFailure();
    // A measurement that failed: said at the window's foot, nothing shown or logged.
    void reportFailure(const Outcome& outcome);
    void addToTrend(bool withNames, qint32 n);
    // Waits without using the processor until a tick, a stop or the unload.
    void waitForRepeatEvent();
    void wakeRepeatLoop();

    Link& m_link;
    FormLifetime m_lifetime;
    MeasRecorder m_recorder;
    QTimer m_timerRepeat;
    qint16 RepeatTick = 0;
    qint16 RepeatStop = 0;
    // Counts repeat runs, so that a loop left behind by a stopped run cannot go on with the
    // next run's flags.
    quint32 m_runSerial = 0;
    QEventLoop* m_repeatWait = nullptr;
    QPointer<DlgSettings> m_dlgSettings;
    // Every measurement shown since the window opened, for the trend window; shared, since
    // that window may outlive this one by a moment when both unload.
    std::shared_ptr<TrendHistory> m_trend = std::make_shared<TrendHistory>();
    QPointer<FrmTrend> m_frmTrend;

    FlexGrid* Grid1 = nullptr;
    QPushButton* CommandSingle = nullptr;
    QPushButton* CommandRepeat = nullptr;
    QLabel* Label1 = nullptr;
    QComboBox* ComboRepeat = nullptr;
    QLabel* Label2 = nullptr;
    QPushButton* CommandStart = nullptr;
    QAction* MFLogging = nullptr;
    QAction* MSSettings = nullptr;
    QAction* MVTrend = nullptr;
};
