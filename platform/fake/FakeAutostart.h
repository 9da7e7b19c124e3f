#pragma once
// In-memory list of session start-up entries for tests.

#include <map>
#include <optional>
#include <string>

#include "platform/IAutostart.h"

namespace talvex::platform {

class FakeAutostart final : public IAutostart {
  public:
    explicit FakeAutostart(std::string programPath = "/opt/talvex/talvex")
        : m_programPath(std::move(programPath)) {}

    // ---- control interface for tests ----
    /// While false, the list cannot be opened at all.
    void SetReachable(bool reachable) { m_reachable = reachable; }
    /// The entries as stored: name to program path.
    std::map<std::string, std::string>& Entries() { return m_entries; }
    void SetProgramPath(std::string path) { m_programPath = std::move(path); }

    // ---- IAutostart ----
    bool RegOpenKeyExA(bool) override { return m_reachable; }
    bool RegSetValueExA(const std::string& sName, const std::string& sCommandPath) override;
    bool RegDeleteValueA(const std::string& sName) override;
    std::optional<std::string> RegQueryValueExA(const std::string& sName) override;
    std::string ProgramPath() override { return m_programPath; }

  private:
    std::map<std::string, std::string> m_entries;
    std::string m_programPath;
    bool m_reachable = true;
};

}  // namespace talvex::platform
