// What sampling costs and what it concludes: the machine-wide gate that skips the
// per-process reads while the machine is quiet, and the difference between an idle
// process and one that is starved of the processor.
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <vector>

#include "tests/ObserverFixture.h"

namespace talvex {
namespace {

using namespace platform;

using testing::ObserverTest;

// One engine on a desktop of its own, fed the same recorded per-process times as
// another; `gated` says whether the machine's times can be read (else every tick
// samples every process, as before the gate).
struct Replay : ObserverTest {
    void TestBody() override {}
    using ObserverTest::desk;
    using ObserverTest::engine;
    using ObserverTest::Front;
    using ObserverTest::SetUp;
    using ObserverTest::Start;
    using ObserverTest::StartWith;
    using ObserverTest::Tick;
};

constexpr int kProcesses = 8;
constexpr int kTicks = 120;

// Recorded usage in percent of one core: process p at tick t. Quiet stretches where
// all together stay within the Below Normal threshold, and busy ones where some
// processes run hard for a few ticks (a build, an encoder, a runaway loop) while
// others keep a medium load; a few busy stretches start right after a quiet one.
std::array<std::array<int, kProcesses>, kTicks> Recording() {
    std::array<std::array<int, kProcesses>, kTicks> usage{};
    std::uint32_t seed = 12345;
    auto next = [&seed](int below) {
        seed = seed * 1664525U + 1013904223U;
        return static_cast<int>((seed >> 16) % static_cast<std::uint32_t>(below));
    };
    for (int t = 0; t < kTicks; ++t) {
        const bool busy = (t / 10) % 2 == 1 || (t >= 95 && t < 99);
        for (int p = 0; p < kProcesses; ++p) {
            if (!busy) {
                usage[t][p] = p < 3 ? next(3) : 0;  // at most 6 % in all
            } else if (p == (t / 10) % kProcesses || p == 5) {
                usage[t][p] = 45 + next(55);  // runs hard
            } else if (p == 6) {
                usage[t][p] = 12 + next(20);  // medium load
            } else {
                usage[t][p] = next(2);
            }
        }
    }
    return usage;
}

// What one run over the recording cost: per-process time reads, questions to the desktop
// about its windows.
struct Cost {
    std::uint64_t reads = 0;
    std::uint64_t windowQueries = 0;
};

// Class of every process after every tick, for one run over the recording. Halfway
// through, the desktop announces another program in front. `announced` says whether
// the engine knows that every change is announced (and its status is hidden).
// With `grouped`, the first six workers run in per-application CPU groups (workers 1 and
// 2 share one) and the engine reads the groups.
// With `ownPercent`, Talvex itself uses that much of one core on every tick.
std::vector<std::array<std::int32_t, kProcesses + 1>> Replayed(bool gated, Cost& cost,
                                                               bool announced = false,
                                                               bool grouped = false,
                                                               int ownPercent = 0) {
    auto run = std::make_unique<Replay>();
    run->SetUp();
    run->desk.SetSystemTimesFail(!gated);
    std::array<std::int32_t, kProcesses + 1> pids{};
    for (int p = 0; p < kProcesses; ++p) {
        pids[p] = run->Start("/usr/bin/worker" + std::to_string(p));
        if (grouped && p < 6) run->desk.SetCpuGroup(pids[p], "app-" + std::to_string(p / 2 * 2));
    }
    if (grouped) run->engine.SetCpuGroups(&run->desk);
    const auto editor = run->Start("/usr/bin/editor");
    pids[kProcesses] = editor;
    const auto viewer = run->Start("/usr/bin/viewer");
    const auto talvex = run->Start("/usr/bin/talvex");
    run->desk.SetCurrentProcess(talvex);
    run->StartWith(editor);
    run->engine.SetFrontAnnounced(announced);
    std::vector<std::array<std::int32_t, kProcesses + 1>> classes;
    const auto recording = Recording();
    const std::uint64_t readsBefore = run->desk.ProcessTimesReads();
    const std::uint64_t queriesBefore = run->desk.WindowQueries();
    for (std::size_t t = 0; t < recording.size(); ++t) {
        for (int p = 0; p < kProcesses; ++p) {
            run->desk.AddCpuTime(pids[p], 0, static_cast<std::uint64_t>(recording[t][p]) * 5);
        }
        run->desk.AddCpuTime(talvex, 0, static_cast<std::uint64_t>(ownPercent) * 5);
        if (t == kTicks / 2) {
            run->Front(viewer, "Viewer");
            run->engine.ForegroundEvent();
        }
        run->Tick();
        std::array<std::int32_t, kProcesses + 1> now{};
        for (int p = 0; p <= kProcesses; ++p) now[p] = run->desk.PriorityOf(pids[p]);
        classes.push_back(now);
    }
    cost.reads = run->desk.ProcessTimesReads() - readsBefore;
    cost.windowQueries = run->desk.WindowQueries() - queriesBefore;
    return classes;
}

// A process unsampled on quiet ticks is measured, on the first busy tick, over the
// whole span since its last sample: a process that starts to run hard exactly as the
// machine wakes up can be lowered one tick later (and, on that tick, less deeply).
// Nothing else may differ: no lowering the ungated run did not make, the same undos.
// Talvex's own time does not open the gate (it never lowers itself).
TEST(SamplingGate, DecidesAsSamplingEveryProcessWouldAtMostOneTickLater) {
    for (const int own : {0, 8}) {
        SCOPED_TRACE("Talvex itself at " + std::to_string(own) + " %");
        Cost gatedCost, everyCost;
        const auto gated = Replayed(true, gatedCost, false, false, own);
        const auto every = Replayed(false, everyCost, false, false, own);
        int lowerings = 0, undos = 0;
        for (std::size_t t = 1; t < every.size(); ++t) {
            for (int p = 0; p < kProcesses; ++p) {
                const int g = PriorityRank(gated[t][p]);
                const int now = PriorityRank(every[t][p]);
                const int before = PriorityRank(every[t - 1][p]);
                lowerings += now < before;
                undos += now > before;
                EXPECT_GE(g, std::min(now, before)) << "tick " << t << " process " << p;
                EXPECT_LE(g, std::max(now, before)) << "tick " << t << " process " << p;
                if (now == before) {
                    EXPECT_EQ(g, now) << "tick " << t << " process " << p;
                }
            }
        }
        // The recording exercises both ways. Half of it is quiet, and there the gated run
        // reads the program in front only, instead of every process.
        EXPECT_GE(lowerings, 8);
        EXPECT_GE(undos, 8);
        EXPECT_LT(gatedCost.reads * 3, everyCost.reads * 2);
    }
}

// Where the desktop announces the front, a tick asks it nothing, bar one look every
// kFrontCheckTicks ticks for a lost announcement; the announced change is carried out
// all the same, and every lowering, undo and boost is the same as with a question on
// every tick.
TEST(SamplingGate, AnAnnouncedFrontIsNotAskedForOnEveryTickAndDecisionsStayTheSame) {
    for (const bool gated : {true, false}) {
        Cost asking, announced;
        const auto every = Replayed(gated, asking, false);
        const auto quiet = Replayed(gated, announced, true);
        EXPECT_EQ(quiet, every) << "gated " << gated;
        EXPECT_EQ(quiet[kTicks / 2][kProcesses], NORMAL_PRIORITY_CLASS);  // the editor left
        // Every tick asks at least who is in front; the announcement's step asks a few
        // questions, and each look one.
        EXPECT_GE(asking.windowQueries, std::uint64_t{kTicks});
        EXPECT_LE(announced.windowQueries, 12 + std::uint64_t{kTicks / Engine::kFrontCheckTicks});
    }
}

// On a busy machine, a per-application CPU group that stayed quiet keeps its processes
// unsampled too; a process that starts to run hard is judged by what its group's quiet
// ticks leave for the last one, as with the machine's gate. The lowerings and undos are
// those of the machine's gate alone.
TEST(SamplingGate, AQuietCpuGroupIsNotSampledAndDecisionsStayTheSame) {
    Cost machine, groups;
    const auto gated = Replayed(true, machine);
    const auto grouped = Replayed(true, groups, false, true);
    EXPECT_EQ(grouped, gated);
    // On the busy ticks, one group of two stays quiet most of the time: its processes
    // are not read then.
    EXPECT_GE(machine.reads, groups.reads + 100) << groups.reads << " " << machine.reads;
}

// How the engine follows the front while ticks leave the desktop alone: an announced
// change at once; a lost one at the next look; an announcement that found no window in
// front (a window closed) at the next tick; anything while the status is on screen at the
// next tick. Ticks until the engine follows, and the window questions of those ticks.
TEST_F(ObserverTest, AFrontThatIsNotAskedForIsStillFollowed) {
    enum class How { Announced, Lost, ClosedAnnounced, LostWhileShown };
    const struct {
        How how;
        int minTicks, maxTicks;
    } cases[] = {
        {How::Announced, 0, 0},
        {How::Lost, Engine::kFrontCheckTicks - 1, Engine::kFrontCheckTicks + 1},
        {How::ClosedAnnounced, 1, 2},  // a rebuild tick may come first
        {How::LostWhileShown, 1, 2},
    };
    const auto editor = Start("/usr/bin/editor");
    const auto viewer = Start("/usr/bin/viewer");
    StartWith(editor);
    engine.SetFrontAnnounced(true);
    std::int32_t front = editor;
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.how));
        engine.SetStatusShown(c.how == How::LostWhileShown);
        const std::int32_t next = front == editor ? viewer : editor;
        std::int32_t expected = next;
        if (c.how == How::ClosedAnnounced) {
            desk.SetForeground(0);
            expected = 0;
        } else {
            Front(next, "Window");
        }
        if (c.how == How::Announced || c.how == How::ClosedAnnounced) engine.ForegroundEvent();
        const std::uint64_t queries = desk.WindowQueries();
        std::uint64_t beforeLast = queries;
        int ticks = 0;
        while (engine.ForegroundPid() != expected && ticks < 3 * Engine::kFrontCheckTicks) {
            beforeLast = desk.WindowQueries();
            Tick();
            ++ticks;
        }
        EXPECT_EQ(engine.ForegroundPid(), expected);
        EXPECT_GE(ticks, c.minTicks);
        EXPECT_LE(ticks, c.maxTicks);
        // With the status hidden, only the tick that followed asked anything.
        if (c.how != How::LostWhileShown) {
            EXPECT_EQ(beforeLast, queries);
        }
        if (expected == 0) {
            Front(front, "Window");
            engine.ForegroundEvent();
            ASSERT_EQ(engine.ForegroundPid(), front);
        } else {
            front = next;
        }
        // The window is not asked for again until the next look.
        const std::uint64_t settled = desk.WindowQueries();
        Tick();
        if (c.how != How::LostWhileShown) {
            EXPECT_EQ(desk.WindowQueries(), settled);
        }
    }
}

