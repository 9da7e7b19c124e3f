// The X11 window backend against a real X server and window manager of the test's own.

#include <gtest/gtest.h>
// After gtest, whose names Xlib's macros (None) would otherwise spoil.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/modMain.h"
#include "platform/linux/LinuxClock.h"
#include "platform/linux/LinuxProcessApi.h"
#include "platform/linux/X11WindowApi.h"
#include "tests/linux/LinuxTestSupport.h"

namespace talvex {
namespace {

using namespace platform;
using testing::Child;
using testing::TestDisplay;
using testing::WaitFor;
using testing::XServer;

// Reads a window-valued or atom-list property with plain Xlib, beside the backend.
std::vector<unsigned long> LongsOf(Display* display, unsigned long window, const char* name) {
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    std::vector<unsigned long> values;
    XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 64, False,
                       AnyPropertyType, &type, &format, &items, &after, &data);
    if (data && format == 32) {
        const auto* longs = reinterpret_cast<const unsigned long*>(data);
        values.assign(longs, longs + items);
    }
    if (data) XFree(data);
    return values;
}

class X11WindowTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { s_x = std::make_unique<TestDisplay>(); }
    static void TearDownTestSuite() { s_x.reset(); }
    void SetUp() override {
        if (!s_x->Ready()) GTEST_SKIP() << "Xvfb and openbox could not be started";
        windows = std::make_unique<X11WindowApi>(s_x->Name());
        queries = std::make_unique<modMain::Queries>(processes, *windows);
    }

    // Activates a window through the window manager and waits until it is in front.
    bool Activate(unsigned long window) {
        s_x->RequestActivation(window);
        return WaitFor([&] { return windows->GetForegroundWindow() == window; });
    }
    std::string DisplayName() const { return s_x->Name(); }

    static inline std::unique_ptr<TestDisplay> s_x;
    LinuxProcessApi processes;
    std::unique_ptr<X11WindowApi> windows;
    std::unique_ptr<modMain::Queries> queries;
};

TEST_F(X11WindowTest, TheActivatedWindowIsInFrontWithTitlePidAndPath) {
    const std::string title = "Fenster äöü – 窗口 ✓";
    Child first({"window", "first"}, DisplayName());
    Child second({"window", title}, DisplayName());
    ASSERT_TRUE(first.Ready());
    ASSERT_TRUE(second.Ready());

    ASSERT_TRUE(Activate(second.Window()));
    EXPECT_EQ(queries->GetForegroundWnd(), second.Window());
    EXPECT_EQ(queries->GetWindowTitle(second.Window(), 250), title);
    EXPECT_EQ(queries->GetWindowProcessId(second.Window()), second.Pid());
    EXPECT_EQ(queries->GetWindowExePath(second.Window(), 1024),
              std::filesystem::canonical(testing::ChildProgram()).string());
    EXPECT_EQ(queries->GetWindowPriority(0, second.Window()), NORMAL_PRIORITY_CLASS);

    ASSERT_TRUE(Activate(first.Window()));
    EXPECT_EQ(queries->GetWindowTitle(queries->GetForegroundWnd(), 250), "first");
}

TEST_F(X11WindowTest, TitlesAreCutWholeAndOldStyleNamesAreRead) {
    std::string longTitle;
    while (longTitle.size() < 400) longTitle += "Größe ";
    Child window({"window", longTitle}, DisplayName());
    Child latin1({"latin1-window", "Caf\xE9"}, DisplayName());
    ASSERT_TRUE(window.Ready() && latin1.Ready());

    const std::string cut = windows->GetWindowTextA(window.Window(), 250);
    EXPECT_LE(cut.size(), 249U);
    EXPECT_GE(cut.size(), 246U);
    EXPECT_EQ(cut, longTitle.substr(0, cut.size()));
    // The next byte starts a character, so none was split.
    EXPECT_NE(static_cast<unsigned char>(longTitle[cut.size()]) & 0xC0, 0x80);
    EXPECT_EQ(windows->GetWindowTextA(window.Window(), 1), "");
    EXPECT_EQ(windows->GetWindowTextA(window.Window(), 4), "Gr");  // "ö" would not fit

    EXPECT_EQ(windows->GetWindowTextA(latin1.Window(), 250), "Café");
}

TEST_F(X11WindowTest, OwnerComesFromTheConnectionNotFromAWrongProperty) {
    Child liar({"window", "liar", "1"}, DisplayName());
    ASSERT_TRUE(liar.Ready());
    EXPECT_EQ(windows->GetWindowThreadProcessId(liar.Window()), liar.Pid());
}

