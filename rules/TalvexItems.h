#pragma once
// The ordered rule list. Searches return the first rule whose name occurs, without
// regard to case, in the given executable path or name.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "rules/TalvexItem.h"

namespace talvex {

class TalvexItems {
  public:
    /// Indexes are 16-bit, so the list never holds more rules than this.
    static constexpr std::size_t kMaxRules = 32767;

    /// `globalLevel` is read when a rule is added with level -1.
    explicit TalvexItems(const std::int16_t& globalLevel) : m_globalLevel(globalLevel) {}

    /// Index of the first rule matching sItem; -1 when none does.
    std::int16_t fFindInTalvexItems(std::string_view sItem) const;
    /// Index of the first never-boost rule matching sItem; -1 when none does.
    std::int16_t fFindInBlockedItems(std::string_view sItem) const;
    /// Appends a rule and returns its index. Level -1 takes the global level of this
    /// moment. A name of three characters or fewer, or a full list, adds nothing and
    /// returns the number of rules, which is no valid index.
    std::int32_t fAddToTalvexItems(std::string_view sItem, std::int16_t iBoostLevel,
                                   bool bNeverBoost, bool bNoBkgObservation,
                                   bool bNoHangUpObservation, bool bNoHangUpObservationMsg);
    /// Removes the first rule matching sItem by moving the last rule into its place.
    bool fDeleteFromTalvexItems(std::string_view sItem);

    std::size_t Count() const { return m_items.size(); }
    const TalvexItem& operator[](std::size_t index) const { return m_items.at(index); }
    /// Write access to one rule. Any change through it counts as a change of the list.
    TalvexItem& Edit(std::size_t index);
    void Clear();

    /// Grows on every change of the list, so callers can tell a cached answer is stale.
    std::uint64_t Generation() const { return m_generation; }

    /// Lower-cases ASCII letters; bytes of other characters stay as they are, so UTF-8
    /// text is never damaged.
    static std::string ToLower(std::string_view text);

    /// Same searches with a text already lower-cased by ToLower, for callers that
    /// look up one path in several ways.
    std::int16_t FindLower(std::string_view lowerItem, bool neverBoostOnly) const;

  private:
    void RefreshLowerNames() const;

    const std::int16_t& m_globalLevel;
    std::vector<TalvexItem> m_items;
    std::uint64_t m_generation = 0;
    // Lower-case names, rebuilt lazily when the list changed since the last search.
    mutable std::vector<std::string> m_lowerNames;
    mutable std::uint64_t m_lowerGeneration = ~std::uint64_t{0};
};

}  // namespace talvex
