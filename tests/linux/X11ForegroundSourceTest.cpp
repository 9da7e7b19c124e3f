// Foreground announcements of a real X server and window manager: the source hands on
// the newest front of everything waiting, ignores other root properties, lets go of a
// lost server, and the engine raises the new front without waiting for a tick.

#include <gtest/gtest.h>
// After gtest, whose names Xlib's macros (None) would otherwise spoil.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <unistd.h>

#include <memory>
#include <thread>
#include <vector>

#include "engine/Engine.h"
#include "platform/fake/FakeUi.h"
#include "platform/linux/LinuxClock.h"
#include "platform/linux/LinuxProcessApi.h"
#include "platform/linux/X11ForegroundSource.h"
#include "platform/linux/X11WindowApi.h"
#include "tests/EngineTestSupport.h"
#include "tests/linux/LinuxTestSupport.h"

namespace talvex {
namespace {

using namespace platform;
using testing::Child;
using testing::NullHost;
using testing::TestDisplay;
using testing::WaitFor;
using testing::XServer;

class X11ForegroundSourceTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { s_x = std::make_unique<TestDisplay>(); }
    static void TearDownTestSuite() { s_x.reset(); }
    void SetUp() override {
        if (!s_x->Ready()) GTEST_SKIP() << "Xvfb and openbox could not be started";
        source = std::make_unique<X11ForegroundSource>(s_x->Name());
        windows = std::make_unique<X11WindowApi>(s_x->Name());
        ASSERT_TRUE(source->Start(ui, [this](const ForegroundChange& c) { changes.push_back(c); }));
    }
    // Asks the window manager to activate the window; waits until it is in front.
    bool Activate(unsigned long window) {
        s_x->RequestActivation(window);
        return WaitFor([&] { return windows->GetForegroundWindow() == window; });
    }

    static inline std::unique_ptr<TestDisplay> s_x;
    FakeUi ui;
    std::unique_ptr<X11ForegroundSource> source;
    std::unique_ptr<X11WindowApi> windows;
    std::vector<ForegroundChange> changes;
};

TEST_F(X11ForegroundSourceTest, EverythingWaitingIsReadAndOnlyTheNewestFrontHandedOn) {
    Child first({"window", "first"}, s_x->Name());
    Child second({"window", "zweites Fenster ✓"}, s_x->Name());
    ASSERT_TRUE(first.Ready() && second.Ready());
    // Three switches while the event loop does not run.
    ASSERT_TRUE(Activate(first.Window()));
    ASSERT_TRUE(Activate(second.Window()));
    ASSERT_TRUE(Activate(first.Window()));
    ASSERT_TRUE(Activate(second.Window()));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    changes.clear();

    EXPECT_EQ(ui.DeliverReadable(), 1);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].window, second.Window());
    EXPECT_EQ(changes[0].pid, second.Pid());
    EXPECT_EQ(changes[0].title, "zweites Fenster ✓");

    // Another property of the root window: read, but no change.
    Display* x = s_x->Connection();
    const Atom other = XInternAtom(x, "TALVEX_TEST_PROPERTY", False);
    const long value = 7;
    XChangeProperty(x, DefaultRootWindow(x), other, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&value), 1);
    XSync(x, False);
    EXPECT_TRUE(WaitFor([&] { return ui.DeliverReadable() == 1; }, 2000));
    EXPECT_EQ(ui.DeliverReadable(), 0);  // nothing left waiting
    EXPECT_EQ(changes.size(), 1u);
}

TEST_F(X11ForegroundSourceTest, TheEngineRaisesTheAnnouncedFrontWithoutATick) {
    LinuxProcessApi processes;
    if (!processes.CanRaisePriority()) GTEST_SKIP() << "This user may not raise priorities";
    LinuxClock clock;
    StringTable strings;
    ActionLog log{clock};
    NullHost host;
    Engine engine(processes, *windows, clock, strings, log, host);
    engine.SetNewPriority(1);  // High
    engine.SetStages(nullptr);
    Child first({"window", "first"}, s_x->Name());
    Child second({"window", "second"}, s_x->Name());
    ASSERT_TRUE(first.Ready() && second.Ready());
    // Only the children of this test are ever boosted: the source's changes name them.
    source->Stop();
    ASSERT_TRUE(source->Start(ui, [&](const ForegroundChange& c) {
        if (c.pid == first.Pid() || c.pid == second.Pid()) engine.ForegroundEvent();
    }));

    for (const Child* front : {&first, &second, &first}) {
        ASSERT_TRUE(Activate(front->Window()));
        ASSERT_TRUE(WaitFor([&] {
            ui.DeliverReadable();
            return engine.ForegroundPid() == front->Pid();
        }));
        EXPECT_EQ(testing::NiceOf(front->Pid()), -10);
        const Child* back = front == &first ? &second : &first;
        EXPECT_EQ(testing::NiceOf(back->Pid()), 0);
    }
    first.End();
    second.End();
}

TEST(X11ForegroundSourceServer, ALostServerIsLetGoAndANewOneListenedTo) {
    FakeUi ui;
    X11ForegroundSource nowhere(":4711");
    EXPECT_FALSE(nowhere.Start(ui, [](const ForegroundChange&) {}));
    EXPECT_FALSE(nowhere.Listening());
    EXPECT_TRUE(ui.WatchedDescriptors().empty());

    XServer server;
    std::string display;
    for (int attempt = 0; attempt < 5 && display.empty(); ++attempt) {
        const std::string candidate = ":" + std::to_string(300 + (::getpid() + attempt * 89) % 600);
        if (server.Start(false, candidate)) display = candidate;
    }
    if (display.empty()) GTEST_SKIP() << "Xvfb could not be started";
    std::vector<ForegroundChange> changes;
    X11ForegroundSource source(display);
    ASSERT_TRUE(source.Start(ui, [&](const ForegroundChange& c) { changes.push_back(c); }));
    server.Stop();
    EXPECT_TRUE(WaitFor([&] {
        ui.DeliverReadable();
        return !source.Listening();
    }));
    // The closed descriptor is no longer watched, so the event loop cannot spin on it.
    EXPECT_TRUE(ui.WatchedDescriptors().empty());
    EXPECT_TRUE(changes.empty());

    if (!server.Start(true, display)) GTEST_SKIP() << "The display was taken meanwhile";
    ASSERT_TRUE(source.Start(ui, [&](const ForegroundChange& c) { changes.push_back(c); }));
    Child child({"window", "after restart"}, display);
    ASSERT_TRUE(child.Ready());
    X11WindowApi windows(display);
    Display* x = XOpenDisplay(display.c_str());
    ASSERT_NE(x, nullptr);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = child.Window();
    event.xclient.message_type = XInternAtom(x, "_NET_ACTIVE_WINDOW", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = 2;
    XSendEvent(x, DefaultRootWindow(x), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &event);
    XFlush(x);
    EXPECT_TRUE(WaitFor([&] {
        ui.DeliverReadable();
        return !changes.empty() && changes.back().window == child.Window();
    }));
    XCloseDisplay(x);
}

}  // namespace
}  // namespace talvex
