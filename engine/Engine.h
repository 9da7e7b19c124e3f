#pragma once
// The boost engine: the state of the program in front and the refresh tick that
// boosts, restores and logs. The main window owns one and drives it from its timer.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/HeldChanges.h"
#include "engine/IEngineHost.h"
#include "engine/IWarningDialog.h"
#include "engine/ProcessStages.h"
#include "engine/modMain.h"
#include "engine/modProcess.h"
#include "i18n/ActionLog.h"
#include "i18n/StringTable.h"
#include "rules/TalvexItems.h"

namespace talvex {

/// Priority class of a boost level: 0 Above Normal, 1 High, 2 Realtime; 0 for none.
std::int32_t BoostLevelToClass(std::int32_t iLevel);

/// How far the program's end has come, in order.
enum class ShutdownState : std::int16_t {
    Running,    ///< no end asked for
    Requested,  ///< an end was asked for; the next tick takes it up
    TakenUp,    ///< the tick took it up and called the end
    Ending,     ///< the end runs: nothing new starts
};

/// Translated words of the status text.
struct StatusWords {
    std::string txtWindow, txtProcessId, txtPriority;
};

class Engine {
  public:
    Engine(platform::IProcessApi& processes, platform::IWindowApi& windows, platform::IClock& clock,
           StringTable& strings, ActionLog& log, IEngineHost& host);
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    /// The tick of the refresh timer. Any error ends the tick quietly.
    void tmrRefresh_Timer();
    /// The desktop announced another window in front: only the foreground step of the
    /// tick runs (queries, status text, and on a change restore, record, boost, tooltip
    /// and log line); the process table and the observers keep the tick's cadence.
    /// Nothing runs once the end was asked for (the next tick carries it out), nor
    /// while no window is in front (the tick counts that). Any error ends the step
    /// quietly, as in a tick.
    void ForegroundEvent();
    /// Whether the desktop announces every change of the window in front (a foreground
    /// source listens), and whether the status text is on screen. While changes are
    /// announced and the status is hidden, a tick asks the desktop nothing about the
    /// front: the announcements carry every change. Only every kFrontCheckTicks-th tick
    /// asks which window is in front, in case an announcement was lost, and runs the
    /// whole step when it is not the one seen last. Both are off until set.
    void SetFrontAnnounced(bool announced) { m_bFrontAnnounced = announced; }
    void SetStatusShown(bool shown) { m_bStatusShown = shown; }
    /// Ticks between two looks at the front while its changes are announced.
    static constexpr std::int32_t kFrontCheckTicks = 16;

    /// What Talvex holds changed now, and why; Talvex's own raise is left out. While the
    /// program in front has its boost turned off after a hang-up, it has a row too.
    std::vector<HeldRow> HeldRows();
    /// Puts back at once what Talvex changed on process lPid, and leaves the program
    /// alone until it next comes to the front. Returns how many changes were put back.
    std::int32_t PutBack(std::int32_t lPid);
    /// Notes why process lPid was changed just now, with the local time.
    void NoteHeld(std::int32_t lPid, HeldWhy why, std::int16_t iCpuUsage = 0);
    /// The engine's notes beside the change record.
    HeldChanges& Held() { return m_held; }

    /// "Talvex 1.1.0: " and the title, or the path when the title is empty.
    static std::string TooltipText(const std::string& sTitle, const std::string& sPath);

    /// The process table's stages run by default. Tests of the cycle itself put others in,
    /// or none: a test on the real desktop must not observe the user's other processes.
    void SetStages(IProcessStages* stages) { m_stages = stages; }
    /// Where per-application CPU groups are read; null (the default) for none.
    void SetCpuGroups(platform::ICpuGroups* groups) { m_tableStages.SetCpuGroups(groups); }
    /// The hang-up warning; without one a turn-off is only logged.
    void SetWarningDialog(IWarningDialog* dialog) { m_warningDialog = dialog; }
    IWarningDialog* WarningDialog() const { return m_warningDialog; }

    // ---- what the main window sets and reads ----

