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

}  // namespace
}  // namespace talvex
