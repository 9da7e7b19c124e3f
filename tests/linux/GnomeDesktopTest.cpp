// A headless GNOME Shell of the test's own with Talvex's extension and Wayland windows of
// the test's own: each window the shell activates is announced with its pid and title,
// and the engine raises the program in front at once; a Talvex started again after an
// abrupt end follows the front as well.

#include <gtest/gtest.h>

#include <memory>

#include "engine/Engine.h"
#include "platform/fake/FakeUi.h"
#include "platform/linux/CompositorWindowApi.h"
#include "platform/linux/GnomeForegroundSource.h"
#include "platform/linux/LinuxClock.h"
#include "platform/linux/LinuxProcessApi.h"
#include "tests/EngineTestSupport.h"
#include "tests/linux/GnomeSession.h"
#include "tests/linux/LinuxTestSupport.h"

namespace talvex {
namespace {

using namespace platform;
using testing::Child;
using testing::GnomeSession;
using testing::NullHost;
using testing::WaitFor;

class GnomeDesktop : public ::testing::Test {
  protected:
    void SetUp() override {
        if (testing::WaylandClientProgram().empty()) {
            GTEST_SKIP() << "the Wayland test client was not built";
        }
        if (!processes.CanRaisePriority()) GTEST_SKIP() << "This user may not raise priorities";
        session = std::make_unique<GnomeSession>();
        if (!session->Ready()) GTEST_SKIP() << "no GNOME Shell session: " << session->Why();
        for (const std::string& title : titles) {
            clients.push_back(session->StartClient(title));
            ASSERT_TRUE(clients.back()->Ready()) << "the Wayland client did not show its window";
        }
        ASSERT_TRUE(WaitFor([&] {
            return session->Shows(clients[0]->Pid()) && session->Shows(clients[1]->Pid());
        })) << "the shell did not map the clients' windows";
        engine.SetStages(nullptr);
        engine.SetNewPriority(1);  // High
    }
    void TearDown() override { processes.UndoAllChanges(350); }

    bool Ours(std::int32_t pid) const {
        return pid == clients[0]->Pid() || pid == clients[1]->Pid();
    }
    std::unique_ptr<GnomeForegroundSource> StartSource() {
        auto source = std::make_unique<GnomeForegroundSource>(session->BusAddress(), windows);
        const bool started = source->Start(ui, [&](const ForegroundChange& change) {
            changes.push_back(change);
            // Only the test's own programs are ever raised.
            if (Ours(change.pid)) engine.ForegroundEvent();
        });
        return started ? std::move(source) : nullptr;
    }
    // The shell activates window `index`: announced, raised, the other one back at 0.
    void Switch(std::size_t index) {
        const Child& front = *clients[index];
        const Child& back = *clients[1 - index];
        ASSERT_TRUE(session->Activate(front.Pid()));
        ASSERT_TRUE(WaitFor([&] {
            ui.DeliverReadable();
            return engine.ForegroundPid() == front.Pid();
        })) << "window "
            << index << " was not announced";
        EXPECT_EQ(changes.back().pid, front.Pid());
        EXPECT_EQ(changes.back().title, titles[index]);
        EXPECT_EQ(windows.GetWindowTextA(windows.GetForegroundWindow(), 250), titles[index]);
        EXPECT_EQ(testing::NiceOf(front.Pid()), -10);
        EXPECT_EQ(testing::NiceOf(back.Pid()), 0);
    }

    const std::vector<std::string> titles{"Erstes Fenster ✓", "second"};
    LinuxProcessApi processes;
    std::unique_ptr<GnomeSession> session;
    std::vector<std::unique_ptr<Child>> clients;
    FakeUi ui;
    CompositorWindowApi windows;
    LinuxClock clock;
    StringTable strings;
    ActionLog log{clock};
    NullHost host;
    Engine engine{processes, windows, clock, strings, log, host};
    std::vector<ForegroundChange> changes;
};

TEST_F(GnomeDesktop, WindowsTheShellActivatesAreAnnouncedAndRaisedAtOnce) {
    // The second window in front before Talvex starts: the extension's answer says so.
    ASSERT_TRUE(session->Activate(clients[1]->Pid()));
    auto source = StartSource();
    ASSERT_NE(source, nullptr) << "the extension did not answer";
    EXPECT_EQ(windows.GetWindowThreadProcessId(windows.GetForegroundWindow()), clients[1]->Pid());
    EXPECT_EQ(windows.GetWindowTextA(windows.GetForegroundWindow(), 250), titles[1]);
    for (const std::size_t index : {0U, 1U, 0U}) Switch(index);
}

TEST_F(GnomeDesktop, TalvexStartedAgainAfterAnAbruptEndFollowsTheFront) {
    auto source = StartSource();
    ASSERT_NE(source, nullptr) << "the extension did not answer";
    Switch(1);
    // The connection goes without a word, as when the program is killed; a fresh start
    // on the same session must find the extension again and follow.
    source.reset();
    source = StartSource();
    ASSERT_NE(source, nullptr) << "the extension did not answer after the restart";
    EXPECT_EQ(windows.GetWindowThreadProcessId(windows.GetForegroundWindow()), clients[1]->Pid());
    Switch(0);
    Switch(1);
}

TEST_F(GnomeDesktop, TheShellStartedAgainIsFollowedWithoutRestartingTalvex) {
    auto source = StartSource();
    ASSERT_NE(source, nullptr) << "the extension did not answer";
    Switch(1);
    // The shell crashes and comes back on the same session bus, as a new connection
    // owning org.gnome.Shell; its windows are new ones too.
    clients.clear();
    ASSERT_TRUE(session->RestartShell()) << session->Why();
    for (const std::string& title : titles) {
        clients.push_back(session->StartClient(title));
        ASSERT_TRUE(clients.back()->Ready()) << "the Wayland client did not show its window";
    }
    ASSERT_TRUE(WaitFor(
        [&] { return session->Shows(clients[0]->Pid()) && session->Shows(clients[1]->Pid()); }));
    Switch(0);
    Switch(1);
}

}  // namespace
}  // namespace talvex
