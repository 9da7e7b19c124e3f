// The Linux process backend against real child processes.

#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>

#include "engine/modMain.h"
#include "levers/LeverRules.h"
#include "platform/linux/LinuxLevers.h"
#include "platform/linux/LinuxProcessApi.h"
#include "platform/linux/ProcStat.h"
#include "platform/linux/X11WindowApi.h"
#include "tests/linux/LinuxTestSupport.h"

namespace talvex {
namespace {

using namespace platform;
using testing::Child;
using testing::NiceOf;
using Group = LinuxLevers::Group;

class LinuxProcessTest : public ::testing::Test {
  protected:
    LinuxProcessApi processes;
    X11WindowApi windows{":none"};  // never asked here
    modMain::Queries queries{processes, windows};

    void RequireRight() {
        if (!processes.CanRaisePriority()) {
            GTEST_SKIP() << "This user may not raise priorities (no CAP_SYS_NICE, no RLIMIT_NICE)";
        }
    }
};

TEST_F(LinuxProcessTest, EveryClassRoundTripsThroughNice) {
    RequireRight();
    if (IsSkipped()) return;
    Child child({"sleep"});
    ASSERT_TRUE(child.Ready());
    // Through the helper a raise stops at its floor, which still reads back as Realtime.
    const int lowest = processes.RaiseRightInUse().route == RaiseRoute::Helper
                           ? talvex::levers::ParseFloor(
                                 linux_proc::ReadProcText("/etc/talvex/levers.conf").value_or(""))
                           : -20;
    const struct {
        std::int32_t cls;
        int nice;
    } steps[] = {{IDLE_PRIORITY_CLASS, 19},  {BELOW_NORMAL_PRIORITY_CLASS, 10},
                 {NORMAL_PRIORITY_CLASS, 0}, {ABOVE_NORMAL_PRIORITY_CLASS, -5},
                 {HIGH_PRIORITY_CLASS, -10}, {REALTIME_PRIORITY_CLASS, -20},
                 {IDLE_PRIORITY_CLASS, 19},  {NORMAL_PRIORITY_CLASS, 0}};
    for (const auto& step : steps) {
        const int nice = std::max(step.nice, lowest);
        EXPECT_EQ(queries.SetProcessPriority(child.Pid(), 0, step.cls), ClassForNice(nice));
        EXPECT_EQ(NiceOf(child.Pid()), nice) << "class " << step.cls;
        EXPECT_EQ(queries.GetWindowPriority(child.Pid(), 0), ClassForNice(nice));
    }
}

// Without the helper and without a right of its own, a raise fails quietly, and a
// lowering is not made at all: it could never be undone. Through the helper both are
// made, and undone.
TEST_F(LinuxProcessTest, WithoutTheRightNothingChangesThatCouldNotBeUndone) {
    LinuxProcessApi alone({}, std::string{});
    if (alone.CanRaisePriority()) {
        GTEST_SKIP() << "This user may raise by itself (root, the capability or a nice limit)";
    }
    EXPECT_EQ(alone.RaiseRightInUse().route, RaiseRoute::Unavailable);
    modMain::Queries aloneQueries{alone, windows};
    Child child({"sleep"});
    ASSERT_TRUE(child.Ready());
    for (const std::int32_t cls : {IDLE_PRIORITY_CLASS, BELOW_NORMAL_PRIORITY_CLASS,
                                   HIGH_PRIORITY_CLASS, NORMAL_PRIORITY_CLASS}) {
        EXPECT_EQ(aloneQueries.SetProcessPriority(child.Pid(), 0, cls), NORMAL_PRIORITY_CLASS)
            << cls;
    }
    EXPECT_EQ(NiceOf(child.Pid()), 0);
    EXPECT_TRUE(alone.Changes().Held().empty());
    if (processes.RaiseRightInUse().route == RaiseRoute::Helper) {
        EXPECT_EQ(queries.SetProcessPriority(child.Pid(), 0, IDLE_PRIORITY_CLASS),
                  IDLE_PRIORITY_CLASS);
        EXPECT_EQ(queries.UndoProcessChanges(child.Pid()), 1);
        EXPECT_EQ(NiceOf(child.Pid()), 0);
    }
}

TEST_F(LinuxProcessTest, EveryThreadOfAProcessIsChanged) {
    RequireRight();
    if (IsSkipped()) return;
    Child child({"threads", "7"});
    ASSERT_TRUE(child.Ready());
    ASSERT_EQ(testing::ThreadsOf(child.Pid()).size(), 8U);
    for (const std::int32_t cls : {HIGH_PRIORITY_CLASS, IDLE_PRIORITY_CLASS}) {
        queries.SetProcessPriority(child.Pid(), 0, cls);
        const int expected = *linux_proc::NiceForClass(cls);
        for (const pid_t tid : testing::ThreadsOf(child.Pid())) {
            EXPECT_EQ(NiceOf(child.Pid(), tid), expected) << "thread " << tid;
        }
    }
}

TEST_F(LinuxProcessTest, ARaiseLiftsTheSessionGroupOfTheProcessUntilItIsUndone) {
    RequireRight();
    if (IsSkipped()) return;
    Child child({"session"});
    ASSERT_TRUE(child.Ready());
    std::string grouping;
    std::ifstream("/proc/sys/kernel/sched_autogroup_enabled") >> grouping;
    const auto group = LinuxLevers::ReadGroup(child.Pid());
    if (!group || grouping != "1") GTEST_SKIP() << "The kernel does not group processes by session";
    // A process whose session was never started with setsid sits in the kernel's
    // default group, whose file reads empty and whose weight cannot be changed.
    const auto own = LinuxLevers::ReadGroup(::getpid());
    if (own) {
        ASSERT_NE(group->id, own->id);
    }
    const auto groupNiceOf = [&] {
        return LinuxLevers::ReadGroup(child.Pid()).value_or(Group{}).nice;
    };
    // The kernel takes one group change per 100 ms; later calls retry a refused one.
    const auto settle = [&](int wanted) {
        return testing::WaitFor([&] {
            processes.CloseHandle(processes.OpenProcess(PROCESS_QUERY_INFORMATION, child.Pid()));
            return groupNiceOf() == wanted;
        });
    };
    queries.SetProcessPriority(child.Pid(), 0, HIGH_PRIORITY_CLASS);
    EXPECT_TRUE(settle(-10));
    queries.UndoProcessChanges(child.Pid());
    EXPECT_TRUE(settle(group->nice));
    EXPECT_EQ(NiceOf(child.Pid()), 0);
    // A busy program's session group is lowered with it, and put back as soon as a
    // program of that session comes to the front; the front's group is never lowered.
    queries.SetProcessPriority(child.Pid(), 0, IDLE_PRIORITY_CLASS);
    EXPECT_TRUE(settle(19));
    processes.SetFrontProcess(child.Pid());
    EXPECT_TRUE(settle(group->nice));
    queries.SetProcessPriority(child.Pid(), 0, IDLE_PRIORITY_CLASS);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_TRUE(settle(group->nice)) << "the group of the program in front was lowered";
    processes.SetFrontProcess(0);
    queries.UndoProcessChanges(child.Pid());

    // The program's own group is never raised.
    if (!own) return;
    queries.SetProcessPriority(0, 0, HIGH_PRIORITY_CLASS);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    processes.CloseHandle(processes.OpenProcess(PROCESS_QUERY_INFORMATION, child.Pid()));
    EXPECT_EQ(LinuxLevers::ReadGroup(::getpid())->nice, own->nice);
    queries.UndoProcessChanges(::getpid());
}

// Undo gives every thread its own value back, also when the process's leader thread
// has ended meanwhile; and children forked during a raise do not inherit it.
TEST_F(LinuxProcessTest, UndoIsExactPerThreadAndARaiseIsNotInherited) {
    RequireRight();
    if (IsSkipped()) return;
    Child threads({"threads", "2"});
    ASSERT_TRUE(threads.Ready());
    const auto tids = testing::ThreadsOf(threads.Pid());
    ASSERT_EQ(tids.size(), 3U);
    ASSERT_EQ(::setpriority(PRIO_PROCESS, static_cast<id_t>(tids[0]), 5), 0);
    ASSERT_EQ(::setpriority(PRIO_PROCESS, static_cast<id_t>(tids[2]), 7), 0);
    queries.SetProcessPriority(threads.Pid(), 0, HIGH_PRIORITY_CLASS);
    queries.SetProcessPriority(threads.Pid(), 0, IDLE_PRIORITY_CLASS);
    queries.SetProcessPriority(threads.Pid(), 0, HIGH_PRIORITY_CLASS);
    for (const pid_t tid : tids) EXPECT_EQ(NiceOf(threads.Pid(), tid), -10);
    EXPECT_EQ(queries.UndoProcessChanges(threads.Pid()), 6);  // three nice values, three flags
    EXPECT_EQ(NiceOf(threads.Pid(), tids[0]), 5);
    EXPECT_EQ(NiceOf(threads.Pid(), tids[1]), 0);
    EXPECT_EQ(NiceOf(threads.Pid(), tids[2]), 7);
    EXPECT_EQ(::sched_getscheduler(tids[0]) & SCHED_RESET_ON_FORK, 0) << "the flag is undone too";

    Child leaderEnds({"leader-exits-after", "300"});
    ASSERT_TRUE(leaderEnds.Ready());
    queries.SetProcessPriority(leaderEnds.Pid(), 0, HIGH_PRIORITY_CLASS);
    const auto rest = testing::ThreadsOf(leaderEnds.Pid());
    ASSERT_TRUE(testing::WaitFor([&] {
        const ProcessHandle handle =
            processes.OpenProcess(PROCESS_QUERY_INFORMATION, leaderEnds.Pid());
        processes.CloseHandle(handle);
        return handle == 0;
    })) << "the leader thread did not end";
    queries.UndoProcessChanges(leaderEnds.Pid());
    for (const pid_t tid : rest) {
        if (tid != leaderEnds.Pid()) {
            EXPECT_EQ(NiceOf(leaderEnds.Pid(), tid), 0);
        }
    }

    Child forker({"forks-after", "300"});
    ASSERT_TRUE(forker.Ready());
    queries.SetProcessPriority(forker.Pid(), 0, HIGH_PRIORITY_CLASS);
    std::optional<pid_t> forked;
    ASSERT_TRUE(testing::WaitFor([&] { return (forked = testing::ChildOf(forker.Pid())); }));
    EXPECT_EQ(NiceOf(forker.Pid()), -10);
    EXPECT_EQ(NiceOf(*forked), 0) << "a child of a raised program starts at the default";
}

// A thread that runs with other credentials than its process's owner (still as root,
// say) is never changed.
TEST_F(LinuxProcessTest, AThreadWithOtherCredentialsIsNeverChanged) {
    RequireRight();
    if (IsSkipped()) return;
    const auto mixed = testing::MixedCredentialsPid();
    if (!mixed) GTEST_SKIP() << "No mixed process: the tests must run as root to create one";
    // It was started just before this program and may not have switched its owner yet;
    // opened before, it would be refused (rightly) until the next snapshot.
    std::vector<pid_t> tids;
    ASSERT_TRUE(testing::WaitFor([&] {
        tids = testing::ThreadsOf(*mixed);
        const auto status = linux_proc::ReadProcText("/proc/" + std::to_string(*mixed) + "/status");
        const auto uids = status ? linux_proc::ParseStatusUids(*status) : std::nullopt;
        return tids.size() == 2 && uids && uids->real == ::getuid() && uids->saved == ::getuid();
    }));
    const ProcessHandle handle = processes.OpenProcess(PROCESS_QUERY_INFORMATION, *mixed);
    ASSERT_NE(handle, 0U);
    processes.CloseHandle(handle);
    const pid_t rootThread = tids[0] == *mixed ? tids[1] : tids[0];
    for (const std::int32_t cls : {HIGH_PRIORITY_CLASS, IDLE_PRIORITY_CLASS}) {
        queries.SetProcessPriority(*mixed, 0, cls);
        EXPECT_EQ(NiceOf(*mixed), *linux_proc::NiceForClass(cls));
        EXPECT_EQ(NiceOf(*mixed, rootThread), 0) << "class " << cls;
    }
    queries.UndoProcessChanges(*mixed);
    EXPECT_EQ(NiceOf(*mixed), 0);
}

TEST_F(LinuxProcessTest, ProcessesThatAreNotOursCannotBeOpened) {
    // pid 2 is the kernel's thread starter, wherever the kernel's pid space is visible.
    std::ifstream kthreadd("/proc/2/stat");
    std::string text((std::istreambuf_iterator<char>(kthreadd)), {});
    const auto stat = linux_proc::ParseProcStat(text);
    if (stat && linux_proc::IsKernelThread(*stat)) {
        EXPECT_EQ(processes.OpenProcess(PROCESS_ALL_ACCESS_LEGACY, 2), 0U);
        EXPECT_EQ(queries.GetWindowPriority(2, 0), kCannotOpen);
    }
    EXPECT_EQ(processes.OpenProcess(PROCESS_ALL_ACCESS_LEGACY, 0), 0U);
    EXPECT_EQ(processes.OpenProcess(PROCESS_ALL_ACCESS_LEGACY, -5), 0U);

    const auto other = testing::OtherUserPid();
    if (!other)
        GTEST_SKIP() << "No process of another user: the tests must run as root to create one";
    const auto niceBefore = NiceOf(*other);
    ASSERT_TRUE(niceBefore.has_value());
    EXPECT_EQ(queries.GetWindowPriority(*other, 0), kCannotOpen);
    for (const std::int32_t cls : {HIGH_PRIORITY_CLASS, IDLE_PRIORITY_CLASS}) {
        EXPECT_EQ(queries.SetProcessPriority(*other, 0, cls), 0);
        EXPECT_EQ(NiceOf(*other), niceBefore);
    }
    EXPECT_EQ(processes.OpenProcess(PROCESS_QUERY_INFORMATION, *other), 0U);
}

// Every call on a handle fails once its process has ended, also right after a read that
// the handle would otherwise answer from (the engine reads each process twice per tick).
TEST_F(LinuxProcessTest, AnEndedProcessReadsItsFailureValues) {
    std::unique_ptr<Child> child;
    ProcessHandle handle = 0;
    ProcessTimes times;
    for (int round = 0; round < 20; ++round) {
        if (handle) processes.CloseHandle(handle);
        child = std::make_unique<Child>(std::vector<std::string>{"sleep"});
        ASSERT_TRUE(child->Ready());
        handle = processes.OpenProcess(PROCESS_ALL_ACCESS_LEGACY, child->Pid());
        ASSERT_NE(handle, 0U);
        ASSERT_TRUE(processes.GetProcessTimes(handle, times));
        // Killed, and waited for without polling until it is a zombie (not reaped yet):
        // a zombie counts as ended already.
        ::kill(child->Pid(), SIGKILL);
        siginfo_t info{};
        ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(child->Pid()), &info, WEXITED | WNOWAIT), 0);
        EXPECT_EQ(processes.GetPriorityClass(handle), 0) << "round " << round;
        EXPECT_FALSE(processes.GetProcessTimes(handle, times)) << "round " << round;
    }
    const pid_t pid = child->Pid();
    EXPECT_EQ(processes.OpenProcess(PROCESS_ALL_ACCESS_LEGACY, pid), 0U);
    child->End();