// A program in a pid namespace of its own (as a sandboxed application runs) names its
// pid inside the namespace in _NET_WM_PID; the owner is its pid on the host.
TEST_F(X11WindowTest, AProgramInItsOwnPidNamespaceIsKnownByItsHostPid) {
    const std::string unshare = "/usr/bin/unshare";
    if (::access(unshare.c_str(), X_OK) != 0) GTEST_SKIP() << "unshare is missing";
    // As root a pid namespace alone; otherwise inside a user namespace of its own.
    const std::vector<std::string> how = ::geteuid() == 0
                                             ? std::vector<std::string>{"-pf", "--kill-child"}
                                             : std::vector<std::string>{"-Urpf", "--kill-child"};
    // Its own pid inside (1), and a pid of the host that is not its own (this test's).
    for (const std::string& claimed : {std::string(), std::to_string(::getpid())}) {
        std::vector<std::string> args = how;
        args.insert(args.end(), {testing::ChildProgram(), "window", "sandboxed"});
        if (!claimed.empty()) args.push_back(claimed);
        Child sandbox(args, DisplayName(), unshare);
        if (!sandbox.Ready()) GTEST_SKIP() << "no pid namespace could be made here";
        const auto host = testing::ChildOf(sandbox.Pid());
        ASSERT_TRUE(host.has_value());
        const auto claims = LongsOf(s_x->Connection(), sandbox.Window(), "_NET_WM_PID");
        ASSERT_EQ(claims.size(), 1u);
        ASSERT_NE(static_cast<pid_t>(claims[0]), *host) << "the property names another pid";
        EXPECT_EQ(windows->GetWindowThreadProcessId(sandbox.Window()), *host) << claimed;
        EXPECT_EQ(queries->GetWindowExePath(sandbox.Window(), 1024),
                  std::filesystem::canonical(testing::ChildProgram()).string());
    }
}

TEST_F(X11WindowTest, WindowsOfEndedProcessesAndNoActiveWindowReadAsFailures) {
    Child child({"window", "short-lived"}, DisplayName());
    ASSERT_TRUE(child.Ready());
    ASSERT_TRUE(Activate(child.Window()));
    const unsigned long window = child.Window();
    child.End();
    EXPECT_TRUE(WaitFor([&] { return windows->GetForegroundWindow() == 0; }));
    EXPECT_EQ(queries->GetWindowTitle(window, 250), "");
    EXPECT_EQ(queries->GetWindowProcessId(window), 0);
    EXPECT_EQ(queries->GetWindowExePath(window, 1024), "");
    EXPECT_EQ(queries->GetWindowPriority(0, window), kCannotOpen);
    EXPECT_EQ(windows->GetWindowTextA(0x7ffffff, 250), "");
    EXPECT_EQ(windows->GetWindowThreadProcessId(0x7ffffff), 0);
}

TEST_F(X11WindowTest, TopmostIsAskedOfTheWindowManager) {
    Child child({"window", "on top"}, DisplayName());
    ASSERT_TRUE(child.Ready());
    const Atom above = XInternAtom(s_x->Connection(), "_NET_WM_STATE_ABOVE", False);
    const auto isAbove = [&] {
        const auto states = LongsOf(s_x->Connection(), child.Window(), "_NET_WM_STATE");
        return std::find(states.begin(), states.end(), above) != states.end();
    };
    windows->SetWindowPos(child.Window(), true);
    EXPECT_TRUE(WaitFor(isAbove));
    windows->SetWindowPos(child.Window(), false);
    EXPECT_TRUE(WaitFor([&] { return !isAbove(); }));
}

TEST(X11Connection, NoServerMeansFailureValuesAndALostServerIsReconnected) {
    X11WindowApi nowhere(":4711");
    EXPECT_EQ(nowhere.GetForegroundWindow(), 0U);
    EXPECT_EQ(nowhere.GetWindowTextA(0x400001, 250), "");
    EXPECT_EQ(nowhere.GetWindowThreadProcessId(0x400001), 0);
    nowhere.SetWindowPos(0x400001, true);
    EXPECT_FALSE(nowhere.IsConnected());

    // A display number far from the low ones other X servers pick, as it is used twice.
    XServer server;
    std::string display;
    for (int attempt = 0; attempt < 5 && display.empty(); ++attempt) {
        const std::string candidate = ":" + std::to_string(300 + (::getpid() + attempt * 97) % 600);
        if (server.Start(false, candidate)) display = candidate;
    }
    if (display.empty()) GTEST_SKIP() << "Xvfb could not be started";
    X11WindowApi windows(display);
    EXPECT_EQ(windows.GetForegroundWindow(), 0U);  // no window manager: nothing active
    EXPECT_TRUE(windows.IsConnected());

    server.Stop();  // the connection breaks under the backend
    EXPECT_EQ(windows.GetForegroundWindow(), 0U);
    EXPECT_EQ(windows.GetWindowTextA(0x400001, 250), "");
    EXPECT_FALSE(windows.IsConnected());

    if (!server.Start(true, display)) GTEST_SKIP() << "The display was taken meanwhile";
    Child child({"window", "after restart"}, display);
    ASSERT_TRUE(child.Ready());
    EXPECT_EQ(windows.GetWindowTextA(child.Window(), 250), "after restart");
    EXPECT_TRUE(windows.IsConnected());
}

TEST(LinuxClockTest, TicksOnwardAndTellsTheLocalTime) {
    LinuxClock clock;
    const std::uint64_t first = clock.GetTickCount64();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const std::uint64_t second = clock.GetTickCount64();
    EXPECT_GE(second - first, 20U);
    EXPECT_LT(second - first, 2000U);
    const std::string text = clock.LocalDateTimeText();
    ASSERT_EQ(text.size(), 19U);
    EXPECT_EQ(text[2], '.');
    EXPECT_EQ(text[13], ':');
}

}  // namespace
}  // namespace talvex
