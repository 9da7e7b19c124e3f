// The report list as a real list view, and the tooltips of a form, against real windows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/IUiServices.h"
#include "platform/win32/Win32Api.h"
#include "platform/win32/Win32Ui.h"

namespace talvex {
namespace {

using namespace platform;

HWND Handle(const platform::Form& form) {
    return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(form.Handle()));
}

HWND ChildOfClass(HWND parent, const wchar_t* windowClass) {
    return FindWindowExW(parent, nullptr, windowClass, nullptr);
}

std::wstring CellOf(HWND list, int row, int column) {
    wchar_t text[128] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 128;
    SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return text;
}

std::wstring HeaderOf(HWND list, int column) {
    wchar_t text[128] = {};
    LVCOLUMNW header{};
    header.mask = LVCF_TEXT;
    header.pszText = text;
    header.cchTextMax = 128;
    SendMessageW(list, LVM_GETCOLUMNW, static_cast<WPARAM>(column),
                 reinterpret_cast<LPARAM>(&header));
    return text;
}

// The tooltip window a form owns; null when it has none.
HWND ToolTipOf(HWND form) {
    struct Search {
        HWND form;
        HWND found = nullptr;
    } search{form};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            wchar_t name[64] = {};
            GetClassNameW(window, name, 64);
            if (std::wstring(name) != TOOLTIPS_CLASSW || GetWindow(window, GW_OWNER) != s->form) {
                return TRUE;
            }
            s->found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::vector<std::wstring> TipsOf(HWND form) {
    std::vector<std::wstring> tips;
    HWND tip = ToolTipOf(form);
    if (!tip) return tips;
    const auto count = static_cast<int>(SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        wchar_t text[128] = {};
        TOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.lpszText = text;
        SendMessageW(tip, TTM_ENUMTOOLSW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&tool));
        tips.emplace_back(text);
    }
    return tips;
}

class Win32ReportListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        form = ui->CreateForm("frmTable");
        form->SetBorder(FormBorder::Sizable);
        form->SetClientWidth(9000);
        form->SetHeight(4500 + 345);
    }
    static inline std::unique_ptr<IUiServices> ui = CreateWin32UiServices();
    std::unique_ptr<platform::Form> form;
};

TEST_F(Win32ReportListTest, ColumnsRowsAndARightClickThatSelectsTheRowUnderTheMouse) {
    Control& table = form->Add(ControlKind::ReportList, "tbl", {150, 150, 8000, 3000});
    table.SetColumns({{"Programm", 1500}, {"PID", 750}, {"Grund", 3000}});
    table.SetRows({{"spiel", "4100", "im Vordergrund"},
                   {"kodierer", "23", "beschäftigt"},
                   {"indizierer", "77", "von einem anderen Programm geändert"}});
    std::int32_t selectedAtPress = -2;
    table.OnMouseDown = [&](int button, int, std::int32_t, std::int32_t) {
        if (button == kRightButton) selectedAtPress = table.ListIndex();
    };
    form->Show();
    HWND list = ChildOfClass(Handle(*form), WC_LISTVIEWW);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(HeaderOf(list, 0), L"Programm");
    EXPECT_EQ(HeaderOf(list, 2), L"Grund");
    ASSERT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 3);
    EXPECT_EQ(CellOf(list, 1, 2), L"beschäftigt");
    EXPECT_EQ(CellOf(list, 2, 0), L"indizierer");
    // New rows are written over the old ones: fewer rows, changed cells, header kept.
    table.SetRows({{"spiel", "4100", "nach seiner Regel"}, {"kodierer", "23", "beschäftigt"}});
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 2);
    EXPECT_EQ(CellOf(list, 0, 2), L"nach seiner Regel");
    table.SetColumns({{"Program", 1500}, {"PID", 750}, {"Why", 3000}});
    EXPECT_EQ(HeaderOf(list, 2), L"Why");
    EXPECT_EQ(CellOf(list, 1, 0), L"kodierer");

    // The right button on the second row's last cell selects it before the press is told.
    RECT cell{};
    cell.top = 2;  // the subitem
    cell.left = LVIR_BOUNDS;
    SendMessageW(list, LVM_GETSUBITEMRECT, 1, reinterpret_cast<LPARAM>(&cell));
    const LPARAM at = MAKELPARAM((cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2);
    SendMessageW(list, WM_RBUTTONDOWN, MK_RBUTTON, at);
    SendMessageW(list, WM_RBUTTONUP, 0, at);
    EXPECT_EQ(selectedAtPress, 1);
    EXPECT_EQ(table.ListIndex(), 1);
    EXPECT_EQ(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED), 1);
    // The program's selection shows; the user's click on the first row reaches the model.
    table.SetListIndex(-1);
    EXPECT_EQ(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED), -1);
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&state));
    EXPECT_EQ(table.ListIndex(), 0);
}

TEST_F(Win32ReportListTest, ALanguageFlagNamesItsLanguageInATooltip) {
    Control& flag = form->Add(ControlKind::Picture, "imgGer", {150, 3300, 360, 240});
    flag.SetPicture("flag-de");
    form->Add(ControlKind::Picture, "Picture1", {600, 3300, 360, 240});  // no caption: no tip
    EXPECT_TRUE(TipsOf(Handle(*form)).empty());
    flag.SetCaption("&Deutsch");
    EXPECT_EQ(TipsOf(Handle(*form)), (std::vector<std::wstring>{L"Deutsch"}));
    flag.SetCaption("Fran&çais");
    EXPECT_EQ(TipsOf(Handle(*form)), (std::vector<std::wstring>{L"Français"}));
    // A tip set on the style wins over the caption, and a hidden picture has none.
    ControlStyle style = flag.Style();
    style.toolTip = "Langue : français";
    flag.SetStyle(style);
    EXPECT_EQ(TipsOf(Handle(*form)), (std::vector<std::wstring>{L"Langue : français"}));
    flag.SetVisible(false);
    EXPECT_TRUE(TipsOf(Handle(*form)).empty());
}

}  // namespace
}  // namespace talvex
