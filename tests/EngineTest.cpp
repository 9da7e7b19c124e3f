// The refresh tick on the fake desktop: boosting, restoring, status, tooltip and log.
#include <gtest/gtest.h>

#include "base/TalvexError.h"
#include "engine/Engine.h"
#include "platform/fake/FakeDesktop.h"
#include "tests/EngineTestSupport.h"

namespace talvex {
namespace {

using namespace platform;
using testing::RecordingHost;

struct ScriptedStages : IProcessStages {
    bool endTick = false;
    bool throwInObservation = false;
    int tableStages = 0, observations = 0;
    bool ProcessTableStage() override {
        ++tableStages;
        return endTick;
    }
    void ObservationStage() override {
        ++observations;
        if (throwInObservation) throw TalvexError(kErrIndexOutOfRange);
    }
};

class EngineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        self = desk.AddProcess({"/opt/talvex/talvex", HIGH_PRIORITY_CLASS});
        desk.SetCurrentProcess(self);
        engine.Items().fAddToTalvexItems("talvex", 0, true, true, false, false);
        engine.SetNewPriority(1);
        engine.SetStatusWord(&StatusWords::txtWindow, "Window");
        engine.SetStatusWord(&StatusWords::txtProcessId, "Process ID");
        engine.SetStatusWord(&StatusWords::txtPriority, "Priority");
        // These cases are about the cycle itself: no process table, so that every
        // tick reaches the foreground queries.
        engine.SetStages(nullptr);
    }
    // A process with one window, brought to the front.
    std::pair<std::int32_t, WindowHandle> Front(const std::string& path, const std::string& title,
                                                std::int32_t cls = NORMAL_PRIORITY_CLASS) {
        const auto pid = desk.AddProcess({path, cls});
        const auto window = desk.AddWindow(pid, title);
        desk.SetForeground(window);
        return {pid, window};
    }

    FakeDesktop desk;
    StringTable strings;
    ActionLog log{desk};
    RecordingHost host;
    Engine engine{desk, desk, desk, strings, log, host};
    std::int32_t self = 0;
};

TEST_F(EngineTest, BoostsNewProgramAndRestoresItOnSwitch) {
    const auto [editor, editorWnd] = Front("/usr/bin/editor", "Notes - Editor");
    engine.tmrRefresh_Timer();
    EXPECT_EQ(desk.PriorityOf(editor), HIGH_PRIORITY_CLASS);
    EXPECT_EQ(engine.ForegroundPid(), editor);
    EXPECT_EQ(engine.ForegroundPriority(), NORMAL_PRIORITY_CLASS);
    EXPECT_EQ(engine.ForegroundExe(), "/usr/bin/editor");
    EXPECT_EQ(log.Lines().back(),
              "[09.12.2026 08:48:46] Foreground application changed: Notes - Editor");
    EXPECT_EQ(host.tooltips.back(), "Talvex 1.1.0: Notes - Editor");

    const auto [shell, shellWnd] = Front("/usr/bin/shell", "Shell");
    engine.tmrRefresh_Timer();
    EXPECT_EQ(desk.PriorityOf(editor), NORMAL_PRIORITY_CLASS);
    EXPECT_EQ(desk.PriorityOf(shell), HIGH_PRIORITY_CLASS);
    EXPECT_EQ(engine.PreviousExe(), "/usr/bin/editor");
    EXPECT_EQ(engine.ForegroundExe(), "/usr/bin/shell");
    EXPECT_EQ(desk.OpenHandleCount(), 0u);
    (void)editorWnd;
    (void)shellWnd;
}

TEST_F(EngineTest, DecisionTableForRulesBlockedAndPresentClass) {
    engine.Items().fAddToTalvexItems("/usr/bin/ruled", 0, false, false, false, false);
    engine.Items().fAddToTalvexItems("/usr/bin/blocked", 2, true, false, false, false);
    engine.Items().fAddToTalvexItems("/usr/bin/norise", -1, false, false, false, false);
    engine.Items().Edit(3).iBoostLevel = -1;
    struct Case {
        std::string path;
        std::int32_t before, after;
    };
    const std::vector<Case> cases = {
        {"/usr/bin/ruled", HIGH_PRIORITY_CLASS, ABOVE_NORMAL_PRIORITY_CLASS},  // rule wins
        {"/usr/bin/blocked", NORMAL_PRIORITY_CLASS, NORMAL_PRIORITY_CLASS},
        {"/usr/bin/norise", NORMAL_PRIORITY_CLASS, NORMAL_PRIORITY_CLASS},
        {"/usr/bin/plain", NORMAL_PRIORITY_CLASS, HIGH_PRIORITY_CLASS},
        {"/usr/bin/lowered", IDLE_PRIORITY_CLASS, IDLE_PRIORITY_CLASS},
        {"/usr/bin/below", BELOW_NORMAL_PRIORITY_CLASS, BELOW_NORMAL_PRIORITY_CLASS},
        {"/usr/bin/above", ABOVE_NORMAL_PRIORITY_CLASS, ABOVE_NORMAL_PRIORITY_CLASS},
    };
    for (const auto& c : cases) {
        const auto [pid, window] = Front(c.path, c.path, c.before);
        engine.tmrRefresh_Timer();
        EXPECT_EQ(desk.PriorityOf(pid), c.after) << c.path;
        EXPECT_EQ(log.Lines().back(),
                  "[09.12.2026 08:48:46] Foreground application changed: " + c.path);
        (void)window;
    }
}

