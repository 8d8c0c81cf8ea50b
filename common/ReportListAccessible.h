// Screen readers meet a report list as they meet a tree view without
// branches: a tree whose children are the column headers and then the
// cells, row by row; the list answers as a table, each cell as a table cell
// that can be selected ("toggle").
#pragma once

class QModelIndex;

// Makes the report lists answer screen readers; once, later calls do nothing.
void InstallReportListAccessibility();

// The number of the list's child that is the cell at `index` (the column
// headers are the first children).
int ReportListAccessibleChild(const QModelIndex &index);
