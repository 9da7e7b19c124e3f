#include "platform/win32/Win32ControlView.h"

#include <algorithm>

#include "platform/win32/Win32CommonControls.h"
#include "platform/win32/Win32Dpi.h"
#include "platform/win32/Win32FormView.h"
#include "platform/win32/Win32ReportList.h"
#include "platform/win32/Win32Text.h"

namespace talvex::platform::win32 {

namespace {

bool IsPainted(ControlKind kind) {
    return kind == ControlKind::Label || kind == ControlKind::Picture ||
           kind == ControlKind::Shape || kind == ControlKind::Line || kind == ControlKind::Frame;
}

int ShiftOf(WPARAM keys) {
    return (keys & MK_SHIFT ? 1 : 0) | (keys & MK_CONTROL ? 2 : 0) |
           (GetKeyState(VK_MENU) < 0 ? 4 : 0);
}

std::wstring TextOf(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

// A picture that stands for a choice (a language's flag) names it on hover too.
std::string TipOf(const Control& control) {
    const std::string& tip = control.Style().toolTip;
    if (!tip.empty() || control.Kind() != ControlKind::Picture) return tip;
    return WithoutAccessKey(control.Caption());
}

}  // namespace

Win32ControlView::Win32ControlView(Win32FormView& form, Control& control,
                                   std::weak_ptr<bool> formAlive)
    : m_form(form), m_control(control), m_formAlive(std::move(formAlive)) {
    if (IsPainted(control.Kind())) {
        Repaint();
        return;
    }
    m_id = form.NextId();
    m_hwnd = MakeWindow();
    form.Register(m_id, this);
    if (control.Kind() == ControlKind::ReportList) PrepareReportList(m_hwnd);
    Subclass(m_hwnd, &SubclassProc, 1, reinterpret_cast<DWORD_PTR>(this));
    ApplyAll();
}

Win32ControlView::~Win32ControlView() {
    *m_alive = false;
    if (m_backBrush) DeleteObject(m_backBrush);
    // A form that is gone has taken its child windows with it.
    if (!FormAlive()) return;
    if (m_hwnd) {
        m_form.Unregister(m_id);
        Unsubclass(m_hwnd, &SubclassProc, 1);
        DestroyWindow(m_hwnd);
    } else {
        m_form.InvalidateArea(m_lastArea);
        m_form.ToolTips().SetArea(reinterpret_cast<UINT_PTR>(&m_control), m_lastArea, "");
    }
}

HWND Win32ControlView::MakeWindow() {
    const wchar_t* windowClass = L"BUTTON";
    DWORD style = WS_CHILD | WS_TABSTOP | WS_CLIPSIBLINGS;
    DWORD exStyle = 0;
    switch (m_control.Kind()) {
        case ControlKind::CheckBox:
            style |= BS_3STATE;  // the model toggles it, greyed included
            break;
        case ControlKind::OptionButton:
            style |= BS_RADIOBUTTON;  // the model keeps the group
            break;
        case ControlKind::PushButton:
            style |= BS_PUSHBUTTON;
            break;
        case ControlKind::ListBox:
            windowClass = L"LISTBOX";
            style |= LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL;
            exStyle = WS_EX_CLIENTEDGE;
            break;
        case ControlKind::TextBox:
            windowClass = L"EDIT";
            style |= ES_AUTOHSCROLL;
            exStyle = WS_EX_CLIENTEDGE;
            break;
        case ControlKind::Slider:
            windowClass = TRACKBAR_CLASSW;
            style |= TBS_HORZ | TBS_AUTOTICKS;
            break;
        case ControlKind::ReportList:
            windowClass = WC_LISTVIEWW;
            style |= LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER;
            exStyle = WS_EX_CLIENTEDGE;
            break;
        default:
            break;
    }
    return CreateWindowExW(exStyle, windowClass, L"", style, 0, 0, 0, 0, m_form.Window(),
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(m_id)),
                           GetModuleHandleW(nullptr), nullptr);
}

void Win32ControlView::Repaint() {
    const RECT now = m_form.PixelRect(m_control);
    RECT area{};
    UnionRect(&area, &m_lastArea, &now);
    m_lastArea = now;
    m_form.InvalidateArea(area);
    m_form.ToolTips().SetArea(reinterpret_cast<UINT_PTR>(&m_control), now,
                              m_control.Visible() ? TipOf(m_control) : std::string());
}

void Win32ControlView::Update(UiProperty what) {
    if (!m_hwnd) {
        Repaint();
        return;
    }
    switch (what) {
        case UiProperty::Caption:
            ApplyCaption();
            break;
        case UiProperty::Value:
            ApplyValue();
            break;
        case UiProperty::Items:
            ApplyItems();
            break;
        case UiProperty::Rect:
            ApplyRect();
            break;
        case UiProperty::Visible:
            ShowWindow(m_hwnd, m_control.Visible() ? SW_SHOWNA : SW_HIDE);
            break;
        case UiProperty::Enabled:
            EnableWindow(m_hwnd, m_control.Enabled());
            break;
        case UiProperty::Style:
            ApplyStyle();
            break;
        case UiProperty::Range:
            ApplyRange();
            break;
        case UiProperty::Picture:
            break;
        case UiProperty::Keyboard:
            ApplyKeyboard();
            break;
        case UiProperty::Focus:
            SetFocus(m_hwnd);
            break;
        case UiProperty::Columns:
            ShowReportColumns(m_hwnd, m_control, m_form.Dpi());
            ApplyItems();
            break;
    }
}

// The dialog manager's Tab walks the controls that carry WS_TABSTOP: those the model
// names as tab stops, and of a group of option buttons the selected one (the arrows
// reach the others). A default push button is drawn and pressed as one by Enter.
void Win32ControlView::ApplyKeyboard() {
    const bool stop = m_control.Kind() == ControlKind::OptionButton ? m_control.Value() == 1
                                                                    : m_control.TabStop();
    LONG_PTR style = GetWindowLongPtrW(m_hwnd, GWL_STYLE);
    style = stop ? (style | WS_TABSTOP) : (style & ~static_cast<LONG_PTR>(WS_TABSTOP));
    SetWindowLongPtrW(m_hwnd, GWL_STYLE, style);
    if (m_control.Kind() == ControlKind::PushButton) {
        SendMessageW(m_hwnd, BM_SETSTYLE, m_control.Default() ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON,
                     TRUE);
    }
}

void Win32ControlView::ApplyAll() {
    ApplyRect();
    ApplyStyle();
    ApplyCaption();
    if (m_control.Kind() == ControlKind::ReportList) {
        ShowReportColumns(m_hwnd, m_control, m_form.Dpi());
    }
    ApplyItems();
    ApplyRange();
    ApplyValue();
    ApplyKeyboard();
    EnableWindow(m_hwnd, m_control.Enabled());
    ShowWindow(m_hwnd, m_control.Visible() ? SW_SHOWNA : SW_HIDE);
}

void Win32ControlView::ApplyRect() {
    const RECT box = m_form.PixelRect(m_control);
    MoveWindow(m_hwnd, box.left, box.top, box.right - box.left, box.bottom - box.top, TRUE);
}

void Win32ControlView::ApplyCaption() {
    const ControlKind kind = m_control.Kind();
    if (kind == ControlKind::CheckBox || kind == ControlKind::OptionButton ||
        kind == ControlKind::PushButton) {
        SetWindowTextW(m_hwnd, Widen(m_control.Caption()).c_str());
    }
}

void Win32ControlView::ApplyValue() {
    m_syncing = true;
    const std::int32_t value = m_control.Value();
    switch (m_control.Kind()) {
        case ControlKind::CheckBox:
            SendMessageW(m_hwnd, BM_SETCHECK,
                         value == 1   ? BST_CHECKED
                         : value == 2 ? BST_INDETERMINATE
                                      : BST_UNCHECKED,
                         0);
            break;
        case ControlKind::OptionButton:
            SendMessageW(m_hwnd, BM_SETCHECK, value == 1 ? BST_CHECKED : BST_UNCHECKED, 0);
            break;
        case ControlKind::ListBox:
            SendMessageW(m_hwnd, LB_SETCURSEL, static_cast<WPARAM>(m_control.ListIndex()), 0);
            break;
        case ControlKind::ReportList:
            ShowReportSelection(m_hwnd, m_control);
            break;
        case ControlKind::TextBox: {
            const std::wstring text = Widen(m_control.Text());
            if (TextOf(m_hwnd) != text) {
                SetWindowTextW(m_hwnd, text.c_str());
                SendMessageW(m_hwnd, EM_SETSEL, text.size(), text.size());
            }
            break;
        }
        case ControlKind::Slider:
            SendMessageW(m_hwnd, TBM_SETPOS, TRUE, value);
            break;
        default:
            break;
    }
    m_syncing = false;
}

// Follows the model's list by changing only what changed between the lines both
// share at the start and at the end: a log that grows at one end and drops at the
// other is not filled anew for every line.
void Win32ControlView::ApplyItems() {
    if (m_control.Kind() == ControlKind::ReportList) {
        m_syncing = true;
        ShowReportRows(m_hwnd, m_control, m_shownRows);
        m_syncing = false;
        ApplyValue();
        return;
    }
    if (m_control.Kind() != ControlKind::ListBox) return;
    const std::vector<std::string>& items = m_control.Items();
    const std::size_t shortest = std::min(items.size(), m_shownItems.size());
    std::size_t head = 0;
    while (head < shortest && items[head] == m_shownItems[head]) ++head;
    std::size_t tail = 0;
    while (tail < shortest - head &&
           items[items.size() - 1 - tail] == m_shownItems[m_shownItems.size() - 1 - tail]) {
        ++tail;
    }
    const std::size_t removed = m_shownItems.size() - head - tail;
    const std::size_t added = items.size() - head - tail;
    const bool many = removed + added > 8;
    if (many) SendMessageW(m_hwnd, WM_SETREDRAW, FALSE, 0);
    for (std::size_t i = 0; i < removed; ++i) SendMessageW(m_hwnd, LB_DELETESTRING, head, 0);
    for (std::size_t i = 0; i < added; ++i) {
        SendMessageW(m_hwnd, LB_INSERTSTRING, head + i,
                     reinterpret_cast<LPARAM>(Widen(items[head + i]).c_str()));
    }
    if (many) {
        SendMessageW(m_hwnd, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(m_hwnd, nullptr, TRUE);
    }
    m_shownItems = items;
    ApplyValue();
}

void Win32ControlView::ApplyRange() {
    if (m_control.Kind() != ControlKind::Slider) return;
    m_syncing = true;
    SendMessageW(m_hwnd, TBM_SETRANGEMIN, FALSE, m_control.Min());
    SendMessageW(m_hwnd, TBM_SETRANGEMAX, TRUE, m_control.Max());
    const std::int32_t frequency = m_control.TickFrequency();
    LONG_PTR style = GetWindowLongPtrW(m_hwnd, GWL_STYLE);
    style = frequency > 0 ? (style & ~static_cast<LONG_PTR>(TBS_NOTICKS)) : (style | TBS_NOTICKS);
    SetWindowLongPtrW(m_hwnd, GWL_STYLE, style);
    if (frequency > 0) SendMessageW(m_hwnd, TBM_SETTICFREQ, static_cast<WPARAM>(frequency), 0);
    m_syncing = false;
    ApplyValue();
}

void Win32ControlView::ApplyStyle() {
    m_form.ToolTips().SetWindow(m_hwnd, m_control.Style().toolTip);
    SendMessageW(m_hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(m_form.FontFor(m_control.Style())),
                 TRUE);
    if (m_backBrush) DeleteObject(m_backBrush);
    m_backBrush = nullptr;
    InvalidateRect(m_hwnd, nullptr, TRUE);
}

HBRUSH Win32ControlView::BackBrush() {
    const auto& back = m_control.Style().backColor;
    if (!m_backBrush && back) m_backBrush = CreateSolidBrush(RGB(back->r, back->g, back->b));
    return m_backBrush;
}

void Win32ControlView::DpiChanged() {
    if (!m_hwnd) return;
    ApplyRect();
    ApplyStyle();
}

void Win32ControlView::OnCommand(WORD code) {
    if (m_syncing || !FormAlive()) return;
    const auto alive = m_alive;
    bool acted = true;
    switch (m_control.Kind()) {
        case ControlKind::CheckBox:
        case ControlKind::OptionButton:
        case ControlKind::PushButton:
            acted = code == BN_CLICKED;
            if (acted) m_control.UserClick();
            break;
        case ControlKind::ListBox:
            if (code == LBN_SELCHANGE) {
                m_control.UserSelect(
                    static_cast<std::int32_t>(SendMessageW(m_hwnd, LB_GETCURSEL, 0, 0)));
            } else if (code == LBN_DBLCLK) {
                m_control.UserDblClick();
            } else {
                acted = false;
            }
            break;
        case ControlKind::TextBox:
            // (Not on EN_UPDATE, which comes before the change is complete.)
            acted = code == EN_CHANGE;
            if (acted) m_control.UserType(Narrow(TextOf(m_hwnd)));
            break;
        default:
            acted = false;
            break;
    }
    // The model decides: show what it holds now (a refused change springs back).
    if (acted && *alive) ApplyValue();
}

void Win32ControlView::OnNotify(const NMHDR& header, LPARAM lParam) {
    if (m_syncing || !FormAlive() || m_control.Kind() != ControlKind::ReportList) return;
    const auto alive = m_alive;
    if (header.code == LVN_ITEMCHANGED) {
        const auto* change = reinterpret_cast<const NMLISTVIEW*>(lParam);
        const bool nowSelected = (change->uNewState & LVIS_SELECTED) != 0;
        if (!nowSelected || (change->uOldState & LVIS_SELECTED) != 0) return;
        m_control.UserSelect(change->iItem);
    } else if (header.code == NM_DBLCLK) {
        m_control.UserDblClick();
    } else {
        return;
    }
    if (*alive) ApplyValue();
}

void Win32ControlView::OnScroll() {
    if (m_syncing) return;
    const auto alive = m_alive;
    m_control.UserSlide(static_cast<std::int32_t>(SendMessageW(m_hwnd, TBM_GETPOS, 0, 0)));
    if (*alive) ApplyValue();
}

bool Win32ControlView::Filter(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    // While the form goes, its windows still hear of it (focus, destruction); the
    // program must not.
    if (!FormAlive()) return false;
    const bool textBox = m_control.Kind() == ControlKind::TextBox;
    switch (message) {
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP: {
            const int button =
                message == WM_LBUTTONDOWN || message == WM_LBUTTONUP ? kLeftButton : kRightButton;
            const std::int32_t x = Twips(GET_X_LPARAM(lParam), m_form.Dpi());
            const std::int32_t y = Twips(GET_Y_LPARAM(lParam), m_form.Dpi());
            const auto alive = m_alive;
            const bool report = m_control.Kind() == ControlKind::ReportList;
            if (report && message == WM_RBUTTONDOWN) {
                // The row under the mouse first, so that the menu the press opens is its.
                const int row = ReportRowAt(m_hwnd, {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
                if (row >= 0) m_control.UserSelect(row);
                if (*alive) ApplyValue();
            }
            if (message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN) {
                m_control.UserMouseDown(button, ShiftOf(wParam), x, y);
            } else {
                m_control.UserMouseUp(button, ShiftOf(wParam), x, y);
            }
            // A handler that closed the form leaves nothing to click.
            if (!*alive) {
                result = 0;
                return true;
            }
            // The list view's own right press waits for a drag and would select again.
            if (report && message == WM_RBUTTONDOWN) {
                result = 0;
                return true;
            }
            return false;
        }
        case WM_CHAR:
            if (!textBox || !m_control.OnKeyPress) return false;
            {
                const std::int32_t kept = m_control.FilterKey(static_cast<std::int32_t>(wParam));
                if (kept == static_cast<std::int32_t>(wParam)) return false;
                // Discarded, or replaced by the handler.
                result =
                    kept == 0 ? 0 : DefSubclass(m_hwnd, message, static_cast<WPARAM>(kept), lParam);
                return true;
            }
        case WM_PASTE:
        case WM_CONTEXTMENU:
            // Pasting would pass by the key filter.
            if (!textBox || !m_control.OnKeyPress) return false;
            result = 0;
            return true;
        case WM_KILLFOCUS: {
            if (!textBox) return false;
            const auto alive = m_alive;
            result = DefSubclass(m_hwnd, message, wParam, lParam);
            // Only a move to another control of the form counts, not the window
            // losing the front.
            const auto next = reinterpret_cast<HWND>(wParam);
            if (*alive && next && IsChild(m_form.Window(), next)) m_control.UserLeave();
            return true;
        }
        default:
            return false;
    }
}

LRESULT CALLBACK Win32ControlView::SubclassProc(HWND hwnd, UINT message, WPARAM wParam,
                                                LPARAM lParam, UINT_PTR, DWORD_PTR data) {
    auto* view = reinterpret_cast<Win32ControlView*>(data);
    LRESULT result = 0;
    if (view && view->Filter(message, wParam, lParam, result)) return result;
    return DefSubclass(hwnd, message, wParam, lParam);
}

}  // namespace talvex::platform::win32
