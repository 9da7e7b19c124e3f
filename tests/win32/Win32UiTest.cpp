// The native user interface against real windows: controls follow the model and the
// model follows the user, the dialog manager's keys, sizes in twips, close reasons.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/IUiServices.h"
#include "platform/win32/Win32Dialogs.h"
#include "platform/win32/Win32ForegroundSource.h"
#include "platform/win32/Win32Ui.h"
#include "tests/win32/Win32TestSupport.h"

namespace talvex {
namespace {

using namespace platform;

HWND WindowOf(const Control& control) {
    // Child windows carry their control's id; the form knows them in creation order.
    HWND form = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(control.Parent().Handle()));
    for (HWND child = GetWindow(form, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT box{};
        GetWindowRect(child, &box);
        MapWindowPoints(nullptr, form, reinterpret_cast<POINT*>(&box), 2);
        const TwipsRect& r = control.Rect();
        if (box.left == r.left / 15 && box.top == r.top / 15) return child;
    }
    return nullptr;
}

std::wstring TextOf(HWND window) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

class Win32UiTest : public ::testing::Test {
  protected:
    void SetUp() override {
        form = ui->CreateForm("frmTest");
        form->SetClientWidth(4500);
        form->SetHeight(3000 + 345);
    }
    HWND Form() const {
        return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(form->Handle()));
    }

