#pragma once
// The settings store as INI files: application "A", section "S" live in the file
// <config folder>/A/S.conf under the header [S]. Every write replaces the file
// atomically, so a crash or a full disk never leaves a half-written file, and a store
// that cannot be written only makes the write report false.

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/ISettingsStore.h"
#include "platform/linux/IniDocument.h"

namespace talvex::platform {

class LinuxSettingsStore final : public ISettingsStore {
  public:
    /// `configHome` is the user's config folder; empty makes a store that holds nothing
    /// and refuses every write.
    explicit LinuxSettingsStore(std::string configHome);
    /// The store in $XDG_CONFIG_HOME (or ~/.config).
    static std::unique_ptr<LinuxSettingsStore> FromEnvironment();

    /// The file that holds a section; empty when the names cannot form a file name.
    std::string FilePath(const std::string& sApp, const std::string& sSection) const;
    /// Runs between the flush of a new file and its rename (tests simulate crashes).
    void SetBeforeReplaceHook(std::function<void()> hook) { m_beforeReplace = std::move(hook); }

    std::string GetSettingValue(const std::string& sApp, const std::string& sSection,
                                const std::string& sKey, const std::string& sDefault) override;
    bool SaveSettingValue(const std::string& sApp, const std::string& sSection,
                          const std::string& sKey, const std::string& sValue) override;
    bool DeleteSettingValue(const std::string& sApp, const std::string& sSection,
                            const std::string& sKey) override;
    void BeginUpdate() override;
    bool CommitUpdate() override;

  private:
    struct LoadedFile {
        IniDocument doc;
        bool readable = true;  // false: it exists but could not be read, so never overwrite it
        bool changed = false;
    };
    // The file of a section as this update sees it; null when the names are unusable.
    LoadedFile* Load(const std::string& sApp, const std::string& sSection);
    bool Change(const std::string& sApp, const std::string& sSection,
                const std::function<void(IniDocument&)>& change);

    std::string m_configHome;
    std::map<std::string, LoadedFile> m_files;  // by path, only while an update is open
    int m_depth = 0;
    bool m_failed = false;
    std::function<void()> m_beforeReplace;
};

}  // namespace talvex::platform
