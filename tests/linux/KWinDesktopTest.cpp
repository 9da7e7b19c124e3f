// A headless KWin of the test's own with Wayland windows of the test's own: windows
// activated by KWin itself (a script of the test's own) are announced by Talvex's KWin
// script and the engine raises the program in front at once; also when Talvex was
// killed before, and when another program's scripts left KWin's script ids in disorder.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "engine/Engine.h"
#include "platform/fake/FakeUi.h"
#include "platform/linux/CompositorWindowApi.h"
#include "platform/linux/KWinForegroundSource.h"
#include "platform/linux/LinuxClock.h"
#include "platform/linux/LinuxProcessApi.h"
#include "tests/EngineTestSupport.h"
#include "tests/linux/KWinSession.h"
#include "tests/linux/LinuxTestSupport.h"

namespace talvex {
namespace {

using namespace platform;
using testing::Child;
using testing::KWinSession;
using testing::NullHost;
using testing::WaitFor;

class KWinDesktop : public ::testing::Test {
  protected:
    void SetUp() override {
        if (testing::WaylandClientProgram().empty())
            GTEST_SKIP() << "the Wayland test client was not built";
        if (!processes.CanRaisePriority()) GTEST_SKIP() << "This user may not raise priorities";
        session = std::make_unique<KWinSession>();
        if (!session->Ready()) GTEST_SKIP() << "KWin could not be started: " << session->Why();
        ShowWindows();
        if (HasFatalFailure()) return;
        engine = std::make_unique<Engine>(processes, windows, clock, strings, log, host);
        engine->SetStages(nullptr);
        engine->SetNewPriority(1);  // High
    }
    // Two windows of the test's own, in a fresh pair of programs.
    void ShowWindows() {
        clients.clear();
        for (std::size_t i = 0; i < titles.size(); ++i) {
            clients.push_back(Child::WithEnvironment({titles[i], renamed[i]},
                                                     session->ClientEnvironment(),
                                                     testing::WaylandClientProgram()));
            ASSERT_TRUE(clients.back()->Ready()) << "the Wayland client did not show its window";
        }
        // Qt says a window is shown before KWin may manage it: both are there before
        // anything is switched.
        ASSERT_TRUE(WaitFor([&] {
            return session->Shows(clients[0]->Pid()) && session->Shows(clients[1]->Pid());
        })) << "KWin did not map the clients' windows";
    }
    void TearDown() override {
        if (source) source->Stop();
        processes.UndoAllChanges(350);
    }

    bool Ours(std::int32_t pid) const {
        return pid == clients[0]->Pid() || pid == clients[1]->Pid();
    }
    // Talvex's source as the program makes it, with its script in the session's folder.
    bool StartSource() {
        source = std::make_unique<KWinForegroundSource>(session->BusAddress(), session->Folder(),
                                                        windows);
        return source->Start(ui, [&](const ForegroundChange& change) {
            changes.push_back(change);
            // Only the test's own programs are ever raised.
            if (Ours(change.pid)) engine->ForegroundEvent();
        });
    }
    // KWin activates each window in turn; each is announced and raised, the other not.
    void FollowsSwitches(const std::vector<std::size_t>& order) {
        for (const std::size_t index : order) {
            const Child& front = *clients[index];
            const Child& back = *clients[1 - index];
            ASSERT_TRUE(session->Activate(front.Pid())) << "KWin's script found no window";
            ASSERT_TRUE(WaitFor([&] {
                ui.DeliverReadable();
                return engine->ForegroundPid() == front.Pid();
            })) << "the window of "
                << titles[index] << " was not announced";
            EXPECT_EQ(changes.back().pid, front.Pid());
            EXPECT_EQ(changes.back().title, titles[index]);
            EXPECT_EQ(windows.GetWindowTextA(windows.GetForegroundWindow(), 250), titles[index]);
            EXPECT_EQ(testing::NiceOf(front.Pid()), -10);
            EXPECT_EQ(testing::NiceOf(back.Pid()), 0);
        }
    }
    std::string ScriptFile() const { return session->Folder() + "/talvex-foreground.js"; }