    EXPECT_EQ(processes.GetPriorityClass(handle), 0);
    EXPECT_FALSE(processes.SetPriorityClass(handle, IDLE_PRIORITY_CLASS));
    EXPECT_FALSE(processes.GetProcessTimes(handle, times));
    EXPECT_EQ(processes.GetModuleFileNameExA(handle, 1024), "");
    EXPECT_TRUE(processes.CloseHandle(handle));
    EXPECT_FALSE(processes.CloseHandle(handle));
    EXPECT_EQ(queries.GetWindowPriority(pid, 0), kCannotOpen);
    EXPECT_EQ(queries.SetProcessPriority(pid, 0, HIGH_PRIORITY_CLASS), 0);
}

TEST_F(LinuxProcessTest, TimesCountTheWholeProcessIn100NsUnits) {
    const auto before = std::chrono::system_clock::now();
    Child child({"spin", "300"});
    ASSERT_TRUE(child.Ready());
    const ProcessHandle handle = processes.OpenProcess(PROCESS_ALL_ACCESS_LEGACY, child.Pid());
    ASSERT_NE(handle, 0U);
    ProcessTimes times;
    ASSERT_TRUE(processes.GetProcessTimes(handle, times));
    processes.CloseHandle(handle);
    // About 300 ms of CPU, counted in 10 ms steps: 2.5 to 4 million units of 100 ns.
    EXPECT_GE(times.user + times.kernel, 2'500'000U);
    EXPECT_LE(times.user + times.kernel, 4'000'000U);
    EXPECT_EQ(times.exit, 0U);
    // Creation time: 100 ns units since 1601, within a few seconds of the start.
    const auto unixTicks =
        std::chrono::duration_cast<std::chrono::microseconds>(before.time_since_epoch()).count() *
        10;
    const auto started = static_cast<std::int64_t>(times.creation - 116444736000000000ULL);
    EXPECT_NEAR(static_cast<double>(started), static_cast<double>(unixTicks), 3e7);
}

