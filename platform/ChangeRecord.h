#pragma once
// The record of every change Talvex makes to other processes, and their exact undo.
//
// A change is recorded, and the record saved, before it is made: what it acts on (the
// process, pinned by its start time, and the thread or group), the value before and
// the value set. A change whose record cannot be saved (a full or read-only folder) is
// not made at all: after a crash it could never be put back. Undo puts the value before back only
// where the value is still the one Talvex set, so a change somebody else made in between wins; and
// only while the process still has its start time, so a process that took over the pid of an ended
// one is never touched. After a crash the next start reads the saved record and undoes
// what it holds before it changes anything new.
//
// A saved record is read back as untrusted text: anybody running as the user can edit
// it. Lines that do not read as a change are passed over, a text larger than any
// record is refused, and each value to put back is held to what Talvex itself could
// have found there (see UndoSavedRecord).
//
// The record knows nothing of the system: each backend reads and writes its levers
// through ILeverAccess, and keeps the saved text through IRecordFile.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talvex::platform {

/// What a change acts on.
enum class Lever : std::uint8_t {
    PriorityClass = 1,      // a process's priority class (Windows; the in-memory desktop)
    ThreadNice = 2,         // one thread's nice value (Linux)
    ThreadResetOnFork = 3,  // whether a thread's children start at the default priority
    GroupNice = 4,          // a session group's nice value (Linux autogroup)
    GroupWeight = 5,        // a CPU cgroup's weight (Linux cpu.weight, or cpu.shares on v1)
};

/// The thing one change acts on. Groups are shared by many processes: a group change is
/// the same change whichever member it was made through.
struct LeverTarget {
    std::int32_t pid = 0;         // the process the change is made through
    std::uint64_t startTime = 0;  // that process's start time: pins it against pid reuse
    std::int64_t id = 0;          // thread id or group id; 0 for a process-wide lever
    Lever lever = Lever::PriorityClass;

    /// Same lever of the same thread, process or group.
    bool SameAs(const LeverTarget& other) const;
};

/// How a backend reads and writes one lever. Both act only while the process `pid`
/// still has `startTime`: never on a bare pid.
class ILeverAccess {
  public:
    enum class Write {
        Done,     // the value is set
        Busy,     // the system turned the write away for a moment (a rate limit)
        Refused,  // not allowed
        Gone,     // the process, thread or group is no more
    };
    virtual ~ILeverAccess() = default;
    /// The lever's value now; nullopt when its process, thread or group is gone.
    virtual std::optional<std::int64_t> ReadLever(const LeverTarget& target) = 0;
    virtual Write WriteLever(const LeverTarget& target, std::int64_t value) = 0;
};

/// Where the record is kept between runs.
class IRecordFile {
  public:
    virtual ~IRecordFile() = default;
    /// Replaces the saved text in one step; false when it could not be saved.
    virtual bool Save(const std::string& text) = 0;
    /// Removes the saved record (nothing is held any more).
    virtual void Remove() = 0;
};

/// The deepest nice value Talvex sets, and so the lowest one a saved record can ask to
/// have put back.
inline constexpr std::int64_t kDefaultNiceFloor = -15;
/// No record of Talvex's grows this large; a larger text is not read.
inline constexpr std::size_t kMaxSavedRecordBytes = 1 << 20;

/// One change Talvex holds.
struct HeldChange {
    LeverTarget target;
    std::int64_t before = 0;  // the value before Talvex's first change
    std::int64_t set = 0;     // the value Talvex set last
    enum class Wait : std::uint8_t { No, Write, Undo } wait = Wait::No;  // turned away
};

class ChangeRecord {
  public:
    /// `bootId` tells this boot from others: a record of another boot is void (every
    /// process of it is gone). `file` may be null: the record then lives in memory only,
    /// which only a caller that has no crash to survive chooses (tests, the in-memory
    /// desktop).
    ChangeRecord(ILeverAccess& levers, std::string bootId, IRecordFile* file = nullptr);

    struct Request {
        LeverTarget target;
        std::int64_t before = 0;  // the value the lever has now
        std::int64_t value = 0;   // the value wanted
    };
    /// Records the changes (saving the record first), then makes them. A lever already
    /// held keeps its first value before. False when any change was refused or its
    /// target is gone; a change the system turned away for a moment is retried later.
    /// When the record cannot be saved nothing is changed, and the answer is false.
    bool Change(const std::vector<Request>& requests);
    /// Undoes every change held for process `pid` (or only those of lever `only`). A
    /// change of an earlier process with that pid finds its start time gone and is
    /// dropped. Returns how many were put back (or wait to be put back after a moment).
    int UndoProcess(std::int32_t pid, std::optional<Lever> only = std::nullopt);
    /// Undoes the change held for `target` (for a group: whichever member it was made
    /// through). True when it was put back (or waits to be put back after a moment).
    bool UndoTarget(const LeverTarget& target);
    /// Undoes everything held. True when nothing is held any more.
    bool UndoAll();
    /// Whether a change is held for process `pid`.
    bool Holds(std::int32_t pid) const;
    /// Makes the writes and undos the system turned away; costs nothing when none waits.
    void RetryWaiting() {
        if (m_waiting) Retry();
    }
    bool Waiting() const { return m_waiting; }
    /// Forgets changes whose process is gone (nothing is left to undo for them).
    void ForgetGone();
    const std::vector<HeldChange>& Held() const { return m_held; }

    /// The record as saved: a header line with the boot id, then a line a change.
    std::string Text() const;
    /// What the undo of a saved record did.
    struct SavedUndo {
        std::vector<HeldChange> restored;  // put back: each lever has its `before` again
        std::string left;                  // the record of what waits; empty when nothing
        int skipped = 0;                   // lines passed over (damaged, or not to undo)
        int refusedWrites = 0;             // changes the system would not put back
        bool refused = false;              // the text is larger than any record
    };
    /// Undoes what a saved record of an earlier run holds, if it is of this boot. The
    /// text is untrusted: a value to put back is held to the lever's range (a nice
    /// value to [niceFloor, 19], a weight to 1..10000, a priority class to the six
    /// classes with High for Realtime), and a reset-on-fork flag is only ever set
    /// again, never cleared.
    static SavedUndo UndoSavedRecord(std::string_view text, std::string_view bootId,
                                     ILeverAccess& levers,
                                     std::int64_t niceFloor = kDefaultNiceFloor);
    /// UndoSavedRecord's text of what could not be undone yet (empty when nothing is left).
    static std::string UndoSaved(std::string_view text, std::string_view bootId,
                                 ILeverAccess& levers) {
        return UndoSavedRecord(text, bootId, levers).left;
    }

  private:
    enum class Undo { Done, Waits, Dropped, Refused };
    Undo UndoOne(HeldChange& change);
    bool SaveBeforeChange(std::size_t heldBefore);
    bool Apply(HeldChange& change, std::int64_t value, bool isNew);
    void Retry();
    bool Save();
    void UpdateWaiting();
    HeldChange* Find(const LeverTarget& target);

    ILeverAccess& m_levers;
    std::string m_bootId;
    IRecordFile* m_file;
    std::vector<HeldChange> m_held;
    std::string m_saved;  // the text saved last
    bool m_waiting = false;
};

}  // namespace talvex::platform