    /// The queries on windows and processes.
    modMain::Queries& Queries() { return m_modMain; }
    /// Background observation's settings, as the settings code and the options set them.
    const modMain::ObserverSettings& ObserverSettings() const { return m_observerSettings; }
    void SetObserverSettings(const modMain::ObserverSettings& settings) {
        m_observerSettings = settings;
    }
    /// The rules; a rule at level -1 follows the global level.
    TalvexItems& Items() { return m_TalvexItems; }
    const TalvexItems& Items() const { return m_TalvexItems; }
    /// The global boost level: 0 Above Normal, 1 High, 2 Realtime.
    std::int16_t NewPriority() const { return m_iNewPriority; }
    void SetNewPriority(std::int16_t iLevel) { m_iNewPriority = iLevel; }
    /// Hang-up tolerance: critical ticks before boosting is turned off for a program.
    std::int32_t MaxFailures() const { return m_hangup.MaxFailures(); }
    void SetMaxFailures(std::int32_t lMaxFailures) { m_hangup.SetMaxFailures(lMaxFailures); }
    /// How far the end has come; the window moves it on, the tick takes it up.
    ShutdownState Shutdown() const { return m_iShutdownState; }
    void SetShutdown(ShutdownState state) { m_iShutdownState = state; }
    /// Translated words of the status text.
    const StatusWords& Words() const { return m_words; }
    /// The interface translation hands over one of them, e.g. &StatusWords::txtWindow.
    void SetStatusWord(std::string StatusWords::*word, const std::string& sText) {
        m_words.*word = sText;
    }
    /// Boosting was switched off: the program in front gets its priority back and is
    /// forgotten, so switching on again treats it as new.
    void LetGoOfForeground();

    // ---- what the last tick or event saw ----

    std::int32_t ForegroundPid() const { return m_lForegroundPid; }
    /// Its class before Talvex raised it; -9999 when it could not be opened.
    std::int32_t ForegroundPriority() const { return m_lForegroundPriority; }
    const std::string& ForegroundExe() const { return m_sForegroundExe; }
    const std::string& PreviousExe() const { return m_sPreviousExe; }
    /// Critical ticks counted against the program in front, and whether its boost was
    /// turned off for hanging.
    std::int32_t FailureCounter() const { return m_hangup.FailureCounter(); }
    bool FailureTurnOff() const { return m_hangup.FailureTurnOff(); }
    /// The process table: entries 0 to LastProcess() (-1 after a failed build).
    const std::vector<ProcessEntry>& ProcessTable() const { return m_tableStages.ProcessTable(); }
    std::int32_t LastProcess() const { return m_tableStages.LastProcess(); }
    /// The stages that own the process table and the hang-up count.
    const ProcessStages& TableStages() const { return m_tableStages; }
    const HangupObservation& Hangup() const { return m_hangup; }

    const StringTable& Strings() const { return m_strings; }
    ActionLog& Log() { return m_log; }
    platform::IClock& Clock() { return m_clock; }

  private:
    // What the foreground queries of one tick found.
    struct Front {
        platform::WindowHandle window = 0;
        std::string title, path;
        std::int32_t pid = 0;
    };
    /// Undoes Talvex's changes to the program in front, so it has exactly the priority it
    /// had before. Used when the front changes and when boosting is switched off.
    void RestoreForeground();
    void RefreshTick();
    /// The foreground queries and the status text; true when the front changed and the
    /// change was carried out.
    bool ForegroundStep(Front& front);
    /// Whether this tick runs the foreground step (see SetFrontAnnounced).
    bool FrontQueriesDue();
    /// Another window of the program in front came forward: its title goes to the tooltip.
    void FollowOtherWindow(const Front& front);
    std::string StatusText(platform::WindowHandle window, const std::string& title,
                           const std::string& path, std::int32_t pid, std::int32_t priority,
                           const std::string& priorityName) const;
    void ForegroundChanged(platform::WindowHandle window, const std::string& title,
                           const std::string& path);
    void BoostForeground(platform::WindowHandle window);
    void UndoUnlessOwn(std::int32_t lPid);

    modMain::Queries m_modMain;
    modMain::ObserverSettings m_observerSettings;
    std::int16_t m_iNewPriority = 0;  // global boost level
    TalvexItems m_TalvexItems{m_iNewPriority};

    ShutdownState m_iShutdownState = ShutdownState::Running;
    platform::WindowHandle m_hForegroundWnd = 0;
    std::int32_t m_lForegroundPid = 0;
    std::int32_t m_lForegroundPriority = 0;
    std::string m_sForegroundExe;
    std::string m_sPreviousExe;
    bool m_bFrontAnnounced = false;
    bool m_bStatusShown = false;
    bool m_bFrontPending = true;            // an announcement found no window in front yet
    platform::WindowHandle m_hSeenWnd = 0;  // the window the last foreground step saw
    std::int32_t m_lUnaskedTicks = 0;       // ticks since the last foreground step

    StatusWords m_words;

    platform::IClock& m_clock;
    StringTable& m_strings;
    ActionLog& m_log;
    IEngineHost& m_host;
    HangupObservation m_hangup{*this, m_host};
    ProcessStages m_tableStages;
    IProcessStages* m_stages = &m_tableStages;
    IWarningDialog* m_warningDialog = nullptr;
    HeldChanges m_held;
};

}  // namespace talvex
