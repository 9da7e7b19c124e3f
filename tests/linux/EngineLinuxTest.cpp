// The whole engine on the real desktop: real windows on a display of the test's own,
// real processes and priorities, the real clock. The engine sees only the processes
// this test starts, so it never changes the priority of anything else.

#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/resource.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <set>
#include <thread>

#include "engine/Engine.h"
#include "i18n/ActionLog.h"
#include "i18n/StringTable.h"
#include "platform/linux/LinuxClock.h"
#include "platform/linux/LinuxProcessApi.h"
#include "platform/linux/X11WindowApi.h"
#include "tests/EngineTestSupport.h"
#include "tests/linux/LinuxTestSupport.h"

namespace talvex {
namespace {

using namespace platform;
using testing::Child;
using testing::NullHost;
using testing::TestDisplay;
using testing::WaitFor;

// The real process backend, narrowed to the processes the test allows: every other
// pid cannot be opened and does not appear in snapshots.
class OnlyTheseProcesses final : public IProcessApi {
  public:
    explicit OnlyTheseProcesses(IProcessApi& real) : m_real(real) {}
    void Allow(std::int32_t pid) { m_allowed.insert(pid); }

    ProcessHandle OpenProcess(std::uint32_t access, std::int32_t pid) override {
        return m_allowed.count(pid) ? m_real.OpenProcess(access, pid) : 0;
    }
    bool CloseHandle(ProcessHandle h) override { return m_real.CloseHandle(h); }
    std::int32_t GetPriorityClass(ProcessHandle h) override { return m_real.GetPriorityClass(h); }
    bool SetPriorityClass(ProcessHandle h, std::int32_t c) override {
        return m_real.SetPriorityClass(h, c);
    }
    bool GetProcessTimes(ProcessHandle h, ProcessTimes& t) override {
        return m_real.GetProcessTimes(h, t);
    }
    bool GetSystemTimes(SystemTimes& t) override { return m_real.GetSystemTimes(t); }
    std::optional<Readiness> GetReadiness(ProcessHandle h) override {
        return m_real.GetReadiness(h);
    }
    std::string GetModuleFileNameExA(ProcessHandle h, std::size_t n) override {
        return m_real.GetModuleFileNameExA(h, n);
    }
    std::optional<std::vector<ProcessInfo>> CreateToolhelp32Snapshot() override {
        auto all = m_real.CreateToolhelp32Snapshot();
        if (!all) return all;
        std::vector<ProcessInfo> ours;
        for (const ProcessInfo& info : *all) {
            if (m_allowed.count(info.pid)) ours.push_back(info);
        }
        return ours;
    }
    std::int32_t GetCurrentProcessId() override { return m_real.GetCurrentProcessId(); }
    bool CanRaisePriority() override { return m_real.CanRaisePriority(); }
    bool HasRealtimeThread(ProcessHandle h) override { return m_real.HasRealtimeThread(h); }
    std::string GetAppId(ProcessHandle h) override { return m_real.GetAppId(h); }
    RaiseRight RaiseRightInUse() override { return m_real.RaiseRightInUse(); }
    int UndoChanges(std::int32_t pid) override {
        return m_allowed.count(pid) ? m_real.UndoChanges(pid) : 0;
    }
    bool UndoAllChanges(std::uint32_t waitMs) override { return m_real.UndoAllChanges(waitMs); }
    const ChangeRecord& Changes() const override { return m_real.Changes(); }
    void SetFrontProcess(std::int32_t pid) override { m_real.SetFrontProcess(pid); }

