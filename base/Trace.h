#pragma once
// A developer trace on stderr: what went wrong where, for whoever runs Talvex from a
// terminal. It is off unless TALVEX_DEBUG is set in the environment (1: errors, warnings
// and notes; 2: also every handler run) or the program switches it on (--verbose). When
// off, asking whether a level is on costs one relaxed atomic load; nothing is formatted.
// What the user sees never depends on it.

#include <atomic>
#include <functional>
#include <string_view>

namespace talvex::trace {

enum class Level : int {
    Off = 0,
    Error = 1,    // an error that ended a handler or a step quietly
    Warning = 2,  // something that failed but has a fallback
    Info = 3,     // a note on what the program did
    Debug = 4,    // detail that comes often, e.g. every handler run
};

namespace detail {
// The highest level written, or -1 while TALVEX_DEBUG has not been read yet.
extern std::atomic<int> g_level;
int ReadLevelFromEnvironment() noexcept;
}  // namespace detail

/// Whether lines of `level` are written now.
inline bool Enabled(Level level) noexcept {
    int current = detail::g_level.load(std::memory_order_relaxed);
    if (current < 0) current = detail::ReadLevelFromEnvironment();
    return static_cast<int>(level) <= current && level != Level::Off;
}

/// Writes lines up to `level` from now on (Off: none).
void SetLevel(Level level) noexcept;
/// What --verbose asks for: errors, warnings and notes.
void EnableVerbose() noexcept;
/// The level TALVEX_DEBUG asks for: unset, empty or 0 is Off, 1 is Info, 2 or more is
/// Debug; any other text is Info (whoever sets the variable wants to see something).
Level LevelFromText(const char* sValue) noexcept;

/// Writes one line "talvex: <level> <where>: <what>" when `level` is on. Never throws.
void Write(Level level, std::string_view sWhere, std::string_view sWhat) noexcept;

/// Sends the lines to `sink` instead of stderr (for tests); an empty one restores stderr.
void SetSink(std::function<void(std::string_view sLine)> sink);

}  // namespace talvex::trace
