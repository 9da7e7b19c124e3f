#include "platform/win32/Win32FormView.h"

#include <algorithm>
#include <limits>

#include "platform/win32/Win32Artwork.h"
#include "platform/win32/Win32ControlView.h"
#include "platform/win32/Win32Dpi.h"
#include "platform/win32/Win32Text.h"

namespace talvex::platform::win32 {

namespace {

constexpr UINT kShownMessage = WM_APP + 1;

COLORREF Ref(const Rgb& c) {
    return RGB(c.r, c.g, c.b);
}

DWORD StyleOf(FormBorder border) {
    const DWORD common = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    return border == FormBorder::Sizable ? common | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX
                                         : common;
}

DWORD ExStyleOf(FormBorder border) {
    const DWORD common = WS_EX_CONTROLPARENT;
    if (border == FormBorder::FixedToolWindow) return common | WS_EX_TOOLWINDOW;
    if (border == FormBorder::FixedDialog) return common | WS_EX_DLGMODALFRAME;
    return common;
}

bool IsWindowless(ControlKind kind) {
    return kind == ControlKind::Label || kind == ControlKind::Picture ||
           kind == ControlKind::Shape || kind == ControlKind::Line || kind == ControlKind::Frame;
}

int ShiftOf(WPARAM keys) {
    return (keys & MK_SHIFT ? 1 : 0) | (keys & MK_CONTROL ? 2 : 0) |
           (GetKeyState(VK_MENU) < 0 ? 4 : 0);
}

void RegisterFormClass() {
    static const bool registered = [] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.style = CS_DBLCLKS;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        windowClass.lpszClassName = Win32FormView::kClassName;
        windowClass.lpfnWndProc = DefWindowProcW;  // replaced per window at creation
        return RegisterClassExW(&windowClass) != 0;
    }();
    (void)registered;
}

}  // namespace

Win32FormView::Win32FormView(Form& form) : m_form(form) {
    RegisterFormClass();
    const FormBorder border = form.Border();
    m_hwnd = CreateWindowExW(ExStyleOf(border), kClassName, Widen(form.Caption()).c_str(),
                             StyleOf(border), CW_USEDEFAULT, CW_USEDEFAULT, 100, 100, nullptr,
                             nullptr, GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(m_hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowProc));
    m_dpi = GetDpiForWindow(m_hwnd);
    if (m_dpi == 0) m_dpi = 96;
    m_tips = std::make_unique<Win32ToolTips>(m_hwnd);
    ApplyIcon();
    ApplyGeometry();
}

Win32FormView::~Win32FormView() {
    *m_alive = false;
    m_tips.reset();
    SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 0);
    DestroyWindow(m_hwnd);
    for (const auto& [key, font] : m_fonts) DeleteObject(font);
    if (m_backBrush) DeleteObject(m_backBrush);
    if (m_bigIcon) DestroyIcon(m_bigIcon);
    if (m_smallIcon) DestroyIcon(m_smallIcon);
}

int Win32FormView::Px(std::int32_t twips) const {
    return win32::Px(twips, m_dpi);
}

RECT Win32FormView::PixelRect(const Control& control) const {
    const TwipsRect& r = control.Rect();
    if (control.Kind() == ControlKind::Line) {
        // A line's box may run backwards.
        const int x1 = Px(r.left), y1 = Px(r.top), x2 = Px(r.left + r.width),
                  y2 = Px(r.top + r.height);
        return {std::min(x1, x2), std::min(y1, y2), std::max(x1, x2) + 1, std::max(y1, y2) + 1};
    }
    return {Px(r.left), Px(r.top), Px(r.left + r.width), Px(r.top + r.height)};
}

HFONT Win32FormView::FontFor(const ControlStyle& style) {
    const auto key = std::make_pair(style.bold, style.fontPoints);
    if (const auto found = m_fonts.find(key); found != m_fonts.end()) return found->second;
    // The system's message font at this window's dpi.
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, m_dpi);
    LOGFONTW font = metrics.lfMessageFont;
    if (style.fontPoints > 0)
        font.lfHeight = -MulDiv(style.fontPoints, static_cast<int>(m_dpi), 72);
    if (style.bold) font.lfWeight = FW_BOLD;
    HFONT made = CreateFontIndirectW(&font);
    m_fonts[key] = made;
    return made;
}

