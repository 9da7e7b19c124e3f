#include "engine/HangupObservation.h"

#include "engine/Engine.h"
#include "engine/EntryRule.h"
#include "i18n/FormatMsg.h"
#include "i18n/modStd.h"

namespace talvex {

namespace {
// Clears the waiting flag however the dialog returns, an error included.
class WaitingScope {
  public:
    explicit WaitingScope(bool& flag) : m_flag(flag) { m_flag = true; }
    ~WaitingScope() { m_flag = false; }
    WaitingScope(const WaitingScope&) = delete;
    WaitingScope& operator=(const WaitingScope&) = delete;

  private:
    bool& m_flag;
};

// Names the program a warning is about for as long as the warning waits.
class WarnedScope {
  public:
    WarnedScope(std::string& warned, const std::string& path) : m_warned(warned) {
        m_warned = path;
    }
    ~WarnedScope() { m_warned.clear(); }
    WarnedScope(const WarnedScope&) = delete;
    WarnedScope& operator=(const WarnedScope&) = delete;

  private:
    std::string& m_warned;
};

// Keeps processes out of background observation for as long as the warning waits.
class LeftAloneScope {
  public:
    LeftAloneScope(std::vector<std::int32_t>& leftAlone, std::vector<std::int32_t> pids)
        : m_leftAlone(leftAlone) {
        m_leftAlone = std::move(pids);
    }
    ~LeftAloneScope() { m_leftAlone.clear(); }
    LeftAloneScope(const LeftAloneScope&) = delete;
    LeftAloneScope& operator=(const LeftAloneScope&) = delete;

  private:
    std::vector<std::int32_t>& m_leftAlone;
};
}  // namespace

void HangupObservation::Check(ProcessEntry& entry) {
    TalvexItems& items = m_engine.Items();
    const std::int16_t rule = FindEntryRule(items, entry);
    if (entry.iCpuUsage < kCriticalUsage) {
        if (m_lFailureCounter > 0) modStd::Decrement(m_lFailureCounter);
        return;
    }
    if (rule >= 0 && items[static_cast<std::size_t>(rule)].bNoHangUpObservation) return;
    if (m_lFailureCounter != m_lMaxFailures) {
        modStd::Increment(m_lFailureCounter);
        return;
    }
    // Turned off once already: the same program in front is left alone until the
    // front changes, so critical ticks never repeat the turn-off and the warning.
    if (m_bFailureTurnOff) return;
    TurnOff(entry.lPid, entry.sExePath, rule);
}

void HangupObservation::OnFrontChanged() {
    m_bFailureTurnOff = false;
    m_lFailureCounter = 0;
}

bool HangupObservation::Blocks(const std::string& sPath) const {
    return !m_sWarnedExe.empty() && m_sWarnedExe == sPath;
}

void HangupObservation::TurnOff(std::int32_t lPid, std::string sPath, std::int16_t iRule) {
    m_bFailureTurnOff = true;
    // Boosting off: the program gets back exactly what it had before Talvex raised it.
    m_engine.Queries().UndoProcessChanges(lPid);
    m_engine.NoteHeld(lPid, HeldWhy::TurnedOff);

    const std::string format = m_engine.Strings().Lang(TextId::CriticalTurnOff);
    const std::string message = FormatMsg(format, MsgArgs{sPath});
    m_engine.Log().DoLog(message, false);

    const TalvexItems& items = m_engine.Items();
    if (iRule >= 0 && items[static_cast<std::size_t>(iRule)].bNoHangUpObservationMsg) return;
    // One warning at a time: a turn-off while another warning waits is only logged.
    IWarningDialog* dialog = m_engine.WarningDialog();
    if (dialog == nullptr || m_bDialogWaiting) return;

    bool bNoBoost = false;
    bool bNoMessage = false;
    {
        WaitingScope waiting(m_bDialogWaiting);
        WarnedScope warned(m_sWarnedExe, sPath);
        LeftAloneScope alone(m_leftAlone, {lPid, m_engine.ForegroundPid()});
        bNoMessage = dialog->Display(message, bNoBoost);
    }
    RecordAnswers(sPath, bNoMessage, bNoBoost);
}

void HangupObservation::RecordAnswers(const std::string& sPath, bool bNoMessage, bool bNoBoost) {
    if (!bNoMessage && !bNoBoost) return;
    // Rules may have been edited or deleted during the wait, so the rule is looked up
    // again by the path taken before it; an index from before could name another rule.
    TalvexItems& items = m_engine.Items();
    const std::int16_t rule = items.fFindInTalvexItems(sPath);
    if (rule >= 0) {
        TalvexItem& item = items.Edit(static_cast<std::size_t>(rule));
        if (bNoMessage) item.bNoHangUpObservationMsg = true;
        if (bNoBoost) item.bNoHangUpObservation = true;
        return;
    }
    // No rule (any more): one new rule with the global level carries both answers.
    const std::int32_t added =
        items.fAddToTalvexItems(sPath, -1, false, false, bNoBoost, bNoMessage);
    if (added >= 0 && static_cast<std::size_t>(added) < items.Count()) m_host.fRefreshList();
}

}  // namespace talvex
