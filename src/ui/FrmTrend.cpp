#include "FrmTrend.h"

#include "MessageService.h"
#include "TrendFile.h"
#include "TrendPlot.h"

#include <QChart>
#include <QChartView>
#include <QCloseEvent>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGraphicsLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QListWidget>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QSaveFile>
#include <QScatterSeries>
#include <QTimer>
#include <QToolTip>
#include <QValueAxis>

#include <cmath>

namespace {

// More separate pieces than this (a line broken by very many gaps) join into the last one.
constexpr int kMaxLines = 48;

const QColor kColours[TrendHistory::MaxChosen] = {
    QColor(0x1f, 0x77, 0xb4), QColor(0xd6, 0x27, 0x28), QColor(0x2c, 0xa0, 0x2c),
    QColor(0x94, 0x67, 0xbd), QColor(0xff, 0x7f, 0x0e), QColor(0x8c, 0x56, 0x4b),
    QColor(0xe3, 0x77, 0xc2), QColor(0x17, 0xbe, 0xcf)};

QString gapOrNumber(float v)
{
    return std::isnan(v) ? QStringLiteral("(no number)") : QString::number(v, 'g', 7);
}

} // namespace

FrmTrend::FrmTrend(std::shared_ptr<TrendHistory> live, QWidget* parent)
    : QWidget(parent, Qt::Window), m_live(std::move(live))
{
    setObjectName(QStringLiteral("FrmTrend"));
    setWindowTitle(QStringLiteral("TREND"));
    buildUi();
    syncItems();
    redraw();
}

FrmTrend::~FrmTrend() = default;

void FrmTrend::buildUi()
{
    auto* left = new QVBoxLayout;
    LabelItems = new QLabel(QStringLiteral("&Items"), this);
    LabelItems->setObjectName(QStringLiteral("LabelItems"));
    ListItems = new QListWidget(this);
    ListItems->setObjectName(QStringLiteral("ListItems"));
    ListItems->setAccessibleName(QStringLiteral("Items"));
    ListItems->setAccessibleDescription(
        QStringLiteral("Space ticks an item to draw it; at most eight are drawn."));
    LabelItems->setBuddy(ListItems);
    LabelSource = new QLabel(this);
    LabelSource->setObjectName(QStringLiteral("LabelSource"));
    LabelSource->setWordWrap(true);
    CommandOpenLog = new QPushButton(QStringLiteral("&Open log..."), this);
    CommandOpenLog->setObjectName(QStringLiteral("CommandOpenLog"));
    CommandLive = new QPushButton(QStringLiteral("&Live"), this);
    CommandLive->setObjectName(QStringLiteral("CommandLive"));
    CommandSavePicture = new QPushButton(QStringLiteral("Save &picture..."), this);
    CommandSavePicture->setObjectName(QStringLiteral("CommandSavePicture"));
    CommandSaveData = new QPushButton(QStringLiteral("Save &data..."), this);
    CommandSaveData->setObjectName(QStringLiteral("CommandSaveData"));
    left->addWidget(LabelItems);
    left->addWidget(ListItems, 1);
    left->addWidget(LabelSource);
    left->addWidget(CommandOpenLog);
    left->addWidget(CommandLive);
    left->addWidget(CommandSavePicture);
    left->addWidget(CommandSaveData);

    auto* right = new QVBoxLayout;
    Charts = new QWidget(this);
    Charts->setObjectName(QStringLiteral("Charts"));
    ChartsLayout = new QVBoxLayout(Charts);
    ChartsLayout->setContentsMargins(0, 0, 0, 0);
    ChartsLayout->setSpacing(0);
    LabelCursor = new QLabel(this);
    LabelCursor->setObjectName(QStringLiteral("LabelCursor"));
    LabelCursor->setAccessibleName(QStringLiteral("Value under the cursor"));
    right->addWidget(Charts, 1);
    right->addWidget(LabelCursor);

    auto* top = new QHBoxLayout(this);
    top->addLayout(left);
    top->addLayout(right, 1);
    resize(900, 640);

    setTabOrder(ListItems, CommandOpenLog);
    setTabOrder(CommandOpenLog, CommandLive);
    setTabOrder(CommandLive, CommandSavePicture);
    setTabOrder(CommandSavePicture, CommandSaveData);

    connect(ListItems, &QListWidget::itemChanged, this, &FrmTrend::itemChanged);
    connect(CommandOpenLog, &QPushButton::clicked, this, &FrmTrend::OpenLog_Click);
    connect(CommandLive, &QPushButton::clicked, this, &FrmTrend::Live_Click);
    connect(CommandSavePicture, &QPushButton::clicked, this, &FrmTrend::SavePicture_Click);
    connect(CommandSaveData, &QPushButton::clicked, this, &FrmTrend::SaveData_Click);
}

