// Cost of one ordinary tick's sampling per process on Linux: open, two time reads,
// close -- as the process table does for every entry on every tick -- beside a floor
// measured in the same run: one pread of /proc/PID/stat on a descriptor kept open.
// The processes are sleeping children of this benchmark (50, 200, 1000 of them).

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/linux/LinuxProcessApi.h"

namespace {

using namespace talvex::platform;

// Sleeping children, started on demand and ended by pid when the benchmark ends.
std::vector<pid_t>& Children() {
    static std::vector<pid_t> children;
    return children;
}

const std::vector<pid_t>& SleepingChildren(std::size_t count) {
    auto& children = Children();
    while (children.size() < count) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            for (;;) ::pause();
        }
        if (pid < 0) break;
        children.push_back(pid);
    }
    return children;
}

void EndChildren() {
    for (const pid_t pid : Children()) ::kill(pid, SIGKILL);
    for (const pid_t pid : Children()) ::waitpid(pid, nullptr, 0);
    Children().clear();
}

void PerProcess(benchmark::State& state, std::size_t count) {
    state.counters["per_process"] = benchmark::Counter(
        static_cast<double>(count),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// One ordinary tick: every entry opened, sampled twice and closed.
void SampleAll(LinuxProcessApi& api, const std::vector<pid_t>& pids, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const ProcessHandle handle = api.OpenProcess(PROCESS_ALL_ACCESS_LEGACY, pids[i]);
        ProcessTimes times;
        benchmark::DoNotOptimize(api.GetProcessTimes(handle, times));
        benchmark::DoNotOptimize(api.GetProcessTimes(handle, times));
        api.CloseHandle(handle);
    }
}

void BM_TickSampling(benchmark::State& state) {
    const auto count = static_cast<std::size_t>(state.range(0));
    const auto& pids = SleepingChildren(count);
    LinuxProcessApi api;
    SampleAll(api, pids, count);  // the rebuild tick before opens every entry once
    for (auto _ : state) SampleAll(api, pids, count);
    if (api.KeptDescriptorCount() < count) state.SkipWithError("descriptors were not kept");
    PerProcess(state, count);
}

// The same without descriptors kept between ticks, as the Windows rule would have it.
void BM_TickSamplingReopening(benchmark::State& state) {
    const auto count = static_cast<std::size_t>(state.range(0));
    const auto& pids = SleepingChildren(count);
    LinuxProcessApi api;
    api.SetKeepLimit(0);
    for (auto _ : state) SampleAll(api, pids, count);
    PerProcess(state, count);
}

void BM_FloorPreadStat(benchmark::State& state) {
    const auto count = static_cast<std::size_t>(state.range(0));
    const auto& pids = SleepingChildren(count);
    std::vector<int> fds;
    for (std::size_t i = 0; i < count; ++i) {
        fds.push_back(
            ::open(("/proc/" + std::to_string(pids[i]) + "/stat").c_str(), O_RDONLY | O_CLOEXEC));
    }
    char buffer[1024];
    for (auto _ : state) {
        for (const int fd : fds) benchmark::DoNotOptimize(::pread(fd, buffer, sizeof buffer, 0));
    }
    for (const int fd : fds) ::close(fd);
    PerProcess(state, count);
}

// Every process of the machine as the snapshot lists them: kernel threads and other
// users' processes, which cannot be opened, beside this user's.
void BM_TickSamplingWholeMachine(benchmark::State& state) {
    LinuxProcessApi api;
    std::vector<pid_t> pids;
    for (const ProcessInfo& info :
         api.CreateToolhelp32Snapshot().value_or(std::vector<ProcessInfo>{})) {
        pids.push_back(info.pid);
    }
    SampleAll(api, pids, pids.size());
    for (auto _ : state) SampleAll(api, pids, pids.size());
    state.counters["processes"] = static_cast<double>(pids.size());
    state.counters["kept"] = static_cast<double>(api.KeptDescriptorCount());
    PerProcess(state, pids.size());
}

BENCHMARK(BM_TickSamplingWholeMachine)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FloorPreadStat)->Arg(50)->Arg(200)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TickSampling)->Arg(50)->Arg(200)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TickSamplingReopening)->Arg(50)->Arg(200)->Arg(1000)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    EndChildren();
    return 0;
}
