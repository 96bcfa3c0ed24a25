#include "MeasGrid.h"

#include "FlexGrid.h"
#include "MeasLists.h"

#include <QString>

namespace MeasGrid {

namespace {

// One byte per character, exactly as the instrument sent it.
QString shown(const QByteArray& text)
{
    return QString::fromLatin1(text);
}

void fillColumn(FlexGrid& grid, int col, qint32 n, const QByteArray& (MeasLists::*entry)(int) const,
                const MeasLists& lists)
{
    grid.setCol(col);
    for (qint32 i = 1; i <= n; ++i) {
        grid.setRow(i);
        grid.setText(shown((lists.*entry)(i - 1)));
    }
}

// Repainting once at the end rather than per cell keeps a 1600-item fill fast.
class Batch
{
public:
    explicit Batch(FlexGrid& grid) : m_grid(grid), m_was(grid.updatesEnabled())
    {
        m_grid.setUpdatesEnabled(false);
    }
    ~Batch() { m_grid.setUpdatesEnabled(m_was); }
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

private:
    FlexGrid& m_grid;
    bool m_was;
};

} // namespace

void titles(FlexGrid& grid)
{
    grid.setCol(0);
    grid.setRow(0);
    grid.setText(QStringLiteral("HEADDER")); // misspelt on purpose, kept as users know it
    grid.setCol(1);
    grid.setText(QStringLiteral("DATA"));
    grid.setColWidth(0, 1900);
    grid.setColWidth(1, 1200);
}

void fillFull(FlexGrid& grid, const MeasLists& lists, qint32 n)
{
    n = qBound(0, n, MeasLists::MaxItems);
    Batch batch(grid);
    grid.setCol(0);
    grid.setRows(n + 1);
    fillColumn(grid, 0, n, &MeasLists::MeasHeader, lists);
    fillColumn(grid, 1, n, &MeasLists::MeasData, lists);
}

void fillValues(FlexGrid& grid, const MeasLists& lists, qint32 n)
{
    n = qBound(0, n, grid.Rows() - 1);
    Batch batch(grid);
    fillColumn(grid, 1, n, &MeasLists::MeasData, lists);
}

} // namespace MeasGrid