TEST_F(LinuxProcessTest, ModulePathSurvivesADeletedOrReplacedExecutable) {
    namespace fs = std::filesystem;
    const fs::path copy =
        fs::temp_directory_path() / ("talvex-child-" + std::to_string(::getpid()) + " é");
    fs::copy_file(testing::ChildProgram(), copy, fs::copy_options::overwrite_existing);
    Child child({"sleep"}, {}, copy.string());
    ASSERT_TRUE(child.Ready());
    const ProcessHandle handle = processes.OpenProcess(PROCESS_ALL_ACCESS_LEGACY, child.Pid());
    ASSERT_NE(handle, 0U);
    EXPECT_EQ(processes.GetModuleFileNameExA(handle, 1024), copy.string());
    // Cut at a character boundary: the last character "é" takes two bytes.
    EXPECT_EQ(processes.GetModuleFileNameExA(handle, copy.string().size() - 1),
              copy.string().substr(0, copy.string().size() - 2));

    fs::remove(copy);
    EXPECT_EQ(processes.GetModuleFileNameExA(handle, 1024), copy.string());
    fs::copy_file(testing::ChildProgram(), copy);  // an update put a new file there
    EXPECT_EQ(processes.GetModuleFileNameExA(handle, 1024), copy.string());
    processes.CloseHandle(handle);
    fs::remove(copy);
}

