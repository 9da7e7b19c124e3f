#pragma once
// The settings store in the current user's registry, where the classic per-application
// settings functions keep theirs: application "A", section "S" and key "K" are the
// string value K of HKEY_CURRENT_USER\Software\VB and VBA Program Settings\A\S. The
// settings of an earlier installation of the program are therefore read as they are.

#include <map>
#include <optional>
#include <string>
#include <tuple>

#include "platform/ISettingsStore.h"

namespace talvex::platform {

class Win32SettingsStore final : public ISettingsStore {
  public:
    /// The classic location.
    static constexpr const char* kClassicRoot = "Software\\VB and VBA Program Settings";
    /// `root` is the key below HKEY_CURRENT_USER that holds one key per application.
    explicit Win32SettingsStore(std::string root = kClassicRoot);

    std::string GetSettingValue(const std::string& sApp, const std::string& sSection,
                                const std::string& sKey, const std::string& sDefault) override;
    bool SaveSettingValue(const std::string& sApp, const std::string& sSection,
                          const std::string& sKey, const std::string& sValue) override;
    bool DeleteSettingValue(const std::string& sApp, const std::string& sSection,
                            const std::string& sKey) override;
    /// The registry has no transactions: an update collects its changes and writes
    /// them at the outermost commit; when one of them fails, the values written before
    /// it are put back as they were.
    void BeginUpdate() override;
    bool CommitUpdate() override;

  private:
    using Name = std::tuple<std::string, std::string, std::string>;  // app, section, key
    // nullopt: the value is (to be) deleted.
    std::optional<std::string> Read(const Name& name) const;
    bool Write(const Name& name, const std::optional<std::string>& value) const;
    bool Change(const Name& name, std::optional<std::string> value);

    std::string m_root;
    int m_depth = 0;
    std::map<Name, std::optional<std::string>> m_pending;
};

}  // namespace talvex::platform