void FrmTrend::closeEvent(QCloseEvent* event)
{
    event->accept();
    unload();
}

void FrmTrend::unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    hide();
    deleteLater();
}

TrendHistory& FrmTrend::source() const
{
    return m_file ? *m_file : *m_live;
}

void FrmTrend::measurementAdded()
{
    if (m_file || m_redrawPending)
        return;
    m_redrawPending = true;
    QTimer::singleShot(0, this, [this] {
        m_redrawPending = false;
        if (!m_file) {
            syncItems();
            redraw();
        }
    });
}

void FrmTrend::syncItems()
{
    // The list follows the names of the last measurement with names; chosen items that left
    // the grid stay listed while they are drawn.
    const TrendHistory& h = source();
    QList<QByteArray> names = h.names();
    for (const QByteArray& c : h.chosen())
        if (!names.contains(c))
            names << c;
    bool same = ListItems->count() == names.size();
    for (int i = 0; same && i < names.size(); ++i)
        same = ListItems->item(i)->data(Qt::UserRole).toByteArray() == names[i];
    m_syncing = true;
    if (!same) {
        const int row = ListItems->currentRow();
        ListItems->clear();
        for (const QByteArray& n : names) {
            auto* item = new QListWidgetItem(QString::fromLatin1(n), ListItems);
            item->setData(Qt::UserRole, n);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        }
        ListItems->setCurrentRow(std::min(row, int(names.size()) - 1));
    }
    for (int i = 0; i < ListItems->count(); ++i) {
        QListWidgetItem* item = ListItems->item(i);
        item->setCheckState(h.isChosen(names[i]) ? Qt::Checked : Qt::Unchecked);
    }
    m_syncing = false;
    LabelSource->setText(m_file ? QStringLiteral("Showing %1").arg(windowFilePath())
                                : QStringLiteral("Showing the measurements"));
    CommandLive->setEnabled(m_file != nullptr);
}

void FrmTrend::itemChanged(QListWidgetItem* item)
{
    if (m_syncing)
        return;
    const QByteArray name = item->data(Qt::UserRole).toByteArray();
    const bool want = item->checkState() == Qt::Checked;
    if (!source().setChosen(name, want)) {
        m_syncing = true;
        item->setCheckState(Qt::Unchecked);
        m_syncing = false;
        LabelCursor->setText(
            QStringLiteral("At most %1 items are drawn.").arg(TrendHistory::MaxChosen));
        return;
    }
    redraw();
}