    static inline std::unique_ptr<IUiServices> ui = CreateWin32UiServices();
    std::unique_ptr<platform::Form> form;
};

TEST_F(Win32UiTest, ControlsShowTheModelAndClicksReachIt) {
    Control& box = form->Add(ControlKind::CheckBox, "chk", {150, 150, 1500, 300});
    Control& one = form->Add(ControlKind::OptionButton, "opt", {150, 600, 1500, 300}, 0);
    Control& two = form->Add(ControlKind::OptionButton, "opt", {150, 900, 1500, 300}, 1);
    Control& list = form->Add(ControlKind::ListBox, "lst", {1800, 150, 2400, 1500});
    int clicks = 0;
    box.OnClick = [&] { ++clicks; };
    RECT client{};
    GetClientRect(Form(), &client);
    EXPECT_EQ(client.right, 300);  // 4500 twips at 96 dpi
    EXPECT_EQ(client.bottom, 200);

    HWND boxWindow = WindowOf(box);
    ASSERT_NE(boxWindow, nullptr);
    SendMessageW(boxWindow, BM_CLICK, 0, 0);
    EXPECT_EQ(box.Value(), 1);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(SendMessageW(boxWindow, BM_GETCHECK, 0, 0), BST_CHECKED);
    box.SetValue(2);
    EXPECT_EQ(SendMessageW(boxWindow, BM_GETCHECK, 0, 0), BST_INDETERMINATE);
    // A handler that puts the box back wins over the click.
    box.OnClick = [&] { box.SetValue(0); };
    SendMessageW(boxWindow, BM_CLICK, 0, 0);
    EXPECT_EQ(SendMessageW(boxWindow, BM_GETCHECK, 0, 0), BST_UNCHECKED);

    one.SetValue(1);
    SendMessageW(WindowOf(two), BM_CLICK, 0, 0);
    EXPECT_EQ(one.Value(), 0);
    EXPECT_EQ(SendMessageW(WindowOf(one), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(SendMessageW(WindowOf(two), BM_GETCHECK, 0, 0), BST_CHECKED);

    // The list follows additions at the end and removals at the front, line by line.
    HWND listWindow = WindowOf(list);
    for (const char* line : {"a", "b", "c"}) list.AddItem(line);
    list.RemoveItem(0);
    list.AddItem("Zürich");
    list.SetList(0, "B");
    list.SetListIndex(2);
    ASSERT_EQ(SendMessageW(listWindow, LB_GETCOUNT, 0, 0), 3);
    std::vector<std::wstring> shown;
    for (int i = 0; i < 3; ++i) {
        wchar_t text[64] = {};
        SendMessageW(listWindow, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
        shown.emplace_back(text);
    }
    EXPECT_EQ(shown, (std::vector<std::wstring>{L"B", L"c", L"Zürich"}));
    EXPECT_EQ(SendMessageW(listWindow, LB_GETCURSEL, 0, 0), 2);
    SendMessageW(listWindow, LB_SETCURSEL, 0, 0);
    SendMessageW(Form(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(listWindow), LBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(listWindow));
    EXPECT_EQ(list.ListIndex(), 0);
}

TEST_F(Win32UiTest, EveryMonitorIsAScreenAndTheMainOneIsAmongThem) {
    const std::vector<TwipsRect> screens = ui->ScreenRects();
    ASSERT_FALSE(screens.empty());
    const TwipsRect primary{0, 0, ui->ScreenWidth(), ui->ScreenHeight()};
    EXPECT_NE(std::find(screens.begin(), screens.end(), primary), screens.end());
    for (const TwipsRect& screen : screens) {
        EXPECT_GT(screen.width, 0);
        EXPECT_GT(screen.height, 0);
    }
}

TEST_F(Win32UiTest, EditsReachTheModelAndTheKeyFilterSeesEveryCharacter) {
    Control& field = form->Add(ControlKind::TextBox, "txt", {150, 150, 1500, 300});
    field.SetText("1");
    std::vector<std::int32_t> seen;
    field.OnKeyPress = [&](std::int32_t& key) {
        seen.push_back(key);
        if (key != 8 && (key < '0' || key > '9')) key = 0;
    };
    HWND window = WindowOf(field);
    form->Show();
    SetFocus(window);
    // What the field does with a character it takes: the model follows.
    SendMessageW(window, EM_SETSEL, 1, 1);
    SendMessageW(window, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L"2ü"));
    EXPECT_EQ(field.Text(), "12ü");
    // Typed characters pass the filter first, as their code; pasting passes nothing.
    for (const wchar_t key : {L'x', L'ü', L'3'}) SendMessageW(window, WM_CHAR, key, 0);
    EXPECT_EQ(seen, (std::vector<std::int32_t>{'x', 0xFC, '3'}));
    EXPECT_EQ(field.Text(), "12ü3");
    EXPECT_EQ(TextOf(window), L"12ü3");
    SendMessageW(window, WM_PASTE, 0, 0);
    EXPECT_EQ(field.Text().find('x'), std::string::npos);
    // The program's own change shows in the field.
    field.SetText("90");
    EXPECT_EQ(TextOf(window), L"90");
}

TEST_F(Win32UiTest, DialogKeysAndCloseRequestsReachTheForm) {
    Control& first = form->Add(ControlKind::CheckBox, "first", {150, 150, 1500, 300});
    Control& button = form->Add(ControlKind::PushButton, "ok", {150, 600, 1500, 400});
    Control& second = form->Add(ControlKind::CheckBox, "second", {150, 1200, 1500, 300});
    // Keyboard order by tab index, not by creation.
    button.SetTabIndex(2);
    second.SetTabIndex(1);
    first.SetTabIndex(0);
    int pressed = 0;
    button.OnClick = [&] { ++pressed; };
    std::vector<CloseReason> reasons;
    form->OnQueryUnload = [&](bool& cancel, CloseReason reason) {
        reasons.push_back(reason);
        cancel = true;
    };
    form->Show();
    ui->DoEvents();
    SetFocus(WindowOf(first));
    const auto press = [this](WPARAM key) {
        HWND focus = GetFocus();
        PostMessageW(focus, WM_KEYDOWN, key, 0);
        PostMessageW(focus, WM_KEYUP, key, 0xC0000000);
        ui->DoEvents();
    };
    press(VK_TAB);
    EXPECT_EQ(GetFocus(), WindowOf(second));
    press(VK_TAB);
    EXPECT_EQ(GetFocus(), WindowOf(button));
    press(VK_SPACE);
    // The form's only push button takes Enter from anywhere.
    SetFocus(WindowOf(first));
    press(VK_RETURN);
    EXPECT_EQ(pressed, 2);

    press(VK_ESCAPE);
    SendMessageW(Form(), WM_SYSCOMMAND, SC_CLOSE, 0);
    SendMessageW(Form(), WM_CLOSE, 0, 0);
    EXPECT_EQ(reasons, (std::vector<CloseReason>{CloseReason::UserClose, CloseReason::UserClose,
                                                 CloseReason::TaskManager}));
    EXPECT_TRUE(IsWindowVisible(Form()));
}

TEST_F(Win32UiTest, TimersTickAndPostedWorkRunsFromTheMessageLoop) {
    auto timer = ui->CreateTimer();
    int ticks = 0;
    std::vector<int> order;
    timer->OnTimer = [&] { ++ticks; };
    timer->SetInterval(10);
    timer->SetEnabled(true);
    ui->Post([&] { order.push_back(1); });
    ui->Post([&] { order.push_back(2); });
    EXPECT_TRUE(order.empty());
    for (int round = 0; round < 100 && ticks < 3; ++round) ui->WaitEvents(50);
    EXPECT_GE(ticks, 3);
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    timer->SetEnabled(false);
    const int stopped = ticks;
    for (int round = 0; round < 4; ++round) ui->WaitEvents(20);
    EXPECT_EQ(ticks, stopped);
}

// The hook announces each window that comes to the front, from the message loop, with
// its pid and title; a stopped source announces nothing, and only one listens at a time.
// The pixels the form shows in `control`'s box.
std::vector<COLORREF> PixelsOf(HWND form, const Control& control) {
    const TwipsRect& r = control.Rect();
    const int x = r.left / 15, y = r.top / 15, width = r.width / 15, height = r.height / 15;
    HDC window = GetDC(form);
    std::vector<COLORREF> pixels;
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            pixels.push_back(GetPixel(window, x + column, y + row));
        }
    }
    ReleaseDC(form, window);
    return pixels;
}

TEST_F(Win32UiTest, LabelsWithABuddyShowTheirAccessKeyAndOthersTheirTextAsItStands) {
    // How far the text of `control` reaches: the last column that is not background.
    const auto InkWidth = [this](const Control& control) {
        const auto pixels = PixelsOf(Form(), control);
        const int width = control.Rect().width / 15;
        int reach = 0;
        for (std::size_t i = 0; i < pixels.size(); ++i) {
            if (pixels[i] != pixels[0]) reach = std::max(reach, static_cast<int>(i % width) + 1);
        }
        return reach;
    };
    const auto label = [this](const char* caption, int top, bool buddy) -> Control& {
        Control& made = form->Add(ControlKind::Label, "lbl", {150, top, 3000, 300},
                                  static_cast<std::int16_t>(top / 450));
        made.SetCaption(caption);
        if (buddy) made.SetBuddy("lst");
        return made;
    };
    Control& keyed = label("&Programs with their own rule:", 150, true);
    Control& plain = label("Programs with their own rule:", 600, true);
    Control& named = label("&Programs with their own rule:", 1050, false);
    Control& unnamed = label("Programs with their own rule:", 1500, false);
    form->Add(ControlKind::ListBox, "lst", {150, 1950, 3000, 600});
    form->Show();
    const auto show = [this](WORD action) {
        SendMessageW(Form(), WM_CHANGEUISTATE, MAKEWPARAM(action, UISF_HIDEACCEL), 0);
        ui->DoEvents();
        UpdateWindow(Form());
        return (SendMessageW(Form(), WM_QUERYUISTATE, 0, 0) & UISF_HIDEACCEL) != 0;
    };
    // (Where the system always shows access keys, as Wine does, they cannot be hidden.)
    for (const WORD action : {UIS_SET, UIS_CLEAR}) {
        const bool hidden = show(action);
        // The "&" itself is never drawn: the text is as wide as without it. The letter
        // after it is underlined unless the access keys are hidden (until Alt).
        EXPECT_EQ(InkWidth(keyed), InkWidth(plain));
        if (hidden) {
            EXPECT_EQ(PixelsOf(Form(), keyed), PixelsOf(Form(), plain));
        } else {
            EXPECT_NE(PixelsOf(Form(), keyed), PixelsOf(Form(), plain));
        }
        // Without a buddy the text is data (a program's name): its "&" is drawn.
        EXPECT_GT(InkWidth(named), InkWidth(unnamed));
    }
}

// A picture shows its artwork (the banner: a blue band with rounded corners), blended
// over the form: where the artwork is transparent the form's background shows.
TEST_F(Win32UiTest, PicturesShowTheirArtworkOverTheForm) {
    Control& banner = form->Add(ControlKind::Picture, "img", {150, 150, 600, 2400});
    banner.SetPicture("banner");
    form->Show();
    ui->DoEvents();
    UpdateWindow(Form());
    const auto pixels = PixelsOf(Form(), banner);
    const auto blue = std::count_if(pixels.begin(), pixels.end(), [](COLORREF c) {
        return GetBValue(c) > GetRValue(c) + 60 && GetBValue(c) > GetGValue(c) + 40;
    });
    EXPECT_GT(blue, static_cast<std::ptrdiff_t>(pixels.size() / 2));
    HDC window = GetDC(Form());
    EXPECT_EQ(pixels.front(), GetPixel(window, 5, 5));  // a transparent corner
    ReleaseDC(Form(), window);
}

TEST_F(Win32UiTest, TheInputBoxButtonsReadTheTextsItIsGiven) {
    // Read from the box's own message loop, then cancelled: the empty answer.
    std::wstring ok, cancel;
    ui->Post([&] {
        HWND box = FindWindowW(L"#32770", L"Talvex Input Test");
        ok = TextOf(GetDlgItem(box, IDOK));
        cancel = TextOf(GetDlgItem(box, IDCANCEL));
        PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(
        win32::ShowInputBox("Program:", "Talvex Input Test", "notepad.exe", "OK", "Abbrechen"), "");
    EXPECT_EQ(ok, L"OK");
    EXPECT_EQ(cancel, L"Abbrechen");
}

TEST_F(Win32UiTest, ForegroundChangesAreAnnouncedFromTheMessageLoop) {
    std::vector<ForegroundChange> changes;
    Win32ForegroundSource source, second;
    ASSERT_TRUE(source.Start(*ui, [&](const ForegroundChange& c) { changes.push_back(c); }));
    EXPECT_FALSE(second.Start(*ui, [](const ForegroundChange&) {}));
    auto other = ui->CreateForm("frmOther");
    form->SetCaption("Erstes Fenster \u2713");
    other->SetCaption("second");
    form->Show();
    other->Show();
    const auto bringToFront = [&](platform::Form& f) {
        const HWND window = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(f.Handle()));
        changes.clear();
        SetForegroundWindow(window);
        for (int round = 0; round < 100; ++round) {
            ui->WaitEvents(20);
            if (!changes.empty() && changes.back().window == f.Handle()) return true;
        }
        return false;
    };
    for (platform::Form* f : {form.get(), other.get(), form.get()}) {
        ASSERT_TRUE(bringToFront(*f)) << f->Caption();
        EXPECT_EQ(changes.back().pid, static_cast<std::int32_t>(GetCurrentProcessId()));
        EXPECT_EQ(changes.back().title, f->Caption());
    }
    source.Stop();
    EXPECT_FALSE(source.Listening());
    EXPECT_FALSE(bringToFront(*other));
    EXPECT_TRUE(changes.empty());
    // With the first one stopped, another may listen.
    EXPECT_TRUE(second.Start(*ui, [](const ForegroundChange&) {}));
    other->Close();
}

}  // namespace
}  // namespace talvex
