#pragma once
// Backslash escapes that let any text stand on one line of a "key=value" file: the
// settings file (INI) and the autostart entry (desktop entry) share them and differ only
// in the points a style names.

#include <string>
#include <string_view>

namespace talvex::platform {

struct EscapeStyle {
    /// A space is written "\s" (desktop entries); otherwise "\x20".
    bool bSpaceAsS = false;
    /// A space at the end is escaped too, not only one at the start (the INI reader
    /// trims both ends of a value; a desktop entry reader only the start).
    bool bTrailingSpace = false;
    /// Control bytes other than line feed, carriage return and tab are written "\xHH",
    /// and "\xHH" is read back as that byte.
    bool bHexBytes = false;
    /// Further characters written "\xHH", e.g. the ones that mean something in a key.
    std::string_view sAlsoHex;
};

/// The INI settings file: values, and section and key names.
inline constexpr EscapeStyle kIniValueStyle{false, true, true, ""};
inline constexpr EscapeStyle kIniNameStyle{false, true, true, "=[];#"};
/// A string value of a desktop entry.
inline constexpr EscapeStyle kDesktopEntryStyle{true, false, false, ""};

/// Writes "\\", "\n", "\r" and "\t" for backslash, line feed, carriage return and tab,
/// and what the style adds.
std::string EscapeText(std::string_view sText, const EscapeStyle& style);
/// Undoes EscapeText. A backslash that starts no sequence of the style stays as written.
std::string UnescapeText(std::string_view sText, const EscapeStyle& style);

}  // namespace talvex::platform
