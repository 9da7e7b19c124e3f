#pragma once
// Talvex's numbered errors: one exception type carrying the number.

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

}  // namespace talvex