  private:
    IProcessApi& m_real;
    std::set<std::int32_t> m_allowed;
};

// Answers the warning with "do not check this program again".
struct NoBoostAnswer final : IWarningDialog {
    std::vector<std::string> messages;
    bool Display(const std::string& sMsg, bool& bNoBoost) override {
        messages.push_back(sMsg);
        bNoBoost = true;
        return false;
    }
};

class EngineLinuxTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { s_x = std::make_unique<TestDisplay>(); }
    static void TearDownTestSuite() { s_x.reset(); }
    void SetUp() override {
        if (!s_x->Ready()) GTEST_SKIP() << "Xvfb and openbox could not be started";
        if (!real.CanRaisePriority()) {
            GTEST_SKIP() << "This user may not raise priorities (no CAP_SYS_NICE, no RLIMIT_NICE)";
        }
        windows = std::make_unique<X11WindowApi>(s_x->Name());
        engine = std::make_unique<Engine>(processes, *windows, clock, strings, log, host);
        engine->SetNewPriority(1);  // High
        engine->SetWarningDialog(&dialog);
    }
    std::string DisplayName() const { return s_x->Name(); }

    // Starts a child the engine may see.
    std::unique_ptr<Child> Start(const std::vector<std::string>& args) {
        auto child = std::make_unique<Child>(args, DisplayName());
        if (child->Ready()) processes.Allow(child->Pid());
        return child;
    }
    // Activates a window through the window manager and waits until it is in front.
    bool Activate(unsigned long window) {
        s_x->RequestActivation(window);
        return WaitFor([&] { return windows->GetForegroundWindow() == window; });
    }
    // Ticks the engine every `intervalMs` until `done` holds or `limitMs` have passed.
    template <typename F>
    bool TickUntil(F done, int intervalMs = 100, int limitMs = 15000) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
        do {
            std::this_thread::sleep_for(std::chrono::milliseconds(intervalMs));
            engine->tmrRefresh_Timer();
            if (done()) return true;
        } while (std::chrono::steady_clock::now() < until);
        return false;
    }
    std::int32_t ClassOf(pid_t pid) {
        const ProcessHandle h = real.OpenProcess(PROCESS_QUERY_INFORMATION, pid);
        const std::int32_t cls = h ? real.GetPriorityClass(h) : 0;
        if (h) real.CloseHandle(h);
        return cls;
    }
    // Background observation lowers a process that uses more than 2 % of a core: on a
    // machine busy with other work a spinning child may get no more than that.
    void LowerAnyUse() {
        modMain::ObserverSettings observers = engine->ObserverSettings();
        observers.bBkgObservation = true;
        observers.iBelowNormalCpuUsage = 1;
        observers.iIdleCpuUsage = 2;
        engine->SetObserverSettings(observers);
    }
    bool LogHas(const std::string& part) const {
        for (const std::string& line : log.Lines()) {
            if (line.find(part) != std::string::npos) return true;
        }
        return false;
    }

    static inline std::unique_ptr<TestDisplay> s_x;
    LinuxProcessApi real;
    OnlyTheseProcesses processes{real};
    LinuxClock clock;
    StringTable strings;
    ActionLog log{clock};
    NullHost host;
    NoBoostAnswer dialog;
    std::unique_ptr<X11WindowApi> windows;
    std::unique_ptr<Engine> engine;
};

TEST_F(EngineLinuxTest, TheProgramInFrontIsRaisedAndGetsItsClassBackWhenItLeaves) {
    if (IsSkipped()) return;
    auto first = Start({"window", "first"});
    auto second = Start({"window", "second"});
    ASSERT_TRUE(first->Ready() && second->Ready());

    ASSERT_TRUE(Activate(first->Window()));
    ASSERT_TRUE(TickUntil([&] { return ClassOf(first->Pid()) == HIGH_PRIORITY_CLASS; }));
    EXPECT_EQ(ClassOf(second->Pid()), NORMAL_PRIORITY_CLASS);

    ASSERT_TRUE(Activate(second->Window()));
    ASSERT_TRUE(TickUntil([&] { return ClassOf(second->Pid()) == HIGH_PRIORITY_CLASS; }));
    EXPECT_EQ(ClassOf(first->Pid()), NORMAL_PRIORITY_CLASS);

    // The program in front ends: the engine runs on and raises the next one.
    second->End();
    ASSERT_TRUE(Activate(first->Window()));
    ASSERT_TRUE(TickUntil([&] { return ClassOf(first->Pid()) == HIGH_PRIORITY_CLASS; }));
}

