// The sway source against recorded messages of sway 1.7, played by a fake socket: the
// window state it keeps for the engine, what it announces, and how it lets go of a
// compositor that is gone or speaks garbage.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "platform/fake/FakeUi.h"
#include "platform/linux/SwayForegroundSource.h"
#include "tests/FakeSocketServer.h"
#include "tests/TempFolder.h"
#include "tests/WaitFor.h"

namespace talvex {
namespace {

using namespace platform;
using testing::FakeSocketServer;
using testing::TempFolder;
using testing::WaitFor;

std::string ReadData(const std::string& name) {
    std::ifstream in(std::string(TALVEX_SOURCE_DIR) + "/tests/data/" + name);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The recorded events, in order: "window focus 5" and so on name them below.
std::vector<std::pair<std::uint32_t, std::string>> RecordedEvents() {
    std::vector<std::pair<std::uint32_t, std::string>> events;
    std::istringstream lines(ReadData("sway-events.txt"));
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#') continue;
        const auto space = line.find(' ');
        const bool window = line.substr(0, space) == "window";
        events.emplace_back(window ? i3ipc::kWindowEvent : i3ipc::kWorkspaceEvent,
                            line.substr(space + 1));
    }
    return events;
}

class SwaySourceTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(events.size(), 13u); }
    // sway's side: the recorded tree, and the subscription's answer.
    static std::optional<FakeSocketServer::Reply> Answer(std::string& received,
                                                         const std::string& subscribed) {
        std::string copy = received;
        const auto request = i3ipc::Take(copy);
        if (!request) return std::nullopt;
        received = copy;
        if (request->type == i3ipc::kGetTree) {
            return FakeSocketServer::Reply{
                i3ipc::Encode(i3ipc::kGetTree, ReadData("sway-tree.json"))};
        }
        return FakeSocketServer::Reply{i3ipc::Encode(request->type, subscribed)};
    }
    bool Start() {
        return source.Start(ui, [this](const ForegroundChange& c) { changes.push_back(c); });
    }
    std::string Event(std::size_t index) const {
        return i3ipc::Encode(events[index].first, events[index].second);
    }
    // Sends the bytes and lets the event loop run until the source has read them.
    void Deliver(const std::string& bytes) {
        ASSERT_TRUE(server.Send(bytes));
        ASSERT_TRUE(WaitFor([&] { return ui.DeliverReadable() > 0; }));
    }

    const std::vector<std::pair<std::uint32_t, std::string>> events = RecordedEvents();
    TempFolder folder;
    FakeSocketServer server{folder.Path().string() + "/sway-ipc.sock", [](std::string& received) {
                                return Answer(received, R"({"success":true})");
                            }};
    FakeUi ui;
    CompositorWindowApi windows;
    SwayForegroundSource source{server.Path(), windows};
    std::vector<ForegroundChange> changes;
};

TEST_F(SwaySourceTest, StartTakesTheFocusedWindowFromTheTreeAndSubscribes) {
    ASSERT_TRUE(Start());
    EXPECT_EQ(windows.GetForegroundWindow(), 6u);
    EXPECT_EQ(windows.GetWindowThreadProcessId(6), 1330);
    EXPECT_EQ(windows.GetWindowTextA(6, 250), "second");
    EXPECT_EQ(windows.GetWindowTextA(6, 4), "sec");
    EXPECT_EQ(windows.GetWindowThreadProcessId(5), 0);  // never named in front
    std::string sent = server.Received().at(0);
    ASSERT_EQ(i3ipc::Take(sent)->type, i3ipc::kGetTree);
    const auto subscribe = i3ipc::Take(sent);
    ASSERT_TRUE(subscribe);
    EXPECT_EQ(subscribe->type, i3ipc::kSubscribe);
    EXPECT_NE(subscribe->payload.find("\"window\""), std::string::npos);
    EXPECT_TRUE(changes.empty());
}

TEST_F(SwaySourceTest, TheNewestFocusOfWhatArrivedIsAnnouncedWholeMessagesOnly) {
    ASSERT_TRUE(Start());
    // new 5, title 5, focus 5, new 6, title 6, focus 6, focus 5 in one read.
    std::string burst;
    for (std::size_t i = 0; i <= 6; ++i) burst += Event(i);
    Deliver(burst);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].window, 5u);
    EXPECT_EQ(changes[0].pid, 1319);
    EXPECT_EQ(changes[0].title, "Erstes Fenster ✓");
    EXPECT_EQ(windows.GetWindowThreadProcessId(6), 1330);  // still known after leaving

    // A focus event cut into pieces is announced once it is whole.
    const std::string pieces = Event(5);
    for (std::size_t at = 0; at < pieces.size(); at += 97) {
        Deliver(pieces.substr(at, 97));
        EXPECT_EQ(changes.size(), at + 97 < pieces.size() ? 1u : 2u);
    }
    EXPECT_EQ(windows.GetForegroundWindow(), 6u);
}

