#pragma once
// Text at the API boundary: the program's UTF-8 to the UTF-16 of the W functions and
// back. Invalid UTF-8 turns into U+FFFD rather than failing.

#include <string>
#include <string_view>

namespace talvex::platform::win32 {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

}  // namespace talvex::platform::win32