TEST_F(LinuxProcessTest, SnapshotListsProcessesAndGivesBackDescriptorsOfEndedOnes) {
    Child child({"sleep"});
    ASSERT_TRUE(child.Ready());
    const auto list = processes.CreateToolhelp32Snapshot();
    ASSERT_TRUE(list.has_value());
    const auto find = [&](std::int32_t pid) {
        return std::find_if(list->begin(), list->end(),
                            [&](const ProcessInfo& p) { return p.pid == pid; });
    };
    ASSERT_NE(find(child.Pid()), list->end());
    EXPECT_EQ(find(child.Pid())->exeName,
              std::filesystem::path(testing::ChildProgram()).filename().string());
    EXPECT_NE(find(processes.GetCurrentProcessId()), list->end());
    EXPECT_EQ(processes.GetCurrentProcessId(), ::getpid());

    const std::size_t before = processes.KeptDescriptorCount();
    processes.CloseHandle(processes.OpenProcess(PROCESS_ALL_ACCESS_LEGACY, child.Pid()));
    EXPECT_EQ(processes.KeptDescriptorCount(), before + 1);
    child.End();
    processes.CreateToolhelp32Snapshot();
    EXPECT_EQ(processes.KeptDescriptorCount(), before);
}

TEST_F(LinuxProcessTest, OwnProcessAndRightAreReported) {
    EXPECT_EQ(queries.GetWindowExePath(0, 1024),
              std::filesystem::canonical("/proc/self/exe").string());
    EXPECT_NE(queries.GetWindowPriority(0, 0), kCannotOpen);
    if (testing::RunsAsTestUser()) {
        EXPECT_TRUE(processes.CanRaisePriority());
    }
}