TEST_F(SwaySourceTest, EmptyWorkspacesTitlesAndClosedWindows) {
    ASSERT_TRUE(Start());
    struct Step {
        std::size_t event;
        bool announced;
        WindowHandle front;
    };
    const std::vector<Step> steps = {
        {6, true, 5},    // focus 5
        {7, false, 5},   // workspace 2 made
        {8, true, 0},    // workspace 2, empty, has the focus: nothing in front
        {9, false, 0},   // back to workspace 1: its window says so itself...
        {10, true, 5},   // ...in the window event that follows
        {11, false, 5},  // workspace 2 went away
        {12, false, 5},  // window 6, not in front, closed
    };
    for (const Step& step : steps) {
        const std::size_t before = changes.size();
        Deliver(Event(step.event));
        EXPECT_EQ(changes.size(), before + (step.announced ? 1 : 0)) << step.event;
        EXPECT_EQ(windows.GetForegroundWindow(), step.front) << step.event;
    }
    EXPECT_EQ(windows.GetWindowThreadProcessId(6), 0);  // forgotten when closed
    // A new title of the window in front is kept, without an announcement.
    std::string retitled = events[10].second;
    retitled.replace(retitled.find("\"focus\""), 7, "\"title\"");
    const std::string old = "Erstes Fenster ✓";
    retitled.replace(retitled.find(old), old.size(), "Neuer Titel");
    const std::size_t before = changes.size();
    Deliver(i3ipc::Encode(i3ipc::kWindowEvent, retitled));
    EXPECT_EQ(changes.size(), before);
    EXPECT_EQ(windows.GetWindowTextA(5, 250), "Neuer Titel");
}

TEST_F(SwaySourceTest, AGoneOrGarbledCompositorIsLetGoAndNothingIsKnownAnyMore) {
    const std::vector<std::pair<const char*, std::string>> endings = {
        {"closed", ""},
        {"garbage", "HTTP/1.1 200 OK\r\n\r\n"},
        {"too long", std::string("i3-ipc\xff\xff\xff\x7f\x03\x00\x00\x80", 14)},
    };
    for (const auto& [what, bytes] : endings) {
        changes.clear();
        ASSERT_TRUE(Start()) << what;
        Deliver(Event(6));  // focus 5
        if (bytes.empty()) {
            server.CloseConnections();
            ASSERT_TRUE(WaitFor([&] { return ui.DeliverReadable() > 0; })) << what;
        } else {
            Deliver(bytes);
        }
        EXPECT_FALSE(source.Listening()) << what;
        EXPECT_TRUE(ui.WatchedDescriptors().empty()) << what;
        EXPECT_EQ(windows.GetForegroundWindow(), 0u) << what;
        EXPECT_EQ(windows.GetWindowThreadProcessId(5), 0) << what;
        ASSERT_EQ(changes.size(), 2u) << what;
        EXPECT_EQ(changes.back().window, 0u) << what;
    }
}

TEST(SwaySourceStart, NoSocketOrARefusedSubscriptionIsNoStart) {
    TempFolder folder;
    FakeUi ui;
    CompositorWindowApi windows;
    SwayForegroundSource nowhere(folder.Path().string() + "/none.sock", windows);
    EXPECT_FALSE(nowhere.Start(ui, [](const ForegroundChange&) {}));

    for (const char* answer : {R"({"success":false})", "[", R"(["success"])"}) {
        FakeSocketServer server(folder.Path().string() + "/sway.sock", [&](std::string& received) {
            std::string copy = received;
            const auto request = i3ipc::Take(copy);
            if (!request) return std::optional<FakeSocketServer::Reply>{};
            received = copy;
            const std::string payload =
                request->type == i3ipc::kGetTree ? ReadData("sway-tree.json") : answer;
            return std::optional<FakeSocketServer::Reply>{{i3ipc::Encode(request->type, payload)}};
        });
        SwayForegroundSource source(server.Path(), windows);
        EXPECT_FALSE(source.Start(ui, [](const ForegroundChange&) {})) << answer;
        // A socket that another user made is not asked at all.
        SwayForegroundSource stranger(server.Path(), windows, ::geteuid() + 1);
        EXPECT_FALSE(stranger.Start(ui, [](const ForegroundChange&) {})) << answer;
        EXPECT_FALSE(source.Listening()) << answer;
        EXPECT_TRUE(ui.WatchedDescriptors().empty()) << answer;
    }
}

}  // namespace
}  // namespace talvex
