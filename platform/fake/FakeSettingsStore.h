#pragma once
// In-memory settings store for tests, with a switch that makes every write fail.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <tuple>

#include "platform/ISettingsStore.h"

namespace talvex::platform {

class FakeSettingsStore final : public ISettingsStore {
  public:
    using Key = std::tuple<std::string, std::string, std::string>;  // app, section, key

    // ---- control interface for tests ----
    /// While set, every write fails and changes nothing.
    void SetWritesFail(bool fail) { m_writesFail = fail; }
    /// The stored text of a key, looked at directly; nullopt when absent.
    std::optional<std::string> Peek(const std::string& sApp, const std::string& sSection,
                                    const std::string& sKey) const;
    /// Everything stored, as the store holds it outside any update.
    const std::map<Key, std::string>& Contents() const { return m_committed; }
    /// Number of updates that reached the store (single writes count as one each).
    std::uint64_t Commits() const { return m_commits; }

    // ---- ISettingsStore ----
    std::string GetSettingValue(const std::string& sApp, const std::string& sSection,
                                const std::string& sKey, const std::string& sDefault) override;
    bool SaveSettingValue(const std::string& sApp, const std::string& sSection,
                          const std::string& sKey, const std::string& sValue) override;
    bool DeleteSettingValue(const std::string& sApp, const std::string& sSection,
                            const std::string& sKey) override;
    void BeginUpdate() override;
    bool CommitUpdate() override;

  private:
    std::map<Key, std::string>& Working();
    bool FinishSingleWrite();

    std::map<Key, std::string> m_committed;
    std::map<Key, std::string> m_pending;  // the working copy while an update is open
    int m_depth = 0;
    bool m_writesFail = false;
    std::uint64_t m_commits = 0;
};

}  // namespace talvex::platform
