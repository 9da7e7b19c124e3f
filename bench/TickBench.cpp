// One ordinary refresh tick over a table of 1000 processes and a list of 100 rules,
// reported per process. On the fake desktop the figure includes its map-based
// bookkeeping; on the null platform below every platform call is a few instructions,
// so that figure is (an upper bound of) the engine's own work per process.
#include <benchmark/benchmark.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "platform/fake/FakeDesktop.h"
#include "tests/EngineTestSupport.h"

namespace talvex {
namespace {

using namespace platform;

constexpr int kProcesses = 1000;
constexpr int kRules = 100;
constexpr std::uint64_t kInterval = 500;

std::string PathOf(int i) {
    return "/usr/lib/vendor" + std::to_string(i % 37) + "/app" + std::to_string(i) + "/bin/app" +
           std::to_string(i);
}

// Steady CPU shares: most processes idle, some a little busy, a few very busy.
std::uint64_t PercentOf(int i) {
    static constexpr std::uint64_t kShares[] = {0, 0, 0, 0, 0, 3, 0, 25, 0, 60};
    return kShares[i % 10];
}

// 100 rules, five of which match a process (and exempt it from observation).
void AddRules(TalvexItems& items) {
    for (int r = 0; r < kRules - 5; ++r) {
        items.fAddToTalvexItems("OtherProgram" + std::to_string(r) + ".bin", 1, r % 7 == 0, false,
                                false, false);
    }
    for (int r = 0; r < 5; ++r) {
        items.fAddToTalvexItems("/APP" + std::to_string(r * 100 + 1) + "/", 0, false, true, false,
                                false);
    }
}

// A platform whose every call is a vector access: what remains is the engine.
class NullDesktop final : public IProcessApi, public IWindowApi, public IClock {
  public:
    NullDesktop() {
        for (int i = 0; i < kProcesses; ++i) {
            m_procs.push_back(Proc{PathOf(i), NORMAL_PRIORITY_CLASS, PercentOf(i)});
            m_snapshot.push_back(ProcessInfo{Pid(i), "app" + std::to_string(i)});
        }
    }
    static std::int32_t Pid(int i) { return 1000 + i; }
    void Advance() { m_tick += kInterval; }

    ProcessHandle OpenProcess(std::uint32_t, std::int32_t pid) override {
        return Valid(pid) ? static_cast<ProcessHandle>(pid) : 0;
    }
    bool CloseHandle(ProcessHandle) override { return true; }
    std::int32_t GetPriorityClass(ProcessHandle h) override { return At(h).cls; }
    bool SetPriorityClass(ProcessHandle h, std::int32_t cls) override {
        At(h).cls = cls;
        return true;
    }
    bool GetProcessTimes(ProcessHandle h, ProcessTimes& times) override {
        times.user = m_tick * 100 * At(h).percent;  // ms * 10000 units * percent / 100
        return true;
    }
    // The machine counts as busy, so every tick samples every process.
    bool GetSystemTimes(SystemTimes& times) override {
        times.busy = times.total = m_tick * 10000 * 2;
        return true;
    }
    std::optional<Readiness> GetReadiness(ProcessHandle) override { return Readiness{}; }
    std::string GetModuleFileNameExA(ProcessHandle h, std::size_t) override { return At(h).path; }
    std::optional<std::vector<ProcessInfo>> CreateToolhelp32Snapshot() override {
        return m_snapshot;
    }
    std::int32_t GetCurrentProcessId() override { return Pid(0); }
    bool CanRaisePriority() override { return true; }
    bool HasRealtimeThread(ProcessHandle) override { return false; }
    std::string GetAppId(ProcessHandle) override { return {}; }
    RaiseRight RaiseRightInUse() override { return {RaiseRoute::OwnRight, {}}; }
    int UndoChanges(std::int32_t) override { return 0; }
    bool UndoAllChanges(std::uint32_t) override { return true; }
    const ChangeRecord& Changes() const override { return m_record; }
    void SetFrontProcess(std::int32_t) override {}

    WindowHandle GetForegroundWindow() override { return 1; }
    std::string GetWindowTextA(WindowHandle, std::size_t) override { return "Front"; }
    std::int32_t GetWindowThreadProcessId(WindowHandle) override { return Pid(1); }
    void SetWindowPos(WindowHandle, bool) override {}
    std::string TopmostUnavailableOn() override { return {}; }

    std::uint64_t GetTickCount64() override { return m_tick; }
    std::string LocalDateTimeText() override { return "09.12.2026 08:48:46"; }

