#pragma once
// The messages between Talvex and talvex-levers, the small program that alone holds the
// right to raise priorities. One request or answer is one SOCK_SEQPACKET message of a
// fixed size, in the machine's own byte order (both ends run on the same machine).
//
// Request (40 bytes):  magic, kind, pid, value, process start, id, thread start
// Answer  (12 bytes):  magic, verdict, detail
// The program greets with one answer of verdict Hello whose detail is the floor: the
// lowest nice value it hands out.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace talvex::levers {

inline constexpr std::uint32_t kRequestMagic = 0x54564c31;  // "TVL1"
inline constexpr std::uint32_t kAnswerMagic = 0x54564c41;   // "TVLA"
inline constexpr std::size_t kRequestSize = 40;
inline constexpr std::size_t kAnswerSize = 12;

enum class Kind : std::uint32_t {
    ThreadNice = 1,   // a thread's nice value
    ResetOnFork = 2,  // a thread's SCHED_RESET_ON_FORK flag (value 0 or 1)
    GroupNice = 3,    // a session group's (autogroup's) nice value
};

struct Request {
    Kind kind = Kind::ThreadNice;
    std::int32_t pid = 0;
    std::int32_t value = 0;
    std::uint64_t processStart = 0;  // the process's start time (clock ticks after boot)
    std::int64_t id = 0;             // thread id, or the session group's id
    std::uint64_t threadStart = 0;   // the thread's own start time (thread levers)

    bool operator==(const Request&) const = default;
};

enum class Verdict : std::uint32_t {
    Done = 0,
    Busy = 1,        // too many requests for a moment, or the kernel's own rate limit
    Refused = 2,     // not the caller's to change
    Gone = 3,        // the process, thread or group is no more (or is another one now)
    OutOfRange = 4,  // the value is outside [floor, 19] (or not 0/1 for the flag)
    Malformed = 5,   // not a request
    TooMany = 6,     // too many threads and groups held raised
    Hello = 7,       // the greeting; the detail is the floor
};

struct Answer {
    Verdict verdict = Verdict::Malformed;
    std::int32_t detail = 0;  // the floor in the greeting, an errno after a failed write

    bool operator==(const Answer&) const = default;
};

std::array<std::uint8_t, kRequestSize> EncodeRequest(const Request& request);
/// The request in a message; nullopt for anything but a well-formed one.
std::optional<Request> ParseRequest(std::span<const std::uint8_t> message);

std::array<std::uint8_t, kAnswerSize> EncodeAnswer(const Answer& answer);
std::optional<Answer> ParseAnswer(std::span<const std::uint8_t> message);

}  // namespace talvex::levers
