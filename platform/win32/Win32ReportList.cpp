#include "platform/win32/Win32ReportList.h"

#include <string>

#include "platform/win32/Win32Dpi.h"
#include "platform/win32/Win32Text.h"

namespace talvex::platform::win32 {

namespace {

int ColumnCount(HWND list) {
    const auto header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    return header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
}

void SetCell(HWND list, int row, int column, const std::string& text) {
    std::wstring wide = Widen(text);
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = wide.data();
    SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

void SetState(HWND list, int row, UINT state, UINT mask) {
    LVITEMW item{};
    item.stateMask = mask;
    item.state = state;
    // Row -1 stands for every row.
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

}  // namespace

void PrepareReportList(HWND list) {
    const DWORD extended = LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER;
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);
}

void ShowReportColumns(HWND list, const Control& control, unsigned dpi) {
    const auto& columns = control.Columns();
    const int wanted = static_cast<int>(columns.size());
    int shown = ColumnCount(list);
    while (shown > wanted) SendMessageW(list, LVM_DELETECOLUMN, static_cast<WPARAM>(--shown), 0);
    for (int i = 0; i < wanted; ++i) {
        const ReportColumn& column = columns[static_cast<std::size_t>(i)];
        std::wstring caption = Widen(column.caption);
        LVCOLUMNW header{};
        header.mask = LVCF_TEXT | LVCF_SUBITEM;
        header.pszText = caption.data();
        header.iSubItem = i;
        if (i < shown) {
            // A width the user has set stays.
            SendMessageW(list, LVM_SETCOLUMNW, static_cast<WPARAM>(i),
                         reinterpret_cast<LPARAM>(&header));
        } else {
            header.mask |= LVCF_WIDTH;
            header.cx = Px(column.widthTwips, dpi);
            SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i),
                         reinterpret_cast<LPARAM>(&header));
        }
    }
}

void ShowReportRows(HWND list, const Control& control, std::vector<ReportRow>& shown) {
    const auto& rows = control.Rows();
    while (shown.size() > rows.size()) {
        shown.pop_back();
        SendMessageW(list, LVM_DELETEITEM, shown.size(), 0);
    }
    while (shown.size() < rows.size()) {
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(shown.size());
        item.pszText = const_cast<wchar_t*>(L"");
        SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        shown.emplace_back();
    }
    const int columns = static_cast<int>(control.Columns().size());
    for (std::size_t r = 0; r < rows.size(); ++r) {
        ReportRow& now = shown[r];
        now.resize(static_cast<std::size_t>(columns));
        for (int c = 0; c < columns; ++c) {
            const auto at = static_cast<std::size_t>(c);
            const std::string text = at < rows[r].size() ? rows[r][at] : std::string();
            if (now[at] == text) continue;
            SetCell(list, static_cast<int>(r), c, text);
            now[at] = text;
        }
    }
}

void ShowReportSelection(HWND list, const Control& control) {
    const int index = control.ListIndex();
    const int selected = static_cast<int>(
        SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (selected == index) return;
    SetState(list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    if (index >= 0)
        SetState(list, index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

int ReportRowAt(HWND list, POINT point) {
    LVHITTESTINFO hit{};
    hit.pt = point;
    const auto row =
        static_cast<int>(SendMessageW(list, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
    return row >= 0 && (hit.flags & LVHT_ONITEM) != 0 ? row : -1;
}

}  // namespace talvex::platform::win32
