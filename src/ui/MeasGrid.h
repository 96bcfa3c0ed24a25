#pragma once

#include <QtGlobal>

class FlexGrid;
class MeasLists;

// Showing the measured items in the measurement window's grid.
namespace MeasGrid {

// Row 0: "HEADDER" over the names, "DATA" over the values; the two column widths.
void titles(FlexGrid& grid);
// Names and values of items 1..n; the grid gets n + 1 rows.
void fillFull(FlexGrid& grid, const MeasLists& lists, qint32 n);
// Values of items 1..n into column 1; names and row count stay. Values beyond the grid's
// item rows are not shown.
void fillValues(FlexGrid& grid, const MeasLists& lists, qint32 n);

} // namespace MeasGrid
