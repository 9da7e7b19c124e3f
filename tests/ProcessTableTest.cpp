// The process table: building it, sampling CPU usage, and its two places in the tick.
#include <gtest/gtest.h>

#include "engine/modProcess.h"
#include "tests/ObserverFixture.h"

namespace talvex {
namespace {

using namespace platform;
using testing::ObserverTest;

std::string FileNameOf(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

class SamplingTest : public ::testing::Test {
  protected:
    // An opened entry of a fresh process whose first sample is taken.
    ProcessEntry Opened(std::int32_t pid) {
        ProcessEntry entry;
        entry.lPid = pid;
        EXPECT_TRUE(mp.OpenProcessEntry(entry));
        return entry;
    }
    FakeDesktop desk;
    modProcess::Sampler mp{desk, desk};
    std::int32_t pid = desk.AddProcess({"/usr/bin/worker"});
};

TEST_F(SamplingTest, UsageIsKernelPlusUserOverElapsedTime) {
    ProcessEntry entry = Opened(pid);
    EXPECT_EQ(entry.iCpuUsage, 0);  // the first sample only stores the baseline
    EXPECT_NE(entry.lTick, 0u);
    desk.AddCpuTime(pid, 50, 200);
    desk.AdvanceClock(500);
    EXPECT_TRUE(mp.SampleProcessCpu(entry));
    EXPECT_EQ(entry.iCpuKernel, 10);
    EXPECT_EQ(entry.iCpuUser, 40);
    EXPECT_EQ(entry.iCpuUsage, 50);

    // Two busy cores: more CPU time than wall time, not capped at 100.
    desk.AddCpuTime(pid, 0, 1000);
    desk.AdvanceClock(500);
    EXPECT_TRUE(mp.SampleProcessCpu(entry));
    EXPECT_EQ(entry.iCpuUsage, 200);

    // The same millisecond measures nothing and keeps the usage.
    desk.AddCpuTime(pid, 0, 300);
    EXPECT_FALSE(mp.SampleProcessCpu(entry));
    EXPECT_EQ(entry.iCpuUsage, 200);
    mp.CloseProcessEntry(entry);
    EXPECT_EQ(entry.hProcess, 0u);
    EXPECT_EQ(desk.OpenHandleCount(), 0u);
}

TEST_F(SamplingTest, QuotientRoundsHalfToEvenAndMillisecondsAreCut) {
    // 25 ms over 200 ms is 12.5 -> 12; 27 ms is 13.5 -> 14; 1 ms over 200 is 0.5 -> 0.
    EXPECT_EQ(modProcess::CpuPercent(0, 25 * 10000, 200), 12);
    EXPECT_EQ(modProcess::CpuPercent(0, 27 * 10000, 200), 14);
    EXPECT_EQ(modProcess::CpuPercent(0, 1 * 10000, 200), 0);
    EXPECT_EQ(modProcess::CpuPercent(0, 3 * 10000, 200), 2);     // 1.5 -> 2
    EXPECT_EQ(modProcess::CpuPercent(0, 2 * 10000, 300), 1);     // 0.67 -> 1
    EXPECT_EQ(modProcess::CpuPercent(27 * 10000, 0, 200), -14);  // a time that went back: symmetric
    // 9999 units are less than a millisecond and count as none.
    EXPECT_EQ(modProcess::CpuPercent(0, 9999, 1), 0);
    ProcessEntry entry = Opened(pid);
    desk.AddCpuTime(pid, 25, 27);
    desk.AdvanceClock(200);
    ASSERT_TRUE(mp.SampleProcessCpu(entry));
    EXPECT_EQ(entry.iCpuKernel, 12);
    EXPECT_EQ(entry.iCpuUser, 14);
    EXPECT_EQ(entry.iCpuUsage, 26);
}

TEST_F(SamplingTest, ClockAndTimesPastThirtyTwoBitsStillMeasure) {
    // A millisecond counter past 2^31 (24.8 days up) and past 2^32 (49.7 days up).
    for (const std::uint64_t start : {(1ull << 31) - 100, (1ull << 32) - 100, 1ull << 40}) {
        desk.SetClock(start);
        // CPU times whose low halves cross 2^31 and 2^32 units in the interval.
        desk.SetCpuTimes(pid, (1ull << 31) - 100000, (1ull << 32) - 100000);
        ProcessEntry entry = Opened(pid);
        desk.AddCpuTime(pid, 50, 200);
        desk.AdvanceClock(500);
        ASSERT_TRUE(mp.SampleProcessCpu(entry)) << start;
        EXPECT_EQ(entry.iCpuKernel, 10) << start;
        EXPECT_EQ(entry.iCpuUser, 40) << start;
        mp.CloseProcessEntry(entry);
    }
}

TEST_F(SamplingTest, UsageBeyondSixteenBitsSaturates) {
    ProcessEntry entry = Opened(pid);
    desk.AddCpuTime(pid, 400000, 400000);  // 400 s each within ten milliseconds
    desk.AdvanceClock(10);
    EXPECT_TRUE(mp.SampleProcessCpu(entry));
    EXPECT_EQ(entry.iCpuKernel, 32767);
    EXPECT_EQ(entry.iCpuUser, 32767);
    EXPECT_EQ(entry.iCpuUsage, 32767);
}

TEST_F(SamplingTest, SampleAFewMillisecondsAfterTheLastOneKeepsUsageAndBaseline) {
    // Each tick opens a process (one sample) and samples it again at once. The second
    // read comes a millisecond or so later and finds the same times (the kernel counts
    // in clock ticks, the backend caches its read): it must not turn a busy process
    // into an idle one, nor shorten the next span.
    for (const std::uint64_t gap : {1u, 2u, 5u, 9u}) {
        SCOPED_TRACE(gap);
        ProcessEntry entry = Opened(pid);
        desk.AddCpuTime(pid, 0, 500);
        desk.AdvanceClock(500);
        ASSERT_TRUE(mp.OpenProcessEntry(entry));
        ASSERT_EQ(entry.iCpuUsage, 100);
        desk.AdvanceClock(gap);
        EXPECT_FALSE(mp.SampleProcessCpu(entry));
        EXPECT_EQ(entry.iCpuUsage, 100);
        mp.CloseProcessEntry(entry);
        desk.AddCpuTime(pid, 0, 250);
        desk.AdvanceClock(500 - gap);
        ASSERT_TRUE(mp.OpenProcessEntry(entry));
        EXPECT_EQ(entry.iCpuUsage, 50);  // 250 ms over the 500 ms since the last real sample
        mp.CloseProcessEntry(entry);
    }
}

TEST_F(SamplingTest, UnreadableProcessKeepsUsageButRenewsTimeStamp) {
    ProcessEntry entry = Opened(pid);
    desk.AddCpuTime(pid, 0, 250);
    desk.AdvanceClock(500);
    ASSERT_TRUE(mp.SampleProcessCpu(entry));
    mp.CloseProcessEntry(entry);
    ASSERT_EQ(entry.iCpuUsage, 50);

    desk.SetGrantableAccess(pid, 0);
    desk.AddCpuTime(pid, 0, 500);
    desk.AdvanceClock(500);
    EXPECT_FALSE(mp.OpenProcessEntry(entry));
    EXPECT_FALSE(mp.SampleProcessCpu(entry));
    EXPECT_EQ(entry.iCpuUsage, 50);
    EXPECT_EQ(entry.lTick, desk.GetTickCount64());

    // Readable again: the CPU time since the last read over the time since the last try.
    desk.SetGrantableAccess(pid, PROCESS_ALL_ACCESS_LEGACY);
    desk.AdvanceClock(500);
    EXPECT_TRUE(mp.OpenProcessEntry(entry));
    EXPECT_EQ(entry.iCpuUsage, 100);
    mp.CloseProcessEntry(entry);
    EXPECT_EQ(desk.OpenHandleCount(), 0u);
}

TEST_F(SamplingTest, BuildSkipsIdleProcessAndUsesNameWhenPathIsUnreadable) {
    FakeProcessSpec idle{kSystemProcessName};
    idle.pid = 0;
    desk.AddProcess(idle);
    FakeProcessSpec system{"System", NORMAL_PRIORITY_CLASS, 0};
    system.pid = 4;
    desk.AddProcess(system);
    FakeProcessSpec cut{"/sbin/init"};
    cut.pid = 1;
    cut.exeName = std::string("init\0junk", 9);
    desk.AddProcess(cut);

    std::vector<ProcessEntry> table(5);  // a former, longer table
    ASSERT_EQ(mp.BuildProcessTable(table), 2);
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table[0].lPid, 1);  // the idle process's place is taken by the next one
    EXPECT_EQ(table[0].sExeName, "init");
    EXPECT_EQ(table[0].sExePath, "/sbin/init");
    EXPECT_EQ(table[1].sExePath, "System");
    EXPECT_EQ(table[1].sExeName, "System");
    EXPECT_EQ(table[2].lPid, pid);
    EXPECT_NE(table[2].lTick, 0u);  // baseline taken during the build
    for (const auto& entry : table) {
        EXPECT_NE(entry.sExePath, kSystemProcessName);
        EXPECT_EQ(entry.hProcess, 0u);
        EXPECT_EQ(entry.iCpuUsage, 0);
    }
    EXPECT_EQ(desk.OpenHandleCount(), 0u);
}

// A rebuild reads the path and application id of a process it has not seen before, and
// carries them over for one it has: the same pid, start and executable name.
TEST_F(SamplingTest, RebuildReadsPathsOfNewProcessesOnly) {
    enum class Then { Stays, Replaced, PidReused, Reexecuted, OpenedAtLast, Appears };
    const struct {
        Then then;
        const char* path;   // before the rebuild
        const char* after;  // the path the rebuilt table must show
        bool reads;         // whether the rebuild reads path and id
    } cases[] = {
        {Then::Stays, "/usr/bin/stays", "/usr/bin/stays", false},
        {Then::Replaced, "/usr/bin/gone", "/opt/new/gone", true},
        {Then::PidReused, "/usr/bin/same", "/usr/bin/same", true},
        {Then::Reexecuted, "/usr/bin/shell", "/usr/bin/tool", true},
        {Then::OpenedAtLast, "/usr/bin/closed", "/usr/bin/closed", true},
        {Then::Appears, nullptr, "/usr/bin/new", true},
    };
    std::vector<std::int32_t> pids;
    for (const auto& c : cases) {
        FakeProcessSpec spec{c.path ? c.path : c.after};
        if (c.then == Then::OpenedAtLast) spec.grantableAccess = 0;
        spec.appId = std::string("org.example.") + FileNameOf(spec.exePath);
        pids.push_back(c.path ? desk.AddProcess(spec) : 0);
    }
    std::vector<ProcessEntry> table;
    ASSERT_GE(mp.BuildProcessTable(table), 0);
    desk.AdvanceClock(500);
    std::uint64_t expectedReads = 0;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        FakeProcessSpec spec{c.after};
        spec.appId = std::string("org.example.") + FileNameOf(c.after);
        if (c.then == Then::Replaced || c.then == Then::PidReused) {
            desk.EndProcess(pids[i]);
            spec.pid = pids[i];
            desk.AddProcess(spec);
        } else if (c.then == Then::Reexecuted) {
            desk.ReplaceImage(pids[i], c.after);
        } else if (c.then == Then::OpenedAtLast) {
            desk.SetGrantableAccess(pids[i], PROCESS_ALL_ACCESS_LEGACY);
        } else if (c.then == Then::Appears) {
            pids[i] = desk.AddProcess(spec);
        }
        expectedReads += c.reads ? 2 : 0;
    }
    const std::uint64_t before = desk.PathReads();
    ASSERT_GE(mp.BuildProcessTable(table), 0);
    EXPECT_EQ(desk.PathReads() - before, expectedReads);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto it = std::find_if(table.begin(), table.end(),
                                     [&](const ProcessEntry& e) { return e.lPid == pids[i]; });
        ASSERT_NE(it, table.end()) << i;
        EXPECT_EQ(it->sExePath, cases[i].after) << i;
        const std::string name =
            FileNameOf(cases[i].then == Then::Reexecuted ? cases[i].path : cases[i].after);
        EXPECT_EQ(it->sAppId, "org.example." + name) << i;
        EXPECT_NE(it->lTick, 0u) << i;  // sampled as before
    }
}

