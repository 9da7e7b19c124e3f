#pragma once
// A whole engine on the fake desktop with the process table's stages in place, a host
// that records what it is given and a warning dialog that answers from a script.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "platform/fake/FakeDesktop.h"
#include "tests/EngineTestSupport.h"

namespace talvex::testing {

// Answers every warning the same way; while it "waits" it runs whatever the test gives
// it, as the real dialog lets timer ticks and rule edits run during its wait.
struct ScriptedDialog : IWarningDialog {
    bool noMessage = false;  // second box
    bool noBoost = false;    // first box
    std::function<void()> whileWaiting;
    std::vector<std::string> messages;
    int depth = 0, maxDepth = 0;

    bool Display(const std::string& sMsg, bool& bNoBoost) override {
        messages.push_back(sMsg);
        maxDepth = std::max(maxDepth, ++depth);
        if (whileWaiting) {
            auto script = std::move(whileWaiting);  // runs once, for the first warning
            whileWaiting = nullptr;
            script();
        }
        --depth;
        bNoBoost = noBoost;
        return noMessage;
    }
};

class ObserverTest : public ::testing::Test {
  protected:
    static constexpr std::uint64_t kInterval = 500;  // timer interval in ms

    void SetUp() override {
        self = desk.AddProcess({"/opt/talvex/talvex", platform::HIGH_PRIORITY_CLASS});
        desk.SetCurrentProcess(self);
        engine.Items().fAddToTalvexItems("talvex", 0, true, true, false, false);
        engine.SetNewPriority(1);
        engine.SetWarningDialog(&dialog);
    }

    // One timer tick, half a second after the last one.
    void Tick() {
        desk.AdvanceClock(kInterval);
        engine.tmrRefresh_Timer();
    }
    // Gives the process `percent` of one core over the next interval, then ticks.
    void TickAt(std::int32_t pid, std::uint64_t percent) {
        desk.AddCpuTime(pid, 0, percent * kInterval / 100);
        Tick();
    }
    std::int32_t Start(const std::string& path,
                       std::int32_t cls = platform::NORMAL_PRIORITY_CLASS) {
        return desk.AddProcess({path, cls});
    }
    platform::WindowHandle Front(std::int32_t pid, const std::string& title) {
        const auto window = desk.AddWindow(pid, title);
        desk.SetForeground(window);
        return window;
    }
    // Brings the program to the front and ticks until the engine has seen the change
    // (a rebuild tick may come first).
    void SwitchTo(std::int32_t pid, const std::string& title) {
        Front(pid, title);
        for (int i = 0; i < 2 && engine.ForegroundPid() != pid; ++i) Tick();
        ASSERT_EQ(engine.ForegroundPid(), pid);
    }
    // `n` ticks that examine the program in front at 100 % (rebuild ticks do not count).
    void CriticalTicks(std::int32_t pid, int n) {
        for (int examined = 0; examined < n;) {
            const bool rebuild = engine.TableStages().RebuildCountdown() == 0;
            TickAt(pid, 100);
            if (!rebuild) ++examined;
        }
    }
    // Brings up the engine with `pid` in front: the rebuild tick and the change tick.
    void StartWith(std::int32_t pid) {
        Front(pid, "Front");
        Tick();
        Tick();
        ASSERT_EQ(engine.ForegroundPid(), pid);
    }
    std::size_t LogLinesWith(const std::string& text) const {
        return static_cast<std::size_t>(std::count_if(
            log.Lines().begin(), log.Lines().end(),
            [&](const std::string& line) { return line.find(text) != std::string::npos; }));
    }

    platform::FakeDesktop desk;
    StringTable strings;
    ActionLog log{desk};
    RecordingHost host;
    ScriptedDialog dialog;
    Engine engine{desk, desk, desk, strings, log, host};
    std::int32_t self = 0;
};

}  // namespace talvex::testing