FrmTrend::Chart& FrmTrend::chart(int i)
{
    while (int(m_charts.size()) <= i) {
        Chart c;
        c.chart = new QChart;
        c.chart->legend()->hide();
        c.chart->setMargins(QMargins(4, 2, 4, 2));
        c.chart->setBackgroundRoundness(0);
        QFont f = c.chart->titleFont();
        f.setPointSizeF(f.pointSizeF() * 0.9);
        c.chart->setTitleFont(f);
        c.timeAxis = new QDateTimeAxis(c.chart);
        c.timeAxis->setFormat(QStringLiteral("HH:mm:ss"));
        c.timeAxis->setTickCount(6);
        c.rowAxis = new QValueAxis(c.chart);
        c.rowAxis->setLabelFormat(QStringLiteral("%d"));
        c.yAxis = new QValueAxis(c.chart);
        c.yAxis->setTickCount(3);
        QFont small = c.yAxis->labelsFont();
        small.setPointSizeF(small.pointSizeF() * 0.8);
        for (QAbstractAxis* a :
             {static_cast<QAbstractAxis*>(c.timeAxis), static_cast<QAbstractAxis*>(c.rowAxis),
              static_cast<QAbstractAxis*>(c.yAxis)})
            a->setLabelsFont(small);
        c.chart->addAxis(c.yAxis, Qt::AlignLeft);
        c.dots = new QScatterSeries(c.chart);
        c.dots->setMarkerSize(4);
        const QColor colour = kColours[m_charts.size() % TrendHistory::MaxChosen];
        c.dots->setColor(colour);
        c.dots->setBorderColor(colour);
        c.chart->addSeries(c.dots);
        c.dots->attachAxis(c.yAxis);
        c.view = new QChartView(c.chart, Charts);
        c.view->setObjectName(QStringLiteral("Chart%1").arg(m_charts.size() + 1));
        c.view->setRenderHint(QPainter::Antialiasing, false);
        c.view->setMinimumHeight(90);
        c.view->setMouseTracking(true);
        c.view->viewport()->setMouseTracking(true);
        c.view->viewport()->installEventFilter(this);
        ChartsLayout->addWidget(c.view, 1); // the charts share the height equally
        m_charts.push_back(c);
        useAxis(m_charts.back(), timed() ? static_cast<QAbstractAxis*>(m_charts.back().timeAxis)
                                         : m_charts.back().rowAxis);
    }
    return m_charts[std::size_t(i)];
}

void FrmTrend::useAxis(Chart& c, QAbstractAxis* x)
{
    for (QAbstractAxis* a : c.chart->axes(Qt::Horizontal))
        c.chart->removeAxis(a);
    c.chart->addAxis(x, Qt::AlignBottom);
    c.dots->attachAxis(x);
    for (QLineSeries* s : c.lines)
        s->attachAxis(x);
}

