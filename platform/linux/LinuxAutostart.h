#pragma once
// Session start-up entries as XDG autostart desktop entries: entry "Talvex" is the file
// <config folder>/autostart/Talvex.desktop, which every desktop environment that
// follows the XDG autostart rules runs at log-in.

#include <memory>
#include <optional>
#include <string>

#include "platform/IAutostart.h"

namespace talvex::platform {

class LinuxAutostart final : public IAutostart {
  public:
    /// `autostartDir` holds the entries; `programPath` is the file an entry starts.
    LinuxAutostart(std::string autostartDir, std::string programPath);
    /// $XDG_CONFIG_HOME/autostart (or ~/.config/autostart) and the running program.
    static std::unique_ptr<LinuxAutostart> FromEnvironment();

    /// The entry's file; empty when the name cannot form a file name.
    std::string EntryPath(const std::string& sName) const;

    /// The text of a desktop entry named sName that starts sProgramPath.
    static std::string DesktopEntryText(const std::string& sName, const std::string& sProgramPath);
    /// The program an entry's text starts; nullopt when the text is no usable entry or
    /// the user has switched it off (Hidden=true, X-GNOME-Autostart-enabled=false).
    static std::optional<std::string> ProgramOfEntry(const std::string& text);
    /// One Exec argument quoted as desktop entries require, with "%" doubled and the
    /// escapes of a string value applied.
    static std::string QuoteExecArgument(const std::string& argument);

    bool RegOpenKeyExA(bool bForWriting) override;
    bool RegSetValueExA(const std::string& sName, const std::string& sCommandPath) override;
    bool RegDeleteValueA(const std::string& sName) override;
    std::optional<std::string> RegQueryValueExA(const std::string& sName) override;
    std::string ProgramPath() override { return m_programPath; }

  private:
    std::string m_dir;
    std::string m_programPath;
};

}  // namespace talvex::platform
