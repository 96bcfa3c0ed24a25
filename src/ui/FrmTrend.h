#pragma once

#include "TrendHistory.h"
#include "TrendPlot.h"

#include <QWidget>

#include <memory>
#include <vector>

class QChart;
class QChartView;
class QAbstractAxis;
class QDateTimeAxis;
class QLabel;
class QLineSeries;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QScatterSeries;
class QValueAxis;
class QVBoxLayout;

// The trend window: the items of the last measurement with names, up to eight of them drawn
// as small charts over one shared time axis. It shows the measurement window's history as
// it grows, or a log file opened for a look.
class FrmTrend : public QWidget
{
    Q_OBJECT
public:
    explicit FrmTrend(std::shared_ptr<TrendHistory> live, QWidget* parent = nullptr);
    ~FrmTrend() override;

    // Hides the window and destroys it from the event loop.
    void unload();
    bool unloaded() const { return m_unloaded; }

    // The live history has a new measurement; the charts follow at the next pass of the
    // event loop, once however many arrived.
    void measurementAdded();
    // Redraws every chart now.
    void redraw();

    // The three file actions without their file dialogs; false (after a message) on failure.
    bool savePicture(const QString& path);
    bool saveData(const QString& path);
    bool openLog(const QString& path);
    void showLive();

    void OpenLog_Click();
    void Live_Click();
    void SavePicture_Click();
    void SaveData_Click();

    QListWidget* items() const { return ListItems; }
    int chartsShown() const { return m_shown; }
    QChartView* chartView(int i) const { return m_charts.at(std::size_t(i)).view; }
    // What a hover over chart i at x shows.
    QString hoverText(int chart, double x) const;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Chart
    {
        QChartView* view = nullptr;
        QChart* chart = nullptr;
        QDateTimeAxis* timeAxis = nullptr;
        QValueAxis* rowAxis = nullptr;
        QValueAxis* yAxis = nullptr;
        QList<QLineSeries*> lines;
        QScatterSeries* dots = nullptr;
        QByteArray name;
    };
    void buildUi();
    TrendHistory& source() const;
    bool timed() const { return !m_file || m_fileTimed; }
    void syncItems();
    void itemChanged(QListWidgetItem* item);
    Chart& chart(int i);
    void useAxis(Chart& c, QAbstractAxis* x);
    TrendPlot drawChart(Chart& c, const QByteArray& name, qint64 x0, qint64 x1, bool labels);
    void fillChart(Chart& c, const TrendPlot& plot);
    QString xText(qint64 x) const;
    void alignPlots();

    bool m_unloaded = false;
    std::shared_ptr<TrendHistory> m_live;
    std::unique_ptr<TrendHistory> m_file;
    bool m_fileTimed = false;
    bool m_redrawPending = false;
    bool m_syncing = false;
    std::vector<Chart> m_charts;
    int m_shown = 0;

    QLabel* LabelItems = nullptr;
    QListWidget* ListItems = nullptr;
    QLabel* LabelSource = nullptr;
    QWidget* Charts = nullptr;
    QVBoxLayout* ChartsLayout = nullptr;
    QLabel* LabelCursor = nullptr;
    QPushButton* CommandOpenLog = nullptr;
    QPushButton* CommandLive = nullptr;
    QPushButton* CommandSavePicture = nullptr;
    QPushButton* CommandSaveData = nullptr;
};