  private:
    struct NoLevers final : ILeverAccess {
        std::optional<std::int64_t> ReadLever(const LeverTarget&) override { return std::nullopt; }
        Write WriteLever(const LeverTarget&, std::int64_t) override { return Write::Gone; }
    } m_levers;
    ChangeRecord m_record{m_levers, "bench"};
    struct Proc {
        std::string path;
        std::int32_t cls;
        std::uint64_t percent;
    };
    static bool Valid(std::int32_t pid) { return pid >= 1000 && pid < 1000 + kProcesses; }
    Proc& At(ProcessHandle h) { return m_procs[static_cast<std::size_t>(h) - 1000]; }

    std::vector<Proc> m_procs;
    std::vector<ProcessInfo> m_snapshot;
    std::uint64_t m_tick = 1;
};

struct NullHost : IEngineHost {
    void fEndTalvex() override {}
    void ShowStatusText(const std::string& s) override { benchmark::DoNotOptimize(s.data()); }
    void PublishTooltip(const std::string&) override {}
    void fRefreshList() override {}
};

void ReportPerProcess(benchmark::State& state) {
    state.SetItemsProcessed(state.iterations() * kProcesses);
    state.counters["per_process"] = benchmark::Counter(
        kProcesses, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Engine on the null platform, past the rebuild and the change ticks.
struct NullRig {
    NullDesktop desk;
    StringTable strings;
    ActionLog log{desk};
    NullHost host;
    Engine engine{desk, desk, desk, strings, log, host};
    NullRig() {
        AddRules(engine.Items());
        engine.tmrRefresh_Timer();  // builds the table
        for (int i = 0; i < 3; ++i) Tick();
        if (engine.LastProcess() != kProcesses - 1) throw std::runtime_error("no table");
    }
    void Tick() {
        desk.Advance();
        engine.tmrRefresh_Timer();
    }
    // A rebuild tick, and the tick after it that only takes first samples, are no
    // ordinary ticks: they run with the timing paused.
    void SkipRebuild(benchmark::State& state) {
        if (engine.TableStages().RebuildCountdown() != 0) return;
        state.PauseTiming();
        Tick();
        Tick();
        state.ResumeTiming();
    }
};

void BM_OrdinaryTick_NullPlatform(benchmark::State& state) {
    NullRig rig;
    for (auto _ : state) {
        rig.SkipRebuild(state);
        rig.Tick();
    }
    ReportPerProcess(state);
}
BENCHMARK(BM_OrdinaryTick_NullPlatform);

// The first tick after any rule edit searches every entry's rule again.
void BM_TickAfterRuleEdit_NullPlatform(benchmark::State& state) {
    NullRig rig;
    for (auto _ : state) {
        rig.SkipRebuild(state);
        rig.engine.Items().Edit(0);
        rig.Tick();
    }
    ReportPerProcess(state);
}
BENCHMARK(BM_TickAfterRuleEdit_NullPlatform);

// What a fresh search of the rules for every process would cost on each tick.
void BM_RuleSearchPerProcess(benchmark::State& state) {
    std::int16_t level = 1;
    TalvexItems items{level};
    AddRules(items);
    std::vector<std::string> paths;
    for (int i = 0; i < kProcesses; ++i) paths.push_back(PathOf(i));
    for (auto _ : state) {
        for (const auto& path : paths) benchmark::DoNotOptimize(items.fFindInTalvexItems(path));
    }
    ReportPerProcess(state);
}
BENCHMARK(BM_RuleSearchPerProcess);

void BM_OrdinaryTick_FakeDesktop(benchmark::State& state) {
    FakeDesktop desk;
    std::vector<std::int32_t> pids;
    for (int i = 0; i < kProcesses; ++i) pids.push_back(desk.AddProcess({PathOf(i)}));
    desk.SetCurrentProcess(pids[0]);
    desk.SetForeground(desk.AddWindow(pids[1], "Front"));
    StringTable strings;
    ActionLog log{desk};
    NullHost host;
    Engine engine{desk, desk, desk, strings, log, host};
    AddRules(engine.Items());
    auto tick = [&] {
        desk.AdvanceClock(kInterval);
        engine.tmrRefresh_Timer();
    };
    auto busy = [&] {
        for (int i = 0; i < kProcesses; ++i) {
            if (PercentOf(i) != 0) desk.AddCpuTime(pids[i], 0, kInterval * PercentOf(i) / 100);
        }
    };
    engine.tmrRefresh_Timer();  // builds the table
    for (int i = 0; i < 3; ++i) tick();
    if (engine.LastProcess() != kProcesses - 1) state.SkipWithError("no table");
    for (auto _ : state) {
        state.PauseTiming();
        // A rebuild tick and the first samples after it are no ordinary ticks.
        if (engine.TableStages().RebuildCountdown() == 0) {
            for (int i = 0; i < 2; ++i) {
                busy();
                tick();
            }
        }
        busy();
        state.ResumeTiming();
        tick();
    }
    ReportPerProcess(state);
}
BENCHMARK(BM_OrdinaryTick_FakeDesktop);

}  // namespace
}  // namespace talvex
