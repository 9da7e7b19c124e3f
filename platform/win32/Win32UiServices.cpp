// The Win32 services object: forms, timers, tray icons, popup menus, modal boxes and
// the message loop. A hidden window of its own carries the timers, the work posted
// for later and the end of the session.
#include <cstdio>
#include <deque>
#include <map>
#include <vector>

#include "platform/win32/Win32Api.h"
#include "platform/win32/Win32CommonControls.h"
#include "platform/win32/Win32Dialogs.h"
#include "platform/win32/Win32Dpi.h"
#include "platform/win32/Win32FormView.h"
#include "platform/win32/Win32Text.h"
#include "platform/win32/Win32TrayIcon.h"
#include "platform/win32/Win32Ui.h"

namespace talvex::platform {

namespace win32 {
namespace {

constexpr UINT kPostedWork = WM_APP + 3;
constexpr const wchar_t* kHostClass = L"TalvexHost";

bool IsForm(HWND window) {
    wchar_t name[32] = {};
    GetClassNameW(window, name, 32);
    return std::wstring(name) == Win32FormView::kClassName;
}

// Hands keyboard messages of a form to the dialog manager (Tab, arrows, Enter,
// Escape), everything else to its window.
void Dispatch(MSG& msg) {
    HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    if (root && IsForm(root) && IsDialogMessageW(root, &msg)) return;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

class Host;

class Win32TimerView final : public ITimerView {
  public:
    Win32TimerView(Host& host, Timer& timer);
    ~Win32TimerView() override;
    void Update() override;

  private:
    Host& m_host;
    Timer& m_timer;
    UINT_PTR m_id;
};

/// The hidden window: timers, posted work, the end of the session.
class Host {
  public:
    Host() {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = &WindowProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kHostClass;
        RegisterClassExW(&windowClass);
        // Top-level (not message-only), so that it hears the session end.
        m_hwnd = CreateWindowExW(WS_EX_TOOLWINDOW, kHostClass, L"Talvex", WS_POPUP, 0, 0, 0, 0,
                                 nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~Host() {
        SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 0);
        DestroyWindow(m_hwnd);
    }
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    HWND Window() const { return m_hwnd; }
    UINT_PTR AddTimer(Timer& timer) {
        m_timers[m_nextTimer] = &timer;
        return m_nextTimer++;
    }
    void RemoveTimer(UINT_PTR id) {
        KillTimer(m_hwnd, id);
        m_timers.erase(id);
    }
    void Post(std::function<void()> work) {
        m_posted.push_back(std::move(work));
        PostMessageW(m_hwnd, kPostedWork, 0, 0);
    }

    std::function<void(CloseReason)> onEnd;

  private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* host = reinterpret_cast<Host*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (!host) return DefWindowProcW(hwnd, message, wParam, lParam);
        switch (message) {
            case WM_TIMER:
                if (const auto found = host->m_timers.find(wParam); found != host->m_timers.end()) {
                    found->second->Fire();
                }
                return 0;
            case kPostedWork:
                if (!host->m_posted.empty()) {
                    const std::function<void()> work = std::move(host->m_posted.front());
                    host->m_posted.pop_front();
                    if (work) work();
                }
                return 0;
            case WM_QUERYENDSESSION:
                return TRUE;
            case WM_ENDSESSION:
                if (wParam && host->onEnd) host->onEnd(CloseReason::SessionEnd);
                return 0;
            case WM_CLOSE:
                // Nobody closes a hidden window but a program telling this one to end.
                if (host->onEnd) host->onEnd(CloseReason::TaskManager);
                return 0;
            default:
                return DefWindowProcW(hwnd, message, wParam, lParam);
        }
    }

    HWND m_hwnd = nullptr;
    std::map<UINT_PTR, Timer*> m_timers;
    UINT_PTR m_nextTimer = 1;
    std::deque<std::function<void()>> m_posted;
};

Win32TimerView::Win32TimerView(Host& host, Timer& timer)
    : m_host(host), m_timer(timer), m_id(host.AddTimer(timer)) {}

Win32TimerView::~Win32TimerView() {
    m_host.RemoveTimer(m_id);
}

void Win32TimerView::Update() {
    if (m_timer.Enabled()) {
        SetTimer(m_host.Window(), m_id, static_cast<UINT>(m_timer.Interval()), nullptr);
    } else {
        KillTimer(m_host.Window(), m_id);
    }
}

// Fills a popup menu; every item that can be chosen gets an id in `items`.
void AddItems(HMENU menu, MenuItem& parent, const MenuItem* defaultItem,
              std::map<UINT, MenuItem*>& items) {
    for (const auto& item : parent.Items()) {
        if (!item->visible) continue;
        if (item->IsSeparator()) {
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            continue;
        }
        const std::wstring caption = Widen(item->caption);
        const UINT state =
            (item->enabled ? MF_ENABLED : MF_GRAYED) | (item->checked ? MF_CHECKED : 0);
        if (item->IsSubmenu()) {
            HMENU sub = CreatePopupMenu();
            AddItems(sub, *item, defaultItem, items);
            AppendMenuW(menu, MF_POPUP | state, reinterpret_cast<UINT_PTR>(sub), caption.c_str());
            continue;
        }
        const auto id = static_cast<UINT>(items.size() + 1);
        items[id] = item.get();
        AppendMenuW(menu, MF_STRING | state, id, caption.c_str());
        if (item.get() == defaultItem) SetMenuDefaultItem(menu, id, FALSE);
    }
}

class Win32UiServices final : public IUiServices {
  public:
    explicit Win32UiServices(Win32DialogTexts texts) : m_texts(std::move(texts)) {
        m_host.onEnd = [this](CloseReason reason) {
            if (m_mainForm) m_mainForm->RequestClose(reason);
        };
    }

    std::unique_ptr<Form> CreateForm(const std::string& name) override {
        auto form = std::make_unique<Form>(name);
        form->AttachView(std::make_unique<Win32FormView>(*form));
        return form;
    }
    std::unique_ptr<Timer> CreateTimer() override {
        auto timer = std::make_unique<Timer>();
        timer->AttachView(std::make_unique<Win32TimerView>(m_host, *timer));
        return timer;
    }
    std::unique_ptr<ITrayIcon> CreateTrayIcon() override {
        return std::make_unique<Win32TrayIcon>();
    }
    bool IsTrayAvailable() override { return FindWindowW(L"Shell_TrayWnd", nullptr) != nullptr; }

    void PopupMenu(MenuItem& menu, const MenuItem* defaultItem) override {
        HMENU popup = CreatePopupMenu();
        std::map<UINT, MenuItem*> items;
        AddItems(popup, menu, defaultItem, items);
        POINT at{};
        GetCursorPos(&at);
        // The menu closes when the user clicks elsewhere only if its window is in front.
        SetForegroundWindow(m_host.Window());
        const auto chosen = static_cast<UINT>(
            TrackPopupMenuEx(popup, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y,
                             m_host.Window(), nullptr));
        PostMessageW(m_host.Window(), WM_NULL, 0, 0);
        DestroyMenu(popup);
        if (const auto found = items.find(chosen); found != items.end()) found->second->Choose();
    }

    MsgBoxResult MsgBox(const std::string& text, std::int32_t style,
                        const std::string& title) override {
        return ShowMessageBox(text, style, title);
    }
    std::string InputBox(const std::string& prompt, const std::string& title,
                         const std::string& defaultText) override {
        return ShowInputBox(prompt, title, defaultText, m_texts.ok ? m_texts.ok() : "OK",
                            m_texts.cancel ? m_texts.cancel() : "Cancel");
    }

    void DoEvents() override {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(msg.wParam));
                return;
            }
            Dispatch(msg);
        }
    }
    void WaitEvents(std::int32_t maxMilliseconds) override {
        MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(std::max(0, maxMilliseconds)),
                                    QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        DoEvents();
    }
    void Post(std::function<void()> work) override { m_host.Post(std::move(work)); }