TEST_F(EngineTest, RuleOfLevelTwoGivesRealtimeUnderGlobalLevelZero) {
    engine.SetNewPriority(0);
    engine.Items().fAddToTalvexItems("game.bin", 2, false, false, false, false);
    const auto [game, w] = Front("/opt/game/game.bin", "Game");
    engine.tmrRefresh_Timer();
    EXPECT_EQ(desk.PriorityOf(game), REALTIME_PRIORITY_CLASS);
    const auto [other, w2] = Front("/usr/bin/other", "Other");
    engine.tmrRefresh_Timer();
    EXPECT_EQ(desk.PriorityOf(other), ABOVE_NORMAL_PRIORITY_CLASS);
    EXPECT_EQ(desk.PriorityOf(game), NORMAL_PRIORITY_CLASS);
}

TEST_F(EngineTest, HighProgramWithoutRuleIsLeftAndSetBackToHigh) {
    const auto high = Front("/usr/bin/render", "Render", HIGH_PRIORITY_CLASS).first;
    engine.tmrRefresh_Timer();
    Front("/usr/bin/next", "Next");
    engine.tmrRefresh_Timer();
    EXPECT_EQ(desk.PriorityOf(high), HIGH_PRIORITY_CLASS);
    for (const auto& change : desk.PriorityChanges()) EXPECT_NE(change.first, high);
}

TEST_F(EngineTest, EmptyTitleShowsPathInTooltipAndLog) {
    Front("/usr/bin/untitled", "");
    engine.tmrRefresh_Timer();
    EXPECT_EQ(host.tooltips.back(), "Talvex 1.1.0: /usr/bin/untitled");
    EXPECT_EQ(log.Lines().back(),
              "[09.12.2026 08:48:46] Foreground application changed: /usr/bin/untitled");
}

TEST_F(EngineTest, StatusTextOnEveryTickThatReachesIt) {
    engine.Queries().names.sNameHigh = "High";
    const auto [pid, window] = Front("/usr/bin/editor", "Ed");
    engine.tmrRefresh_Timer();
    engine.tmrRefresh_Timer();
    ASSERT_EQ(host.status.size(), 2u);
    // The first tick reads the class before boosting; the second sees High.
    EXPECT_EQ(host.status[1], "Window: " + std::to_string(window) +
                                  " (Ed)\r\n/usr/bin/editor\r\nProcess ID: " + std::to_string(pid) +
                                  ", Priority: 128 (High)");
}

TEST_F(EngineTest, NoForegroundWindowCountsAsChangeToPidZeroAndBoostsNothing) {
    const auto [editor, w] = Front("/usr/bin/editor", "Ed");
    engine.tmrRefresh_Timer();
    desk.SetForeground(0);
    engine.tmrRefresh_Timer();
    EXPECT_EQ(engine.ForegroundPid(), 0);
    EXPECT_EQ(desk.PriorityOf(editor), NORMAL_PRIORITY_CLASS);
    EXPECT_EQ(desk.PriorityOf(self), HIGH_PRIORITY_CLASS);  // own process blocked by rule
    EXPECT_NE(host.status.back().find("/opt/talvex/talvex\r\nProcess ID: 0, Priority: 128"),
              std::string::npos);
    EXPECT_EQ(host.tooltips.back(), "Talvex 1.1.0: /opt/talvex/talvex");
}