TEST_F(EngineLinuxTest, ABusyBackgroundProcessIsLoweredToIdleAndLogged) {
    if (IsSkipped()) return;
    LowerAnyUse();
    auto front = Start({"window", "front"});
    auto busy = Start({"busy", "1"});
    auto quiet = Start({"sleep"});
    ASSERT_TRUE(front->Ready() && busy->Ready() && quiet->Ready());
    ASSERT_TRUE(Activate(front->Window()));

    // Idle processes at values somebody else chose: never Talvex's to change.
    auto niceFive = Start({"sleep"});
    auto niceNineteen = Start({"sleep"});
    ASSERT_EQ(::setpriority(PRIO_PROCESS, static_cast<id_t>(niceFive->Pid()), 5), 0);
    ASSERT_EQ(::setpriority(PRIO_PROCESS, static_cast<id_t>(niceNineteen->Pid()), 19), 0);

    ASSERT_TRUE(TickUntil([&] { return ClassOf(busy->Pid()) == IDLE_PRIORITY_CLASS; }));
    EXPECT_TRUE(LogHas("Switching to priority Idle."));
    EXPECT_EQ(ClassOf(quiet->Pid()), NORMAL_PRIORITY_CLASS);
    EXPECT_EQ(ClassOf(front->Pid()), HIGH_PRIORITY_CLASS);  // the front is never lowered

    // Idle again: Talvex's lowering is undone, and only that.
    busy->End();
    auto calmed = Start({"busy", "1"});
    ASSERT_TRUE(TickUntil([&] { return ClassOf(calmed->Pid()) == IDLE_PRIORITY_CLASS; }));
    ::kill(calmed->Pid(), SIGSTOP);
    EXPECT_TRUE(TickUntil([&] { return testing::NiceOf(calmed->Pid()) == 0; }));
    ::kill(calmed->Pid(), SIGCONT);
    EXPECT_EQ(testing::NiceOf(niceFive->Pid()), 5);
    EXPECT_EQ(testing::NiceOf(niceNineteen->Pid()), 19);
}

// Every thread of a process the test started onto the first processor.
bool PinToFirstCpu(pid_t pid) {
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(0, &one);
    bool all = true;
    for (const auto& task :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task")) {
        const auto tid = static_cast<pid_t>(std::stoi(task.path().filename().string()));
        all = ::sched_setaffinity(tid, sizeof one, &one) == 0 && all;
    }
    return all;
}

// A busy loop lowered to Idle beside a program that keeps one processor busy gets
// almost no time: it reads 0 % on most ticks, yet it is starved, not idle. It stays
// lowered instead of going back to Normal and being lowered again a second later.
TEST_F(EngineLinuxTest, ABusyLoopLoweredUnderContentionStaysLowered) {
    if (IsSkipped()) return;
    // Low thresholds: lowered however loaded the machine is, and a single clock tick of
    // processor time on a tick is above them again.
    LowerAnyUse();
    auto front = Start({"window", "front"});
    auto loop = Start({"busy", "1"});
    // Talvex does not see this one: it keeps the processor at Normal all along.
    Child rival({"busy", "1"}, DisplayName());
    ASSERT_TRUE(front->Ready() && loop->Ready() && rival.Ready());
    ASSERT_TRUE(PinToFirstCpu(loop->Pid()) && PinToFirstCpu(rival.Pid()));
    ASSERT_TRUE(Activate(front->Window()));
    ASSERT_TRUE(TickUntil([&] { return ClassOf(loop->Pid()) == IDLE_PRIORITY_CLASS; }));

    // A minute of ticks, each of which may find it "quiet": the loop keeps competing all
    // along, and one flap is a fault.
    EXPECT_FALSE(
        TickUntil([&] { return ClassOf(loop->Pid()) != IDLE_PRIORITY_CLASS; }, 100, 60000));
    EXPECT_FALSE(LogHas("Restoring priority of"));

    // Without the rival it runs again, and once it sleeps it is idle and goes back.
    rival.End();
    ::kill(loop->Pid(), SIGSTOP);
    EXPECT_TRUE(TickUntil([&] { return testing::NiceOf(loop->Pid()) == 0; }));
    ::kill(loop->Pid(), SIGCONT);
}

