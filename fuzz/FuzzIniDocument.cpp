// The settings file, which the user may edit by hand: any text is read, and whatever a
// section, key or value holds survives a write and a read.
#include <cstdint>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "platform/linux/IniDocument.h"
#include "platform/linux/TextEscapes.h"

using namespace talvex;
using platform::IniDocument;

namespace {

// The input cut at its first two NUL bytes: section, key and value.
void CheckEntrySurvives(std::string_view input) {
    const auto first = input.find('\0');
    const auto second = first == std::string_view::npos ? first : input.find('\0', first + 1);
    if (second == std::string_view::npos) return;
    const std::string section(input.substr(0, first));
    const std::string key(input.substr(first + 1, second - first - 1));
    const std::string value(input.substr(second + 1));
    // Set in an empty document and in the document the input itself makes.
    const auto check = [&](IniDocument doc) {
        doc.Set(section, key, value);
        const IniDocument read = IniDocument::Parse(doc.Serialize());
        const std::string* found = read.Get(section, key);
        FUZZ_CHECK(found != nullptr);
        FUZZ_CHECK(*found == value);
    };
    check(IniDocument());
    check(IniDocument::Parse(input));
}

void CheckEscapes(std::string_view text) {
    for (const platform::EscapeStyle& style :
         {platform::kIniValueStyle, platform::kIniNameStyle, platform::kDesktopEntryStyle}) {
        const std::string escaped = platform::EscapeText(text, style);
        FUZZ_CHECK(escaped.find_first_of("\r\n") == std::string::npos);
        FUZZ_CHECK(platform::UnescapeText(escaped, style) == text);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input = fuzz::AsText(data, size);
    // Whatever was read is written so that it reads back the same.
    const std::string once = IniDocument::Parse(input).Serialize();
    FUZZ_CHECK(IniDocument::Parse(once).Serialize() == once);
    CheckEntrySurvives(input);
    CheckEscapes(input);
    return 0;
}
