// The Hyprland source against messages in Hyprland's own format, through two fake
// sockets: one question per burst of changes, each request connection closed at once,
// and the state the engine reads.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <mutex>

#include "platform/fake/FakeUi.h"
#include "platform/linux/HyprlandForegroundSource.h"
#include "tests/FakeSocketServer.h"
#include "tests/TempFolder.h"
#include "tests/WaitFor.h"

namespace talvex {
namespace {

using namespace platform;
using testing::FakeSocketServer;

// The answer of "j/activewindow", as Hyprland gives it.
std::string ActiveWindow(const std::string& address, int pid, const std::string& title) {
    return R"({
    "address": ")" +
           address + R"(",
    "mapped": true,
    "hidden": false,
    "at": [10, 40],
    "size": [1900, 1030],
    "workspace": {"id": 1, "name": "1"},
    "floating": false,
    "monitor": 0,
    "class": "foot",
    "title": ")" +
           title + R"(",
    "initialClass": "foot",
    "initialTitle": "foot",
    "pid": )" +
           std::to_string(pid) +
           R"(,
    "xwayland": false,
    "pinned": false,
    "fullscreen": false,
    "fullscreenMode": 0,
    "fakeFullscreen": false,
    "grouped": [],
    "swallowing": "0x0",
    "focusHistoryID": 0
})";
}

using testing::WaitFor;

class HyprlandSourceTest : public ::testing::Test {
  protected:
    void SetAnswer(const std::string& answer) {
        std::lock_guard lock(mutex);
        this->answer = answer;
    }
    bool Start() {
        return source.Start(ui, [this](const ForegroundChange& c) { changes.push_back(c); });
    }
    void Deliver(const std::string& lines) {
        ASSERT_TRUE(events.Send(lines));
        ASSERT_TRUE(WaitFor([&] { return ui.DeliverReadable() > 0; }));
    }
    int Questions() const {
        int count = 0;
        for (const std::string& sent : requests.Received()) count += sent == "j/activewindow";
        return count;
    }

    testing::TempFolder folder;
    std::mutex mutex;
    std::string answer = ActiveWindow("0x5618e0a2b8f0", 2811, "~/src");
    // Answers every question but leaves the connection open: closing it is the
    // source's part.
    FakeSocketServer requests{folder.Path().string() + "/.socket.sock",
                              [this](std::string& received) {
                                  std::optional<FakeSocketServer::Reply> reply;
                                  if (received != "j/activewindow") return reply;
                                  received.clear();
                                  std::lock_guard lock(mutex);
                                  reply = FakeSocketServer::Reply{answer};
                                  return reply;
                              }};
    FakeSocketServer events{folder.Path().string() + "/.socket2.sock", nullptr};
    FakeUi ui;
    CompositorWindowApi windows;
    HyprlandForegroundSource source{folder.Path().string(), windows};
    std::vector<ForegroundChange> changes;
};

// Windows are shown by small numbers in the order they were first named, not by their
// addresses.
constexpr WindowHandle kFoot = 1, kFirefox = 2;

TEST_F(HyprlandSourceTest, StartAsksForTheFrontOnceAndClosesTheQuestionAtOnce) {
    ASSERT_TRUE(Start());
    EXPECT_EQ(windows.GetForegroundWindow(), kFoot);
    EXPECT_EQ(windows.GetWindowThreadProcessId(kFoot), 2811);
    EXPECT_EQ(windows.GetWindowTextA(kFoot, 250), "~/src");
    EXPECT_EQ(Questions(), 1);
    EXPECT_TRUE(WaitFor([&] { return requests.Open() == 0; }));
    EXPECT_TRUE(WaitFor([&] { return events.Open() == 1; }));
}

