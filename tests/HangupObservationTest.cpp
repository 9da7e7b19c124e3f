// Hang-up observation: counting critical ticks of the program in front, the turn-off,
// the warning's answers, and what ticks and edits during the warning's wait may do.
#include <gtest/gtest.h>

#include "tests/ObserverFixture.h"

namespace talvex {
namespace {

using namespace platform;
using testing::ObserverTest;

const std::string kHungPath = "/opt/hung/spinner";
const std::string kTurnOffLine =
    "Found current app at critical CPU usage: /opt/hung/spinner. Acceleration is turned off.";

class HangupTest : public ObserverTest {
  protected:
    void SetUp() override {
        ObserverTest::SetUp();
        hung = Start(kHungPath);
        StartWith(hung);
        ASSERT_EQ(desk.PriorityOf(hung), HIGH_PRIORITY_CLASS);
    }
    void CriticalTicks(int n) { ObserverTest::CriticalTicks(hung, n); }
    std::int16_t RuleOf(const std::string& path) const {
        return engine.Items().fFindInTalvexItems(path);
    }
    std::int32_t hung = 0;
};

TEST_F(HangupTest, NinthCriticalTickTurnsOffLogsAndWarnsOnce) {
    CriticalTicks(8);
    EXPECT_EQ(engine.FailureCounter(), 8);
    EXPECT_EQ(desk.PriorityOf(hung), HIGH_PRIORITY_CLASS);
    EXPECT_TRUE(dialog.messages.empty());
    CriticalTicks(1);
    EXPECT_EQ(desk.PriorityOf(hung), NORMAL_PRIORITY_CLASS);
    EXPECT_TRUE(engine.FailureTurnOff());
    EXPECT_EQ(engine.FailureCounter(), 8);
    EXPECT_EQ(log.Lines().back(), "[09.12.2026 08:48:46] " + kTurnOffLine);
    ASSERT_EQ(dialog.messages.size(), 1u);
    EXPECT_EQ(dialog.messages[0], kTurnOffLine);

    // Still hanging in front: not turned off, logged or warned again...
    desk.SetPriorityOf(hung, HIGH_PRIORITY_CLASS);  // the user raises it by hand
    CriticalTicks(5);
    EXPECT_EQ(desk.PriorityOf(hung), HIGH_PRIORITY_CLASS);
    EXPECT_EQ(LogLinesWith("critical CPU usage"), 1u);
    EXPECT_EQ(dialog.messages.size(), 1u);

    // ...until the front changes and it comes back and hangs again.
    SwitchTo(Start("/usr/bin/other"), "Other");
    SwitchTo(hung, "Again");
    EXPECT_EQ(engine.FailureCounter(), 0);
    EXPECT_FALSE(engine.FailureTurnOff());
    CriticalTicks(9);
    EXPECT_EQ(LogLinesWith("critical CPU usage"), 2u);
    EXPECT_EQ(dialog.messages.size(), 2u);
}

// The count and the turn-off belong to the program in front: a change, ticked or
// announced, starts them afresh; another window of the same program is no change.
TEST_F(HangupTest, CountAndTurnOffStartAfreshOnlyWhenAnotherProgramComesToTheFront) {
    CriticalTicks(9);
    ASSERT_EQ(engine.FailureCounter(), 8);
    ASSERT_TRUE(engine.FailureTurnOff());
    desk.SetForeground(desk.AddWindow(hung, "Hung 2"));
    engine.ForegroundEvent();
    EXPECT_EQ(engine.FailureCounter(), 8);
    EXPECT_TRUE(engine.FailureTurnOff());
    Front(Start("/usr/bin/shell"), "Shell");
    engine.ForegroundEvent();
    EXPECT_EQ(engine.FailureCounter(), 0);
    EXPECT_FALSE(engine.FailureTurnOff());

    SwitchTo(hung, "Hung");
    CriticalTicks(3);
    EXPECT_EQ(engine.FailureCounter(), 3);
    Front(Start("/usr/bin/editor"), "Ed");
    Tick();
    if (engine.ForegroundPid() == hung) Tick();  // a rebuild tick came first
    EXPECT_EQ(engine.FailureCounter(), 0);
}

TEST_F(HangupTest, NinetyFourNeverCountsNinetyFiveDoes) {
    for (int i = 0; i < 12; ++i) TickAt(hung, 94);
    EXPECT_EQ(engine.FailureCounter(), 0);
    for (int i = 0; i < 3; ++i) TickAt(hung, 95);
    EXPECT_EQ(engine.FailureCounter(), 3);
}

TEST_F(HangupTest, NormalTicksTakeOneOffTheCount) {
    TickAt(hung, 100);
    TickAt(hung, 100);
    TickAt(hung, 10);
    TickAt(hung, 100);
    EXPECT_EQ(engine.FailureCounter(), 2);
    for (int i = 0; i < 5; ++i) TickAt(hung, 0);
    EXPECT_EQ(engine.FailureCounter(), 0);
}

TEST_F(HangupTest, ToleranceZeroTurnsOffOnFirstCriticalTick) {
    engine.SetMaxFailures(0);
    CriticalTicks(1);
    EXPECT_EQ(desk.PriorityOf(hung), NORMAL_PRIORITY_CLASS);
    EXPECT_EQ(dialog.messages.size(), 1u);
}

TEST_F(HangupTest, RuleFlagsExemptFromCheckOrFromWarning) {
    engine.Items().fAddToTalvexItems("spinner", 1, false, false, true, false);
    CriticalTicks(20);
    EXPECT_EQ(engine.FailureCounter(), 0);
    EXPECT_EQ(desk.PriorityOf(hung), HIGH_PRIORITY_CLASS);

    engine.Items().Edit(1).bNoHangUpObservation = false;
    engine.Items().Edit(1).bNoHangUpObservationMsg = true;
    CriticalTicks(9);
    EXPECT_EQ(desk.PriorityOf(hung), NORMAL_PRIORITY_CLASS);
    EXPECT_EQ(log.Lines().back(), "[09.12.2026 08:48:46] " + kTurnOffLine);
    EXPECT_TRUE(dialog.messages.empty());
}

TEST_F(HangupTest, BothAnswersMakeOneRuleWithTheGlobalLevel) {
    engine.SetNewPriority(2);
    dialog.noMessage = dialog.noBoost = true;
    const auto rulesBefore = engine.Items().Count();
    CriticalTicks(9);
    ASSERT_EQ(engine.Items().Count(), rulesBefore + 1);
    const TalvexItem& rule = engine.Items()[rulesBefore];
    EXPECT_EQ(rule.sItem, kHungPath);
    EXPECT_EQ(rule.iBoostLevel, 2);
    EXPECT_TRUE(rule.bNoHangUpObservation);
    EXPECT_TRUE(rule.bNoHangUpObservationMsg);
    EXPECT_FALSE(rule.bNeverBoost);
    EXPECT_FALSE(rule.bNoBkgObservation);
    EXPECT_EQ(host.refreshes, 1);
}

TEST_F(HangupTest, SingleAnswersSetOneFlagOnTheExistingRule) {
    engine.Items().fAddToTalvexItems("spinner", 0, false, false, false, false);
    dialog.noBoost = true;
    CriticalTicks(9);
    ASSERT_EQ(engine.Items().Count(), 2u);
    EXPECT_TRUE(engine.Items()[1].bNoHangUpObservation);
    EXPECT_FALSE(engine.Items()[1].bNoHangUpObservationMsg);
    EXPECT_EQ(host.refreshes, 0);
}

TEST_F(HangupTest, NoAnswerChangesNoRuleAndWarnsAgainNextTime) {
    CriticalTicks(9);
    EXPECT_EQ(engine.Items().Count(), 1u);
    EXPECT_EQ(RuleOf(kHungPath), -1);
    SwitchTo(Start("/usr/bin/other"), "Other");
    SwitchTo(hung, "Again");
    CriticalTicks(9);
    EXPECT_EQ(dialog.messages.size(), 2u);
}

// ---- the warning's wait: other ticks and edits run before the answers are recorded ----

TEST_F(HangupTest, TicksDuringTheWaitNeitherWarnAgainNorTurnOffAgain) {
    int nestedTicks = 0;
    dialog.whileWaiting = [&] {
        desk.SetPriorityOf(hung, HIGH_PRIORITY_CLASS);
        for (; nestedTicks < 30; ++nestedTicks) TickAt(hung, 100);  // crosses a rebuild
    };
    CriticalTicks(9);
    EXPECT_EQ(nestedTicks, 30);
    EXPECT_EQ(dialog.maxDepth, 1);
    EXPECT_EQ(dialog.messages.size(), 1u);
    EXPECT_EQ(LogLinesWith("critical CPU usage"), 1u);
    EXPECT_EQ(desk.PriorityOf(hung), HIGH_PRIORITY_CLASS);
}

TEST_F(HangupTest, AnotherProgramHangingDuringTheWaitIsTurnedOffWithoutSecondWarning) {
    const auto second = Start("/opt/second/looper");
    dialog.noMessage = true;
    dialog.whileWaiting = [&] {
        SwitchTo(second, "Second");
        // It enters the table at the next rebuild and is then examined.
        for (int i = 0; i < 20; ++i) TickAt(second, 100);
    };
    CriticalTicks(9);
    EXPECT_EQ(dialog.maxDepth, 1);
    EXPECT_EQ(dialog.messages.size(), 1u);
    EXPECT_EQ(LogLinesWith("/opt/second/looper. Acceleration is turned off."), 1u);
    EXPECT_EQ(desk.PriorityOf(second), NORMAL_PRIORITY_CLASS);
    // The answer belongs to the program that was warned about, not to the one in front.
    EXPECT_GE(RuleOf(kHungPath), 0);
    EXPECT_EQ(RuleOf("/opt/second/looper"), -1);
}

TEST_F(HangupTest, RuleDeletedDuringWaitNeverLetsAnswerHitAnotherRule) {
    auto& items = engine.Items();
    items.fAddToTalvexItems("spinner", 0, false, false, false, false);  // index 1
    items.fAddToTalvexItems("/usr/bin/bystander", 1, false, false, false, false);
    dialog.noMessage = dialog.noBoost = true;
    // Deleting the program's rule moves the last rule into its place (index 1).
    dialog.whileWaiting = [&] { ASSERT_TRUE(items.fDeleteFromTalvexItems(kHungPath)); };
    CriticalTicks(9);
    const std::int16_t bystander = RuleOf("/usr/bin/bystander");
    ASSERT_GE(bystander, 0);
    EXPECT_FALSE(items[static_cast<std::size_t>(bystander)].bNoHangUpObservation);
    EXPECT_FALSE(items[static_cast<std::size_t>(bystander)].bNoHangUpObservationMsg);
    // The answers are kept in a new rule for the program.
    const std::int16_t rule = RuleOf(kHungPath);
    ASSERT_GE(rule, 0);
    EXPECT_EQ(items[static_cast<std::size_t>(rule)].sItem, kHungPath);
    EXPECT_TRUE(items[static_cast<std::size_t>(rule)].bNoHangUpObservation);
    EXPECT_TRUE(items[static_cast<std::size_t>(rule)].bNoHangUpObservationMsg);
    EXPECT_EQ(items.Count(), 3u);
}

TEST_F(HangupTest, LastRuleDeletedDuringWaitIsNoWritePastTheEnd) {
    auto& items = engine.Items();
    items.fAddToTalvexItems("spinner", 0, false, false, false, false);  // index 1, the last
    dialog.noBoost = true;
    dialog.whileWaiting = [&] {
        items.fDeleteFromTalvexItems(kHungPath);
        items.fDeleteFromTalvexItems("talvex");
    };
    CriticalTicks(9);
    ASSERT_EQ(items.Count(), 1u);
    EXPECT_EQ(items[0].sItem, kHungPath);
    EXPECT_TRUE(items[0].bNoHangUpObservation);
    EXPECT_FALSE(items[0].bNoHangUpObservationMsg);
}

TEST_F(HangupTest, RuleAddedDuringWaitTakesTheAnswersWithoutADuplicate) {
    auto& items = engine.Items();
    dialog.noMessage = true;
    dialog.whileWaiting = [&] { items.fAddToTalvexItems("spinner", 2, false, true, false, false); };
    CriticalTicks(9);
    ASSERT_EQ(items.Count(), 2u);
    EXPECT_EQ(items[1].sItem, "spinner");
    EXPECT_EQ(items[1].iBoostLevel, 2);
    EXPECT_TRUE(items[1].bNoBkgObservation);
    EXPECT_TRUE(items[1].bNoHangUpObservationMsg);
    EXPECT_EQ(host.refreshes, 0);
}

TEST_F(HangupTest, TableRebuiltShorterDuringWaitStopsTheWalkAtTheNewEnd) {
    // Background processes after the program in front, in table order.
    std::vector<std::int32_t> later;
    for (int i = 0; i < 20; ++i) later.push_back(Start("/usr/bin/bg" + std::to_string(i)));
    // Let them into the table (next rebuild is tick 18) with the front idle meanwhile.
    while (engine.TableStages().RebuildCountdown() != 0) TickAt(hung, 0);
    Tick();  // rebuild
    dialog.noMessage = true;
    dialog.whileWaiting = [&] {
        for (auto pid : later) desk.EndProcess(pid);
        while (engine.TableStages().RebuildCountdown() != 0) Tick();
        Tick();  // the table is rebuilt without them
        ASSERT_LT(engine.LastProcess(), 3);
    };
    CriticalTicks(9);
    EXPECT_EQ(dialog.messages.size(), 1u);
    EXPECT_GE(RuleOf(kHungPath), 0);
    // Further ticks go on as normal on the new table.
    const auto worker = Start("/usr/bin/worker");
    while (engine.TableStages().RebuildCountdown() != 0) Tick();
    Tick();
    TickAt(worker, 60);
    EXPECT_EQ(desk.PriorityOf(worker), IDLE_PRIORITY_CLASS);
}

TEST_F(HangupTest, AnnouncedChangeDuringTheWaitActsAtOnceAndTheRestOfTheWalkFollowsIt) {
    // A busy program after the hung one in table order, in the table since a rebuild.
    const auto busy = Start("/opt/busy/worker");
    while (engine.TableStages().RebuildCountdown() != 0) TickAt(hung, 0);
    Tick();
    std::int32_t busyInWait = 0, hungInWait = 0;
    dialog.noBoost = true;
    dialog.whileWaiting = [&] {
        Front(busy, "Busy");
        engine.ForegroundEvent();
        busyInWait = desk.PriorityOf(busy);
        hungInWait = desk.PriorityOf(hung);
    };
    for (int examined = 0; examined < 9; ++examined) {
        desk.AddCpuTime(busy, 0, kInterval);
        TickAt(hung, 100);
    }
    EXPECT_EQ(busyInWait, HIGH_PRIORITY_CLASS);
    EXPECT_EQ(hungInWait, NORMAL_PRIORITY_CLASS);
    // The suspended walk went on with the new front: judged by hang-up observation,
    // never lowered as a busy background process.
    EXPECT_EQ(engine.ForegroundPid(), busy);
    EXPECT_EQ(desk.PriorityOf(busy), HIGH_PRIORITY_CLASS);
    EXPECT_EQ(engine.FailureCounter(), 1);
    EXPECT_EQ(LogLinesWith("Foreground application changed: Busy"), 1u);
    // The answer belongs to the program that was warned about.
    const std::int16_t rule = RuleOf(kHungPath);
    ASSERT_GE(rule, 0);
    EXPECT_TRUE(engine.Items()[static_cast<std::size_t>(rule)].bNoHangUpObservation);
    EXPECT_EQ(RuleOf("/opt/busy/worker"), -1);
}

TEST_F(HangupTest, TheWarnedProgramIsNotRaisedAgainWhileItsWarningWaits) {
    const auto other = Start("/usr/bin/other");
    const auto hungWindow = desk.AddWindow(hung, "Hung again");
    std::vector<std::int32_t> hungWhileWaiting;
    dialog.whileWaiting = [&] {
        // The warning takes the focus for a moment and gives it back: announced and
        // ticked, in both orders.
        for (int round = 0; round < 2; ++round) {
            Front(other, "Other");
            if (round == 0)
                engine.ForegroundEvent();
            else
                Tick();
            EXPECT_EQ(desk.PriorityOf(other), HIGH_PRIORITY_CLASS);
            desk.SetForeground(hungWindow);
            if (round == 0)
                engine.ForegroundEvent();
            else
                Tick();
            hungWhileWaiting.push_back(desk.PriorityOf(hung));
        }
    };
    CriticalTicks(9);
    EXPECT_EQ(hungWhileWaiting,
              (std::vector<std::int32_t>{NORMAL_PRIORITY_CLASS, NORMAL_PRIORITY_CLASS}));
    EXPECT_EQ(desk.PriorityOf(other), NORMAL_PRIORITY_CLASS);
    EXPECT_TRUE(engine.Hangup().WarnedExe().empty());
    // Answered: the next time it comes to the front it is raised as before.
    SwitchTo(other, "Other");
    SwitchTo(hung, "Back");
    EXPECT_EQ(desk.PriorityOf(hung), HIGH_PRIORITY_CLASS);
}

TEST_F(HangupTest, BackgroundObservationLeavesTheWarnedProgramAloneUntilTheWarningCloses) {
    // The warning takes the focus; the hung program, still busy, is now in the
    // background, and so is the program that was in front when the warning opened.
    const auto warningOwner = Start("/usr/bin/warning-host");
    std::vector<std::int32_t> whileWaiting;
    dialog.whileWaiting = [&] {
        SwitchTo(warningOwner, "Warning");
        for (int i = 0; i < 30; ++i) {  // crosses a rebuild of the table
            desk.AddCpuTime(hung, 0, kInterval);
            Tick();
            whileWaiting.push_back(desk.PriorityOf(hung));
        }
    };
    CriticalTicks(9);
    ASSERT_EQ(whileWaiting.size(), 30u);
    for (const std::int32_t cls : whileWaiting) EXPECT_EQ(cls, NORMAL_PRIORITY_CLASS);
    EXPECT_EQ(LogLinesWith("spinner running at"), 0u);
    EXPECT_FALSE(engine.Hangup().IsLeftAlone(hung));
    // Closed: the same program busy in the background is judged as any other.
    for (int i = 0; i < 3; ++i) TickAt(hung, 100);
    EXPECT_EQ(desk.PriorityOf(hung), IDLE_PRIORITY_CLASS);
}

TEST_F(HangupTest, ErrorInsideTheWarningEndsTheTickAndAllowsTheNextWarning) {
    struct ThrowingDialog : IWarningDialog {
        int calls = 0;
        bool Display(const std::string&, bool&) override {
            ++calls;
            throw std::runtime_error("control failed");
        }
    } failing;
    engine.SetWarningDialog(&failing);
    CriticalTicks(9);
    EXPECT_EQ(failing.calls, 1);
    EXPECT_EQ(desk.PriorityOf(hung), NORMAL_PRIORITY_CLASS);
    // The waiting flag did not stick: the next program hanging gets its warning.
    engine.SetWarningDialog(&dialog);
    const auto second = Start("/opt/second/looper");
    SwitchTo(second, "Second");
    for (int i = 0; i < 20; ++i) TickAt(second, 100);
    EXPECT_EQ(desk.PriorityOf(second), NORMAL_PRIORITY_CLASS);
    EXPECT_EQ(dialog.messages.size(), 1u);
}

}  // namespace
}  // namespace talvex
