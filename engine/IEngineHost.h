#pragma once
// What the refresh cycle needs from the window that hosts it.

#include <string>

namespace talvex {

class IEngineHost {
  public:
    virtual ~IEngineHost() = default;

    /// Ends the program (runs once, whatever asks for it).
    virtual void fEndTalvex() = 0;
    /// Shows the status text of the program in front (the main window's Label1).
    virtual void ShowStatusText(const std::string& sText) = 0;
    /// Hands a new tooltip text to the tray icon.
    virtual void PublishTooltip(const std::string& sText) = 0;
    /// Shows the rule list again after the engine added a rule.
    virtual void fRefreshList() = 0;
};

}  // namespace talvex
