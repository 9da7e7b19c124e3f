#pragma once
// A host for the Advanced window in tests: it shows nothing, keeps no settings and
// never ends the program.

#include <cstdint>
#include <string>

#include "engine/IEngineHost.h"
#include "ui/frmAdvanced.h"

namespace talvex::testing {

struct NullAdvancedHost : IEngineHost, IAdvancedHost {
    void fEndTalvex() override {}
    void ShowStatusText(const std::string&) override {}
    void PublishTooltip(const std::string&) override {}
    void fRefreshList() override {}
    bool AlwaysOnTop() override { return false; }
    std::int32_t RefreshInterval() override { return 500; }
    bool fSaveSettings() override { return true; }
    std::string GetSetting(const std::string&, const std::string& def) override { return def; }
    void SaveSetting(const std::string&, const std::string&) override {}
};

}  // namespace talvex::testing
