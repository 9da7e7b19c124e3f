#pragma once
// UTF-8 helpers the Linux backend shares.
#include <cstddef>
#include <string>

namespace talvex::platform {

/// Cuts text to at most `bytes` bytes without splitting a UTF-8 character.
inline std::string CutUtf8(std::string text, std::size_t bytes) {
    if (text.size() <= bytes) return text;
    std::size_t end = bytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    text.resize(end);
    return text;
}

}  // namespace talvex::platform