void Win32FormView::InvalidateArea(const RECT& area) {
    BackgroundChanged();
    RedrawWindow(m_hwnd, &area, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void Win32FormView::BackgroundChanged() {
    if (m_backBrush) DeleteObject(m_backBrush);
    m_backBrush = nullptr;
}

HBRUSH Win32FormView::BackgroundBrush() {
    if (m_backBrush) return m_backBrush;
    RECT client{};
    GetClientRect(m_hwnd, &client);
    if (client.right <= 0 || client.bottom <= 0) return nullptr;
    HDC screen = GetDC(m_hwnd);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
    HGDIOBJ old = SelectObject(dc, bitmap);
    Paint(dc, client);
    SelectObject(dc, old);
    m_backBrush = CreatePatternBrush(bitmap);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(m_hwnd, screen);
    return m_backBrush;
}

void Win32FormView::Paint(HDC dc, const RECT& area) {
    HBRUSH back = CreateSolidBrush(Ref(m_form.BackColor()));
    FillRect(dc, &area, back);
    DeleteObject(back);
    // The background picture keeps its own size, from the top left corner.
    const SIZE natural = ArtworkSize(m_form.BackPicture());
    if (natural.cx > 0) {
        const int scale = static_cast<int>(m_dpi);
        if (const auto picture = ArtworkBitmap(m_form.BackPicture(), MulDiv(natural.cx, scale, 96),
                                               MulDiv(natural.cy, scale, 96))) {
            picture->Draw(dc, 0, 0);
        }
    }
    SetBkMode(dc, TRANSPARENT);
    for (const auto& control : m_form.Controls()) {
        if (control->Visible() && IsWindowless(control->Kind())) PaintControl(dc, *control);
    }
}

// A label with a buddy has an access key: its "&" underlines the next letter ("&&" is
// an "&"), hidden until Alt is pressed where the system hides them. Other labels, such
// as those that show a program's name, are drawn as their text stands.
UINT Win32FormView::LabelPrefix(const Control& label) const {
    if (label.Buddy().empty()) return DT_NOPREFIX;
    const auto state = SendMessageW(m_hwnd, WM_QUERYUISTATE, 0, 0);
    return (state & UISF_HIDEACCEL) ? DT_HIDEPREFIX : 0;
}

void Win32FormView::PaintControl(HDC dc, const Control& control) {
    const ControlStyle& style = control.Style();
    RECT box = PixelRect(control);
    HPEN pen = CreatePen(PS_SOLID, 1, Ref(style.borderColor));
    HGDIOBJ oldPen = SelectObject(dc, pen);
    switch (control.Kind()) {
        case ControlKind::Shape: {
            HBRUSH fill = style.fillColor ? CreateSolidBrush(Ref(*style.fillColor)) : nullptr;
            HGDIOBJ oldBrush = SelectObject(dc, fill ? fill : GetStockObject(NULL_BRUSH));
            const int corner = 2 * Px(style.cornerTwips);
            RoundRect(dc, box.left, box.top, box.right, box.bottom, corner, corner);
            SelectObject(dc, oldBrush);
            if (fill) DeleteObject(fill);
            break;
        }
        case ControlKind::Line: {
            const TwipsRect& r = control.Rect();
            MoveToEx(dc, Px(r.left), Px(r.top), nullptr);
            LineTo(dc, Px(r.left + r.width), Px(r.top + r.height));
            break;
        }
        case ControlKind::Picture:
            if (const auto picture = ArtworkBitmap(control.GetPicture(), box.right - box.left,
                                                   box.bottom - box.top)) {
                picture->Draw(dc, box.left, box.top);
            }
            break;
        case ControlKind::Label:
        case ControlKind::Frame: {
            HGDIOBJ oldFont = SelectObject(dc, FontFor(style));
            const COLORREF text = style.foreColor     ? Ref(*style.foreColor)
                                  : control.Enabled() ? GetSysColor(COLOR_WINDOWTEXT)
                                                      : GetSysColor(COLOR_GRAYTEXT);
            SetTextColor(dc, text);
            const std::wstring caption = Widen(control.Caption());
            if (control.Kind() == ControlKind::Label) {
                if (style.backColor) {
                    HBRUSH fill = CreateSolidBrush(Ref(*style.backColor));
                    FillRect(dc, &box, fill);
                    DeleteObject(fill);
                }
                DrawTextW(
                    dc, caption.c_str(), static_cast<int>(caption.size()), &box,
                    LabelPrefix(control) | DT_EXPANDTABS | (style.wordWrap ? DT_WORDBREAK : 0));
            } else {
                // A group frame: an etched border with the caption set into its top edge.
                TEXTMETRICW metrics{};
                GetTextMetricsW(dc, &metrics);
                RECT edge = box;
                edge.top += metrics.tmHeight / 2;
                DrawEdge(dc, &edge, EDGE_ETCHED, BF_RECT);
                if (!caption.empty()) {
                    RECT label{box.left + Px(90), box.top, box.right - Px(90),
                               box.top + metrics.tmHeight};
                    SetBkMode(dc, OPAQUE);
                    SetBkColor(dc, Ref(m_form.BackColor()));
                    DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &label,
                              DT_NOPREFIX | DT_SINGLELINE | DT_CALCRECT);
                    DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &label,
                              DT_NOPREFIX | DT_SINGLELINE);
                    SetBkMode(dc, TRANSPARENT);
                }
            }
            SelectObject(dc, oldFont);
            break;
        }
        default:
            break;
    }
    SelectObject(dc, oldPen);
    DeleteObject(pen);
}

