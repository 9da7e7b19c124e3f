#pragma once
// File paths from and to the program's UTF-8 text. A path made from a plain
// std::string is read in the system's code page on Windows, which garbles every
// character outside it; going through char8_t keeps UTF-8 on every system.

#include <filesystem>
#include <string>
#include <string_view>

namespace talvex {

inline std::filesystem::path Utf8ToPath(std::string_view sText) {
    return std::filesystem::path(std::u8string(sText.begin(), sText.end()));
}

inline std::string PathToUtf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace talvex