// The process layer learns each new program in front once, when it comes (0: none),
// so that it can keep that program's group from being lowered.
TEST_F(EngineTest, EachNewFrontReachesTheProcessLayerOnce) {
    const auto [editor, editorWnd] = Front("/usr/bin/editor", "Ed");
    engine.tmrRefresh_Timer();
    desk.SetForeground(desk.AddWindow(editor, "Ed, second window"));
    engine.tmrRefresh_Timer();
    const auto [shell, shellWnd] = Front("/usr/bin/shell", "Shell");
    engine.tmrRefresh_Timer();
    engine.tmrRefresh_Timer();
    desk.SetForeground(0);
    engine.tmrRefresh_Timer();
    desk.SetForeground(editorWnd);
    engine.tmrRefresh_Timer();
    EXPECT_EQ(desk.FrontProcesses(), (std::vector<std::int32_t>{editor, shell, 0, editor}));
    (void)shellWnd;
}

TEST_F(EngineTest, ProgramThatCannotBeOpenedIsRecordedAndLoggedButNotTouched) {
    FakeProcessSpec spec{"/usr/sbin/rootapp", NORMAL_PRIORITY_CLASS, 0};
    const auto pid = desk.AddProcess(spec);
    desk.SetForeground(desk.AddWindow(pid, "Root App"));
    engine.tmrRefresh_Timer();
    EXPECT_EQ(engine.ForegroundPid(), pid);
    EXPECT_EQ(engine.ForegroundPriority(), -9999);
    EXPECT_EQ(engine.ForegroundExe(), "");
    EXPECT_EQ(log.Lines().back(), "[09.12.2026 08:48:46] Foreground application changed: Root App");
    Front("/usr/bin/next", "Next");
    engine.tmrRefresh_Timer();
    EXPECT_EQ(desk.PriorityOf(pid), NORMAL_PRIORITY_CLASS);
}

TEST_F(EngineTest, EndRequestCallsEndAndDoesNothingElse) {
    const auto [editor, w] = Front("/usr/bin/editor", "Ed");
    engine.SetShutdown(ShutdownState::Requested);
    engine.tmrRefresh_Timer();
    EXPECT_EQ(host.endCalls, 1);
    EXPECT_EQ(engine.Shutdown(), ShutdownState::TakenUp);
    EXPECT_TRUE(host.status.empty());
    EXPECT_EQ(desk.PriorityOf(editor), NORMAL_PRIORITY_CLASS);
}

TEST_F(EngineTest, StagesRunInTheirPlacesAndTableStageMayEndTheTick) {
    ScriptedStages stages;
    engine.SetStages(&stages);
    Front("/usr/bin/editor", "Ed");
    stages.endTick = true;
    engine.tmrRefresh_Timer();
    EXPECT_TRUE(host.status.empty());  // a rebuild tick does nothing else
    stages.endTick = false;
    engine.tmrRefresh_Timer();  // change: no observation
    EXPECT_EQ(stages.observations, 0);
    engine.tmrRefresh_Timer();  // same program: observation
    EXPECT_EQ(stages.observations, 1);
    EXPECT_EQ(stages.tableStages, 3);
}

TEST_F(EngineTest, ErrorInsideTickEndsItQuietlyKeepingEffects) {
    ScriptedStages stages;
    stages.throwInObservation = true;
    engine.SetStages(&stages);
    const auto [editor, w] = Front("/usr/bin/editor", "Ed");
    engine.tmrRefresh_Timer();
    engine.tmrRefresh_Timer();  // throws inside the observation stage
    EXPECT_EQ(desk.PriorityOf(editor), HIGH_PRIORITY_CLASS);
    EXPECT_EQ(host.status.size(), 2u);
}

TEST_F(EngineTest, OtherWindowOfSameProgramRefreshesTooltipEveryTick) {
    const auto [editor, first] = Front("/usr/bin/editor", "Doc 1");
    engine.tmrRefresh_Timer();
    const auto tooltipsAfterChange = host.tooltips.size();
    engine.tmrRefresh_Timer();  // same window: no new tooltip
    EXPECT_EQ(host.tooltips.size(), tooltipsAfterChange);
    const auto second = desk.AddWindow(editor, "Doc 2");
    desk.SetForeground(second);
    engine.tmrRefresh_Timer();
    engine.tmrRefresh_Timer();
    EXPECT_EQ(host.tooltips.size(), tooltipsAfterChange + 2);
    EXPECT_EQ(host.tooltips.back(), "Talvex 1.1.0: Doc 2");
    // A title change of the recorded window itself does not reach the tooltip.
    desk.SetForeground(first);
    engine.tmrRefresh_Timer();
    const auto settled = host.tooltips.size();
    desk.SetWindowTitle(first, "Doc 1 renamed");
    engine.tmrRefresh_Timer();
    EXPECT_EQ(host.tooltips.size(), settled);
}

