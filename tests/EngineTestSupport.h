#pragma once
// What tests and benchmarks of the engine share: hosts that ignore or record what the
// engine shows.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "engine/IEngineHost.h"

namespace talvex {

namespace testing {

/// A host that shows nothing and never ends the program.
struct NullHost final : IEngineHost {
    void fEndTalvex() override {}
    void ShowStatusText(const std::string&) override {}
    void PublishTooltip(const std::string&) override {}
    void fRefreshList() override {}
};

/// A host that keeps everything the engine shows, and counts ends and list refreshes.
struct RecordingHost : IEngineHost {
    int endCalls = 0;
    int refreshes = 0;
    std::vector<std::string> status, tooltips;
    void fEndTalvex() override { ++endCalls; }
    void ShowStatusText(const std::string& s) override { status.push_back(s); }
    void PublishTooltip(const std::string& s) override { tooltips.push_back(s); }
    void fRefreshList() override { ++refreshes; }
};

}  // namespace testing
}  // namespace talvex
