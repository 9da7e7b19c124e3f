// A headless sway of the test's own with Wayland windows of the test's own: the focus
// switched with swaymsg is announced with the window's pid and title, and the engine
// raises the program in front at once.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "engine/Engine.h"
#include "platform/fake/FakeUi.h"
#include "platform/linux/CompositorWindowApi.h"
#include "platform/linux/LinuxClock.h"
#include "platform/linux/LinuxProcessApi.h"
#include "platform/linux/SwayForegroundSource.h"
#include "tests/linux/LinuxTestSupport.h"

namespace talvex {
namespace {

using namespace platform;
using linuxtest::Child;
using linuxtest::WaitFor;
namespace fs = std::filesystem;

// sway on the headless backend, in a runtime folder of its own.
class HeadlessSway {
  public:
    HeadlessSway() {
        char folder[] = "/tmp/talvex-sway.XXXXXX";
        if (!::mkdtemp(folder)) return;
        m_folder = folder;
        std::ofstream(m_folder + "/config") << "xwayland disable\n";
        m_pid = linuxtest::Spawn(
            {"sway", "-c", m_folder + "/config"},
            {"XDG_RUNTIME_DIR=" + m_folder, "WLR_BACKENDS=headless", "WLR_RENDERER=pixman",
             "WLR_LIBINPUT_NO_DEVICES=1", "WAYLAND_DISPLAY=", "DISPLAY=",
             // sway makes its socket where SWAYSOCK says.
             "SWAYSOCK=" + m_folder + "/sway-ipc.sock"});
        if (m_pid <= 0) return;
        WaitFor([&] { return Find(); }, 15000);
    }
    ~HeadlessSway() {
        linuxtest::KillAndReap(m_pid);
        if (!m_folder.empty()) fs::remove_all(m_folder);
    }
    HeadlessSway(const HeadlessSway&) = delete;
    HeadlessSway& operator=(const HeadlessSway&) = delete;

    bool Ready() const { return !m_socket.empty() && !m_display.empty(); }
    const std::string& Socket() const { return m_socket; }
    std::vector<std::string> ClientEnvironment() const {
        return {"XDG_RUNTIME_DIR=" + m_folder, "WAYLAND_DISPLAY=" + m_display,
                "QT_QPA_PLATFORM=wayland", "DISPLAY="};
    }
    /// Gives the focus to the window of process `pid`, as a user's key binding would.
    bool Focus(pid_t pid) {
        const pid_t msg = linuxtest::Spawn(
            {"swaymsg", "-q", "-s", m_socket, "[pid=" + std::to_string(pid) + "] focus"}, {});
        int status = 0;
        return msg > 0 && ::waitpid(msg, &status, 0) == msg && WIFEXITED(status) &&
               WEXITSTATUS(status) == 0;
    }

  private:
    // The IPC socket and the Wayland display sway made in its folder.
    bool Find() {
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(m_folder, error)) {
            const std::string name = entry.path().filename();
            if (name.starts_with("sway-ipc.") && entry.is_socket()) m_socket = entry.path();
            if (name.starts_with("wayland-") && !name.ends_with(".lock")) m_display = name;
        }
        return Ready();
    }

    std::string m_folder, m_socket, m_display;
    pid_t m_pid = -1;
};

struct NullHost final : IEngineHost {
    void fEndTalvex() override {}
    void ShowStatusText(const std::string&) override {}
    void PublishTooltip(const std::string&) override {}
};

TEST(SwayDesktop, FocusSwitchedWithSwaymsgIsAnnouncedAndRaisesTheProgramAtOnce) {
    const std::string client = TALVEX_WAYLAND_CLIENT_PATH;
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

    FakeUi ui;
    CompositorWindowApi windows;
    SwayForegroundSource source(sway.Socket(), windows);
    LinuxClock clock;
    StringTable strings;
    ActionLog log{clock};
    NullHost host;
    Engine engine(processes, windows, clock, strings, log, host);
    engine.SetStages(nullptr);
    engine.m_iNewPriority = 1;  // High
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
            return engine.m_lForegroundPid == front.Pid();
        }));
        EXPECT_EQ(changes.back().pid, front.Pid());
        EXPECT_EQ(changes.back().title, titles[index]);
        EXPECT_EQ(windows.GetWindowTextA(windows.GetForegroundWindow(), 250), titles[index]);
        EXPECT_EQ(linuxtest::NiceOf(front.Pid()), -10);
        EXPECT_EQ(linuxtest::NiceOf(back.Pid()), 0);
    }
    source.Stop();
    processes.UndoAllChanges(350);
}

}  // namespace
}  // namespace talvex