// A process that runs hard for a single tick after a quiet stretch is lowered on that
// tick, as sampling every process would do: the machine's gate looks at the last tick,
// not at the average since every process was last sampled.
TEST_F(ObserverTest, ABurstAfterAQuietStretchIsLoweredOnItsTick) {
    const struct {
        int quietTicks;
        std::uint64_t percent;
        std::int32_t lowered;
    } cases[] = {
        {3, 25, platform::BELOW_NORMAL_PRIORITY_CLASS},
        {10, 60, platform::IDLE_PRIORITY_CLASS},
        {14, 15, platform::BELOW_NORMAL_PRIORITY_CLASS},
    };
    const auto editor = Start("/usr/bin/editor");
    StartWith(editor);
    for (const auto& c : cases) {
        const auto worker = Start("/usr/bin/worker");
        // A rebuild lists the worker; the quiet stretch starts after it.
        while (engine.TableStages().RebuildCountdown() != 0) Tick();
        Tick();
        for (int i = 0; i < c.quietTicks; ++i) Tick();
        TickAt(worker, c.percent);
        EXPECT_EQ(desk.PriorityOf(worker), c.lowered) << c.quietTicks << " " << c.percent;
        desk.EndProcess(worker);
    }
}

// Whether a process waited to run is read only where background observation may use
// it: not for the program in front nor for Talvex itself, though both run raised.
TEST_F(ObserverTest, WaitsAreReadOnlyForProcessesBackgroundObservationJudges) {
    const auto editor = Start("/usr/bin/editor");
    const auto worker = Start("/usr/bin/worker");
    StartWith(editor);
    desk.SetPriorityOf(self, platform::NORMAL_PRIORITY_CLASS);
    engine.Queries().SetProcessPriority(self, 0, platform::HIGH_PRIORITY_CLASS);
    ASSERT_TRUE(desk.Changes().Holds(editor));
    ASSERT_TRUE(desk.Changes().Holds(self));
    const std::uint64_t before = desk.ReadinessReads();
    for (int i = 0; i < 4; ++i) {
        desk.AddCpuTime(editor, 0, 400);
        desk.AddCpuTime(self, 0, 100);
        Tick();
    }
    EXPECT_EQ(desk.ReadinessReads(), before);
    TickAt(worker, 90);  // about to be lowered: its wait counts
    EXPECT_GT(desk.ReadinessReads(), before);
}

