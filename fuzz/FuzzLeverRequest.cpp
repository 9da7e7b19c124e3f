// The messages talvex-levers reads from its socket, and the texts it reads from procfs
// and its configuration: all parsed by the one program that holds a capability.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "fuzz/FuzzCheck.h"
#include "levers/LeverProtocol.h"
#include "levers/LeverRules.h"

using namespace talvex;
using namespace talvex::levers;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> message(data, size);
    // A request is read only from a message that is exactly its encoding.
    if (const auto request = ParseRequest(message)) {
        const auto again = EncodeRequest(*request);
        FUZZ_CHECK(size == kRequestSize && std::equal(again.begin(), again.end(), data));
        FUZZ_CHECK(request->pid > 0 && request->processStart != 0 && request->id >= 0);
        FUZZ_CHECK((request->kind == Kind::GroupNice) == (request->threadStart == 0));
    }
    if (const auto answer = ParseAnswer(message)) {
        const auto again = EncodeAnswer(*answer);
        FUZZ_CHECK(size == kAnswerSize && std::equal(again.begin(), again.end(), data));
    }
    const std::string_view text = fuzz::AsText(data, size);
    const int floor = ParseFloor(text);
    FUZZ_CHECK(floor >= -20 && floor <= 0);
    ParseTaskStat(text);
    ParseTaskStatus(text);
    ParseAutogroup(text);
    return 0;
}
