#pragma once
// A report list as the common controls' list view in report mode: one column per
// header text, one item per row, the cells as its subitems. The rows are changed in
// place, so the scroll position and the selection stay where they were.

#include <vector>

#include "platform/UiControl.h"
#include "platform/win32/Win32Api.h"

namespace talvex::platform::win32 {

/// Full-row selection on a freshly made list view.
void PrepareReportList(HWND list);
/// The header's texts; columns new to the list take their first width (at `dpi`).
void ShowReportColumns(HWND list, const Control& control, unsigned dpi);
/// The rows' cells; `shown` is what the list shows now and is brought up to date.
void ShowReportRows(HWND list, const Control& control, std::vector<ReportRow>& shown);
/// Selects the control's ListIndex (or nothing) without scrolling.
void ShowReportSelection(HWND list, const Control& control);
/// The row under a point of the list's client area; -1 for none.
int ReportRowAt(HWND list, POINT point);

}  // namespace talvex::platform::win32
