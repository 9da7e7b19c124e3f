#pragma once
// The table of translated texts, looked up by text id, and Lang, which never fails.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "i18n/TextIds.h"

namespace talvex {

class StringTable {
  public:
    /// Marks an id whose text is present and empty (a one-character string holding NUL).
    static const std::string kEmptyTextMarker;

    /// Resets the table to exactly one element, id 0, holding no text.
    void ClearStringTable();
    /// Stores a text under an id, growing the table so that its upper bound becomes
    /// id + 1. An empty text is stored as the empty-text marker. Negative ids are ignored.
    void Store(std::int16_t iId, std::string_view sText);
    /// Number of elements; 0 before the first load.
    std::size_t Size() const { return m_entries.size(); }
    /// Raw entry (empty when out of range), as the loader left it.
    std::string Entry(std::int16_t iId) const;

    /// Text for an id with optional spacing and first-letter capital; otherwise
    /// sDefault, or "Translation Error!" when sDefault is empty.
    std::string Lang(std::int16_t iId, bool bSpaceBefore = false, bool bSpaceAfter = false,
                     bool bUpperFirst = false, std::string_view sDefault = {}) const;
    /// The named text, with the default the table of text ids gives it.
    std::string Lang(TextId id, bool bSpaceBefore = false, bool bSpaceAfter = false,
                     bool bUpperFirst = false) const {
        return Lang(TextNumber(id), bSpaceBefore, bSpaceAfter, bUpperFirst, DefaultText(id));
    }
    /// The named text with the caller's own default: a caption that keeps what it shows
    /// when the language has no text for it.
    std::string Lang(TextId id, bool bSpaceBefore, bool bSpaceAfter, bool bUpperFirst,
                     std::string_view sDefault) const {
        return Lang(TextNumber(id), bSpaceBefore, bSpaceAfter, bUpperFirst, sDefault);
    }

  private:
    std::vector<std::string> m_entries;
};

}  // namespace talvex
