#include "platform/linux/IniDocument.h"

namespace talvex::platform {

namespace {

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

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

bool NeedsHex(unsigned char c, bool atEdge, bool isName) {
    if (c < 0x20 || c == 0x7F) return true;
    if (c == ' ' && atEdge) return true;
    return isName && (c == '=' || c == '[' || c == ']' || c == ';' || c == '#');
}

}  // namespace

std::string IniDocument::Escape(std::string_view text, bool isName) {
    std::string out;
    out.reserve(text.size() + 8);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const bool atEdge = i == 0 || i + 1 == text.size();
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (NeedsHex(c, atEdge, isName)) {
                    AppendHex(out, c);
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out;
}

std::string IniDocument::Unescape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char next = text[i + 1];
        if (next == '\\' || next == 'n' || next == 'r' || next == 't') {
            out += next == '\\' ? '\\' : next == 'n' ? '\n' : next == 'r' ? '\r' : '\t';
            ++i;
        } else if (next == 'x' && i + 3 < text.size() && HexDigit(text[i + 2]) >= 0 &&
                   HexDigit(text[i + 3]) >= 0) {
            out += static_cast<char>(HexDigit(text[i + 2]) * 16 + HexDigit(text[i + 3]));
            i += 3;
        } else {
            out += text[i];  // an unknown sequence stays as it was written
        }
    }
    return out;
}

IniDocument IniDocument::Parse(std::string_view text) {
    IniDocument doc;
    Section* current = &doc.m_sections[""];
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        line = Trim(line);
        if (line.empty() || line.front() == '#' || line.front() == ';') continue;
        if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
            current = &doc.m_sections[Unescape(Trim(line.substr(1, line.size() - 2)))];
            continue;
        }
        const auto equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        (*current)[Unescape(Trim(line.substr(0, equals)))] =
            Unescape(Trim(line.substr(equals + 1)));
    }
    if (doc.m_sections[""].empty()) doc.m_sections.erase("");
    return doc;
}

std::string IniDocument::Serialize() const {
    std::string out;
    for (const auto& [name, section] : m_sections) {
        if (section.empty()) continue;
        if (!name.empty()) {
            if (!out.empty()) out += '\n';
            out += "[" + Escape(name, true) + "]\n";
        }
        for (const auto& [key, value] : section) {
            out += Escape(key, true) + "=" + Escape(value, false) + "\n";
        }
    }
    return out;
}

const IniDocument::Section* IniDocument::Find(const std::string& name) const {
    const auto found = m_sections.find(name);
    return found == m_sections.end() ? nullptr : &found->second;
}

}  // namespace talvex::platform
