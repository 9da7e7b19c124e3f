#pragma once
// Qt drawing of a report list: a tree widget without branches, one top-level item per
// row, a header the user can resize, and the rows changed in place so that the
// scroll position stays where the user left it.

#include <QPoint>
#include <QTreeWidget>

#include "platform/UiControl.h"

namespace talvex::platform::qt {

QTreeWidget* MakeReportList(QWidget* parent);
/// The header's texts and, for columns new to it, their first widths.
void ShowReportColumns(QTreeWidget& table, const Control& control);
/// The rows' cells, changing only the items whose text differs.
void ShowReportRows(QTreeWidget& table, const Control& control);
/// Selects the control's ListIndex (or nothing) without scrolling the table.
void ShowReportSelection(QTreeWidget& table, const Control& control);
/// The row at a point of the table's viewport; -1 for none.
int ReportRowAt(const QTreeWidget& table, QPoint inViewport);

}  // namespace talvex::platform::qt
