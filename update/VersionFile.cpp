#include "update/VersionFile.h"

#include <array>
#include <charconv>
#include <limits>

#include "i18n/modStd.h"

namespace talvex {

namespace {

/// A 16-bit whole number, sign allowed, blanks around it allowed.
std::optional<std::int16_t> Integer16(std::string_view text) {
    text = modStd::TrimBlanks(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return {};
    if (value < std::numeric_limits<std::int16_t>::min() ||
        value > std::numeric_limits<std::int16_t>::max()) {
        return {};
    }
    return static_cast<std::int16_t>(value);
}

std::int64_t PartOrZero(const std::optional<std::int64_t>& part) {
    return part.value_or(0);
}

}  // namespace

std::string VersionFileText(std::string_view bytes) {
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (modStd::IsUtf8(bytes)) {
        if (bytes.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
            bytes.remove_prefix(kByteOrderMark.size());
        }
        return std::string(bytes);
    }
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            text.push_back(c);
        } else {
            text.push_back(static_cast<char>(0xC0 | (byte >> 6)));
            text.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
        }
    }
    return text;
}

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        lines.emplace_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.emplace_back(text.substr(start));
    return lines;
}

void ApplyVersionLine(const std::string& sLine, VersionInfo& info) {
    struct Key {
        std::string_view name;
        std::string VersionInfo::*value;
    };
    static constexpr std::array<Key, 4> kTextKeys{{
        {"Current Version=", &VersionInfo::sCurrentVersion},
        {"Download=", &VersionInfo::sDownload},
        {"Description=", &VersionInfo::sDescription},
        {"Message=", &VersionInfo::sMessage},
    }};
    const std::string_view line(sLine);
    for (const Key& key : kTextKeys) {
        if (line.starts_with(key.name)) {
            info.*key.value = std::string(line.substr(key.name.size()));
            return;
        }
    }
    constexpr std::string_view kError = "Error=";
    if (line.starts_with(kError)) {
        if (const auto mode = Integer16(line.substr(kError.size()))) info.iErrorMode = *mode;
    }
}

VersionInfo ParseVersionFile(std::string_view bytes) {
    VersionInfo info;
    for (const std::string& line : SplitLines(VersionFileText(bytes))) {
        ApplyVersionLine(line, info);
    }
    return info;
}

VersionParts SplitVersion(const std::string& sVersion) {
    VersionParts parts;
    const auto p1 = sVersion.find('.');
    if (p1 == std::string::npos) {
        parts.sRevision = sVersion;
        return parts;
    }
    parts.sMajor = sVersion.substr(0, p1);
    const auto p2 = sVersion.find('.', p1 + 1);
    if (p2 == std::string::npos) {
        // With a single dot the whole text is the revision, minor stays unset; such
        // a revision is no whole number, so the version cannot be read.
        parts.sRevision = sVersion;
        return parts;
    }
    parts.sMinor = sVersion.substr(p1 + 1, p2 - p1 - 1);
    parts.sRevision = sVersion.substr(p2 + 1);
    return parts;
}

std::optional<std::int64_t> WholeNumber(std::string_view sText) {
    sText = modStd::TrimBlanks(sText);
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(sText.data(), sText.data() + sText.size(), value);
    if (sText.empty() || sText.front() == '-' || error != std::errc() ||
        end != sText.data() + sText.size()) {
        return {};
    }
    return value;
}

std::optional<bool> IsNewerVersion(const VersionParts& published, const ProgramVersion& own) {
    std::optional<std::int64_t> major, minor;
    if (published.sMajor && !(major = WholeNumber(*published.sMajor))) return {};
    if (published.sMinor && !(minor = WholeNumber(*published.sMinor))) return {};
    const auto revision = WholeNumber(published.sRevision);
    if (!revision) return {};
    const std::int64_t pMajor = PartOrZero(major), pMinor = PartOrZero(minor);
    if (pMajor > own.major) return true;
    if (pMinor > own.minor && pMajor >= own.major) return true;
    return *revision > own.revision && pMajor >= own.major && pMinor >= own.minor;
}

bool NoticeShown(std::int16_t iMode, bool bVerbose, bool bNewer) {
    if (!bVerbose) return false;
    switch (iMode) {
        case 0:
        case 2:
            return bNewer;
        case 1:
            return true;
        default:
            return false;
    }
}

bool IsWebAddress(std::string_view sAddress) {
    std::size_t schemeEnd = 0;
    const auto startsWithNoCase = [sAddress](std::string_view prefix) {
        if (sAddress.size() < prefix.size()) return false;
        for (std::size_t i = 0; i < prefix.size(); ++i) {
            const char c = sAddress[i];
            const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
            if (lower != prefix[i]) return false;
        }
        return true;
    };
    if (startsWithNoCase("https://"))
        schemeEnd = 8;
    else if (startsWithNoCase("http://"))
        schemeEnd = 7;
    else
        return false;
    if (schemeEnd >= sAddress.size() || sAddress[schemeEnd] == '/' || sAddress[schemeEnd] == '?' ||
        sAddress[schemeEnd] == '#') {
        return false;
    }
    for (const char c : sAddress) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7F || c == '\\') return false;
    }
    return true;
}

}  // namespace talvex
