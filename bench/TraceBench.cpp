// What the developer trace costs an event handler while it is off (the default), beside
// a handler called directly, and what a swallowed error costs with and without it.
#include <benchmark/benchmark.h>

#include "base/RunQuietly.h"
#include "base/TalvexError.h"
#include "base/Trace.h"

namespace talvex {
namespace {

void BM_HandlerCalledDirectly(benchmark::State& state) {
    int effects = 0;
    for (auto _ : state) {
        [&] { benchmark::DoNotOptimize(++effects); }();
    }
}
BENCHMARK(BM_HandlerCalledDirectly);

void BM_HandlerThroughRunQuietlyTraceOff(benchmark::State& state) {
    trace::SetLevel(trace::Level::Off);
    int effects = 0;
    for (auto _ : state) {
        RunQuietly("chkActive_Click", [&] { benchmark::DoNotOptimize(++effects); });
    }
}
BENCHMARK(BM_HandlerThroughRunQuietlyTraceOff);

// A swallowed error, traced (at level Error, into a sink that drops the line) or not.
void BM_SwallowedError(benchmark::State& state) {
    trace::SetSink([](std::string_view line) { benchmark::DoNotOptimize(line.data()); });
    trace::SetLevel(state.range(0) != 0 ? trace::Level::Error : trace::Level::Off);
    for (auto _ : state) {
        RunQuietly("Command1_Click", [] { throw TalvexError(kErrIndexOutOfRange); });
    }
    trace::SetLevel(trace::Level::Off);
    trace::SetSink(nullptr);
}
BENCHMARK(BM_SwallowedError)->Arg(0)->Arg(1)->ArgName("traced");

}  // namespace
}  // namespace talvex
