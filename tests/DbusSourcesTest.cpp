// The KWin and GNOME sources on a private session bus, against a fake KWin (scripting
// object, and the calls its script makes) and a fake GNOME Shell with Talvex's extension.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <future>
#include <mutex>
#include <set>
#include <thread>

#include "platform/fake/FakeUi.h"
#include "platform/linux/GnomeForegroundSource.h"
#include "platform/linux/KWinForegroundSource.h"
#include "tests/FakeBusPeer.h"
#include "tests/TempFolder.h"
#include "tests/WaitFor.h"

namespace talvex {
namespace {

using namespace platform;
using testing::FakeBusPeer;
using testing::PrivateBus;

using testing::WaitFor;

// The bus name a script calls.
std::string CalledNameIn(const std::string& script) {
    const auto start = script.find("callDBus(\"");
    if (start == std::string::npos) return {};
    const auto end = script.find('"', start + 10);
    return script.substr(start + 10, end - start - 10);
}

// What KWin's scripting object was asked, which run calls it takes, and which of them
// actually run Talvex's script (it then reports the active window, as the real one does).
struct KWinScripting {
    std::mutex mutex;
    std::vector<std::string> calls;  // "unloadScript talvex-foreground", "run /Scripting/Script7"
    std::string script;              // the text of the file loadScript named
    std::set<std::string> runnable{"/Scripting/Script7"};
    std::set<std::string> reporting{"/Scripting/Script7"};
    int notYet = 0;     // calls answered as a KWin does before its scripting object is there
    bool hung = false;  // calls taken and never answered

    int Answer(sd_bus_message* call) {
        const std::string path = sd_bus_message_get_path(call);
        const std::string member = sd_bus_message_get_member(call);
        const char* text = nullptr;
        std::lock_guard lock(mutex);
        if (hung) {
            calls.push_back("unanswered " + member);
            return 1;
        }
        if (notYet > 0) {
            --notYet;
            calls.push_back("not yet " + member);
            return sd_bus_reply_method_errorf(call, SD_BUS_ERROR_UNKNOWN_OBJECT,
                                              "No such object path '%s'", path.c_str());
        }
        if (member == "unloadScript" && sd_bus_message_read(call, "s", &text) >= 0) {
            calls.push_back(member + " " + text);
            return sd_bus_reply_method_return(call, "b", 0);
        }
        if (member == "loadScript") {
            const char* plugin = nullptr;
            sd_bus_message_read(call, "ss", &text, &plugin);
            calls.push_back(member + " " + plugin);
            std::ifstream in(text);
            script.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            return sd_bus_reply_method_return(call, "i", 7);
        }
        calls.push_back(member + " " + path);
        if (runnable.count(path)) {
            if (reporting.count(path)) {
                sd_bus_call_method_async(sd_bus_message_get_bus(call), nullptr,
                                         CalledNameIn(script).c_str(), KWinForegroundSource::kPath,
                                         KWinForegroundSource::kInterface, "Activated", nullptr,
                                         nullptr, "iss", 4321, "Dolphin", "{started}");
            }
            return sd_bus_reply_method_return(call, "");
        }
        return sd_bus_reply_method_errorf(call, SD_BUS_ERROR_UNKNOWN_OBJECT, "no %s", path.c_str());
    }
};

class KWinSourceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!bus.Ready()) GTEST_SKIP() << "dbus-daemon could not be started";
        ASSERT_TRUE(kwin.Ready());
    }
    bool Start() {
        return source.Start(ui, [this](const ForegroundChange& c) { changes.push_back(c); });
    }
    // The bus name the loaded script calls.
    std::string CalledName() {
        std::lock_guard lock(scripting.mutex);
        return CalledNameIn(scripting.script);
    }
    // The script reports a window, as KWin runs it (without waiting for the answer).
    void Activate(FakeBusPeer& from, std::int32_t pid, const std::string& caption,
                  const std::string& id) {
        const std::string name = CalledName();
        from.Run([&](sd_bus* b) {
            sd_bus_call_method_async(b, nullptr, name.c_str(), KWinForegroundSource::kPath,
                                     KWinForegroundSource::kInterface, "Activated", nullptr,
                                     nullptr, "iss", pid, caption.c_str(), id.c_str());
        });
    }

    PrivateBus bus;
    testing::TempFolder folder;
    KWinScripting scripting;
    FakeBusPeer kwin{bus.Address(), "org.kde.KWin", "/",
                     [this](sd_bus_message* call) { return scripting.Answer(call); }};
    FakeUi ui;
    CompositorWindowApi windows;
    KWinForegroundSource source{bus.Address(), folder.Path().string(), windows};
    std::vector<ForegroundChange> changes;
};

