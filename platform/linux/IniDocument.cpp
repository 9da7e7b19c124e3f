#include "platform/linux/IniDocument.h"

#include "platform/linux/TextEscapes.h"

namespace talvex::platform {

namespace {

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

}  // namespace

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
            current =
                &doc.m_sections[UnescapeText(Trim(line.substr(1, line.size() - 2)), kIniNameStyle)];
            continue;
        }
        const auto equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        (*current)[UnescapeText(Trim(line.substr(0, equals)), kIniNameStyle)] =
            UnescapeText(Trim(line.substr(equals + 1)), kIniValueStyle);
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
            out += "[" + EscapeText(name, kIniNameStyle) + "]\n";
        }
        for (const auto& [key, value] : section) {
            out += EscapeText(key, kIniNameStyle) + "=" + EscapeText(value, kIniValueStyle) + "\n";
        }
    }
    return out;
}

const IniDocument::Section* IniDocument::Find(const std::string& name) const {
    const auto found = m_sections.find(name);
    return found == m_sections.end() ? nullptr : &found->second;
}

}  // namespace talvex::platform