// After the lowering, each tick gives: usage in percent, ms waited for a processor.
struct Step {
    int percent;
    int waitedMs;
};

// A process lowered under contention may get no processor at all for a tick: it reads
// 0 %, yet it waited to run the whole time. Put back, it would take the processor
// again and be lowered again, every second or two.
TEST_F(ObserverTest, ALoweredProcessGoesBackOnlyOnceItIsIdleNotStarved) {
    const struct {
        const char* what;
        bool waitKnown;
        std::vector<Step> steps;
        std::int32_t expected;
    } cases[] = {
        {"waited every tick", true, {{0, 400}, {0, 450}, {0, 480}, {0, 490}}, IDLE_PRIORITY_CLASS},
        {"ran a little, waited", true, {{1, 300}, {0, 400}}, IDLE_PRIORITY_CLASS},
        {"neither ran nor waited", true, {{0, 0}}, NORMAL_PRIORITY_CLASS},
        {"starved, then idle", true, {{0, 400}, {0, 0}}, NORMAL_PRIORITY_CLASS},
        // Where waits are unknown only a long enough quiet stretch counts.
        {"no wait count, quiet 3 s", false, std::vector<Step>(6, {0, 0}), IDLE_PRIORITY_CLASS},
        {"no wait count, quiet 4 s", false, std::vector<Step>(9, {0, 0}), NORMAL_PRIORITY_CLASS},
        {"no wait count, a blip",
         false,
         {{0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {1, 0}, {0, 0}, {0, 0}, {0, 0}},
         IDLE_PRIORITY_CLASS},
    };
    const auto editor = Start("/usr/bin/editor");
    StartWith(editor);
    for (const auto& c : cases) {
        desk.SetReadinessKnown(c.waitKnown);
        const auto loop = Start("/usr/bin/loop");
        // The next rebuild brings it into the table; the case then runs before the one
        // after (a rebuild starts every process's counts afresh).
        while (engine.TableStages().RebuildCountdown() != 0) Tick();
        Tick();
        for (int i = 0; i < 20 && desk.PriorityOf(loop) != IDLE_PRIORITY_CLASS; ++i) {
            desk.AddRunQueueWait(loop, 100);
            TickAt(loop, 90);
        }
        ASSERT_EQ(desk.PriorityOf(loop), IDLE_PRIORITY_CLASS) << c.what;
        for (const Step& step : c.steps) {
            desk.AddRunQueueWait(loop, static_cast<std::uint64_t>(step.waitedMs));
            TickAt(loop, static_cast<std::uint64_t>(step.percent));
        }
        EXPECT_EQ(desk.PriorityOf(loop), c.expected) << c.what;
        desk.EndProcess(loop);
    }
}

}  // namespace
}  // namespace talvex
