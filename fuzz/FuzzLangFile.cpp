// Language files, which translators and users edit by hand: any bytes load without an
// error, into a table whose every id answers with UTF-8 text.
#include <cstdint>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "i18n/StringTable.h"
#include "i18n/modLang.h"

using namespace talvex;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::StopOnSwallowedErrors();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    StringTable table;
    modLang::LoadLanguageText(table, fuzz::AsText(data, size));
    FUZZ_CHECK(table.Size() >= 1 && table.Size() <= 32768);
    // Ids are looked at in steps, so that a table of 32767 entries does not slow the run.
    const std::size_t step = table.Size() / 64 + 1;
    for (std::size_t id = 0; id < table.Size(); id += step) {
        const std::string text = table.Lang(static_cast<std::int16_t>(id), true, true, true, "-");
        FUZZ_CHECK(!text.empty() && fuzz::IsValidUtf8(text));
    }
    return 0;
}