    // The user's language as its two-letter code, from the locale name ("de-DE": "de").
    std::string SystemLanguage() override {
        wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
        if (GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH) < 3 || name[2] != L'-')
            return {};
        std::string code;
        for (int i = 0; i < 2; ++i) {
            if (name[i] < L'A' || name[i] > L'z') return {};
            code += static_cast<char>(name[i] | 0x20);
        }
        return code;
    }
    // Message boxes carry the system's buttons, in the language of Windows, and the input
    // box the common "OK" and "Cancel": nothing here follows the program's language.
    void SetLanguage(const std::string&) override {}

    std::int32_t ScreenWidth() override { return GetSystemMetrics(SM_CXSCREEN) * TwipsPerPixelX(); }
    std::int32_t ScreenHeight() override {
        return GetSystemMetrics(SM_CYSCREEN) * TwipsPerPixelY();
    }
    std::int32_t TwipsPerPixelX() override { return TwipsPerPixel(); }
    std::int32_t TwipsPerPixelY() override { return TwipsPerPixel(); }
    std::vector<TwipsRect> ScreenRects() override {
        // Every monitor, on the virtual desktop's coordinates (a second one may lie at
        // negative ones).
        std::vector<TwipsRect> rects;
        EnumDisplayMonitors(
            nullptr, nullptr,
            [](HMONITOR, HDC, LPRECT r, LPARAM data) -> BOOL {
                const std::int32_t t = TwipsPerPixel();
                reinterpret_cast<std::vector<TwipsRect>*>(data)->push_back(
                    {r->left * t, r->top * t, (r->right - r->left) * t, (r->bottom - r->top) * t});
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&rects));
        if (rects.empty()) return {{0, 0, ScreenWidth(), ScreenHeight()}};
        return rects;
    }

    void SetMainForm(Form* form) override { m_mainForm = form; }
    int Run() override {
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) Dispatch(msg);
        return static_cast<int>(msg.wParam);
    }
    void EndProgram(int exitCode) override {
        // Nothing of the program may run after its end.
        std::fflush(nullptr);
        ExitProcess(static_cast<UINT>(exitCode));
    }

  private:
    static std::int32_t TwipsPerPixel() {
        const unsigned dpi = GetDpiForSystem();
        return std::max<std::int32_t>(
            1, static_cast<std::int32_t>((1440 + dpi / 2) / (dpi ? dpi : 96)));
    }

    Host m_host;
    Form* m_mainForm = nullptr;
    Win32DialogTexts m_texts;
};

}  // namespace
}  // namespace win32

std::unique_ptr<IUiServices> CreateWin32UiServices(Win32DialogTexts texts) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    INITCOMMONCONTROLSEX controls{sizeof controls,
                                  ICC_STANDARD_CLASSES | ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES};
    win32::InitControls(controls);
    return std::make_unique<win32::Win32UiServices>(std::move(texts));
}

}  // namespace talvex::platform
