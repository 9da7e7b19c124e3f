#pragma once
// The text of an INI file: "[section]" headers and "key=value" lines. Keys, values and
// section names are escaped (TextEscapes.h) so that any text, line breaks and all, survives a write
// and a read: "\\", "\n", "\r", "\t" and "\xHH" for other control bytes, for a space at either end
// and, in names, for "=", "[", "]", ";" and "#". Lines that start with "#" or ";" are comments.
//
// The file belongs to the user as much as to the program: every line the program does
// not change (comments, blank lines, keys it does not know, other sections, lines it
// cannot read) is written back exactly as it stood, in its place. A changed key keeps
// its line; a new key goes after the last key of its section; a new section goes at the
// end.

#include <list>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace talvex::platform {

class IniDocument {
  public:
    IniDocument() = default;
    // The key index points into the lines: a document moves, it is never copied.
    IniDocument(const IniDocument&) = delete;
    IniDocument& operator=(const IniDocument&) = delete;
    IniDocument(IniDocument&&) = default;
    IniDocument& operator=(IniDocument&&) = default;

    static IniDocument Parse(std::string_view text);
    std::string Serialize() const;

    /// The value of the key in the section; null when there is none. When a key stands
    /// in a section more than once, the last line counts.
    const std::string* Get(const std::string& section, const std::string& key) const;
    /// Sets the key's value: in the key's own (last) line, or in a new line.
    void Set(const std::string& section, const std::string& key, const std::string& value);
    /// Removes every line of the key in the section.
    void Erase(const std::string& section, const std::string& key);

  private:
    struct Line {
        std::string text;     // as it stands in the file (or as made for a new value)
        std::string section;  // the section the line belongs to
        bool isKey = false;
        bool isHeader = false;
        std::string key;  // unescaped, for key lines
        std::string value;
    };
    using LineIt = std::list<Line>::iterator;
    using KeyRef = std::pair<std::string, std::string>;  // section, key

    LineIt InsertKeyLine(const std::string& section, Line line);

    std::list<Line> m_lines;
    // The lines of each key, in file order; the last one counts.
    std::map<KeyRef, std::vector<LineIt>> m_keys;
    // Where a new key of a section goes after: its last key line, else its header.
    std::map<std::string, LineIt> m_sectionEnd;
};

}  // namespace talvex::platform
