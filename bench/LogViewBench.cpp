// One action-log line written while the Advanced window shows a full log of 250 lines:
// the log drops its oldest line and the window's list follows it. Measured on the
// fake UI, so the figure is the program's own work per line, without drawing.
#include <benchmark/benchmark.h>

#include <string>

#include "platform/fake/FakeDesktop.h"
#include "platform/fake/FakeUi.h"
#include "ui/frmAdvanced.h"

namespace talvex {
namespace {

using namespace platform;

struct NullHost : IEngineHost, IAdvancedHost {
    void fEndTalvex() override {}
    void ShowStatusText(const std::string&) override {}
    void PublishTooltip(const std::string&) override {}
    void fRefreshList() override {}
    bool AlwaysOnTop() override { return false; }
    std::int32_t RefreshInterval() override { return 500; }
    bool fSaveSettings() override { return true; }
    std::string GetSetting(const std::string&, const std::string& sDefault) override {
        return sDefault;
    }
    void SaveSetting(const std::string&, const std::string&) override {}
};

void BM_LogLineWithFullLogShown(benchmark::State& state) {
    FakeDesktop desk;
    FakeUi ui;
    StringTable strings;
    ActionLog log(desk);
    NullHost host;
    Engine engine(desk, desk, desk, strings, log, host);
    frmAdvanced window(frmAdvancedServices{ui, engine, strings, log, host});
    log.SetOnChange([&] { window.ShowLog(); });
    const std::string text = "Found /usr/lib/vendor/app/bin/app running at >60% cpu usage.";
    for (std::size_t i = 0; i < ActionLog::kMaxLines; ++i) log.DoLog(text);
    for (auto _ : state) log.DoLog(text);
    if (window.Ctl("lstLog").ListCount() != static_cast<std::int32_t>(ActionLog::kMaxLines)) {
        state.SkipWithError("the list does not follow the log");
    }
    log.SetOnChange(nullptr);
}
BENCHMARK(BM_LogLineWithFullLogShown);

// One tick's refresh of the held-changes table while the window shows 51 rows: with
// nothing changed (the usual tick), and with one row's cells changed.
void BM_HeldTableRefresh(benchmark::State& state) {
    FakeDesktop desk;
    FakeUi ui;
    StringTable strings;
    ActionLog log(desk);
    NullHost host;
    Engine engine(desk, desk, desk, strings, log, host);
    frmAdvanced window(frmAdvancedServices{ui, engine, strings, log, host});
    window.Show();
    std::vector<HeldRow> rows(51);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        rows[i].lPid = 1000 + static_cast<std::int32_t>(i);
        rows[i].sExeName = "app" + std::to_string(i);
        rows[i].before = 32;
        rows[i].now = 64;
        rows[i].reason = HeldReason{HeldWhy::BusyInBackground, 60, "10.12.2026 02:00:00"};
    }
    const bool change = state.range(0) != 0;
    window.ShowHeld(rows);
    const int before = FakeUi::Updates(window.Ctl("lstHeld"), UiProperty::Items);
    std::int16_t usage = 60;
    for (auto _ : state) {
        if (change) rows[7].reason->iCpuUsage = usage = static_cast<std::int16_t>(usage ^ 1);
        window.ShowHeld(rows);
    }
    const int redraws = FakeUi::Updates(window.Ctl("lstHeld"), UiProperty::Items) - before;
    state.counters["redraws"] = redraws;
    if (!change && redraws != 0) state.SkipWithError("an unchanged table was redrawn");
}
BENCHMARK(BM_HeldTableRefresh)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace talvex
