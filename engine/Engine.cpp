#include "engine/Engine.h"

#include <algorithm>

#include "base/RunQuietly.h"
#include "engine/BkgObservation.h"
#include "engine/EntryRule.h"
#include "engine/Version.h"
#include "i18n/FormatMsg.h"

namespace talvex {

using namespace platform;

std::int32_t BoostLevelToClass(std::int32_t iLevel) {
    switch (iLevel) {
        case 0:
            return ABOVE_NORMAL_PRIORITY_CLASS;
        case 1:
            return HIGH_PRIORITY_CLASS;
        case 2:
            return REALTIME_PRIORITY_CLASS;
        default:
            return 0;
    }
}

Engine::Engine(IProcessApi& processes, IWindowApi& windows, IClock& clock, StringTable& strings,
               ActionLog& log, IEngineHost& host)
    : m_modMain(processes, windows),
      m_clock(clock),
      m_strings(strings),
      m_log(log),
      m_host(host),
      m_tableStages(*this, m_hangup, processes, clock) {}

void Engine::tmrRefresh_Timer() {
    RunQuietly("tmrRefresh_Timer", [this] { RefreshTick(); });
}

void Engine::RestoreForeground() {
    // A raise another program overrode is not Talvex's to undo, nor to fight later.
    YieldToOtherChange(*this, m_lForegroundPid);
    UndoUnlessOwn(m_lForegroundPid);
}

void Engine::LetGoOfForeground() {
    if (m_lForegroundPid == 0 || m_lForegroundPriority == 0) return;
    RestoreForeground();
    m_lForegroundPid = 0;
}

void Engine::UndoUnlessOwn(std::int32_t lPid) {
    // Talvex's own raise at start-up holds for as long as it runs, in front or not.
    if (lPid == m_modMain.Processes().GetCurrentProcessId()) return;
    m_modMain.UndoProcessChanges(lPid);
    m_held.Forget(lPid);
}

void Engine::NoteHeld(std::int32_t lPid, HeldWhy why, std::int16_t iCpuUsage) {
    m_held.Note(lPid, HeldReason{why, iCpuUsage, m_clock.LocalDateTimeText()});
}

std::vector<HeldRow> Engine::HeldRows() {
    const std::int32_t own = m_modMain.Processes().GetCurrentProcessId();
    const std::vector<ProcessEntry>& table = m_tableStages.ProcessTable();
    std::vector<HeldRow> rows = m_held.Rows(m_modMain.Processes().Changes(), own, table,
                                            m_lForegroundPid, m_sForegroundExe);
    // A turn-off leaves nothing on record; the row says why the program is not boosted.
    const HeldReason* front = m_held.Find(m_lForegroundPid);
    const bool listed = std::any_of(rows.begin(), rows.end(), [this](const HeldRow& row) {
        return row.lPid == m_lForegroundPid && row.lever == HeldLever::Priority;
    });
    if (m_hangup.FailureTurnOff() && front && front->why == HeldWhy::TurnedOff && !listed &&
        m_lForegroundPid != own) {
        HeldRow row;
        row.lPid = m_lForegroundPid;
        row.before = m_lForegroundPriority;
        row.now = m_modMain.GetWindowPriority(m_lForegroundPid, 0);
        row.reason = *front;
        NameRow(row, table, m_lForegroundPid, m_sForegroundExe);
        rows.push_back(std::move(row));
    }
    return rows;
}

std::int32_t Engine::PutBack(std::int32_t lPid) {
    if (lPid == 0 || lPid == m_modMain.Processes().GetCurrentProcessId()) return 0;
    const std::int32_t undone = m_modMain.UndoProcessChanges(lPid);
    m_held.Forget(lPid);
    m_held.LeaveAlone(lPid);
    if (undone > 0) {
        HeldRow named;
        named.lPid = lPid;
        NameRow(named, m_tableStages.ProcessTable(), m_lForegroundPid, m_sForegroundExe);
        const std::string name = named.sExeName.empty() ? std::to_string(lPid) : named.sExeName;
        const std::string format = m_strings.Lang(TextId::RestoringPriority);
        const std::int32_t now = m_modMain.GetWindowPriority(lPid, 0);
        m_log.DoLog(FormatMsg(format, MsgArgs{name, ClassWord(m_strings, now)}), false);
    }
    return undone;
}

std::string Engine::TooltipText(const std::string& sTitle, const std::string& sPath) {
    return std::string(kProductName) + " " + VersionText() + ": " +
           (sTitle.empty() ? sPath : sTitle);
}

std::string Engine::StatusText(WindowHandle window, const std::string& title,
                               const std::string& path, std::int32_t pid, std::int32_t priority,
                               const std::string& priorityName) const {
    return m_words.txtWindow + ": " + std::to_string(window) + " (" + title + ")\r\n" + path +
           "\r\n" + m_words.txtProcessId + ": " + std::to_string(pid) + ", " + m_words.txtPriority +
           ": " + std::to_string(priority) + " (" + priorityName + ")";
}

void Engine::ForegroundEvent() {
    RunQuietly("ForegroundEvent", [this] {
        if (m_iShutdownState >= ShutdownState::Requested) return;
        // Window managers clear the active window for a moment while the focus moves on
        // (openbox does so at every switch). Such a moment is no change: only the tick
        // counts "nothing in front", so the program that left is not recorded as the
        // one before, and a program that keeps the focus is not restored and raised
        // again.
        if (m_modMain.GetForegroundWnd() == 0) {
            // The next tick looks, even while it would otherwise leave the front alone.
            m_bFrontPending = true;
            return;
        }
        Front front;
        if (!ForegroundStep(front)) FollowOtherWindow(front);
    });
}

void Engine::RefreshTick() {
    if (m_iShutdownState >= ShutdownState::Requested) {
        m_iShutdownState = ShutdownState::TakenUp;
        m_host.fEndTalvex();
        return;
    }
    if (m_stages && m_stages->ProcessTableStage()) return;

    if (!FrontQueriesDue()) {
        if (m_stages) m_stages->ObservationStage();
        return;
    }
    Front front;
    if (ForegroundStep(front)) return;

    if (m_stages) m_stages->ObservationStage();
    FollowOtherWindow(front);
}

bool Engine::FrontQueriesDue() {
    if (!m_bFrontAnnounced || m_bStatusShown || m_bFrontPending) return true;
    if (++m_lUnaskedTicks < kFrontCheckTicks) return false;
    m_lUnaskedTicks = 0;
    return m_modMain.GetForegroundWnd() != m_hSeenWnd;
}

void Engine::FollowOtherWindow(const Front& front) {
    if (m_modMain.GetWindowTitle(m_hForegroundWnd, modMain::kTitleMax) != front.title) {
        m_host.PublishTooltip(TooltipText(front.title, front.path));
    }
}

bool Engine::ForegroundStep(Front& front) {
    front.window = m_modMain.GetForegroundWnd();
    front.title = m_modMain.GetWindowTitle(front.window, modMain::kTitleMax);
    const std::int32_t priority = m_modMain.GetWindowPriority(0, front.window);
    const std::string priorityName = m_modMain.GetPriorityName(priority);
    front.path = m_modMain.GetWindowExePath(front.window, modMain::kPathMax);
    front.pid = m_modMain.GetWindowProcessId(front.window);
    m_hSeenWnd = front.window;
    m_bFrontPending = false;
    m_lUnaskedTicks = 0;

    m_host.ShowStatusText(
        StatusText(front.window, front.title, front.path, front.pid, priority, priorityName));

    if (front.pid == m_lForegroundPid) return false;
    ForegroundChanged(front.window, front.title, front.path);
    return true;
}

void Engine::ForegroundChanged(WindowHandle window, const std::string& title,
                               const std::string& path) {
    RestoreForeground();

    m_hForegroundWnd = window;
    m_lForegroundPid = m_modMain.GetWindowProcessId(window);
    m_held.CameToFront(m_lForegroundPid);
    m_tableStages.SampleNewFront(m_lForegroundPid);
    // The boost starts from the program's own state: what Talvex changed before (a
    // lowering in the background, of the program or of a group it shares) is undone first.
    m_modMain.Processes().SetFrontProcess(m_lForegroundPid);
    UndoUnlessOwn(m_lForegroundPid);
    m_lForegroundPriority = m_modMain.GetWindowPriority(0, window);  // before any boost
    m_sPreviousExe = m_sForegroundExe;
    m_sForegroundExe = path;

    BoostForeground(window);

    m_host.PublishTooltip(TooltipText(title, path));
    const std::string format = m_strings.Lang(TextId::ForegroundChanged);
    m_log.DoLog(FormatMsg(format, MsgArgs{title.empty() ? path : title}), false);

    m_hangup.OnFrontChanged();
}

void Engine::BoostForeground(WindowHandle window) {
    const std::string appId = AppIdOf(m_modMain, m_lForegroundPid);
    if (FindRule(m_TalvexItems, m_sForegroundExe, appId, true) >= 0) return;
    if (m_hangup.Blocks(m_sForegroundExe)) return;
    const std::int16_t rule = FindRule(m_TalvexItems, m_sForegroundExe, appId);
    std::int32_t level = -1;
    if (rule >= 0) {
        level = m_TalvexItems[static_cast<std::size_t>(rule)].iBoostLevel;
    } else if (m_lForegroundPriority <= NORMAL_PRIORITY_CLASS) {
        level = m_iNewPriority;
    }
    const std::int32_t boostClass = BoostLevelToClass(level);
    if (boostClass == 0) return;
    m_modMain.SetProcessPriority(0, window, boostClass);
    NoteHeld(m_lForegroundPid, rule >= 0 ? HeldWhy::ByRule : HeldWhy::ByGlobalLevel);
}

}  // namespace talvex