TEST_F(KWinSourceTest, TheScriptIsLoadedAndRunAndItsCallsMoveTheFront) {
    ASSERT_TRUE(Start());
    {
        std::lock_guard lock(scripting.mutex);
        EXPECT_EQ(scripting.calls, (std::vector<std::string>{"unloadScript talvex-foreground",
                                                             "loadScript talvex-foreground",
                                                             "run /Scripting/Script7"}));
        EXPECT_NE(scripting.script.find("workspace.windowActivated.connect"), std::string::npos);
        EXPECT_NE(scripting.script.find("workspace.clientActivated.connect"), std::string::npos);
        EXPECT_NE(scripting.script.find("window.captionChanged.connect"), std::string::npos);
    }
    ASSERT_FALSE(CalledName().empty());
    // The script's report at its start named the window in front.
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes.back().pid, 4321);

    // Two activations before the event loop runs: one announcement, the newest.
    Activate(kwin, 4321, "Dolphin — Home", "{0b5c1f3e-7a2d-4c1e-9a57-3f2e8b1d6c40}");
    Activate(kwin, 4400, "Konsole", "{9d1e22aa-51c6-4b7e-8f0d-6a3c2b1e0f99}");
    ASSERT_TRUE(WaitFor([&] {
        ui.DeliverReadable();
        return windows.GetWindowThreadProcessId(windows.GetForegroundWindow()) == 4400;
    }));
    EXPECT_EQ(changes.back().title, "Konsole");
    EXPECT_LE(changes.size(), 3u);
    // Windows are numbered in the order they were first named, and keep their number.
    EXPECT_EQ(windows.GetForegroundWindow(), 3u);
    Activate(kwin, 4321, "Dolphin — Home", "{0b5c1f3e-7a2d-4c1e-9a57-3f2e8b1d6c40}");
    ASSERT_TRUE(WaitFor([&] {
        ui.DeliverReadable();
        return windows.GetForegroundWindow() == 2;
    }));
    // The window in front renamed itself: the same window with its new caption.
    Activate(kwin, 4321, "Dolphin — Downloads", "{0b5c1f3e-7a2d-4c1e-9a57-3f2e8b1d6c40}");
    ASSERT_TRUE(WaitFor([&] {
        ui.DeliverReadable();
        return windows.GetWindowTextA(windows.GetForegroundWindow(), 250) == "Dolphin — Downloads";
    }));
    EXPECT_EQ(windows.GetForegroundWindow(), 2u);
    // Nothing active (the desktop itself): no window in front.
    Activate(kwin, 0, "", "");
    ASSERT_TRUE(WaitFor([&] {
        ui.DeliverReadable();
        return windows.GetForegroundWindow() == 0;
    }));

    // Anybody else on the bus is turned away.
    FakeBusPeer stranger(bus.Address(), "", "", nullptr);
    const std::size_t before = changes.size();
    Activate(stranger, 1, "not KWin", "{x}");
    for (int i = 0; i < 20; ++i) {
        ui.DeliverReadable();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(changes.size(), before);
    EXPECT_EQ(windows.GetForegroundWindow(), 0u);

    source.Stop();
    std::lock_guard lock(scripting.mutex);
    EXPECT_EQ(scripting.calls.back(), "unloadScript talvex-foreground");
}

TEST_F(KWinSourceTest, EachPlasmaRunsTheScriptItsWayAndAScriptThatNeverReportsIsNoSource) {
    struct Case {
        std::set<std::string> runnable, reporting;
        bool starts;
        std::string lastRun;  // the last call that ran something
    };
    const std::vector<Case> cases = {
        // Plasma 6, Plasma 5, and start() running what is loaded when run is unknown.
        {{"/Scripting/Script7"}, {"/Scripting/Script7"}, true, "run /Scripting/Script7"},
        {{"/7"}, {"/7"}, true, "run /7"},
        {{"/Scripting"}, {"/Scripting"}, true, "start /Scripting"},
        // run reached another script (KWin handed out a loaded script's id): start().
        {{"/Scripting/Script7", "/Scripting"}, {"/Scripting"}, true, "start /Scripting"},
        // KWin answers run and start, but the script never reports.
        {{"/Scripting/Script7", "/Scripting"}, {}, false, "start /Scripting"},
        {{}, {}, false, "start /Scripting"},
    };
    for (const Case& c : cases) {
        {
            std::lock_guard lock(scripting.mutex);
            scripting.runnable = c.runnable;
            scripting.reporting = c.reporting;
            scripting.calls.clear();
        }
        const std::string name = c.runnable.empty() ? "" : *c.runnable.begin();
        EXPECT_EQ(Start(), c.starts) << name;
        EXPECT_EQ(source.Listening(), c.starts) << name;
        {
            std::lock_guard lock(scripting.mutex);
            const auto run = std::find_if(
                scripting.calls.rbegin(), scripting.calls.rend(),
                [](const std::string& call) { return call.rfind("unloadScript", 0) != 0; });
            ASSERT_NE(run, scripting.calls.rend()) << name;
            EXPECT_EQ(*run, c.lastRun) << name;
        }
        source.Stop();
        std::lock_guard lock(scripting.mutex);
        EXPECT_EQ(scripting.calls.back(), "unloadScript talvex-foreground") << name;
    }
    KWinForegroundSource nowhere("unix:path=/nonexistent/bus", folder.Path().string(), windows);
    EXPECT_FALSE(nowhere.Start(ui, [](const ForegroundChange&) {}));
}

