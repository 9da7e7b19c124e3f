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
    virtual void fRefreshList() {}
};

/// The two places of a tick where the process table does its work.
class IProcessStages {
  public:
    virtual ~IProcessStages() = default;

    /// Runs after the end-request check; returns true when it ends the tick.
    virtual bool ProcessTableStage() = 0;
    /// Runs on ticks on which the program in front has not changed.
    virtual void ObservationStage() = 0;
};

}  // namespace talvex