void FrmTrend::redraw()
{
    const TrendHistory& h = source();
    const QList<QByteArray>& chosen = h.chosen();
    qint64 x0 = std::numeric_limits<qint64>::max();
    qint64 x1 = std::numeric_limits<qint64>::min();
    for (const QByteArray& name : chosen) {
        const TrendHistory::Series s = h.series(name);
        if (s.size() > 0) {
            x0 = std::min(x0, s.x(0));
            x1 = std::max(x1, s.x(s.size() - 1));
        }
    }
    if (x0 > x1)
        x0 = x1 = timed() ? QDateTime::currentMSecsSinceEpoch() : 0;
    if (x1 - x0 < (timed() ? 10'000 : 10))
        x0 = x1 - (timed() ? 10'000 : 10);

    m_shown = int(chosen.size());
    QList<TrendPlot> plots;
    for (int i = 0; i < m_shown; ++i)
        plots << drawChart(chart(i), chosen[i], x0, x1, i == m_shown - 1);
    for (std::size_t i = std::size_t(m_shown); i < m_charts.size(); ++i)
        m_charts[i].view->hide();
    alignPlots();
    for (int i = 0; i < m_shown; ++i)
        fillChart(m_charts[std::size_t(i)], plots[i]);
}

void FrmTrend::alignPlots()
{
    // One time axis for all: every chart's plot area gets the same left and right edges,
    // whatever the width of its scale's labels.
    if (m_shown == 0)
        return;
    qreal left = 0, right = std::numeric_limits<qreal>::max();
    for (int i = 0; i < m_shown; ++i) {
        QChart* chart = m_charts[std::size_t(i)].chart;
        chart->setPlotArea(QRectF());
        if (QGraphicsLayout* layout = chart->layout())
            layout->activate();
        left = std::max(left, chart->plotArea().left());
        right = std::min(right, chart->plotArea().right());
    }
    for (int i = 0; i < m_shown; ++i) {
        QChart* chart = m_charts[std::size_t(i)].chart;
        const QRectF area = chart->plotArea();
        if (right > left)
            chart->setPlotArea(QRectF(left, area.top(), right - left, area.height()));
    }
}

void FrmTrend::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // The charts follow the window's new size first.
    QTimer::singleShot(0, this, [this] { alignPlots(); });
}

TrendPlot FrmTrend::drawChart(Chart& c, const QByteArray& name, qint64 x0, qint64 x1, bool labels)
{
    // Every change to a chart that holds points lays all of them out anew, so the points
    // go out first and come back (fillChart) once the scales and the plot area are set.
    for (QLineSeries* s : c.lines)
        s->clear();
    c.dots->clear();

    const TrendHistory& h = source();
    QAbstractAxis* x = timed() ? static_cast<QAbstractAxis*>(c.timeAxis) : c.rowAxis;
    if (!c.chart->axes(Qt::Horizontal).contains(x))
        useAxis(c, x);
    if (timed())
        c.timeAxis->setRange(QDateTime::fromMSecsSinceEpoch(x0),
                             QDateTime::fromMSecsSinceEpoch(x1));
    else
        c.rowAxis->setRange(double(x0), double(x1));
    x->setLabelsVisible(labels);
    c.name = name;
    // The instrument's own text of the last value; a number read back for an item chosen
    // after the last measurement.
    const TrendHistory::Series series = h.series(name);
    QString last = QString::fromLatin1(h.lastText(name));
    if (last.isEmpty() && series.size() > 0)
        last = gapOrNumber(series.y(series.size() - 1));
    c.chart->setTitle(QStringLiteral("%1   %2").arg(QString::fromLatin1(name), last));
    c.view->setAccessibleName(QStringLiteral("Chart of %1").arg(QString::fromLatin1(name)));

    const int columns = std::max(50, int(c.chart->plotArea().width()));
    TrendPlot plot = PlotColumns(series, x0, x1, columns);
    while (plot.lines.size() > kMaxLines) {
        QList<QPointF> tail = plot.lines.takeLast();
        plot.lines.last() += tail;
    }
    const QColor colour = c.dots->color();
    while (c.lines.size() < plot.lines.size()) {
        auto* s = new QLineSeries(c.chart);
        s->setPen(QPen(colour, 1.5));
        c.chart->addSeries(s);
        s->attachAxis(c.chart->axes(Qt::Horizontal).front());
        s->attachAxis(c.yAxis);
        c.lines << s;
    }
    double lo = plot.hasNumbers ? plot.yMin : 0, hi = plot.hasNumbers ? plot.yMax : 1;
    const double pad = hi > lo ? (hi - lo) * 0.08 : std::max(std::abs(hi) * 0.05, 1e-3);
    c.yAxis->setRange(lo - pad, hi + pad);
    c.view->show();
    return plot;
}

void FrmTrend::fillChart(Chart& c, const TrendPlot& plot)
{
    for (qsizetype i = 0; i < plot.lines.size(); ++i)
        c.lines[i]->replace(plot.lines[i]);
    c.dots->replace(plot.dots);
}

QString FrmTrend::xText(qint64 x) const
{
    return timed()
               ? QDateTime::fromMSecsSinceEpoch(x).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
               : QStringLiteral("row %1").arg(x);
}

QString FrmTrend::hoverText(int chart, double x) const
{
    if (chart < 0 || chart >= m_shown)
        return {};
    const QByteArray& name = m_charts[std::size_t(chart)].name;
    const TrendHistory::Series s = source().series(name);
    if (s.size() == 0)
        return {};
    const qint64 at = qint64(std::llround(x));
    qsizetype i = std::min(s.lowerBound(at), s.size() - 1);
    if (i > 0 && at - s.x(i - 1) < s.x(i) - at)
        --i;
    return QStringLiteral("%1   %2   %3")
        .arg(QString::fromLatin1(name), xText(s.x(i)), gapOrNumber(s.y(i)));
}

bool FrmTrend::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseMove) {
        for (int i = 0; i < m_shown; ++i) {
            const Chart& c = m_charts[std::size_t(i)];
            if (c.view->viewport() != watched)
                continue;
            const QPoint pos = static_cast<QMouseEvent*>(event)->position().toPoint();
            const QPointF value = c.chart->mapToValue(c.view->mapToScene(pos));
            const QString text = hoverText(i, value.x());
            LabelCursor->setText(text);
            QToolTip::showText(c.view->viewport()->mapToGlobal(pos), text, c.view);
        }
    }
    return QWidget::eventFilter(watched, event);
}