TEST_F(EngineTest, TranslatedLogTextIsUsed) {
    strings.ClearStringTable();
    strings.Store(48, "Vordergrundanwendung gewechselt: %1");
    Front("/usr/bin/editor", "Ed");
    engine.tmrRefresh_Timer();
    EXPECT_EQ(log.Lines().back(), "[09.12.2026 08:48:46] Vordergrundanwendung gewechselt: Ed");
}

// ---- a foreground change announced by the desktop ----

TEST_F(EngineTest, AnnouncedChangeRunsOnlyTheForegroundStepAndTheTicksKeepTheirCadence) {
    ScriptedStages stages;
    engine.SetStages(&stages);
    const auto [editor, editorWnd] = Front("/usr/bin/editor", "Ed");
    engine.ForegroundEvent();
    EXPECT_EQ(desk.PriorityOf(editor), HIGH_PRIORITY_CLASS);
    EXPECT_EQ(log.Lines().back(), "[09.12.2026 08:48:46] Foreground application changed: Ed");
    EXPECT_EQ(host.tooltips.back(), "Talvex 1.1.0: Ed");

    // The same program again (another of its windows): status only, no second change.
    desk.SetForeground(desk.AddWindow(editor, "Ed 2"));
    engine.ForegroundEvent();
    EXPECT_EQ(log.Lines().size(), 1u);
    EXPECT_EQ(host.status.size(), 2u);

    const auto [shell, shellWnd] = Front("/usr/bin/shell", "Shell");
    engine.ForegroundEvent();
    EXPECT_EQ(desk.PriorityOf(editor), NORMAL_PRIORITY_CLASS);
    EXPECT_EQ(desk.PriorityOf(shell), HIGH_PRIORITY_CLASS);
    // Neither the process table nor the observers ran; the next tick finds no change
    // and so observes.
    EXPECT_EQ(stages.tableStages, 0);
    EXPECT_EQ(stages.observations, 0);
    engine.tmrRefresh_Timer();
    EXPECT_EQ(stages.tableStages, 1);
    EXPECT_EQ(stages.observations, 1);
    EXPECT_EQ(log.Lines().size(), 2u);
    EXPECT_EQ(desk.OpenHandleCount(), 0u);
    (void)editorWnd;
    (void)shellWnd;
}

TEST_F(EngineTest, AMomentWithoutAWindowInFrontIsNoAnnouncedChange) {
    const auto [editor, editorWnd] = Front("/usr/bin/editor", "Ed");
    engine.ForegroundEvent();
    const auto [shell, shellWnd] = Front("/usr/bin/shell", "Shell");
    engine.ForegroundEvent();
    // The window manager clears the active window on the way back to the editor.
    desk.SetForeground(0);
    engine.ForegroundEvent();
    EXPECT_EQ(engine.ForegroundPid(), shell);
    EXPECT_EQ(desk.PriorityOf(shell), HIGH_PRIORITY_CLASS);
    desk.SetForeground(editorWnd);
    engine.ForegroundEvent();
    // "Current" needs the program used before: the shell, not the empty moment.
    EXPECT_EQ(engine.PreviousExe(), "/usr/bin/shell");
    EXPECT_EQ(desk.PriorityOf(editor), HIGH_PRIORITY_CLASS);
    EXPECT_EQ(log.Lines().size(), 3u);
    // Nothing in front for good: the tick counts it, as always.
    desk.SetForeground(0);
    engine.tmrRefresh_Timer();
    EXPECT_EQ(engine.ForegroundPid(), 0);
    EXPECT_EQ(desk.PriorityOf(editor), NORMAL_PRIORITY_CLASS);
    (void)shellWnd;
}

TEST_F(EngineTest, AnnouncedChangeAfterAnEndRequestLeavesTheEndToTheTick) {
    const auto [editor, w] = Front("/usr/bin/editor", "Ed");
    for (const ShutdownState state :
         {ShutdownState::Requested, ShutdownState::TakenUp, ShutdownState::Ending}) {
        engine.SetShutdown(state);
        engine.ForegroundEvent();
        EXPECT_EQ(engine.Shutdown(), state);
        EXPECT_EQ(host.endCalls, 0);
        EXPECT_TRUE(host.status.empty());
        EXPECT_EQ(desk.PriorityOf(editor), NORMAL_PRIORITY_CLASS);
    }
    engine.SetShutdown(ShutdownState::Requested);
    engine.tmrRefresh_Timer();
    EXPECT_EQ(host.endCalls, 1);
}

}  // namespace
}  // namespace talvex
