#include "rules/TalvexItems.h"

namespace talvex {

std::string TalvexItems::ToLower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

void TalvexItems::RefreshLowerNames() const {
    if (m_lowerGeneration == m_generation) return;
    m_lowerNames.clear();
    m_lowerNames.reserve(m_items.size());
    for (const auto& item : m_items) m_lowerNames.push_back(ToLower(item.sItem));
    m_lowerGeneration = m_generation;
}

std::int16_t TalvexItems::FindLower(std::string_view lowerItem, bool neverBoostOnly) const {
    if (lowerItem.empty()) return -1;
    RefreshLowerNames();
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        if (neverBoostOnly && !m_items[i].bNeverBoost) continue;
        if (lowerItem.find(m_lowerNames[i]) != std::string_view::npos) {
            return static_cast<std::int16_t>(i);
        }
    }
    return -1;
}

std::int16_t TalvexItems::fFindInTalvexItems(std::string_view sItem) const {
    return FindLower(ToLower(sItem), false);
}

std::int16_t TalvexItems::fFindInBlockedItems(std::string_view sItem) const {
    return FindLower(ToLower(sItem), true);
}

std::int32_t TalvexItems::fAddToTalvexItems(std::string_view sItem, std::int16_t iBoostLevel,
                                            bool bNeverBoost, bool bNoBkgObservation,
                                            bool bNoHangUpObservation,
                                            bool bNoHangUpObservationMsg) {
    if (iBoostLevel == -1) iBoostLevel = m_globalLevel;
    // The list is indexed by 16-bit numbers; a rule beyond that could never be found.
    if (sItem.size() <= 3 || m_items.size() >= kMaxRules) {
        return static_cast<std::int32_t>(m_items.size());
    }
    m_items.push_back(TalvexItem{iBoostLevel, bNeverBoost, bNoBkgObservation, bNoHangUpObservation,
                                 bNoHangUpObservationMsg, std::string(sItem)});
    ++m_generation;
    return static_cast<std::int32_t>(m_items.size() - 1);
}

bool TalvexItems::fDeleteFromTalvexItems(std::string_view sItem) {
    const std::int16_t found = fFindInTalvexItems(sItem);
    if (found < 0) return false;
    const auto index = static_cast<std::size_t>(found);
    if (index + 1 != m_items.size()) m_items[index] = m_items.back();
    m_items.pop_back();
    ++m_generation;
    return true;
}

TalvexItem& TalvexItems::Edit(std::size_t index) {
    TalvexItem& item = m_items.at(index);
    ++m_generation;
    return item;
}

void TalvexItems::Clear() {
    m_items.clear();
    ++m_generation;
}

}  // namespace talvex