    const std::vector<std::string> titles{"Erstes Fenster ✓", "second"};
    // What each window calls itself after SIGUSR1.
    const std::vector<std::string> renamed{"Zweiter Titel ✓", "second, renamed"};
    LinuxProcessApi processes;
    std::unique_ptr<KWinSession> session;
    std::vector<std::unique_ptr<Child>> clients;
    FakeUi ui;
    CompositorWindowApi windows;
    LinuxClock clock;
    StringTable strings;
    ActionLog log{clock};
    NullHost host;
    std::unique_ptr<Engine> engine;
    std::unique_ptr<KWinForegroundSource> source;
    std::vector<ForegroundChange> changes;
};

TEST_F(KWinDesktop, WindowsActivatedByKWinAreFollowedWithTheirTitlesAndTheScriptGoesAtTheEnd) {
    ASSERT_TRUE(StartSource());
    EXPECT_TRUE(session->IsScriptLoaded(KWinForegroundSource::kPluginName));
    // The window in front at the start comes from the script's first report.
    ASSERT_FALSE(changes.empty());
    EXPECT_TRUE(Ours(changes.back().pid));
    FollowsSwitches({0, 1, 0});
    // The window in front renames itself: the new title is announced.
    ::kill(clients[0]->Pid(), SIGUSR1);
    EXPECT_TRUE(WaitFor([&] {
        ui.DeliverReadable();
        return windows.GetWindowTextA(windows.GetForegroundWindow(), 250) == renamed[0];
    })) << "the title stayed "
        << windows.GetWindowTextA(windows.GetForegroundWindow(), 250);
    EXPECT_EQ(engine->ForegroundPid(), clients[0]->Pid());
    EXPECT_EQ(testing::NiceOf(clients[0]->Pid()), -10);
    source->Stop();
    EXPECT_TRUE(WaitFor([&] {
        return !session->IsScriptLoaded(KWinForegroundSource::kPluginName);
    })) << "Talvex's script stayed in KWin after the source stopped";
    EXPECT_FALSE(std::filesystem::exists(ScriptFile()));
}

// A Talvex killed outright leaves its script in KWin, calling a name that is gone; the
// next one takes its place.
TEST_F(KWinDesktop, AfterTalvexWasKilledTheNextOneFollowsTheFront) {
    int ready[2] = {-1, -1};
    ASSERT_EQ(::pipe2(ready, O_CLOEXEC), 0);
    const pid_t killed = ::fork();
    ASSERT_GE(killed, 0);
    if (killed == 0) {
        // The Talvex to be killed, in a process of its own: it says whether it listens
        // and waits to be killed.
        FakeUi ownUi;
        CompositorWindowApi ownWindows;
        KWinForegroundSource first(session->BusAddress(), session->Folder(), ownWindows);
        const char listening = first.Start(ownUi, [](const ForegroundChange&) {}) ? '1' : '0';
        if (::write(ready[1], &listening, 1) != 1) ::_exit(1);
        for (;;) ::pause();
    }
    ::close(ready[1]);
    pollfd p{ready[0], POLLIN, 0};
    char listening = 0;
    const bool told = ::poll(&p, 1, 8000) == 1 && ::read(ready[0], &listening, 1) == 1;
    ::close(ready[0]);
    testing::KillAndReap(killed);
    ASSERT_TRUE(told && listening == '1') << "the first Talvex did not follow KWin";
    EXPECT_TRUE(session->IsScriptLoaded(KWinForegroundSource::kPluginName));

    ASSERT_TRUE(StartSource()) << "the next Talvex did not follow KWin";
    FollowsSwitches({1, 0});
}

// Another program loaded two scripts and unloaded the first: KWin's next id names the
// second one, so Talvex's run reaches a script not its own.
TEST_F(KWinDesktop, ScriptsLoadedAndUnloadedBeforeDoNotKeepTalvexDeaf) {
    const int first = session->LoadScript("another-tool-1", "print('another tool');\n");
    const int second = session->LoadScript("another-tool-2", "print('another tool');\n");
    ASSERT_GE(first, 0);
    ASSERT_EQ(second, first + 1);
    ASSERT_TRUE(session->StartScripts());
    ASSERT_TRUE(session->UnloadScript("another-tool-1"));
    ASSERT_TRUE(WaitFor([&] { return !session->IsScriptLoaded("another-tool-1"); }));
    ASSERT_TRUE(session->IsScriptLoaded("another-tool-2"));

    ASSERT_TRUE(StartSource()) << "Talvex's script never reported";
    FollowsSwitches({1, 0});
}

// A new KWin (after a crash, or one that replaced the old) knows nothing of Talvex's
// script: Talvex, whose event loop runs on meanwhile, gives it the script as soon as it
// is there and follows its windows.
TEST_F(KWinDesktop, ARestartedKWinIsGivenTheScriptAndItsWindowsAreFollowed) {
    ASSERT_TRUE(StartSource());
    FollowsSwitches({0});
    ASSERT_TRUE(session->Restart([&] { ui.DeliverReadable(); })) << session->Why();
    ShowWindows();
    FollowsSwitches({1, 0});
    EXPECT_TRUE(source->Listening());
}

}  // namespace
}  // namespace talvex
