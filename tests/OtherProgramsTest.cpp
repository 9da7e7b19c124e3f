// Living with other programs: a priority someone else set after Talvex wins and is
// not fought; sound servers and real-time programs are never lowered.
#include <gtest/gtest.h>

#include "engine/HeldChanges.h"
#include "tests/ObserverFixture.h"

namespace talvex {
namespace {

using namespace platform;
using testing::ObserverTest;

class OtherProgramsTest : public ObserverTest {
  protected:
    // Ticks with the process busy until Talvex has lowered it (a rebuild may come first).
    void LowerBusy(std::int32_t pid, std::int32_t cls) {
        for (int i = 0; i < 20 && desk.PriorityOf(pid) != cls; ++i) TickAt(pid, 90);
        ASSERT_EQ(desk.PriorityOf(pid), cls);
    }
    const HeldRow* RowOf(const std::vector<HeldRow>& rows, std::int32_t pid) const {
        for (const HeldRow& row : rows) {
            if (row.lPid == pid) return &row;
        }
        return nullptr;
    }
};

// Whatever the other program set, stronger or weaker, busy or idle: it stays, the log
// says so once, and the list shows why until the program comes to the front.
TEST_F(OtherProgramsTest, AChangeByAnotherProgramAfterTheLoweringWinsUntilTheFront) {
    const auto editor = Start("/usr/bin/editor");
    StartWith(editor);
    const std::int32_t others[] = {NORMAL_PRIORITY_CLASS, BELOW_NORMAL_PRIORITY_CLASS,
                                   HIGH_PRIORITY_CLASS, ABOVE_NORMAL_PRIORITY_CLASS};
    for (const std::int32_t other : others) {
        const auto job = Start("/usr/bin/job");
        LowerBusy(job, IDLE_PRIORITY_CLASS);
        const auto linesBefore = LogLinesWith("job left alone: changed by another program");
        desk.SetPriorityOf(job, other);  // renice by the user, or another tool
        for (const std::uint64_t usage : {90, 25, 0, 90, 0, 55, 90, 90, 25, 0}) {
            TickAt(job, usage);
            EXPECT_EQ(desk.PriorityOf(job), other) << other << " at " << usage;
        }
        EXPECT_EQ(LogLinesWith("job left alone: changed by another program"), linesBefore + 1)
            << other;
        const auto rows = engine.HeldRows();
        const HeldRow* row = RowOf(rows, job);
        ASSERT_NE(row, nullptr) << other;
        ASSERT_TRUE(row->reason.has_value());
        EXPECT_EQ(row->reason->why, HeldWhy::ChangedByOther);
        EXPECT_EQ(row->before, NORMAL_PRIORITY_CLASS);
        EXPECT_EQ(row->now, other);
        // Only the editor's boost counts: nothing of Talvex's is held on the job.
        EXPECT_EQ(CountHeld(rows), (HeldCount{1, 0})) << other;
        EXPECT_FALSE(desk.Changes().Holds(job));

        // In front and back again: Talvex acts on it afresh.
        SwitchTo(job, "Job");
        const auto inFront = engine.HeldRows();
        const HeldRow* now = RowOf(inFront, job);
        EXPECT_TRUE(now == nullptr || now->reason->why != HeldWhy::ChangedByOther) << other;
        SwitchTo(editor, "Front");
        desk.SetPriorityOf(job, NORMAL_PRIORITY_CLASS);
        LowerBusy(job, IDLE_PRIORITY_CLASS);
        desk.EndProcess(job);
    }
}

// A tool that sets its own value again and again is never fought: Talvex lowers once,
// gives way once, and makes no further change.
TEST_F(OtherProgramsTest, AToolThatKeepsRenicingIsNotFought) {
    const auto editor = Start("/usr/bin/editor");
    StartWith(editor);
    const auto game = Start("/usr/games/game");
    LowerBusy(game, IDLE_PRIORITY_CLASS);
    const auto changes = desk.PriorityChanges().size();
    for (int second = 0; second < 20; ++second) {
        desk.SetPriorityOf(game, ABOVE_NORMAL_PRIORITY_CLASS);
        TickAt(game, 95);
        TickAt(game, 95);
    }
    EXPECT_EQ(desk.PriorityChanges().size(), changes);
    EXPECT_EQ(LogLinesWith("game left alone"), 1u);
}

// The program in front: a raise somebody else replaced is neither raised again while it
// stays in front, nor put back or lowered when it leaves; in front again, it is raised.
TEST_F(OtherProgramsTest, ARaiseReplacedByAnotherProgramIsNotFoughtInFrontOrBehind) {
    const auto editor = Start("/usr/bin/editor");
    const auto game = Start("/usr/games/game");
    StartWith(game);
    ASSERT_EQ(desk.PriorityOf(game), HIGH_PRIORITY_CLASS);
    desk.SetPriorityOf(game, ABOVE_NORMAL_PRIORITY_CLASS);
    const auto second = desk.AddWindow(game, "Game settings");
    desk.SetForeground(second);
    engine.ForegroundEvent();
    for (int i = 0; i < 20; ++i) TickAt(game, 50);
    EXPECT_EQ(desk.PriorityOf(game), ABOVE_NORMAL_PRIORITY_CLASS);

    SwitchTo(editor, "Editor");
    EXPECT_EQ(desk.PriorityOf(game), ABOVE_NORMAL_PRIORITY_CLASS);
    for (int i = 0; i < 20; ++i) TickAt(game, 95);
    EXPECT_EQ(desk.PriorityOf(game), ABOVE_NORMAL_PRIORITY_CLASS);
    EXPECT_EQ(LogLinesWith("game left alone: changed by another program (now Above Normal)."), 1u);

    SwitchTo(game, "Game");
    EXPECT_EQ(desk.PriorityOf(game), ABOVE_NORMAL_PRIORITY_CLASS) << "above Normal: not raised";
    desk.SetPriorityOf(game, NORMAL_PRIORITY_CLASS);
    SwitchTo(editor, "Editor");
    SwitchTo(game, "Game");
    EXPECT_EQ(desk.PriorityOf(game), HIGH_PRIORITY_CLASS);
}

// Sound servers by name and programs with a real-time thread keep their priority,
// however busy; an ordinary busy program beside them is lowered.
TEST_F(OtherProgramsTest, SoundServersAndRealTimeProgramsAreNeverLowered) {
    const auto editor = Start("/usr/bin/editor");
    StartWith(editor);
    std::vector<std::int32_t> kept;
    for (const char* path : {"/usr/bin/pipewire", "/usr/bin/pipewire-pulse", "/usr/bin/wireplumber",
                             "/usr/bin/pulseaudio", "/usr/bin/jackd"}) {
        kept.push_back(Start(path));
    }
    const auto synth = Start("/usr/bin/synth");
    desk.SetRealtimeThread(synth, true);
    kept.push_back(synth);
    const auto compiler = Start("/usr/bin/compiler");
    for (int i = 0; i < 20; ++i) {
        for (const auto pid : kept) desk.AddCpuTime(pid, 0, 450);
        TickAt(compiler, 90);
    }
    EXPECT_EQ(desk.PriorityOf(compiler), IDLE_PRIORITY_CLASS);
    for (const auto pid : kept) EXPECT_EQ(desk.PriorityOf(pid), NORMAL_PRIORITY_CLASS) << pid;

    // The real-time thread ends: the program is an ordinary busy one from then on.
    desk.SetRealtimeThread(synth, false);
    LowerBusy(synth, IDLE_PRIORITY_CLASS);
}

// A sandboxed application's path inside the sandbox says little: a rule may name the
// application by its id instead, for the boost in front and for background observation.
TEST_F(OtherProgramsTest, ARuleFindsASandboxedApplicationByItsId) {
    engine.Items().fAddToTalvexItems("org.example.Editor", 0, false, true, false, false);
    engine.Items().fAddToTalvexItems("com.example.Blocked", 0, true, false, false, false);
    FakeProcessSpec editorSpec("/app/bin/editor");
    editorSpec.appId = "org.example.Editor";
    FakeProcessSpec blockedSpec("/app/bin/blocked");
    blockedSpec.appId = "com.example.Blocked";
    const auto editor = desk.AddProcess(editorSpec);
    const auto blocked = desk.AddProcess(blockedSpec);
    const auto plain = Start("/app/bin/plain");  // same kind of path, no id: no rule

    StartWith(plain);
    ASSERT_EQ(desk.PriorityOf(plain), HIGH_PRIORITY_CLASS);  // the global level
    SwitchTo(editor, "Editor");
    EXPECT_EQ(desk.PriorityOf(editor), ABOVE_NORMAL_PRIORITY_CLASS);  // its rule's level
    SwitchTo(blocked, "Blocked");
    EXPECT_EQ(desk.PriorityOf(blocked), NORMAL_PRIORITY_CLASS);  // never boosted

    // Behind the program in front: the editor's rule exempts it; the other is observed.
    SwitchTo(plain, "Plain");
    for (int i = 0; i < 20; ++i) {
        desk.AddCpuTime(editor, 0, 450);
        TickAt(blocked, 90);
    }
    EXPECT_EQ(desk.PriorityOf(editor), NORMAL_PRIORITY_CLASS);
    EXPECT_EQ(desk.PriorityOf(blocked), IDLE_PRIORITY_CLASS);
}

}  // namespace
}  // namespace talvex
