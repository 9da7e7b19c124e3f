// /proc/PID/stat and /proc/PID/status: the command name in them is chosen by whoever
// started the process, spaces, parentheses and line breaks included.
#include <cstdint>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "platform/linux/ProcStat.h"

using namespace talvex;
using namespace talvex::platform::linux_proc;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = fuzz::AsText(data, size);
    if (const auto stat = ParseProcStat(text)) {
        IsKernelThread(*stat);
        HasEnded(*stat);
    }
    ParseStatusUids(text);

    // Whatever the command name holds, the fields after it read the same.
    const std::string line = "4242 (" + std::string(text) +
                             ") S 1 4242 77 0 -1 4194560 10 0 0 0 123 45 0 0 20 -5 1 0 "
                             "987654 1000 200 18446744073709551615\n";
    const auto stat = ParseProcStat(line);
    FUZZ_CHECK(stat.has_value());
    FUZZ_CHECK(stat->state == 'S' && stat->session == 77 && stat->flags == 4194560U);
    FUZZ_CHECK(stat->utime == 123 && stat->stime == 45 && stat->nice == -5);
    FUZZ_CHECK(stat->starttime == 987654);
    return 0;
}
