// Background observation: busy background processes lowered, idle ones set to Normal,
// with the rule exemptions and the log lines.
#include <gtest/gtest.h>

#include "engine/BkgObservation.h"
#include "tests/ObserverFixture.h"

namespace talvex {
namespace {

using namespace platform;
using testing::ObserverTest;

class BkgTest : public ObserverTest {
  protected:
    // Observes the process once with the given usage, as the walk would hand it over
    // (a process that did not run did not wait to run either: it is idle).
    void Observe(std::int32_t pid, std::int16_t usage) {
        ProcessEntry entry;
        entry.lPid = pid;
        entry.iCpuUsage = usage;
        entry.iWaited = 0;
        entry.sExePath = paths.at(pid);
        entry.sExeName = entry.sExePath.substr(entry.sExePath.rfind('/') + 1);
        ObserveBackground(engine, entry);
    }
    std::int32_t Setup(std::int32_t cls) {
        const auto pid = Start("/tmp/inst/setup.exe", cls);
        paths[pid] = "/tmp/inst/setup.exe";
        return pid;
    }
    std::string Last() const { return log.Lines().empty() ? "" : log.Lines().back(); }
    std::map<std::int32_t, std::string> paths;
};

TEST_F(BkgTest, ThresholdsDecideIdleBelowNormalOrNothing) {
    const auto setup = Setup(NORMAL_PRIORITY_CLASS);
    Observe(setup, 55);
    EXPECT_EQ(desk.PriorityOf(setup), IDLE_PRIORITY_CLASS);
    EXPECT_EQ(Last(),
              "[09.12.2026 08:48:46] Found setup.exe running at >40% cpu usage. Switching to "
              "priority Idle.");

    // A fresh process each time: a class set from outside after Talvex's lowering
    // would be another program's choice, left alone.
    const auto second = Setup(NORMAL_PRIORITY_CLASS);
    Observe(second, 25);
    EXPECT_EQ(desk.PriorityOf(second), BELOW_NORMAL_PRIORITY_CLASS);
    EXPECT_EQ(Last(),
              "[09.12.2026 08:48:46] Found setup.exe running at >10% cpu usage. Switching to "
              "priority Below Normal.");

    const auto third = Setup(NORMAL_PRIORITY_CLASS);
    const auto lines = log.Lines().size();
    Observe(third, 10);  // at the threshold, not above it
    Observe(third, 0);   // idle, but Normal already
    Observe(third, 1);
    EXPECT_EQ(desk.PriorityOf(third), NORMAL_PRIORITY_CLASS);
    EXPECT_EQ(log.Lines().size(), lines);
}

// An idle process gets back what Talvex took from it, exactly, and nothing else: a
// priority that somebody else chose stays.
TEST_F(BkgTest, IdleProcessGetsBackOnlyWhatTalvexLoweredAndExactly) {
    const struct {
        std::int32_t cls;
        const char* name;
    } starts[] = {{HIGH_PRIORITY_CLASS, "High"},
                  {REALTIME_PRIORITY_CLASS, "Realtime"},
                  {BELOW_NORMAL_PRIORITY_CLASS, "Below Normal"},
                  {ABOVE_NORMAL_PRIORITY_CLASS, "Above Normal"},
                  {NORMAL_PRIORITY_CLASS, "Normal"}};
    for (const auto& start : starts) {
        const auto setup = Setup(start.cls);
        const auto lines = log.Lines().size();
        Observe(setup, 0);
        EXPECT_EQ(desk.PriorityOf(setup), start.cls) << "never Talvex's: left alone";
        EXPECT_EQ(log.Lines().size(), lines);

        Observe(setup, 55);
        ASSERT_EQ(desk.PriorityOf(setup), IDLE_PRIORITY_CLASS) << start.name;
        Observe(setup, 0);
        EXPECT_EQ(desk.PriorityOf(setup), start.cls) << start.name;
        EXPECT_EQ(Last(), std::string("[09.12.2026 08:48:46] Restoring priority of setup.exe to ") +
                              start.name + ".");
        Observe(setup, 0);  // nothing of Talvex's is left: no second line
        EXPECT_EQ(log.Lines().size(), lines + 2);
    }
}

// Somebody else's change after Talvex lowered a process wins over the undo.
TEST_F(BkgTest, APriorityChangedByOthersAfterTheLoweringIsKept) {
    const auto setup = Setup(NORMAL_PRIORITY_CLASS);
    Observe(setup, 55);
    desk.SetPriorityOf(setup, BELOW_NORMAL_PRIORITY_CLASS);  // the user, meanwhile
    const auto lines = log.Lines().size();
    Observe(setup, 0);
    Observe(setup, 55);
    EXPECT_EQ(desk.PriorityOf(setup), BELOW_NORMAL_PRIORITY_CLASS);
    EXPECT_EQ(log.Lines().size(), lines + 1);
    EXPECT_EQ(Last(),
              "[09.12.2026 08:48:46] setup.exe left alone: changed by another program (now "
              "Below Normal).");
}

// Without the right to raise, a lowered process could never be given its priority
// back: nothing is lowered, and no line repeats tick after tick.
// Talvex's own process, whatever its file is called and without a rule for it: its own
// raise at start is neither undone when it idles nor replaced when it is busy.
TEST_F(BkgTest, TalvexItselfIsNeverObserved) {
    const auto self = Setup(NORMAL_PRIORITY_CLASS);
    desk.SetCurrentProcess(self);
    engine.Queries().SetProcessPriority(0, 0, HIGH_PRIORITY_CLASS);
    for (const std::int16_t usage : {0, 55, 25, 0}) {
        Observe(self, usage);
        EXPECT_EQ(desk.PriorityOf(self), HIGH_PRIORITY_CLASS) << usage;
    }
    EXPECT_TRUE(log.Lines().empty());
}

TEST_F(BkgTest, WithoutTheRightToRaiseNothingIsLoweredOrLogged) {
    desk.SetMayRaisePriority(false);
    const auto setup = Setup(NORMAL_PRIORITY_CLASS);
    for (int tick = 0; tick < 5; ++tick) {
        Observe(setup, 55);
        Observe(setup, 25);
        Observe(setup, 0);
    }
    EXPECT_EQ(desk.PriorityOf(setup), NORMAL_PRIORITY_CLASS);
    EXPECT_TRUE(log.Lines().empty());
    EXPECT_TRUE(desk.Changes().Held().empty());
}

TEST_F(BkgTest, FirstCaseThatAppliesDecidesEvenWhenSkipped) {
    const auto idle = Setup(IDLE_PRIORITY_CLASS);
    const auto lines = log.Lines().size();
    Observe(idle, 55);  // already Idle: not tried against Below Normal either
    EXPECT_EQ(desk.PriorityOf(idle), IDLE_PRIORITY_CLASS);
    EXPECT_EQ(log.Lines().size(), lines);

    const auto above = Setup(ABOVE_NORMAL_PRIORITY_CLASS);
    Observe(above, 55);
    EXPECT_EQ(desk.PriorityOf(above), IDLE_PRIORITY_CLASS);

    // An Idle threshold below the Below Normal one takes every busy process to Idle.
    modMain::ObserverSettings observers = engine.ObserverSettings();
    observers.iIdleCpuUsage = 5;
    engine.SetObserverSettings(observers);
    const auto busy = Setup(NORMAL_PRIORITY_CLASS);
    Observe(busy, 25);
    EXPECT_EQ(desk.PriorityOf(busy), IDLE_PRIORITY_CLASS);
    EXPECT_NE(Last().find(">5% cpu usage"), std::string::npos);
}

TEST_F(BkgTest, ProcessThatCannotBeOpenedIsNeverTouched) {
    const auto locked = Start("/usr/sbin/daemon", HIGH_PRIORITY_CLASS);
    desk.SetGrantableAccess(locked, PROCESS_QUERY_INFORMATION | PROCESS_SET_INFORMATION);
    paths[locked] = "/usr/sbin/daemon";
    Observe(locked, 0);
    Observe(locked, 80);
    EXPECT_EQ(desk.PriorityOf(locked), HIGH_PRIORITY_CLASS);
    EXPECT_TRUE(log.Lines().empty());
}

TEST_F(BkgTest, SwitchedOffObservesNothing) {
    modMain::ObserverSettings observers = engine.ObserverSettings();
    observers.bBkgObservation = false;
    engine.SetObserverSettings(observers);
    const auto setup = Setup(HIGH_PRIORITY_CLASS);
    Observe(setup, 90);
    Observe(setup, 0);
    EXPECT_EQ(desk.PriorityOf(setup), HIGH_PRIORITY_CLASS);
    EXPECT_TRUE(log.Lines().empty());
}

TEST_F(BkgTest, OnlyTheFirstMatchingRuleCountsAndNeverBoostDoesNotExempt) {
    auto& items = engine.Items();
    items.fAddToTalvexItems("SETUP", 0, true, false, false, false);  // never boost, observed
    items.fAddToTalvexItems("setup.exe", 0, false, true, false, false);
    const auto setup = Setup(NORMAL_PRIORITY_CLASS);
    Observe(setup, 55);
    EXPECT_EQ(desk.PriorityOf(setup), IDLE_PRIORITY_CLASS);

    items.Edit(1).bNoBkgObservation = true;  // now the first match exempts it
    Observe(setup, 0);
    EXPECT_EQ(desk.PriorityOf(setup), IDLE_PRIORITY_CLASS);
}

TEST_F(BkgTest, TextsComeFromTheStringTable) {
    strings.ClearStringTable();
    strings.Store(50, "%1 läuft mit >%2% CPU. Neue Priorität: %3.");
    strings.Store(21, "Leerlauf");
    strings.Store(51, "%1 zurück auf %2.");
    const auto setup = Setup(NORMAL_PRIORITY_CLASS);
    Observe(setup, 55);
    EXPECT_EQ(Last(),
              "[09.12.2026 08:48:46] setup.exe läuft mit >40% CPU. Neue Priorität: "
              "Leerlauf.");
    Observe(setup, 0);  // id 23 missing: its default
    EXPECT_EQ(Last(), "[09.12.2026 08:48:46] setup.exe zurück auf Normal.");
    // The boost levels' names are captions with access keys; the sentence has none.
    strings.Store(6, "&Hoch");
    const auto high = Setup(HIGH_PRIORITY_CLASS);
    Observe(high, 55);
    Observe(high, 0);
    EXPECT_EQ(Last(), "[09.12.2026 08:48:46] setup.exe zurück auf Hoch.");
}

// Through the tick: the walk, the cached rule lookups and the program in front.
TEST_F(ObserverTest, WalkLowersBusyBackgroundButNeverTheProgramInFront) {
    const auto editor = Start("/usr/bin/editor");
    const auto compiler = Start("/usr/bin/compiler");
    const auto helper = Start("/usr/bin/helper", HIGH_PRIORITY_CLASS);
    StartWith(editor);
    desk.AddCpuTime(editor, 0, 500);
    TickAt(compiler, 90);
    EXPECT_EQ(desk.PriorityOf(compiler), IDLE_PRIORITY_CLASS);
    EXPECT_EQ(desk.PriorityOf(helper), HIGH_PRIORITY_CLASS);  // idle at High: not Talvex's
    EXPECT_EQ(desk.PriorityOf(editor), HIGH_PRIORITY_CLASS);  // boosted, busy, in front
    EXPECT_EQ(desk.PriorityOf(self), HIGH_PRIORITY_CLASS);    // its rule exempts it
    EXPECT_EQ(LogLinesWith("Found compiler running at >40% cpu usage"), 1u);

    // Later ticks leave it where it was put; a rule added meanwhile is seen at once.
    TickAt(compiler, 90);
    EXPECT_EQ(LogLinesWith("Found compiler running"), 1u);
    engine.Items().fAddToTalvexItems("compiler", 0, false, true, false, false);
    TickAt(compiler, 0);
    EXPECT_EQ(desk.PriorityOf(compiler), IDLE_PRIORITY_CLASS);
    engine.Items().fDeleteFromTalvexItems("compiler");
    TickAt(compiler, 0);
    EXPECT_EQ(desk.PriorityOf(compiler), NORMAL_PRIORITY_CLASS);
    EXPECT_EQ(desk.OpenHandleCount(), 0u);
}

// The program in front is boosted from its own state: a lowering Talvex made while it
// was in the background is undone first. When it leaves, or when its pid goes to
// another process, exactly that state comes back, and nothing of another process.
TEST_F(ObserverTest, AProgramTalvexLoweredIsUndoneThenBoostedAndLaterGetsItsOwnStateBack) {
    const struct {
        std::int32_t own;      // the class it was started with
        std::int32_t boosted;  // in front (global level High, no rule)
    } cases[] = {{NORMAL_PRIORITY_CLASS, HIGH_PRIORITY_CLASS},
                 {BELOW_NORMAL_PRIORITY_CLASS, BELOW_NORMAL_PRIORITY_CLASS},
                 {ABOVE_NORMAL_PRIORITY_CLASS, ABOVE_NORMAL_PRIORITY_CLASS}};
    const auto editor = Start("/usr/bin/editor");
    StartWith(editor);
    for (const auto& c : cases) {
        const auto compiler = Start("/usr/bin/compiler", c.own);
        for (int i = 0; i < 20 && desk.PriorityOf(compiler) != IDLE_PRIORITY_CLASS; ++i) {
            TickAt(compiler, 90);
        }
        ASSERT_EQ(desk.PriorityOf(compiler), IDLE_PRIORITY_CLASS) << c.own;
        SwitchTo(compiler, "Build");
        EXPECT_EQ(desk.PriorityOf(compiler), c.boosted) << c.own;
        SwitchTo(editor, "Front");
        EXPECT_EQ(desk.PriorityOf(compiler), c.own);
        desk.EndProcess(compiler);
    }

    // The front program ends and a new process gets its pid: the new one is not set
    // to the old one's state when the front moves on.
    const auto shell = Start("/usr/bin/shell");
    SwitchTo(shell, "Shell");
    ASSERT_EQ(desk.PriorityOf(shell), HIGH_PRIORITY_CLASS);
    desk.EndProcess(shell);
    FakeProcessSpec heir("/usr/bin/heir", IDLE_PRIORITY_CLASS);
    heir.pid = shell;
    desk.AddProcess(heir);
    SwitchTo(editor, "Front");
    EXPECT_EQ(desk.PriorityOf(shell), IDLE_PRIORITY_CLASS);
}

}  // namespace
}  // namespace talvex
