// The version file as the update server sends it: any bytes, from anybody on the way.
#include <cstdint>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "update/VersionFile.h"

using namespace talvex;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes = fuzz::AsText(data, size);
    const std::string text = VersionFileText(bytes);
    // What the conversion gives is UTF-8, so a second one leaves it as it is (but for a
    // byte-order mark that stood there twice: only the first one is dropped each time).
    FUZZ_CHECK(fuzz::IsValidUtf8(text));
    std::string_view again = text;
    if (again.starts_with("\xEF\xBB\xBF")) again.remove_prefix(3);
    FUZZ_CHECK(VersionFileText(text) == again);
    for (const std::string& line : SplitLines(text)) {
        FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos);
    }

    const VersionInfo info = ParseVersionFile(bytes);
    const VersionParts parts = SplitVersion(info.sCurrentVersion);
    const auto newer = IsNewerVersion(parts, ProgramVersion{1, 1, 0});
    // A version the check cannot read is never offered, whatever the own version is.
    if (!newer) FUZZ_CHECK(!IsNewerVersion(parts, ProgramVersion{0, 0, 0}));
    for (std::int16_t mode : {info.iErrorMode, std::int16_t{0}, std::int16_t{1}}) {
        NoticeShown(mode, true, newer.value_or(false));
    }
    // Only an http(s) address without blanks or control bytes reaches the shell.
    if (IsWebAddress(info.sDownload)) {
        const std::string_view address = info.sDownload;
        std::string scheme(address.substr(0, 8));
        for (char& c : scheme) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        FUZZ_CHECK(scheme.starts_with("http://") || scheme == "https://");
        for (const char c : address) {
            const auto byte = static_cast<unsigned char>(c);
            FUZZ_CHECK(byte > 0x20 && byte != 0x7F && c != '\\');
        }
    }
    return 0;
}
