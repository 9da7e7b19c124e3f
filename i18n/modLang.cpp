#include "i18n/modLang.h"

#include <array>
#include <cstdint>
#include <fstream>
#include <optional>
#include <system_error>

#include "base/RunQuietly.h"
#include "i18n/modStd.h"

#ifndef TALVEX_LANG_DATADIR
#define TALVEX_LANG_DATADIR "/usr/local/share/talvex/lang"
#endif

namespace talvex::modLang {

namespace {

// A language file is a few kilobytes; a larger file is no language file.
constexpr std::uintmax_t kMaxFileBytes = 1024 * 1024;
// The table's upper bound becomes id + 1, which must stay a 16-bit id.
constexpr int kHighestStoredId = 32766;

std::string ReadWholeFile(const std::filesystem::path& file) {
    // Only a regular file of a sensible size is opened at all: opening a pipe waits for
    // a writer, and a device (a link to /dev/zero) never ends.
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error) ||
        std::filesystem::file_size(file, error) > kMaxFileBytes || error) {
        return {};
    }
    std::ifstream in(file, std::ios::binary);
    if (!in.is_open()) return {};
    std::string contents;
    std::array<char, 8192> buffer{};
    while (in && contents.size() <= kMaxFileBytes) {
        in.read(buffer.data(), buffer.size());
        contents.append(buffer.data(), static_cast<std::size_t>(in.gcount()));
    }
    return contents.size() <= kMaxFileBytes ? contents : std::string();
}

void AppendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// Files written by older versions use the Windows 8-bit code page; its bytes 0x80 to
// 0x9F differ from Latin-1 (the undefined ones keep their own value).
std::string Windows1252ToUtf8(std::string_view text) {
    static constexpr std::array<std::uint16_t, 32> kHigh = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        AppendUtf8(out, (byte >= 0x80 && byte < 0xA0) ? kHigh[byte - 0x80] : byte);
    }
    return out;
}

// The id of an entry line: a decimal number in the signed 16-bit range, blanks around
// it allowed. Anything else is no id at all.
std::optional<int> ParseId(std::string_view part) {
    part = modStd::TrimBlanks(part);
    bool negative = false;
    if (!part.empty() && (part.front() == '+' || part.front() == '-')) {
        negative = part.front() == '-';
        part.remove_prefix(1);
    }
    if (part.empty()) return std::nullopt;
    int value = 0;
    for (char c : part) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > 32768) return std::nullopt;
    }
    value = negative ? -value : value;
    if (value > 32767) return std::nullopt;
    return value;
}

void LoadLine(StringTable& table, std::string_view line) {
    // Comments, empty lines, lines without "=" and the translator line add nothing.
    if (line.empty() || line.front() == '#') return;
    const auto equals = line.find('=');
    if (equals == std::string_view::npos) return;
    const std::optional<int> id = ParseId(line.substr(0, equals));
    if (!id || *id < 0 || *id > kHighestStoredId) return;
    std::string text(line.substr(equals + 1));
    if (!text.empty()) modStd::BarsToLineBreaks(text);
    table.Store(static_cast<std::int16_t>(*id), text);  // an empty text becomes the marker
}

}  // namespace

std::string LanguageFileName(std::string_view sLanguage) {
    if (sLanguage == "DE") return "Deutsch.lng";
    if (sLanguage == "FR") return "Francais.lng";
    return "English.lng";
}

std::filesystem::path InstalledLanguageFolder() {
    return TALVEX_LANG_DATADIR;
}

std::filesystem::path FindLanguageFile(std::string_view sFileName,
                                       const std::filesystem::path& programFolder,
                                       const std::filesystem::path& dataFolder) {
    std::error_code error;
    if (!programFolder.empty()) {
        // Beside the program; then where an installation moved to another prefix keeps
        // them (bin/../share/talvex/lang), which the built-in data folder cannot know.
        for (const std::filesystem::path& folder :
             {programFolder, programFolder / ".." / "share" / "talvex" / "lang"}) {
            const std::filesystem::path file = folder / sFileName;
            if (std::filesystem::is_regular_file(file, error)) return file;
        }
    }
    // No folder at all must not mean the current working folder.
    if (dataFolder.empty()) return {};
    return dataFolder / sFileName;
}

void LoadLanguageText(StringTable& table, std::string_view sContents) {
    table.ClearStringTable();
    RunQuietly("LoadLanguageText", [&] {
        constexpr std::string_view kBom = "\xEF\xBB\xBF";
        if (sContents.substr(0, kBom.size()) == kBom) sContents.remove_prefix(kBom.size());
        std::string converted;
        if (!modStd::IsUtf8(sContents)) {
            converted = Windows1252ToUtf8(sContents);
            sContents = converted;
        }
        std::size_t start = 0;
        while (start < sContents.size()) {
            std::size_t end = sContents.find_first_of("\r\n", start);
            if (end == std::string_view::npos) end = sContents.size();
            LoadLine(table, sContents.substr(start, end - start));
            // CR LF is one line end; a lone CR or a lone LF is one too.
            start = end + 1;
            if (end < sContents.size() && sContents[end] == '\r' && start < sContents.size() &&
                sContents[start] == '\n') {
                ++start;
            }
        }
    });
}

void LoadLanguageFile(StringTable& table, const std::filesystem::path& sFile) {
    table.ClearStringTable();
    std::string contents;
    // An unreadable file is read as an empty one.
    RunQuietly("LoadLanguageFile", [&] { contents = ReadWholeFile(sFile); });
    LoadLanguageText(table, contents);
}

}  // namespace talvex::modLang
