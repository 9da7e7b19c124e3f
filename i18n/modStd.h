#pragma once
// Small text and number helpers shared by several modules.

#include <cstdint>
#include <string>
#include <string_view>

namespace talvex::modStd {

/// Replaces every "|" by CR LF, in place, and returns the new text.
std::string BarsToLineBreaks(std::string& sText);
/// Adds 1; at the top of the 32-bit range it throws error 6 and leaves the value.
void Increment(std::int32_t& lValue);
/// Subtracts 1; at the bottom of the 32-bit range it throws error 6 and leaves the value.
void Decrement(std::int32_t& lValue);
/// Appends sMore to sText and returns a copy of the result.
std::string AppendText(std::string& sText, std::string_view sMore);
/// Whether text is valid UTF-8: no stray continuation bytes, overlong forms, surrogates
/// or code points above U+10FFFF.
bool IsUtf8(std::string_view text);
/// The text without the spaces and tabs around it.
std::string_view TrimBlanks(std::string_view text);

}  // namespace talvex::modStd