TEST_F(SamplingTest, FailedSnapshotLeavesTableAndEmptyOneGivesNone) {
    std::vector<ProcessEntry> table(2);
    table[1].sExePath = "kept";
    desk.SetSnapshotFails(true);
    EXPECT_EQ(mp.BuildProcessTable(table), -1);
    EXPECT_EQ(table[1].sExePath, "kept");

    FakeDesktop empty;
    modProcess::Sampler onEmpty{empty, empty};
    EXPECT_EQ(onEmpty.BuildProcessTable(table), -1);
    EXPECT_TRUE(table.empty());
}

TEST_F(ObserverTest, EverySeventeenthTickRebuildsTheTableAndDoesNothingElse) {
    const auto editor = Start("/usr/bin/editor");
    Front(editor, "Editor");
    std::vector<int> rebuildTicks;
    std::int32_t late = 0;
    for (int tick = 1; tick <= 40; ++tick) {
        if (tick == 5) late = Start("/usr/bin/late");
        const auto statusBefore = host.status.size();
        const auto opensBefore = desk.OpenCalls();
        Tick();
        if (host.status.size() == statusBefore) {
            rebuildTicks.push_back(tick);
            // The build opens every process once, the module path included; the load gate
            // opens Talvex itself for its own time.
            EXPECT_EQ(desk.OpenCalls() - opensBefore, engine.ProcessTable().size() + 1) << tick;
        }
        const bool lateListed =
            std::any_of(engine.ProcessTable().begin(), engine.ProcessTable().end(),
                        [&](const ProcessEntry& e) { return e.lPid == late; });
        EXPECT_EQ(lateListed, tick >= 18) << tick;
    }
    EXPECT_EQ(rebuildTicks, (std::vector<int>{1, 18, 35}));
    EXPECT_EQ(engine.LastProcess(), 2);
    EXPECT_EQ(desk.OpenHandleCount(), 0u);
}

