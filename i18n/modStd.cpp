#include "i18n/modStd.h"

#include <cstdint>
#include <limits>

#include "base/TalvexError.h"

namespace talvex::modStd {

namespace {

// Length of the UTF-8 sequence at `pos`, or 0 when the bytes there are not valid UTF-8
// (stray continuation bytes, overlong forms, surrogates, code points above U+10FFFF).
std::size_t Utf8SequenceLength(std::string_view text, std::size_t pos) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(pos);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    std::uint32_t code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, code = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, code = lead & 0x07u;
    } else {
        return 0;
    }
    if (pos + length > text.size()) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(pos + i) & 0xC0u) != 0x80u) return 0;
        code = (code << 6) | (byte(pos + i) & 0x3Fu);
    }
    const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return (overlong || surrogate || code > 0x10FFFF) ? 0 : length;
}

}  // namespace

bool IsUtf8(std::string_view text) {
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t length = Utf8SequenceLength(text, pos);
        if (length == 0) return false;
        pos += length;
    }
    return true;
}

std::string BarsToLineBreaks(std::string& sText) {
    std::string out;
    out.reserve(sText.size() + 8);
    for (char c : sText) {
        if (c == '|') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    sText = out;
    return sText;
}

void Increment(std::int32_t& lValue) {
    if (lValue == std::numeric_limits<std::int32_t>::max()) throw TalvexError(kErrOverflow);
    ++lValue;
}

void Decrement(std::int32_t& lValue) {
    if (lValue == std::numeric_limits<std::int32_t>::min()) throw TalvexError(kErrOverflow);
    --lValue;
}

std::string AppendText(std::string& sText, std::string_view sMore) {
    sText.append(sMore);
    return sText;
}

std::string_view TrimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

}  // namespace talvex::modStd
