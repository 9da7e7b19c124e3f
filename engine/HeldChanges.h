#pragma once
// What Talvex holds changed now, and why. The change record knows what is held; the
// engine knows why, since it makes the decisions, and notes the reason (and the time)
// where it makes each change. The Advanced window lists the rows and the tray tooltip
// counts them.

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/ChangeRecord.h"

namespace talvex {

struct ProcessEntry;

/// Why Talvex changed a program.
enum class HeldWhy : std::uint8_t {
    ByRule,            // in front, raised by its rule's level
    ByGlobalLevel,     // in front, raised by the global level
    BusyInBackground,  // lowered while busy behind the program in front
    TurnedOff,         // in front, its boost turned off after a hang-up
    ChangedByOther,    // another program changed what Talvex set: left alone since
};

struct HeldReason {
    HeldWhy why = HeldWhy::ByGlobalLevel;
    std::int16_t iCpuUsage = 0;  // busy in the background: the usage that decided it
    std::string sSince;          // local date and time of the change
};

/// What a row stands for: the process's own priority, the session group it shares, or
/// the weight of its CPU group.
enum class HeldLever : std::uint8_t { Priority, SessionGroup, CpuGroup };

/// One program and lever that Talvex holds changed (or, for a turned-off boost, the
/// program it gave back what it had).
struct HeldRow {
    std::int32_t lPid = 0;
    std::string sExeName;
    std::string sExePath;
    HeldLever lever = HeldLever::Priority;
    /// How `before` and `now` read: priority classes, or nice values for the others.
    platform::Lever values = platform::Lever::PriorityClass;
    std::int64_t before = 0;
    std::int64_t now = 0;
    std::optional<HeldReason> reason;
    bool Raised() const;
    bool Lowered() const;
};

/// Programs boosted and lowered (a program counts once, whatever its levers).
struct HeldCount {
    int boosted = 0;
    int lowered = 0;
    bool operator==(const HeldCount&) const = default;
};
HeldCount CountHeld(const std::vector<HeldRow>& rows);

/// The priority class Talvex found and the one it set last on process lPid's own
/// priority (not a group's), as `record` holds them.
struct ClassSet {
    std::int32_t before = 0;
    std::int32_t set = 0;
};
std::optional<ClassSet> ClassSetByTalvex(const platform::ChangeRecord& record, std::int32_t lPid);

/// Fills the row's names from the process table, else from `frontPath` when the row's
/// process is the program in front.
void NameRow(HeldRow& row, const std::vector<ProcessEntry>& table, std::int32_t frontPid,
             const std::string& frontPath);

/// The engine's notes beside the change record: why each program was changed, and
/// which programs the user put back and wants left alone until they come to the front.
class HeldChanges {
  public:
    void Note(std::int32_t lPid, HeldReason reason) { m_reasons[lPid] = std::move(reason); }
    void Forget(std::int32_t lPid) { m_reasons.erase(lPid); }
    const HeldReason* Find(std::int32_t lPid) const;

    void LeaveAlone(std::int32_t lPid) { m_leftAlone.insert(lPid); }
    bool LeftAlone(std::int32_t lPid) const { return m_leftAlone.count(lPid) != 0; }
    /// Another program changed the priority Talvex had set: the program is left alone,
    /// and listed as `row` (its reason ChangedByOther), until it comes to the front.
    void LeaveAloneAfterChange(HeldRow row);
    /// The program came to the front: Talvex may act on it again.
    void CameToFront(std::int32_t lPid) {
        m_leftAlone.erase(lPid);
        m_changedByOthers.erase(lPid);
    }
    /// Drops the notes of processes that are no longer in the table, so a later
    /// process with a reused pid starts without them.
    void KeepOnly(const std::vector<ProcessEntry>& table, std::int32_t lLastProcess);

    /// One row per process and lever that `record` holds; `ownPid` (Talvex's own raise)
    /// is left out. Names come from `table`, else `frontPath` for the program in front.
    std::vector<HeldRow> Rows(const platform::ChangeRecord& record, std::int32_t ownPid,
                              const std::vector<ProcessEntry>& table, std::int32_t frontPid,
                              const std::string& frontPath) const;

  private:
    std::map<std::int32_t, HeldReason> m_reasons;
    std::set<std::int32_t> m_leftAlone;
    std::map<std::int32_t, HeldRow> m_changedByOthers;  // listed while left alone
};

}  // namespace talvex
