// A headless sway of the test's own with Wayland windows of the test's own: the focus
// switched with swaymsg is announced with the window's pid and title, and the engine
// raises the program in front at once.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <memory>

#include "engine/Engine.h"
#include "platform/fake/FakeUi.h"
#include "platform/linux/CompositorWindowApi.h"
#include "platform/linux/LinuxClock.h"
#include "platform/linux/LinuxProcessApi.h"
#include "platform/linux/SwayForegroundSource.h"
#include "tests/EngineTestSupport.h"
#include "tests/linux/LinuxTestSupport.h"

namespace talvex {
namespace {

using namespace platform;
using testing::Child;
using testing::HeadlessSway;
using testing::NullHost;
using testing::WaitFor;

TEST(SwayDesktop, FocusSwitchedWithSwaymsgIsAnnouncedAndRaisesTheProgramAtOnce) {
    const std::string client = testing::WaylandClientProgram();
    if (client.empty()) GTEST_SKIP() << "the Wayland test client was not built";
    LinuxProcessApi processes;
    if (!processes.CanRaisePriority()) GTEST_SKIP() << "This user may not raise priorities";
    HeadlessSway sway;
    if (!sway.Ready()) GTEST_SKIP() << "sway could not be started (apt-get install sway)";
    const std::vector<std::string> titles{"Erstes Fenster ✓", "second"};
    std::vector<std::unique_ptr<Child>> clients;
    for (const std::string& title : titles) {
        clients.push_back(Child::WithEnvironment({title}, sway.ClientEnvironment(), client));
        ASSERT_TRUE(clients.back()->Ready()) << "the Wayland client did not show its window";
    }
    // A client says it is ready once Qt has shown its window; sway may map it (and give
    // it the focus) later. Both are in the tree before anything is switched.
    ASSERT_TRUE(WaitFor([&] {
        return sway.Shows(clients[0]->Pid()) && sway.Shows(clients[1]->Pid());
    })) << "sway did not map the clients' windows";

    FakeUi ui;
    CompositorWindowApi windows;
    // As root the test's sway runs as nobody: the source expects its socket's owner.
    struct stat socket {};
    ASSERT_EQ(::stat(sway.Socket().c_str(), &socket), 0);
    SwayForegroundSource source(sway.Socket(), windows, socket.st_uid);
    LinuxClock clock;
    StringTable strings;
    ActionLog log{clock};
    NullHost host;
    Engine engine(processes, windows, clock, strings, log, host);
    engine.SetStages(nullptr);
    engine.SetNewPriority(1);  // High
    std::vector<ForegroundChange> changes;
    const auto ours = [&](std::int32_t pid) {
        return pid == clients[0]->Pid() || pid == clients[1]->Pid();
    };
    ASSERT_TRUE(source.Start(ui, [&](const ForegroundChange& change) {
        changes.push_back(change);
        // Only the test's own programs are ever raised.
        if (ours(change.pid)) engine.ForegroundEvent();
    }));
    // The window in front at the start comes from the tree.
    EXPECT_TRUE(ours(windows.GetWindowThreadProcessId(windows.GetForegroundWindow())));

    for (const std::size_t index : {0U, 1U, 0U}) {
        const Child& front = *clients[index];
        const Child& back = *clients[1 - index];
        ASSERT_TRUE(sway.Focus(front.Pid()));
        ASSERT_TRUE(WaitFor([&] {
            ui.DeliverReadable();
            return engine.ForegroundPid() == front.Pid();
        }));
        EXPECT_EQ(changes.back().pid, front.Pid());
        EXPECT_EQ(changes.back().title, titles[index]);
        EXPECT_EQ(windows.GetWindowTextA(windows.GetForegroundWindow(), 250), titles[index]);
        EXPECT_EQ(testing::NiceOf(front.Pid()), -10);
        EXPECT_EQ(testing::NiceOf(back.Pid()), 0);
    }
    source.Stop();
    processes.UndoAllChanges(350);
}

}  // namespace
}  // namespace talvex
