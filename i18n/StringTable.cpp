#include "i18n/StringTable.h"

#include <cctype>

namespace talvex {

const std::string StringTable::kEmptyTextMarker(1, '\0');

namespace {
std::string Fallback(std::string_view sDefault) {
    return sDefault.empty() ? std::string("Translation Error!") : std::string(sDefault);
}
}  // namespace

void StringTable::ClearStringTable() {
    m_entries.assign(1, std::string());
}

void StringTable::Store(std::int16_t iId, std::string_view sText) {
    if (iId < 0) return;
    const auto index = static_cast<std::size_t>(iId);
    if (index + 1 >= m_entries.size()) m_entries.resize(index + 2);
    m_entries[index] = sText.empty() ? kEmptyTextMarker : std::string(sText);
}

std::string StringTable::Entry(std::int16_t iId) const {
    if (iId < 0 || static_cast<std::size_t>(iId) >= m_entries.size()) return {};
    return m_entries[static_cast<std::size_t>(iId)];
}

std::string StringTable::Lang(std::int16_t iId, bool bSpaceBefore, bool bSpaceAfter,
                              bool bUpperFirst, std::string_view sDefault) const {
    if (iId < 0 || static_cast<std::size_t>(iId) >= m_entries.size()) return Fallback(sDefault);
    std::string text = m_entries[static_cast<std::size_t>(iId)];
    if (text.empty()) return Fallback(sDefault);
    if (text == kEmptyTextMarker) text.clear();
    // Only an ASCII first letter is capitalised; a multi-byte first character stays.
    if (bUpperFirst && !text.empty() && static_cast<unsigned char>(text[0]) < 0x80) {
        text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    }
    if (bSpaceBefore) text.insert(text.begin(), ' ');
    if (bSpaceAfter) text.push_back(' ');
    return text;
}

}  // namespace talvex