// A KWin that hangs still lets Talvex end: the unload at the end gives up.
TEST_F(KWinSourceTest, AKWinThatNoLongerAnswersDoesNotHoldTheEnd) {
    ASSERT_TRUE(Start());
    {
        std::lock_guard lock(scripting.mutex);
        scripting.hung = true;
    }
    auto stopped = std::async(std::launch::async, [this] { source.Stop(); });
    EXPECT_TRUE(WaitFor(
        [&] { return stopped.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready; },
        10000))
        << "Stop waited for KWin's answer";
    stopped.wait();
    EXPECT_FALSE(source.Listening());
    std::lock_guard lock(scripting.mutex);
    EXPECT_EQ(scripting.calls.back(), "unanswered unloadScript");
}

TEST_F(KWinSourceTest, AGoneBusIsLetGo) {
    ASSERT_TRUE(Start());
    Activate(kwin, 4321, "Dolphin", "{a}");
    ASSERT_TRUE(WaitFor([&] {
        ui.DeliverReadable();
        return windows.GetForegroundWindow() != 0;
    }));
    bus.End();
    ASSERT_TRUE(WaitFor([&] {
        ui.DeliverReadable();
        return !source.Listening();
    }));
    EXPECT_TRUE(ui.WatchedDescriptors().empty());
    EXPECT_EQ(windows.GetForegroundWindow(), 0u);
}

// KWin restarted is a new connection that holds no script: the script is loaded into it,
// its calls are taken and the old connection's are not. A real KWin owns its name a
// moment before its scripting object is there.
TEST_F(KWinSourceTest, ARestartedKWinIsGivenTheScriptAgainAndOnlyItIsHeard) {
    ASSERT_TRUE(Start());
    kwin.Run([](sd_bus* b) { sd_bus_release_name(b, "org.kde.KWin"); });
    {
        std::lock_guard lock(scripting.mutex);
        scripting.calls.clear();
        scripting.notYet = 3;
    }
    FakeBusPeer restarted{bus.Address(), "org.kde.KWin", "/",
                          [this](sd_bus_message* call) { return scripting.Answer(call); }};
    ASSERT_TRUE(restarted.Ready());
    ASSERT_TRUE(WaitFor([&] {
        ui.DeliverReadable();
        std::lock_guard lock(scripting.mutex);
        return !scripting.calls.empty() && scripting.calls.back() == "run /Scripting/Script7";
    }));
    EXPECT_TRUE(source.Listening());
    {
        std::lock_guard lock(scripting.mutex);
        EXPECT_EQ(scripting.calls, (std::vector<std::string>{
                                       "not yet unloadScript", "not yet unloadScript",
                                       "not yet unloadScript", "unloadScript talvex-foreground",
                                       "loadScript talvex-foreground", "run /Scripting/Script7"}));
    }

    Activate(kwin, 1, "the old KWin", "{old}");
    Activate(restarted, 4400, "Konsole", "{konsole}");
    ASSERT_TRUE(WaitFor([&] {
        ui.DeliverReadable();
        return windows.GetWindowThreadProcessId(windows.GetForegroundWindow()) == 4400;
    }));
    for (const ForegroundChange& change : changes) EXPECT_NE(change.pid, 1);
}

// ---- GNOME Shell with the extension ----

struct ShellFocus {
    std::mutex mutex;
    bool extension = true;
    std::int32_t pid = 2211;
    std::string title = "Dateien", id = "17";
    std::string caller;  // the connection that asked Get: Talvex's

