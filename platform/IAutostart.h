#pragma once
// The per-user list of programs that start with the user's session. Operations carry
// the names of the Windows registry calls they stand in for (the Run key).

#include <optional>
#include <string>

namespace talvex::platform {

class IAutostart {
  public:
    virtual ~IAutostart() = default;

    /// Whether the list can be opened; for writing it is created when missing.
    /// Stands for RegOpenKeyExA on the Run key followed by RegCloseKey.
    virtual bool RegOpenKeyExA(bool bForWriting) = 0;
    /// Creates or replaces the entry sName that starts the program at sCommandPath.
    virtual bool RegSetValueExA(const std::string& sName, const std::string& sCommandPath) = 0;
    /// Removes the entry sName; true also when there was none.
    virtual bool RegDeleteValueA(const std::string& sName) = 0;
    /// The program path of entry sName; nullopt when it is missing, unreadable or
    /// switched off by the user.
    virtual std::optional<std::string> RegQueryValueExA(const std::string& sName) = 0;
    /// Path of the program file an entry should start: the running program's own file.
    virtual std::string ProgramPath() = 0;
};

}  // namespace talvex::platform
