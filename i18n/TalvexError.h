#pragma once
// Talvex's numbered errors and the one place where event handlers swallow them.

#include <cstdint>
#include <stdexcept>
#include <string>

namespace talvex {

// Numbers as the rest of the program knows them.
inline constexpr int kErrInvalidArgument = 5;
inline constexpr int kErrOverflow = 6;
inline constexpr int kErrIndexOutOfRange = 9;
inline constexpr int kErrTypeMismatch = 13;

class TalvexError : public std::runtime_error {
public:
    explicit TalvexError(int number)
        : std::runtime_error("Talvex error " + std::to_string(number)), m_number(number) {}
    int Number() const noexcept { return m_number; }

private:
    int m_number;
};

/// Runs an event handler so that any error ends it quietly; effects already made
/// stay. Every handler goes through here instead of a try/catch of its own.
/// Returns false when the handler ended by an error.
template <typename Handler>
bool RunQuietly(Handler&& handler) noexcept {
    try {
        handler();
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace talvex