    int Answer(sd_bus_message* call) {
        std::lock_guard lock(mutex);
        caller = sd_bus_message_get_sender(call);
        if (!extension ||
            std::string(sd_bus_message_get_path(call)) != GnomeForegroundSource::kPath ||
            std::string(sd_bus_message_get_member(call)) != "Get") {
            return sd_bus_reply_method_errorf(call, SD_BUS_ERROR_UNKNOWN_METHOD, "no such method");
        }
        return sd_bus_reply_method_return(call, "iss", pid, title.c_str(), id.c_str());
    }
};

// The signal to everybody, or (`to` not empty) to one connection only, which passes
// any match rule.
void EmitChanged(FakeBusPeer& from, std::int32_t pid, const std::string& title,
                 const std::string& id, const std::string& to = "") {
    from.Run([&](sd_bus* b) {
        sd_bus_message* signal = nullptr;
        if (sd_bus_message_new_signal(b, &signal, GnomeForegroundSource::kPath,
                                      GnomeForegroundSource::kInterface, "Changed") < 0) {
            return;
        }
        if ((to.empty() || sd_bus_message_set_destination(signal, to.c_str()) >= 0) &&
            sd_bus_message_append(signal, "iss", pid, title.c_str(), id.c_str()) >= 0) {
            sd_bus_send(b, signal, nullptr);
        }
        sd_bus_message_unref(signal);
    });
}

TEST(GnomeSource, TheExtensionsAnswerAndSignalsMoveTheFrontOthersSignalsDoNot) {
    PrivateBus bus;
    if (!bus.Ready()) GTEST_SKIP() << "dbus-daemon could not be started";
    ShellFocus focus;
    FakeBusPeer shell(bus.Address(), "org.gnome.Shell", "/",
                      [&](sd_bus_message* call) { return focus.Answer(call); });
    ASSERT_TRUE(shell.Ready());
    FakeUi ui;
    CompositorWindowApi windows;
    std::vector<ForegroundChange> changes;
    GnomeForegroundSource source(bus.Address(), windows);
    ASSERT_TRUE(source.Start(ui, [&](const ForegroundChange& c) { changes.push_back(c); }));
    EXPECT_EQ(windows.GetWindowThreadProcessId(windows.GetForegroundWindow()), 2211);
    EXPECT_EQ(windows.GetWindowTextA(windows.GetForegroundWindow(), 250), "Dateien");

    EmitChanged(shell, 3300, "Terminal – ~/src", "18");
    ASSERT_TRUE(WaitFor([&] {
        ui.DeliverReadable();
        return !changes.empty();
    }));
    EXPECT_EQ(changes.back().pid, 3300);
    EXPECT_EQ(changes.back().title, "Terminal – ~/src");

    // The same signal from anybody but the shell changes nothing, sent to everybody or
    // to Talvex's connection alone.
    std::string talvex;
    {
        std::lock_guard lock(focus.mutex);
        talvex = focus.caller;
    }
    FakeBusPeer stranger(bus.Address(), "", "", nullptr);
    EmitChanged(stranger, 1, "fake", "99");
    EmitChanged(stranger, 1, "fake", "99", talvex);
    for (int i = 0; i < 20; ++i) {
        ui.DeliverReadable();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(changes.size(), 1u);
    EXPECT_EQ(windows.GetWindowThreadProcessId(windows.GetForegroundWindow()), 3300);

    // A restarted shell is heard, and the connection that owned the name before is not.
    shell.Run([](sd_bus* b) { sd_bus_release_name(b, GnomeForegroundSource::kShell); });
    FakeBusPeer restarted(bus.Address(), GnomeForegroundSource::kShell, "/",
                          [&](sd_bus_message* call) { return focus.Answer(call); });
    ASSERT_TRUE(restarted.Ready());
    EmitChanged(shell, 1, "the old shell", "98", talvex);
    EmitChanged(restarted, 4100, "Rechner", "19");
    ASSERT_TRUE(WaitFor([&] {
        ui.DeliverReadable();
        return windows.GetWindowThreadProcessId(windows.GetForegroundWindow()) == 4100;
    }));
    for (const ForegroundChange& change : changes) EXPECT_NE(change.pid, 1);

    // Without the extension (or without the shell) the source does not start.
    source.Stop();
    {
        std::lock_guard lock(focus.mutex);
        focus.extension = false;
    }
    EXPECT_FALSE(source.Start(ui, [](const ForegroundChange&) {}));
    GnomeForegroundSource noShell("unix:path=/nonexistent/bus", windows);
    EXPECT_FALSE(noShell.Start(ui, [](const ForegroundChange&) {}));
}

}  // namespace
}  // namespace talvex
