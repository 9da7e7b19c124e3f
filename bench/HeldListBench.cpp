// What runs after every tick for the held-changes list and the tooltip's count: the
// rows from the change record, the count, and each row's cells in words. Measured for a
// table of 1000 processes with 50 of them lowered, each through 20 threads (as Linux
// records nice per thread), and one boosted program with its session group.
#include <benchmark/benchmark.h>

#include <map>
#include <tuple>

#include "engine/HeldChanges.h"
#include "engine/modProcess.h"
#include "ui/HeldList.h"

namespace talvex {
namespace {

using namespace platform;

constexpr int kProcesses = 1000;
constexpr int kLowered = 50;
constexpr int kThreads = 20;

class MemoryLevers final : public ILeverAccess {
  public:
    std::optional<std::int64_t> ReadLever(const LeverTarget& t) override {
        const auto found = m_values.find({t.pid, t.id, t.lever});
        return found == m_values.end() ? 0 : found->second;
    }
    Write WriteLever(const LeverTarget& t, std::int64_t value) override {
        m_values[{t.pid, t.id, t.lever}] = value;
        return Write::Done;
    }

  private:
    std::map<std::tuple<std::int32_t, std::int64_t, Lever>, std::int64_t> m_values;
};

void HeldRowsCountAndCells(benchmark::State& state) {
    MemoryLevers levers;
    ChangeRecord record(levers, "boot");
    std::vector<ProcessEntry> table(kProcesses);
    HeldChanges notes;
    for (int i = 0; i < kProcesses; ++i) {
        table[i].lPid = 1000 + i;
        table[i].sExeName = "app" + std::to_string(i);
        table[i].sExePath = "/usr/lib/app" + std::to_string(i) + "/bin/app";
    }
    std::vector<ChangeRecord::Request> requests;
    for (int p = 0; p < kLowered; ++p) {
        const std::int32_t pid = 1000 + p * (kProcesses / kLowered);
        for (int t = 0; t < kThreads; ++t) {
            requests.push_back({{pid, 1, pid + t, Lever::ThreadNice}, 0, 19});
        }
        notes.Note(pid, {HeldWhy::BusyInBackground, 60, "10.12.2026 02:00:00"});
    }
    requests.push_back({{1999, 1, 1999, Lever::ThreadNice}, 0, -10});
    requests.push_back({{1999, 1, 77, Lever::GroupNice}, 0, -10});
    notes.Note(1999, {HeldWhy::ByGlobalLevel, 0, "10.12.2026 02:00:00"});
    record.Change(requests);
    StringTable strings;
    for (auto _ : state) {
        const auto rows = notes.Rows(record, 1000, table, 1999, "/usr/bin/front");
        const HeldCount count = CountHeld(rows);
        std::size_t chars = held::CountText(strings, count).size();
        for (const HeldRow& row : rows) {
            for (const std::string& cell : held::RowCells(strings, row, "10.12.2026 03:00:00"))
                chars += cell.size();
        }
        benchmark::DoNotOptimize(chars);
    }
}
BENCHMARK(HeldRowsCountAndCells)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace talvex
