#include "platform/linux/TextEscapes.h"

namespace talvex::platform {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void AppendHex(std::string& out, unsigned char c) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    out += "\\x";
    out += kDigits[c >> 4];
    out += kDigits[c & 0x0F];
}

// The escape of one character that needs one, or nothing.
bool AppendEscape(std::string& out, unsigned char c, bool bAtStart, bool bAtEnd,
                  const EscapeStyle& style) {
    switch (c) {
        case '\\':
            out += "\\\\";
            return true;
        case '\n':
            out += "\\n";
            return true;
        case '\r':
            out += "\\r";
            return true;
        case '\t':
            out += "\\t";
            return true;
        case ' ':
            if (!bAtStart && !(bAtEnd && style.bTrailingSpace)) return false;
            if (style.bSpaceAsS) {
                out += "\\s";
            } else {
                AppendHex(out, c);
            }
            return true;
        default:
            break;
    }
    const bool control = c < 0x20 || c == 0x7F;
    if ((control && style.bHexBytes) ||
        style.sAlsoHex.find(static_cast<char>(c)) != std::string_view::npos) {
        AppendHex(out, c);
        return true;
    }
    return false;
}

}  // namespace

std::string EscapeText(std::string_view sText, const EscapeStyle& style) {
    std::string out;
    out.reserve(sText.size() + 8);
    for (std::size_t i = 0; i < sText.size(); ++i) {
        const auto c = static_cast<unsigned char>(sText[i]);
        if (!AppendEscape(out, c, i == 0, i + 1 == sText.size(), style)) out += sText[i];
    }
    return out;
}

std::string UnescapeText(std::string_view sText, const EscapeStyle& style) {
    std::string out;
    out.reserve(sText.size());
    for (std::size_t i = 0; i < sText.size(); ++i) {
        const char next = i + 1 < sText.size() ? sText[i + 1] : '\0';
        if (sText[i] != '\\' || i + 1 == sText.size()) {
            out += sText[i];
        } else if (next == '\\' || next == 'n' || next == 'r' || next == 't') {
            out += next == '\\' ? '\\' : next == 'n' ? '\n' : next == 'r' ? '\r' : '\t';
            ++i;
        } else if (next == 's' && style.bSpaceAsS) {
            out += ' ';
            ++i;
        } else if (next == 'x' && style.bHexBytes && i + 3 < sText.size() &&
                   HexDigit(sText[i + 2]) >= 0 && HexDigit(sText[i + 3]) >= 0) {
            out += static_cast<char>(HexDigit(sText[i + 2]) * 16 + HexDigit(sText[i + 3]));
            i += 3;
        } else {
            out += sText[i];  // an unknown sequence stays as it was written
        }
    }
    return out;
}

}  // namespace talvex::platform