// In a CPU cgroup of its own (the delegated group the root half of the tests makes),
// a program competes by its group's weight: the front's group is raised, a busy
// program's group lowered, both put back exactly, by an undo and after a crash.
TEST_F(LinuxProcessTest, ProgramsInCpuGroupsOfTheirOwnAreRankedByTheGroupsWeight) {
    RequireRight();
    if (IsSkipped()) return;
    const char* delegated = std::getenv("TALVEX_TEST_CPU_GROUP");
    if (!delegated || !*delegated) GTEST_SKIP() << "no CPU cgroup delegated to this user";
    const std::string base = delegated;
    const bool v1 = std::filesystem::exists(base + "/cpu.shares");
    const std::string weightName = v1 ? "/cpu.shares" : "/cpu.weight";
    Child front({"sleep"}), busy({"sleep"}), shared({"sleep"});
    ASSERT_TRUE(front.Ready() && busy.Ready() && shared.Ready());
    const auto weightOf = [&](const std::string& group) {
        std::int64_t value = 0;
        std::ifstream(base + "/" + group + weightName) >> value;
        return value;
    };
    for (const auto& [group, child] :
         {std::pair<std::string, Child*>{"front", &front}, {"busy", &busy}, {"front", &shared}}) {
        std::filesystem::create_directory(base + "/" + group);
        std::ofstream(base + "/" + group + "/cgroup.procs") << child->Pid() << std::flush;
    }
    const std::int64_t plain = weightOf("front");
    ASSERT_EQ(processes.PlacementOf(front.Pid()).lever, CpuLever::GroupWeight);
    EXPECT_NE(processes.PlacementOf(::getpid()).lever, CpuLever::GroupWeight);

    queries.SetProcessPriority(front.Pid(), 0, HIGH_PRIORITY_CLASS);
    queries.SetProcessPriority(busy.Pid(), 0, IDLE_PRIORITY_CLASS);
    // A busy process sharing the front's group leaves the raise alone.
    queries.SetProcessPriority(shared.Pid(), 0, IDLE_PRIORITY_CLASS);
    EXPECT_EQ(weightOf("front"), CpuTopology::WeightForNice(plain, -10, v1));
    EXPECT_EQ(weightOf("busy"), CpuTopology::WeightForNice(plain, 19, v1));
    EXPECT_GT(weightOf("front"), plain);
    EXPECT_LT(weightOf("busy"), plain);

    EXPECT_GT(processes.UndoChanges(front.Pid()), 0);
    EXPECT_EQ(weightOf("front"), plain);
    // As if Talvex had crashed now: the next start undoes what the record holds.
    const std::string saved = processes.Changes().Text();
    LinuxLevers levers(static_cast<std::uint32_t>(::geteuid()));
    levers.UseHelper(StartLeversHelper());
    EXPECT_TRUE(ChangeRecord::UndoSaved(saved, LinuxLevers::BootId(), levers).empty());
    EXPECT_EQ(weightOf("busy"), plain);
    EXPECT_EQ(NiceOf(busy.Pid()), 0);
    // Lowered again, then its program comes to the front: the group is put back.
    queries.SetProcessPriority(busy.Pid(), 0, IDLE_PRIORITY_CLASS);
    EXPECT_LT(weightOf("busy"), plain);
    processes.SetFrontProcess(busy.Pid());
    EXPECT_EQ(weightOf("busy"), plain);

    front.End();
    busy.End();
    shared.End();
    for (const char* group : {"front", "busy"}) ::rmdir((base + "/" + group).c_str());
}

}  // namespace
}  // namespace talvex