bool FrmTrend::savePicture(const QString& path)
{
    if (!Charts->grab().save(path, "PNG")) {
        MessageService::warning(QStringLiteral("The picture could not be written to %1.")
                                    .arg(QDir::toNativeSeparators(path)));
        return false;
    }
    return true;
}

bool FrmTrend::saveData(const QString& path)
{
    // Every item holds one value per measurement up to the last, so the items line up from
    // the end; an item chosen later has nothing for the earlier rows.
    const TrendHistory& h = source();
    QList<TrendHistory::Series> series;
    qsizetype rows = 0;
    QByteArray out = timed() ? "time" : "row";
    for (const QByteArray& name : h.chosen()) {
        series << h.series(name);
        rows = std::max(rows, series.back().size());
        out += ',' + name;
    }
    out += '\n';
    for (qsizetype r = 0; r < rows; ++r) {
        qint64 x = 0;
        QByteArray line;
        for (const TrendHistory::Series& s : series) {
            const qsizetype i = r - (rows - s.size());
            line += ',';
            if (i < 0)
                continue;
            x = s.x(i);
            if (!std::isnan(s.y(i)))
                line += QByteArray::number(s.y(i), 'g', 7);
        }
        out += (timed() ? QDateTime::fromMSecsSinceEpoch(x).toString(Qt::ISODateWithMs).toLatin1()
                        : QByteArray::number(x)) +
               line + '\n';
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(out) != out.size() || !file.commit()) {
        MessageService::warning(QStringLiteral("The data could not be written to %1: %2.")
                                    .arg(QDir::toNativeSeparators(path), file.errorString()));
        return false;
    }
    return true;
}

bool FrmTrend::openLog(const QString& path)
{
    QFile file(path);
    const QString shown = QDir::toNativeSeparators(path);
    if (!file.open(QIODevice::ReadOnly)) {
        MessageService::warning(
            QStringLiteral("%1 could not be opened: %2.").arg(shown, file.errorString()));
        return false;
    }
    TrendFile read = ReadTrendFile(file.readAll());
    if (!read.history) {
        MessageService::warning(
            QStringLiteral("%1 is neither a measurement log nor a CSV of pqlink-cli measure.\n%2")
                .arg(shown, read.error));
        return false;
    }
    // The items drawn live are drawn from the file too, else its first item.
    for (const QByteArray& name : m_live->chosen())
        read.history->setChosen(name, true);
    if (read.history->chosen().isEmpty() && !read.history->names().isEmpty())
        read.history->setChosen(read.history->names().front(), true);
    m_file = std::move(read.history);
    m_fileTimed = read.timed;
    setWindowFilePath(shown);
    syncItems();
    redraw();
    return true;
}

void FrmTrend::showLive()
{
    m_file.reset();
    setWindowFilePath(QString());
    syncItems();
    redraw();
}

void FrmTrend::OpenLog_Click()
{
    // The file dialog runs a loop of its own, in which this window may be unloaded.
    const QPointer<FrmTrend> self(this);
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("Open log"), QString(),
        QStringLiteral("Measurement logs (*.log *.csv);;All files (*)"));
    if (self && !m_unloaded && !path.isEmpty())
        openLog(path);
}

void FrmTrend::Live_Click()
{
    showLive();
}

void FrmTrend::SavePicture_Click()
{
    // The file dialog runs a loop of its own, in which this window may be unloaded.
    const QPointer<FrmTrend> self(this);
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save picture"),
                                                      QStringLiteral("trend.png"),
                                                      QStringLiteral("PNG pictures (*.png)"));
    if (self && !m_unloaded && !path.isEmpty())
        savePicture(path);
}

void FrmTrend::SaveData_Click()
{
    // The file dialog runs a loop of its own, in which this window may be unloaded.
    const QPointer<FrmTrend> self(this);
    const QString path =
        QFileDialog::getSaveFileName(this, QStringLiteral("Save data"), QStringLiteral("trend.csv"),
                                     QStringLiteral("CSV files (*.csv)"));
    if (self && !m_unloaded && !path.isEmpty())
        saveData(path);
}