TEST_F(EngineLinuxTest, AProgramInFrontThatSpinsIsTurnedOffOnceAndThenLeftUnchecked) {
    if (IsSkipped()) return;
    modMain::ObserverSettings observers = engine->ObserverSettings();
    observers.bBkgObservation = false;
    engine->SetObserverSettings(observers);
    engine->SetMaxFailures(2);
    // Two busy threads: the usage counts every thread, so it stays above the critical
    // mark even when the tests share the machine's cores with other work.
    auto spinner = Start({"busy-window", "spinner", "2"});
    auto other = Start({"window", "other"});
    ASSERT_TRUE(spinner->Ready() && other->Ready());
    ASSERT_TRUE(Activate(spinner->Window()));

    ASSERT_TRUE(TickUntil([&] { return !dialog.messages.empty(); }));
    EXPECT_NE(dialog.messages[0].find("critical CPU usage"), std::string::npos);
    EXPECT_EQ(ClassOf(spinner->Pid()), NORMAL_PRIORITY_CLASS);
    // The answer became a rule: the program is boosted again when it comes back to the
    // front, but no longer checked, so it stays raised and is never warned about again.
    const std::string path = engine->Queries().GetWindowExePath(spinner->Window(), 1024);
    const std::int16_t rule = engine->Items().fFindInTalvexItems(path);
    ASSERT_GE(rule, 0);
    EXPECT_TRUE(engine->Items()[static_cast<std::size_t>(rule)].bNoHangUpObservation);

    ASSERT_TRUE(Activate(other->Window()));
    ASSERT_TRUE(TickUntil([&] { return ClassOf(other->Pid()) == HIGH_PRIORITY_CLASS; }));
    ASSERT_TRUE(Activate(spinner->Window()));
    ASSERT_TRUE(TickUntil([&] { return ClassOf(spinner->Pid()) == HIGH_PRIORITY_CLASS; }));
    EXPECT_EQ(ClassOf(other->Pid()), NORMAL_PRIORITY_CLASS);
    for (int i = 0; i < 10; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        engine->tmrRefresh_Timer();
    }
    EXPECT_EQ(ClassOf(spinner->Pid()), HIGH_PRIORITY_CLASS);
    EXPECT_EQ(dialog.messages.size(), 1u);
}

// Sets the nice value of every thread of a process, as `renice` by a user or a tool does.
void ReniceAll(pid_t pid, int nice) {
    for (const pid_t tid : testing::ThreadsOf(pid)) {
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice);
    }
}

// Ticks every 100 ms for `ms`, running `each` before every tick; false as soon as
// `holds` fails after a tick.
template <typename Each, typename Holds>
bool HoldsWhileTicking(Engine& engine, int ms, Each each, Holds holds) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
        each();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        engine.tmrRefresh_Timer();
        if (!holds()) return false;
    }
    return true;
}