TEST_F(HyprlandSourceTest, OneQuestionAnswersEveryChangeThatWaited) {
    ASSERT_TRUE(Start());
    SetAnswer(ActiveWindow("0x5618e0c31a20", 3120, "Mozilla Firefox"));
    // Two changes, with the events around them, in one read; a line cut at the end.
    Deliver(
        "activewindow>>foot,~/src\nactivewindowv2>>5618e0a2b8f0\nworkspace>>2\n"
        "activewindow>>firefox,Mozilla Firefox\nactivewindowv2>>5618e0c31a20\nfocusedm");
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].window, kFirefox);
    EXPECT_EQ(changes[0].pid, 3120);
    EXPECT_EQ(changes[0].title, "Mozilla Firefox");
    EXPECT_EQ(Questions(), 2);

    struct Step {
        std::string lines;
        std::size_t changes;
        WindowHandle front;
    };
    const std::vector<Step> steps = {
        {"on>>DP-1,2\n", 1, kFirefox},  // the rest of the cut line: no change
        {"windowtitlev2>>5618e0c31a20,Neue Seite, privat\n", 1, kFirefox},
        {"closewindow>>5618e0a2b8f0\n", 1, kFirefox},
        {"activewindowv2>>\n", 2, 0},  // nothing in front: Hyprland answers {}
    };
    for (const Step& step : steps) {
        if (step.front == 0) SetAnswer("{}");
        Deliver(step.lines);
        EXPECT_EQ(changes.size(), step.changes) << step.lines;
        EXPECT_EQ(windows.GetForegroundWindow(), step.front) << step.lines;
    }
    EXPECT_EQ(windows.GetWindowTextA(kFirefox, 250), "Neue Seite, privat");
    EXPECT_EQ(windows.GetWindowThreadProcessId(kFoot), 0);  // closed: forgotten
    EXPECT_EQ(Questions(), 3);
    EXPECT_TRUE(WaitFor([&] { return requests.Open() == 0; }));
}

TEST_F(HyprlandSourceTest, AGoneHyprlandIsLetGo) {
    ASSERT_TRUE(Start());
    ASSERT_TRUE(WaitFor([&] { return events.Open() == 1; }));
    events.CloseConnections();
    ASSERT_TRUE(WaitFor([&] { return ui.DeliverReadable() > 0; }));
    EXPECT_FALSE(source.Listening());
    EXPECT_TRUE(ui.WatchedDescriptors().empty());
    EXPECT_EQ(windows.GetForegroundWindow(), 0u);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].window, 0u);

    // Sockets another user made are not listened to.
    HyprlandForegroundSource stranger(folder.Path().string(), windows, ::geteuid() + 1);
    EXPECT_FALSE(stranger.Start(ui, [](const ForegroundChange&) {}));
    EXPECT_FALSE(stranger.Listening());

    // Events without anybody to answer the question: no start.
    HyprlandForegroundSource mute(folder.Path().string() + "/nowhere", windows);
    EXPECT_FALSE(mute.Start(ui, [](const ForegroundChange&) {}));
}

TEST(HyprlandInstance, TheSocketFolderFollowsTheSignatureAndTheVersion) {
    testing::TempFolder runtime;
    const std::string signature = "talvex-test-" + std::to_string(::getpid());
    const std::string newer = runtime.Path().string() + "/hypr/" + signature;
    const std::string older = "/tmp/hypr/" + signature;
    std::map<std::string, std::string> values{{"HYPRLAND_INSTANCE_SIGNATURE", signature},
                                              {"XDG_RUNTIME_DIR", runtime.Path().string()}};
    const xdg::EnvLookup env = [&](const char* name) -> const char* {
        const auto it = values.find(name);
        return it == values.end() ? nullptr : it->second.c_str();
    };
    EXPECT_EQ(HyprlandForegroundSource::InstanceFolder(env), newer);  // none there yet
    std::filesystem::create_directories(older);
    {
        FakeSocketServer olderSocket(older + "/.socket2.sock", nullptr);
        EXPECT_EQ(HyprlandForegroundSource::InstanceFolder(env), older);
        std::filesystem::create_directories(newer);
        FakeSocketServer newerSocket(newer + "/.socket2.sock", nullptr);
        EXPECT_EQ(HyprlandForegroundSource::InstanceFolder(env), newer);
    }
    std::filesystem::remove_all(older);
    for (const char* bad : {"../../etc", ""}) {
        values["HYPRLAND_INSTANCE_SIGNATURE"] = bad;
        EXPECT_EQ(HyprlandForegroundSource::InstanceFolder(env), "") << bad;
    }
}

}  // namespace
}  // namespace talvex
