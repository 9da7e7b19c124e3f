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
    std::string section;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view raw = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        // Line ends are written as "\n": a "\r" before one is dropped, all of them, so
        // that a line reads the same after any number of saves.
        while (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
        Line line;
        line.text = std::string(raw);
        const std::string_view trimmed = Trim(raw);
        const bool comment = trimmed.empty() || trimmed.front() == '#' || trimmed.front() == ';';
        if (!comment && trimmed.front() == '[' && trimmed.back() == ']' && trimmed.size() >= 2) {
            section = UnescapeText(Trim(trimmed.substr(1, trimmed.size() - 2)), kIniNameStyle);
            line.isHeader = true;
        } else if (!comment && trimmed.find('=') != std::string_view::npos) {
            const auto equals = trimmed.find('=');
            line.isKey = true;
            line.key = UnescapeText(Trim(trimmed.substr(0, equals)), kIniNameStyle);
            line.value = UnescapeText(Trim(trimmed.substr(equals + 1)), kIniValueStyle);
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
        line.text = EscapeText(key, kIniNameStyle) + "=" + EscapeText(value, kIniValueStyle);
        return;
    }
    Line line;
    line.text = EscapeText(key, kIniNameStyle) + "=" + EscapeText(value, kIniValueStyle);
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
        header.text = "[" + EscapeText(section, kIniNameStyle) + "]";
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
