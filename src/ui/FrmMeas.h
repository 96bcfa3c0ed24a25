#pragma once

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
class InstrumentSession;
class Job;
struct Measurement;
class QAction;
class QComboBox;
class QLabel;
class QPushButton;

// The measurement window: single and repeated measurements shown in the grid (and logged
// while LOGGING is checked), and the instrument's own recording started and stopped.
class FrmMeas : public QMainWindow
{
    Q_OBJECT
public:
    explicit FrmMeas(InstrumentSession& session, QWidget* parent = nullptr);
    ~FrmMeas() override;

    // The opening job (the settings, the recording state), then the window is shown.
    void open();
    // Cancels the window's jobs, closes its dialog and trend window, hides it and destroys it
    // from the event loop.
    void unload();
    bool unloaded() const { return m_unloaded; }

    void onSingleClicked();
    void onRepeatClicked();
    void onStartStopClicked();
    void onRepeatTick();
    void onLoggingClicked();
    void onSettingsClicked();
    void onTrendClicked();

    FlexGrid* grid() const { return m_grid; }
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
    void reportLogFailure();
    // A measurement that failed: said at the window's foot, nothing shown or logged.
    void reportFailure(const Outcome& outcome);
    void addToTrend(bool withNames, qint32 n);
    // The repeat run: a pass is submitted when the last one has finished and a tick is
    // pending; Stop is looked at first.
    void submitPass(quint32 run, bool withNames);
    void passFinished(quint32 run, bool withNames, const Measurement& m);
    void nextPass(quint32 run);

    InstrumentSession& m_session;
    MeasRecorder m_recorder;
    QTimer m_timerRepeat;
    bool RepeatTick = false;
    bool RepeatStop = false;
    // Counts repeat runs: a pass still outstanding from a stopped run is not shown in the
    // next run.
    quint32 m_run = 0;
    // The run's passes go on at its ticks; a pass refused as busy ends them, and the run
    // stays on until the user stops it.
    bool m_looping = false;
    QPointer<Job> m_pass; // the repeat run's pass on its way
    bool m_unloaded = false;
    QPointer<DlgSettings> m_dlgSettings;
    // Every measurement shown since the window opened, for the trend window; shared, since
    // that window may outlive this one by a moment when both unload.
    std::shared_ptr<TrendHistory> m_trend = std::make_shared<TrendHistory>();
    QPointer<FrmTrend> m_frmTrend;

    FlexGrid* m_grid = nullptr;
    QPushButton* CommandSingle = nullptr;
    QPushButton* CommandRepeat = nullptr;
    QLabel* m_intervalLabel = nullptr;
    QComboBox* ComboRepeat = nullptr;
    QLabel* m_stateLabel = nullptr;
    QPushButton* CommandStart = nullptr;
    QAction* MFLogging = nullptr;
    QAction* MSSettings = nullptr;
    QAction* MVTrend = nullptr;
};
