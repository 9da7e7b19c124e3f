#pragma once
// What talvex-levers decides, apart from how it reads the system: the facts it read
// about one request's target go in, a verdict comes out. The readers of the procfs
// texts and of the configuration file are here too, as pure functions of their text.

#include <cstdint>
#include <optional>
#include <string_view>

#include "levers/LeverProtocol.h"

namespace talvex::levers {

inline constexpr int kDefaultFloor = -15;
inline constexpr int kHighestNice = 19;

/// The floor set in the text of levers.conf ("floor = -15"; '#' starts a comment),
/// kept within [-20, 0]; the default when the text sets none or an unreadable one.
int ParseFloor(std::string_view text);

/// The fields of a task's stat file that the checks use.
struct TaskStat {
    char state = '?';
    int nice = 0;
    std::uint64_t startTime = 0;
};
std::optional<TaskStat> ParseTaskStat(std::string_view text);

/// A task's credentials from its status file: the four uids of "Uid:" (real,
/// effective, saved, file system) and the permitted and effective capability sets.
struct TaskCredentials {
    std::uint32_t uids[4] = {0, 0, 0, 0};
    std::uint64_t capPrm = 0;
    std::uint64_t capEff = 0;
};
std::optional<TaskCredentials> ParseTaskStatus(std::string_view text);

/// A session group from the text of /proc/PID/autogroup ("/autogroup-<id> nice <n>").
struct GroupState {
    std::int64_t id = 0;
    int nice = 0;
};
std::optional<GroupState> ParseAutogroup(std::string_view text);

/// Everything read about a request's target; what could not be read stays empty.
struct Facts {
    std::uint32_t caller = 0;                    // the peer's (and this program's) uid
    bool pinned = false;                         // pidfd open and the process alive
    std::optional<std::uint64_t> processStart;   // the process's start time
    std::optional<TaskStat> thread;              // task/TID/stat (thread levers)
    std::optional<TaskCredentials> credentials;  // the thread's (or for a group the
                                                 // process's) status
    std::optional<std::uint32_t> procOwner;      // owner of /proc/PID
    std::optional<int> policy;                   // the thread's policy, flag cleared
    std::optional<GroupState> group;             // the process's session group
};

/// What the program itself holds: its floor and how many targets it keeps raised.
struct Limits {
    int floor = kDefaultFloor;
    std::size_t raisedHeld = 0;    // targets held below nice 0 now
    std::size_t maxRaised = 4096;  // most targets held below nice 0 at once
    bool alreadyRaised = false;    // this target is one of them
};

/// The verdict on one request: Done means it may be written.
Verdict Check(const Request& request, const Facts& facts, const Limits& limits);

/// Whether the target read after a write is still the one read before it.
bool SameTarget(const Request& request, const Facts& before, const Facts& after);

/// A token bucket: at most `burst` requests at once, refilled at `perSecond`.
class TokenBucket {
  public:
    TokenBucket(double burst, double perSecond) : m_burst(burst), m_rate(perSecond) {}
    /// Takes one token at time `nowNs` (monotonic); false when none is left.
    bool Take(std::uint64_t nowNs);

  private:
    double m_burst;
    double m_rate;
    double m_tokens = -1;  // full on first use
    std::uint64_t m_lastNs = 0;
};

}  // namespace talvex::levers
