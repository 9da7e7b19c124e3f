#pragma once
// Start with the session through the current user's Run key,
// HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run. The entry's data is
// the program file in quotes, so that a folder with blanks in its name never makes
// Windows start another program at logon. An entry that the user switched off in the
// Task Manager's start-up list reads as absent; writing the entry again switches it on.

#include <string>

#include "platform/IAutostart.h"

namespace talvex::platform {

class Win32Autostart final : public IAutostart {
  public:
    static constexpr const char* kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    static constexpr const char* kApprovedKey =
        "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
    /// Longest program path that reads back; a longer one counts as absent.
    static constexpr std::size_t kMaxPathChars = 254;

    /// `programFolder` (UTF-8) holds the program; empty: the folder of the running one.
    explicit Win32Autostart(std::string programFolder = {});

    bool RegOpenKeyExA(bool bForWriting) override;
    bool RegSetValueExA(const std::string& sName, const std::string& sCommandPath) override;
    bool RegDeleteValueA(const std::string& sName) override;
    std::optional<std::string> RegQueryValueExA(const std::string& sName) override;
    /// The program's folder followed by "\talvex.exe".
    std::string ProgramPath() override;

  private:
    std::string m_programFolder;
};

}  // namespace talvex::platform