TEST_F(ObserverTest, OrdinaryTickOnABusyMachineSamplesEveryEntrySoObserversSeeUsage) {
    const auto editor = Start("/usr/bin/editor");
    const auto worker = Start("/usr/bin/worker");
    StartWith(editor);
    desk.AddOtherBusyTime(kInterval);  // a busy machine: no tick skips the sampling
    Tick();
    TickAt(worker, 30);
    const auto& entry = engine.ProcessTable()[2];
    ASSERT_EQ(entry.lPid, worker);
    EXPECT_EQ(entry.iCpuUsage, 30);
    EXPECT_EQ(desk.PriorityOf(worker), BELOW_NORMAL_PRIORITY_CLASS);
}

TEST_F(ObserverTest, FailedBuildObservesNothingUntilTheNextBuild) {
    const auto editor = Start("/usr/bin/editor");
    const auto worker = Start("/usr/bin/worker");
    desk.SetSnapshotFails(true);
    StartWith(editor);
    EXPECT_EQ(engine.LastProcess(), -1);
    desk.SetSnapshotFails(false);
    for (int tick = 3; tick <= 17; ++tick) TickAt(worker, 100);
    EXPECT_EQ(desk.PriorityOf(worker), NORMAL_PRIORITY_CLASS);
    Tick();  // tick 18 builds the table
    TickAt(worker, 100);
    EXPECT_EQ(desk.PriorityOf(worker), IDLE_PRIORITY_CLASS);
}

}  // namespace
}  // namespace talvex
