#pragma once
// Emergency turn-off of boosting: a program in front that keeps the CPU at 95 % or
// more for longer than the tolerance is set back to Normal, logged, and the user is
// asked whether to leave it out of the check or the warning from now on.

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace talvex {

class Engine;
class IEngineHost;
struct ProcessEntry;

class HangupObservation {
  public:
    /// Usage from which a tick counts as critical.
    static constexpr std::int16_t kCriticalUsage = 95;

    /// The host shows the rule list again when an answer added a rule.
    HangupObservation(Engine& engine, IEngineHost& host) : m_engine(engine), m_host(host) {}

    /// Examines the entry of the program in front on one tick. May wait for the user's
    /// answer in the warning dialog; the entry is not touched after that wait, since
    /// ticks that run meanwhile may rebuild the table.
    void Check(ProcessEntry& entry);
    /// Another program came to the front: its count starts at 0, boosted as usual.
    void OnFrontChanged();
    /// True when the program at sPath must not be raised now: its hang-up warning waits
    /// for the user (the focus may leave it for the warning and return meanwhile).
    bool Blocks(const std::string& sPath) const;
    /// True while a warning waits for its OK.
    bool DialogWaiting() const { return m_bDialogWaiting; }
    /// Whether background observation must leave the process alone now: the program a
    /// hang-up warning asks about, and the one in front when it opened, while it waits
    /// (the warning takes the focus, and the program must not be lowered meanwhile).
    bool IsLeftAlone(std::int32_t lPid) const {
        return std::find(m_leftAlone.begin(), m_leftAlone.end(), lPid) != m_leftAlone.end();
    }

    /// Critical ticks counted against the program in front, and whether its boost was
    /// turned off for hanging.
    std::int32_t FailureCounter() const { return m_lFailureCounter; }
    bool FailureTurnOff() const { return m_bFailureTurnOff; }
    /// The program whose warning waits; empty when none does.
    const std::string& WarnedExe() const { return m_sWarnedExe; }
    /// Hang-up tolerance: critical ticks before boosting is turned off for a program.
    std::int32_t MaxFailures() const { return m_lMaxFailures; }
    void SetMaxFailures(std::int32_t lMaxFailures) { m_lMaxFailures = lMaxFailures; }

  private:
    // Path and pid are copies: the entry may be gone after the dialog's wait.
    void TurnOff(std::int32_t lPid, std::string sPath, std::int16_t iRule);
    void RecordAnswers(const std::string& sPath, bool bNoMessage, bool bNoBoost);

    Engine& m_engine;
    IEngineHost& m_host;
    bool m_bDialogWaiting = false;
    std::int32_t m_lFailureCounter = 0;
    bool m_bFailureTurnOff = false;
    // The program whose hang-up warning waits for the user: it is not raised again
    // meanwhile, even when the focus leaves it for a moment (to the warning) and returns.
    std::string m_sWarnedExe;
    std::vector<std::int32_t> m_leftAlone;  // while the warning waits
    std::int32_t m_lMaxFailures = 8;        // hang-up tolerance in critical ticks
};

}  // namespace talvex
