#pragma once
// The version file on the update server: its lines and keys, the published version
// and how it compares with the program's own, and when its notice is shown.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talvex {

/// What one version file says. Keys that never occur leave their value empty.
struct VersionInfo {
    std::string sCurrentVersion;  // "Current Version="
    std::string sDownload;        // "Download="
    std::string sDescription;     // "Description=", read and not used
    std::string sMessage;         // "Message=", the notice
    std::int16_t iErrorMode = 0;  // "Error=", when the notice is shown
};

/// A version's three numbers.
struct ProgramVersion {
    std::int64_t major = 0;
    std::int64_t minor = 0;
    std::int64_t revision = 0;
};

/// A published version cut at its dots, each part as it stands in the file.
struct VersionParts {
    std::optional<std::string> sMajor;  // unset when the version has no dot
    std::optional<std::string> sMinor;  // unset when it has no second dot
    std::string sRevision;              // after the second dot, else the whole text
};

/// The file's bytes as UTF-8 text: valid UTF-8 stays (a leading byte-order mark is
/// dropped); anything else was written in a single-byte code page and is read as Latin-1.
std::string VersionFileText(std::string_view bytes);
/// Cuts text into lines. CR LF, CR alone and LF alone each end a line; a last line
/// without an end counts too.
std::vector<std::string> SplitLines(std::string_view text);
/// Takes one line into info when it starts with a key (exact case, no blanks in front).
/// The last occurrence of a key wins; an "Error=" value that is no 16-bit whole
/// number leaves the mode as it was.
void ApplyVersionLine(const std::string& sLine, VersionInfo& info);
/// Every line of the file's bytes applied in order.
VersionInfo ParseVersionFile(std::string_view bytes);

/// Splits at the first and the next dot.
VersionParts SplitVersion(const std::string& sVersion);
/// A whole number, blanks around it allowed; nothing for anything else.
std::optional<std::int64_t> WholeNumber(std::string_view sText);
/// Whether the published version is newer than own, part by part (an unset part
/// counts as 0). Nothing when a part is not a whole number: such a version cannot be
/// read, so nobody is asked to update to it.
std::optional<bool> IsNewerVersion(const VersionParts& published, const ProgramVersion& own);
/// Whether a notice of this mode is shown by a check of this form.
bool NoticeShown(std::int16_t iMode, bool bVerbose, bool bNewer);
/// An http:// or https:// address with a host and without blanks or control
/// characters: the only kind of download address Talvex hands to the shell.
bool IsWebAddress(std::string_view sAddress);

}  // namespace talvex
