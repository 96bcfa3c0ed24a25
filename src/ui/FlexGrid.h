#pragma once

#include <QTableWidget>

// A grid addressed like a flex grid: a current row and column, a row count that includes the
// fixed title row 0, the text of the current cell, and column widths in twips. Row 0 is the
// table's header (so it stays in view while the rows scroll); column 0 is drawn title-style.
class FlexGrid : public QTableWidget
{
    Q_OBJECT
public:
    // pixelsPerTwip: 1/15 at 96 DPI, scaled for the screen.
    explicit FlexGrid(int cols, double pixelsPerTwip, QWidget* parent = nullptr);

    int Rows() const { return rowCount() + 1; }
    void setRows(int rows);
    int Cols() const { return columnCount(); }
    int Row() const { return m_row; }
    void setRow(int row) { m_row = row; }
    int Col() const { return m_col; }
    void setCol(int col) { m_col = col; }

    // The current cell; setText needs it inside the grid (callers clamp their rows).
    QString Text() const { return TextMatrix(m_row, m_col); }
    void setText(const QString& text);

    QString TextMatrix(int row, int col) const;

    int ColWidth(int col) const;
    void setColWidth(int col, int twips);

private:
    double m_pixelsPerTwip;
    QList<int> m_colTwips;
    int m_row = 0;
    int m_col = 0;
    QBrush m_fixedBrush;
};
