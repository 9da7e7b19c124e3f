// The autostart entry, which the user or the desktop may edit: any text is read, and the
// entry Talvex writes for any program path reads back as that path.
#include <cstdint>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "platform/linux/LinuxAutostart.h"

using namespace talvex;
using platform::LinuxAutostart;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(fuzz::AsText(data, size));
    LinuxAutostart::ProgramOfEntry(text);
    if (!text.empty()) {
        const std::string entry = LinuxAutostart::DesktopEntryText("Talvex", text);
        FUZZ_CHECK(LinuxAutostart::ProgramOfEntry(entry) == text);
    }
    return 0;
}
