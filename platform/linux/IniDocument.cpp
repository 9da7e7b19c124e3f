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
    std::string section;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view raw = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
        Line line;
        line.text = std::string(raw);
        const std::string_view trimmed = Trim(raw);
        const bool comment = trimmed.empty() || trimmed.front() == '#' || trimmed.front() == ';';
        if (!comment && trimmed.front() == '[' && trimmed.back() == ']' && trimmed.size() >= 2) {
            section = Unescape(Trim(trimmed.substr(1, trimmed.size() - 2)));
            line.isHeader = true;
        } else if (!comment && trimmed.find('=') != std::string_view::npos) {
            const auto equals = trimmed.find('=');
            line.isKey = true;
            line.key = Unescape(Trim(trimmed.substr(0, equals)));
            line.value = Unescape(Trim(trimmed.substr(equals + 1)));
        }
        line.section = section;
        const LineIt it = doc.m_lines.insert(doc.m_lines.end(), std::move(line));
        if (it->isKey) {
            doc.m_keys[{section, it->key}].push_back(it);
            doc.m_sectionEnd[section] = it;
        } else if (it->isHeader) {
            doc.m_sectionEnd.emplace(section, it);
        }
    }
    return doc;
}

std::string IniDocument::Serialize() const {
    std::string out;
    for (const Line& line : m_lines) {
        out += line.text;
        out += '\n';
    }
    return out;
}

const std::string* IniDocument::Get(const std::string& section, const std::string& key) const {
    const auto found = m_keys.find({section, key});
    if (found == m_keys.end() || found->second.empty()) return nullptr;
    return &found->second.back()->value;
}

void IniDocument::Set(const std::string& section, const std::string& key,
                      const std::string& value) {
    const auto found = m_keys.find({section, key});
    if (found != m_keys.end() && !found->second.empty()) {
        Line& line = *found->second.back();
        // An unchanged value keeps the line as the user wrote it.
        if (line.value == value) return;
        line.value = value;
        line.text = Escape(key, true) + "=" + Escape(value, false);
        return;
    }
    Line line;
    line.text = Escape(key, true) + "=" + Escape(value, false);
    line.section = section;
    line.isKey = true;
    line.key = key;
    line.value = value;
    m_keys[{section, key}].push_back(InsertKeyLine(section, std::move(line)));
}

IniDocument::LineIt IniDocument::InsertKeyLine(const std::string& section, Line line) {
    auto end = m_sectionEnd.find(section);
    if (end == m_sectionEnd.end()) {
        if (section.empty()) {
            // Keys before the first header: at the very top.
            const LineIt it = m_lines.insert(m_lines.begin(), std::move(line));
            m_sectionEnd[section] = it;
            return it;
        }
        if (!m_lines.empty() && !Trim(m_lines.back().text).empty()) {
            Line blank;
            blank.section = m_lines.back().section;
            m_lines.push_back(std::move(blank));
        }
        Line header;
        header.text = "[" + Escape(section, true) + "]";
        header.section = section;
        header.isHeader = true;
        end = m_sectionEnd.emplace(section, m_lines.insert(m_lines.end(), std::move(header))).first;
    }
    const LineIt it = m_lines.insert(std::next(end->second), std::move(line));
    end->second = it;
    return it;
}

void IniDocument::Erase(const std::string& section, const std::string& key) {
    const auto found = m_keys.find({section, key});
    if (found == m_keys.end()) return;
    for (const LineIt it : found->second) {
        const auto end = m_sectionEnd.find(section);
        if (end != m_sectionEnd.end() && end->second == it) {
            // The line before belongs to the same section (its header at the latest).
            if (it == m_lines.begin()) {
                m_sectionEnd.erase(end);
            } else {
                end->second = std::prev(it);
            }
        }
        m_lines.erase(it);
    }
    m_keys.erase(found);
}

}  // namespace talvex::platform