void Win32FormView::ApplyGeometry() {
    m_applying = true;
    const unsigned screenDpi = GetDpiForSystem();
    const int width = Px(m_form.ClientWidth());
    const int height = std::max(1, Px(m_form.Height() - kNonClientTwips));
    RECT outer{0, 0, width, height};
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(m_hwnd, GWL_STYLE));
    const auto exStyle = static_cast<DWORD>(GetWindowLongPtrW(m_hwnd, GWL_EXSTYLE));
    AdjustWindowRectExForDpi(&outer, style, FALSE, exStyle, m_dpi);
    const int x = win32::Px(m_form.Left(), screenDpi);
    const int y = win32::Px(m_form.Top(), screenDpi);
    SIZE size{outer.right - outer.left, outer.bottom - outer.top};
    SetWindowPos(m_hwnd, nullptr, x, y, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    // The frame the system really draws may differ from its own estimate (themes,
    // Wine's window managers): one correction gives the client area its size.
    RECT client{};
    GetClientRect(m_hwnd, &client);
    if (client.right != width || client.bottom != height) {
        size.cx += width - client.right;
        size.cy += height - client.bottom;
        SetWindowPos(m_hwnd, nullptr, x, y, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    m_applying = false;
    BackgroundChanged();
    InvalidateRect(m_hwnd, nullptr, FALSE);
}

void Win32FormView::ApplyBorder() {
    const FormBorder border = m_form.Border();
    SetWindowLongPtrW(m_hwnd, GWL_STYLE,
                      static_cast<LONG_PTR>(StyleOf(border) |
                                            (GetWindowLongPtrW(m_hwnd, GWL_STYLE) & WS_VISIBLE)));
    SetWindowLongPtrW(m_hwnd, GWL_EXSTYLE, static_cast<LONG_PTR>(ExStyleOf(border)));
    SetWindowPos(m_hwnd, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    ApplyGeometry();
}

void Win32FormView::ApplyIcon() {
    if (m_form.Icon().empty()) return;
    const HICON big = ArtworkIcon(m_form.Icon(), GetSystemMetricsForDpi(SM_CXICON, m_dpi));
    const HICON small = ArtworkIcon(m_form.Icon(), GetSystemMetricsForDpi(SM_CXSMICON, m_dpi));
    SendMessageW(m_hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    SendMessageW(m_hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
    if (m_bigIcon) DestroyIcon(m_bigIcon);
    if (m_smallIcon) DestroyIcon(m_smallIcon);
    m_bigIcon = big;
    m_smallIcon = small;
}

// Keyboard order is the order of the child windows: controls with a tab index first,
// by that index, then the others. An option button continues the group of the option
// button before it when both share their group; every other control starts a group.
void Win32FormView::ApplyTabOrder() {
    std::vector<const Control*> order;
    for (const auto& control : m_form.Controls()) {
        if (!IsWindowless(control->Kind())) order.push_back(control.get());
    }
    std::stable_sort(order.begin(), order.end(), [](const Control* a, const Control* b) {
        const auto rank = [](const Control* c) {
            return c->TabIndex() >= 0 ? c->TabIndex() : std::numeric_limits<std::int32_t>::max();
        };
        return rank(a) < rank(b);
    });
    HWND previous = HWND_TOP;
    const Control* before = nullptr;
    for (const Control* control : order) {
        const auto* view = dynamic_cast<const Win32ControlView*>(control->View());
        HWND child = view ? view->Window() : nullptr;
        if (!child) continue;
        SetWindowPos(child, previous, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        const bool continues = before && control->Kind() == ControlKind::OptionButton &&
                               before->Kind() == ControlKind::OptionButton &&
                               before->Group() == control->Group();
        LONG_PTR style = GetWindowLongPtrW(child, GWL_STYLE);
        style = continues ? (style & ~static_cast<LONG_PTR>(WS_GROUP)) : (style | WS_GROUP);
        SetWindowLongPtrW(child, GWL_STYLE, style);
        previous = child;
        before = control;
    }
    if (Win32ControlView* button = DefaultButton()) {
        SendMessageW(button->Window(), BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
    }
}

// A form with a single push button takes Enter for it.
Win32ControlView* Win32FormView::DefaultButton() const {
    Win32ControlView* found = nullptr;
    for (const auto& control : m_form.Controls()) {
        if (control->Kind() != ControlKind::PushButton) continue;
        if (found) return nullptr;
        found = dynamic_cast<Win32ControlView*>(control->View());
    }
    return found;
}

void Win32FormView::Update(UiProperty what) {
    switch (what) {
        case UiProperty::Caption:
            SetWindowTextW(m_hwnd, Widen(m_form.Caption()).c_str());
            break;
        case UiProperty::Rect:
            ApplyGeometry();
            break;
        case UiProperty::Visible:
            if (m_form.Visible()) {
                ApplyTabOrder();
                ShowWindow(m_hwnd, SW_SHOW);
            } else {
                ShowWindow(m_hwnd, SW_HIDE);
            }
            break;
        case UiProperty::Picture:
            ApplyIcon();
            break;
        case UiProperty::Style:
            if (static_cast<DWORD>(GetWindowLongPtrW(m_hwnd, GWL_EXSTYLE)) !=
                ExStyleOf(m_form.Border())) {
                ApplyBorder();
            }
            BackgroundChanged();
            RedrawWindow(m_hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
            break;
        default:
            break;
    }
}

std::unique_ptr<IControlView> Win32FormView::CreateControlView(Control& control) {
    return std::make_unique<Win32ControlView>(*this, control, m_alive);
}

WindowHandle Win32FormView::Handle() {
    return static_cast<WindowHandle>(reinterpret_cast<std::uintptr_t>(m_hwnd));
}

void Win32FormView::Activate() {
    if (IsIconic(m_hwnd)) ShowWindow(m_hwnd, SW_RESTORE);
    SetForegroundWindow(m_hwnd);
}

Control* Win32FormView::ControlAt(POINT point) const {
    const auto& controls = m_form.Controls();
    for (auto it = controls.rbegin(); it != controls.rend(); ++it) {
        const Control& control = **it;
        const ControlKind kind = control.Kind();
        if (!control.Visible() || (kind != ControlKind::Label && kind != ControlKind::Picture &&
                                   kind != ControlKind::Frame)) {
            continue;
        }
        const RECT box = PixelRect(control);
        if (PtInRect(&box, point)) return it->get();
    }
    return nullptr;
}

bool Win32FormView::HandleMouse(UINT message, WPARAM keys, LPARAM lParam) {
    const POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    Control* control = message == WM_LBUTTONUP ? m_pressed : ControlAt(point);
    if (message == WM_LBUTTONUP) {
        m_pressed = nullptr;
        ReleaseCapture();
    }
    if (!control) return false;
    const RECT box = PixelRect(*control);
    const std::int32_t x = Twips(point.x - box.left, m_dpi);
    const std::int32_t y = Twips(point.y - box.top, m_dpi);
    const int shift = ShiftOf(keys);
    switch (message) {
        case WM_LBUTTONDOWN:
            m_pressed = control;
            SetCapture(m_hwnd);
            control->UserMouseDown(kLeftButton, shift, x, y);
            break;
        case WM_LBUTTONUP: {
            const auto alive = m_alive;
            control->UserMouseUp(kLeftButton, shift, x, y);
            if (*alive && PtInRect(&box, point)) control->UserClick();
            break;
        }
        case WM_LBUTTONDBLCLK:
            control->UserDblClick();
            break;
        case WM_RBUTTONDOWN:
            control->UserMouseDown(kRightButton, shift, x, y);
            break;
        case WM_RBUTTONUP:
            control->UserMouseUp(kRightButton, shift, x, y);
            break;
        default:
            return false;
    }
    return true;
}

LRESULT Win32FormView::ChildColor(HDC dc, HWND child) {
    const auto found = m_children.find(GetDlgCtrlID(child));
    if (found == m_children.end()) return 0;
    const Control& control = found->second->Model();
    const ControlStyle& style = control.Style();
    if (style.foreColor) SetTextColor(dc, Ref(*style.foreColor));
    if (control.Kind() == ControlKind::TextBox || control.Kind() == ControlKind::ListBox) {
        if (!style.backColor) return 0;
        SetBkColor(dc, Ref(*style.backColor));
        return reinterpret_cast<LRESULT>(found->second->BackBrush());
    }
    // Boxes, buttons and sliders show the form's painting behind them.
    SetBkMode(dc, TRANSPARENT);
    RECT box{};
    GetWindowRect(child, &box);
    MapWindowPoints(nullptr, m_hwnd, reinterpret_cast<POINT*>(&box), 2);
    SetBrushOrgEx(dc, -box.left, -box.top, nullptr);
    return reinterpret_cast<LRESULT>(BackgroundBrush());
}

void Win32FormView::Close(CloseReason reason) {
    m_form.RequestClose(reason);
}

void Win32FormView::DpiChanged(unsigned dpi, const RECT& suggested) {
    m_dpi = dpi == 0 ? 96 : dpi;
    for (const auto& [key, font] : m_fonts) DeleteObject(font);
    m_fonts.clear();
    for (const auto& [id, view] : m_children) view->DpiChanged();
    // Where the system suggests, in the size the form asks for at the new dpi.
    const unsigned screenDpi = GetDpiForSystem();
    m_form.Move(Twips(suggested.left, screenDpi), Twips(suggested.top, screenDpi));
    ApplyGeometry();
    ApplyIcon();
}

LRESULT CALLBACK Win32FormView::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* view = reinterpret_cast<Win32FormView*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!view) return DefWindowProcW(hwnd, message, wParam, lParam);
    return view->Handle(message, wParam, lParam);
}

LRESULT Win32FormView::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC screen = BeginPaint(m_hwnd, &paint);
            RECT client{};
            GetClientRect(m_hwnd, &client);
            HDC dc = CreateCompatibleDC(screen);
            HBITMAP bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
            HGDIOBJ old = SelectObject(dc, bitmap);
            Paint(dc, client);
            BitBlt(screen, 0, 0, client.right, client.bottom, dc, 0, 0, SRCCOPY);
            SelectObject(dc, old);
            DeleteObject(bitmap);
            DeleteDC(dc);
            EndPaint(m_hwnd, &paint);
            return 0;
        }
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
            if (const LRESULT brush =
                    ChildColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam))) {
                return brush;
            }
            break;
        case WM_COMMAND:
            if (lParam != 0) {
                const auto found = m_children.find(LOWORD(wParam));
                if (found != m_children.end()) found->second->OnCommand(HIWORD(wParam));
            } else if (LOWORD(wParam) == IDCANCEL) {
                // Escape, through the dialog manager.
                Close(CloseReason::UserClose);
            }
            return 0;
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            const auto found = m_children.find(static_cast<int>(header->idFrom));
            if (found != m_children.end()) found->second->OnNotify(*header, lParam);
            return 0;
        }
        case WM_HSCROLL:
            if (lParam != 0) {
                const auto found = m_children.find(GetDlgCtrlID(reinterpret_cast<HWND>(lParam)));
                if (found != m_children.end()) found->second->OnScroll();
            }
            return 0;
        case DM_GETDEFID:
            if (const Win32ControlView* button = DefaultButton()) {
                return MAKELRESULT(GetDlgCtrlID(button->Window()), DC_HASDEFID);
            }
            return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
            HandleMouse(message, wParam, lParam);
            return 0;
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) == SC_CLOSE) {
                const auto alive = m_alive;
                m_userClosing = true;
                const LRESULT result = DefWindowProcW(m_hwnd, message, wParam, lParam);
                if (*alive) m_userClosing = false;
                return result;
            }
            break;
        case WM_UPDATEUISTATE: {
            // Alt shows the access keys of the labels, which this window paints itself.
            const LRESULT result = DefWindowProcW(m_hwnd, message, wParam, lParam);
            InvalidateRect(m_hwnd, nullptr, FALSE);
            return result;
        }
        case WM_CLOSE:
            // Only the title bar, the system menu and Alt+F4 come as SC_CLOSE; a bare
            // WM_CLOSE is another program telling this one to end.
            Close(m_userClosing ? CloseReason::UserClose : CloseReason::TaskManager);
            return 0;
        case WM_QUERYENDSESSION:
            return TRUE;
        case WM_MOVE:
            if (!m_applying && IsWindowVisible(m_hwnd)) {
                RECT outer{};
                GetWindowRect(m_hwnd, &outer);
                const unsigned screenDpi = GetDpiForSystem();
                if (win32::Px(m_form.Left(), screenDpi) != outer.left ||
                    win32::Px(m_form.Top(), screenDpi) != outer.top) {
                    m_applying = true;
                    m_form.Move(Twips(outer.left, screenDpi), Twips(outer.top, screenDpi));
                    m_applying = false;
                }
            }
            return 0;
        case WM_SIZE:
            // The user resized a sizable window: the form takes the new client size.
            if (!m_applying && wParam != SIZE_MINIMIZED && IsWindowVisible(m_hwnd) &&
                m_form.Border() == FormBorder::Sizable) {
                const int width = LOWORD(lParam);
                const int height = HIWORD(lParam);
                if (Px(m_form.ClientWidth()) != width ||
                    std::max(1, Px(m_form.Height() - kNonClientTwips)) != height) {
                    m_applying = true;
                    m_form.NotifyResized(win32::Twips(width, m_dpi),
                                         win32::Twips(height, m_dpi) + kNonClientTwips);
                    m_applying = false;
                }
            }
            return 0;
        case WM_GETMINMAXINFO:
            if (m_hwnd && m_dpi > 0 && m_form.MinClientWidth() > 0) {
                RECT outer{0, 0, Px(m_form.MinClientWidth()),
                           std::max(1, Px(m_form.MinHeight() - kNonClientTwips))};
                const auto style = static_cast<DWORD>(GetWindowLongPtrW(m_hwnd, GWL_STYLE));
                const auto exStyle = static_cast<DWORD>(GetWindowLongPtrW(m_hwnd, GWL_EXSTYLE));
                AdjustWindowRectExForDpi(&outer, style, FALSE, exStyle, m_dpi);
                auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
                info->ptMinTrackSize.x = outer.right - outer.left;
                info->ptMinTrackSize.y = outer.bottom - outer.top;
                return 0;
            }
            break;
        case WM_DPICHANGED:
            DpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
            return 0;
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_INACTIVE) {
                HWND focus = GetFocus();
                if (focus && IsChild(m_hwnd, focus)) m_focus = focus;
            } else if (m_focus && IsWindow(m_focus) && IsChild(m_hwnd, m_focus) &&
                       IsWindowEnabled(m_focus) && IsWindowVisible(m_focus)) {
                SetFocus(m_focus);
            } else if (HWND first = GetNextDlgTabItem(m_hwnd, nullptr, FALSE)) {
                SetFocus(first);
            }
            return 0;
        case WM_SHOWWINDOW:
            if (wParam) PostMessageW(m_hwnd, kShownMessage, 0, 0);
            break;
        case kShownMessage:
            m_form.NotifyShown();
            return 0;
        default:
            break;
    }
    return DefWindowProcW(m_hwnd, message, wParam, lParam);
}

}  // namespace talvex::platform::win32
