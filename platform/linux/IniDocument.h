#pragma once
// The text of an INI file: "[section]" headers and "key=value" lines. Keys, values and
// section names are escaped (TextEscapes.h) so that any text, line breaks and all,
// survives a write and a read: "\\", "\n", "\r", "\t" and "\xHH" for other control
// bytes, for a space at either end and, in names, for "=", "[", "]", ";" and "#". Lines
// that start with "#" or ";" are comments; they are not kept.

#include <map>
#include <string>
#include <string_view>

namespace talvex::platform {

class IniDocument {
  public:
    using Section = std::map<std::string, std::string>;

    static IniDocument Parse(std::string_view text);
    std::string Serialize() const;

    /// The section, created when missing.
    Section& operator[](const std::string& name) { return m_sections[name]; }
    /// The section, or null when there is none.
    const Section* Find(const std::string& name) const;

  private:
    std::map<std::string, Section> m_sections;
};

}  // namespace talvex::platform
