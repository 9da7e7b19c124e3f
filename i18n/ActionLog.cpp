#include "i18n/ActionLog.h"

namespace talvex {

void ActionLog::DoLog(std::string_view sText, bool bNoHeader) {
    std::string line;
    if (!bNoHeader) line = "[" + m_clock.LocalDateTimeText() + "] ";
    line += sText;
    m_lines.push_back(std::move(line));
    while (m_lines.size() > kMaxLines) m_lines.pop_front();
    m_selected = static_cast<std::int32_t>(m_lines.size()) - 1;
    if (m_onChange) m_onChange();
}

void ActionLog::Clear() {
    m_lines.clear();
    m_selected = -1;
    if (m_onChange) m_onChange();
}

}  // namespace talvex
