#pragma once
// Emergency turn-off of boosting: a program in front that keeps the CPU at 95 % or
// more for longer than the tolerance is set back to Normal, logged, and the user is
// asked whether to leave it out of the check or the warning from now on.

#include <cstdint>
#include <string>

namespace talvex {

class Engine;
struct ProcessEntry;

class HangupObservation {
  public:
    /// Usage from which a tick counts as critical.
    static constexpr std::int16_t kCriticalUsage = 95;

    explicit HangupObservation(Engine& engine) : m_engine(engine) {}

    /// Examines the entry of the program in front on one tick. May wait for the user's
    /// answer in the warning dialog; the entry is not touched after that wait, since
    /// ticks that run meanwhile may rebuild the table.
    void Check(ProcessEntry& entry);
    /// True while a warning waits for its OK.
    bool DialogWaiting() const { return m_bDialogWaiting; }

  private:
    // Path and pid are copies: the entry may be gone after the dialog's wait.
    void TurnOff(std::int32_t lPid, std::string sPath, std::int16_t iRule);
    void RecordAnswers(const std::string& sPath, bool bNoMessage, bool bNoBoost);

    Engine& m_engine;
    bool m_bDialogWaiting = false;
};

}  // namespace talvex