// A priority set by somebody else after Talvex lowered a process stays: a renice by
// hand for ten seconds, and a tool that sets its value every second is not fought. The
// test user may only lower further, so Talvex lowers to Below Normal (nice 10) and the
// others choose Idle values of their own.
TEST_F(EngineLinuxTest, AReniceAfterTheLoweringStaysAndATimedReniceIsNotFought) {
    if (IsSkipped()) return;
    modMain::ObserverSettings observers = engine->ObserverSettings();
    observers.bBkgObservation = true;
    observers.iBelowNormalCpuUsage = 1;
    observers.iIdleCpuUsage = 100;  // one busy thread never uses more than a whole core
    engine->SetObserverSettings(observers);
    auto front = Start({"window", "front"});
    auto byHand = Start({"busy", "1"});
    auto byTool = Start({"busy", "1"});
    ASSERT_TRUE(front->Ready() && byHand->Ready() && byTool->Ready());
    ASSERT_TRUE(Activate(front->Window()));
    ASSERT_TRUE(TickUntil([&] {
        return ClassOf(byHand->Pid()) == BELOW_NORMAL_PRIORITY_CLASS &&
               ClassOf(byTool->Pid()) == BELOW_NORMAL_PRIORITY_CLASS;
    }));

    ReniceAll(byHand->Pid(), 15);
    int ticks = 0;
    auto toolSecond = std::chrono::steady_clock::now();
    EXPECT_TRUE(HoldsWhileTicking(
        *engine, 10000,
        [&] {
            if (ticks++ == 0 ||
                std::chrono::steady_clock::now() - toolSecond >= std::chrono::seconds(1)) {
                ReniceAll(byTool->Pid(), 17);
                toolSecond = std::chrono::steady_clock::now();
            }
        },
        [&] {
            return testing::NiceOf(byHand->Pid()) == 15 && testing::NiceOf(byTool->Pid()) == 17;
        }))
        << "nice " << testing::NiceOf(byHand->Pid()).value_or(99) << " and "
        << testing::NiceOf(byTool->Pid()).value_or(99);
    EXPECT_GE(ticks, 20);
    int leftAlone = 0;
    for (const std::string& line : log.Lines()) {
        if (line.find("left alone: changed by another program") != std::string::npos) ++leftAlone;
        std::printf("  log: %s\n", line.c_str());
    }
    EXPECT_EQ(leftAlone, 2);
}

// A busy process with a real-time thread (an audio program) keeps its priority, while a
// busy ordinary process beside it is lowered.
TEST_F(EngineLinuxTest, ABusyProcessWithARealTimeThreadIsNeverLowered) {
    if (IsSkipped()) return;
    const auto realtime = testing::RealtimePid();
    if (!realtime) GTEST_SKIP() << "Needs a process with a real-time thread, prepared as root";
    const pid_t pid = *realtime;
    ASSERT_TRUE(WaitFor([&] { return ClassOf(pid) == NORMAL_PRIORITY_CLASS; }));
    processes.Allow(pid);
    LowerAnyUse();
    auto front = Start({"window", "front"});
    auto ordinary = Start({"busy", "1"});
    ASSERT_TRUE(front->Ready() && ordinary->Ready());
    ASSERT_TRUE(Activate(front->Window()));
    ASSERT_EQ(::kill(pid, SIGUSR1), 0);
    struct Quiet {
        pid_t pid;
        ~Quiet() { ::kill(pid, SIGUSR2); }
    } quiet{pid};
    const auto nices = [&] {
        std::vector<int> values;
        for (const pid_t tid : testing::ThreadsOf(pid)) {
            values.push_back(testing::NiceOf(pid, tid).value_or(99));
        }
        return values;
    };
    const std::vector<int> before = nices();
    ASSERT_EQ(before.size(), 3u);
    ASSERT_TRUE(TickUntil([&] { return ClassOf(ordinary->Pid()) == IDLE_PRIORITY_CLASS; }));
    EXPECT_TRUE(HoldsWhileTicking(
        *engine, 3000, [] {}, [&] { return nices() == before; }));
    EXPECT_EQ(nices(), before);
    EXPECT_FALSE(real.Changes().Holds(pid));
}

}  // namespace
}  // namespace talvex
