#pragma once
// The store of a program that has none: every read gives its default and every write
// fails, so the program runs on its defaults and nothing is kept.

#include "platform/ISettingsStore.h"

namespace talvex {

class NullSettingsStore final : public platform::ISettingsStore {
  public:
    std::string GetSettingValue(const std::string&, const std::string&, const std::string&,
                                const std::string& sDefault) override {
        return sDefault;
    }
    bool SaveSettingValue(const std::string&, const std::string&, const std::string&,
                          const std::string&) override {
        return false;
    }
    bool DeleteSettingValue(const std::string&, const std::string&, const std::string&) override {
        return false;
    }
    void BeginUpdate() override {}
    bool CommitUpdate() override { return false; }
};

}  // namespace talvex
