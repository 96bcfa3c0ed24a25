#include "FlexGrid.h"

#include <QHeaderView>

#include <cmath>

FlexGrid::FlexGrid(int cols, double pixelsPerTwip, QWidget* parent)
    : QTableWidget(0, cols, parent), m_pixelsPerTwip(pixelsPerTwip), m_colTwips(cols, 0),
      m_fixedBrush(palette().brush(QPalette::Button))
{
    verticalHeader()->hide();
    // Fixed sections: measuring rows by their contents would cost far more than the fill.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    // Rows as tight as a flex grid's (240 twips), but never lower than the text.
    const int rowHeight =
        std::max(static_cast<int>(std::lround(240 * pixelsPerTwip)), fontMetrics().height() + 2);
    verticalHeader()->setMinimumSectionSize(0);
    verticalHeader()->setDefaultSectionSize(rowHeight);
    horizontalHeader()->setMinimumHeight(rowHeight);
    horizontalHeader()->setMaximumHeight(rowHeight);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setHighlightSections(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setWordWrap(false);
    for (int c = 0; c < cols; ++c)
        setHorizontalHeaderItem(c, new QTableWidgetItem);
}

void FlexGrid::setRows(int rows)
{
    setRowCount(std::max(rows, 1) - 1);
    m_row = std::min(m_row, std::max(rows, 1) - 1);
}

void FlexGrid::setText(const QString& text)
{
    if (m_row == 0) {
        horizontalHeaderItem(m_col)->setText(text);
        return;
    }
    if (QTableWidgetItem* it = item(m_row - 1, m_col)) {
        it->setText(text);
        return;
    }
    auto* it = new QTableWidgetItem(text);
    if (m_col == 0) {
        it->setBackground(m_fixedBrush);
        it->setFlags(Qt::ItemIsEnabled);
    }
    setItem(m_row - 1, m_col, it);
}

QString FlexGrid::TextMatrix(int row, int col) const
{
    if (col < 0 || col >= columnCount() || row < 0 || row > rowCount())
        return {};
    const QTableWidgetItem* it = row == 0 ? horizontalHeaderItem(col) : item(row - 1, col);
    return it ? it->text() : QString();
}

int FlexGrid::ColWidth(int col) const
{
    return m_colTwips.value(col);
}

void FlexGrid::setColWidth(int col, int twips)
{
    if (col < 0 || col >= columnCount())
        return;
    m_colTwips[col] = twips;
    setColumnWidth(col, static_cast<int>(std::lround(twips * m_pixelsPerTwip)));
}
