// The saved record of changes: the user's own file, which anybody running as the user can
// write. Whatever it holds, the undo writes only values within each lever's range, never
// clears a reset-on-fork flag, never asks Realtime back, and what it leaves over reads
// back whole.
#include <cstdint>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "platform/ChangeRecord.h"
#include "platform/IProcessApi.h"

using namespace talvex;
using namespace talvex::platform;

namespace {

constexpr std::string_view kBoot = "boot-1";

// Every lever of every process is there, with a value that follows from its id, so that
// a line naming the right id and value is undone; every seventh write waits.
class AnyLevers final : public ILeverAccess {
  public:
    std::optional<std::int64_t> ReadLever(const LeverTarget& t) override {
        const std::int64_t n = t.id < 0 ? -(t.id / 2) : t.id;
        switch (t.lever) {
            case Lever::ThreadNice:
            case Lever::GroupNice:
                return n % 40 - 20;
            case Lever::ThreadResetOnFork:
                return n % 2;
            case Lever::GroupWeight:
                return n % 10001;
            case Lever::PriorityClass:
                return n % 2 == 0 ? IDLE_PRIORITY_CLASS : NORMAL_PRIORITY_CLASS;
        }
        return std::nullopt;
    }
    Write WriteLever(const LeverTarget& t, std::int64_t value) override {
        switch (t.lever) {
            case Lever::ThreadNice:
            case Lever::GroupNice:
                FUZZ_CHECK(value >= kDefaultNiceFloor && value <= 19);
                break;
            case Lever::ThreadResetOnFork:
                FUZZ_CHECK(value == 1);
                break;
            case Lever::GroupWeight:
                FUZZ_CHECK(value >= 1 && value <= 10000);
                break;
            case Lever::PriorityClass:
                FUZZ_CHECK(PriorityRank(value) >= 0 && value != REALTIME_PRIORITY_CLASS);
                break;
        }
        return ++m_writes % 7 == 0 ? Write::Busy : Write::Done;
    }

  private:
    int m_writes = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    AnyLevers levers;
    const std::string text =
        "talvex-changes 1 " + std::string(kBoot) + "\n" + std::string(fuzz::AsText(data, size));
    const auto undo = ChangeRecord::UndoSavedRecord(text, kBoot, levers);
    if (undo.left.empty()) return 0;
    // What waits is written back as a record of Talvex's own: every line of it reads.
    const auto again = ChangeRecord::UndoSavedRecord(undo.left, kBoot, levers);
    FUZZ_CHECK(again.skipped == 0 && !again.refused);
    return 0;
}
