#pragma once
// How stored texts become numbers and Booleans, and back. Every reader answers nullopt
// for a text that does not convert, so the caller can fall back to the key's default.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace talvex {

/// A decimal integer with optional spaces around it and an optional sign.
std::optional<std::int64_t> ParseStoredInteger(std::string_view sText);
/// The same, within the 16-bit range.
std::optional<std::int16_t> ParseStoredInt16(std::string_view sText);
/// The same, within the 32-bit range.
std::optional<std::int32_t> ParseStoredInt32(std::string_view sText);
/// True or False in any letter case, or a number (0 is false, any other number true).
std::optional<bool> ParseStoredBool(std::string_view sText);
/// A window coordinate in twips: a finite decimal number ("." or "," before the
/// fraction), rounded to whole twips within the 32-bit range.
std::optional<std::int32_t> ParseStoredTwips(std::string_view sText);

/// "True" or "False".
std::string StoredBoolText(bool bValue);

}  // namespace talvex
