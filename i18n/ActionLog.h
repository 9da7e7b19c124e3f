#pragma once
// The in-memory action log: what the program did, newest last, at most 250 lines.

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>

#include "platform/IClock.h"

namespace talvex {

class ActionLog {
  public:
    static constexpr std::size_t kMaxLines = 250;

    explicit ActionLog(platform::IClock& clock) : m_clock(clock) {}

    /// Appends a line, "[date time] text" unless bNoHeader, drops the oldest lines
    /// beyond 250 and selects the newest.
    void DoLog(std::string_view sText, bool bNoHeader = false);
    /// Discards every line (the log window was closed).
    void Clear();

    const std::deque<std::string>& Lines() const { return m_lines; }
    /// Index of the selected line; -1 when the log is empty.
    std::int32_t Selected() const { return m_selected; }

    /// Called after every change, so that a view can redraw.
    void SetOnChange(std::function<void()> onChange) { m_onChange = std::move(onChange); }

  private:
    platform::IClock& m_clock;
    std::deque<std::string> m_lines;
    std::int32_t m_selected = -1;
    std::function<void()> m_onChange;
};

}  // namespace talvex
