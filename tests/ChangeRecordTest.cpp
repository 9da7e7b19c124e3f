// The record of Talvex's changes: exact undo, somebody else's change in between, pid
// reuse, the kernel's rate limit, and a crash at every step of a change and an undo.
#include <gtest/gtest.h>

#include <map>
#include <tuple>

#include "platform/ChangeRecord.h"

namespace talvex {
namespace {

using namespace platform;
using Write = ILeverAccess::Write;

// Levers in memory. A process is alive while it has a start time; a lever belongs to
// the process with that start time. A write can be made to fail, or to "crash" the
// program: the crash hook runs instead of the write, and the test ends the record there.
class MemoryLevers final : public ILeverAccess {
  public:
    struct Crash {};

    std::map<std::int32_t, std::uint64_t> started;  // pid -> start time
    std::map<std::tuple<std::int32_t, std::int64_t, Lever>, std::int64_t> values;
    int busyWrites = 0;  // the next writes are turned away for a moment
    bool refuse = false;
    int crashAtWrite = -1;  // the write number that never happens
    int writes = 0;

    std::int64_t& At(std::int32_t pid, std::int64_t id, Lever lever) {
        const bool group = lever == Lever::GroupNice || lever == Lever::GroupWeight;
        return values[{group ? 0 : pid, id, lever}];
    }
    std::optional<std::int64_t> ReadLever(const LeverTarget& t) override {
        if (!Alive(t)) return std::nullopt;
        return At(t.pid, t.id, t.lever);
    }
    Write WriteLever(const LeverTarget& t, std::int64_t value) override {
        if (writes++ == crashAtWrite) throw Crash{};
        if (!Alive(t)) return Write::Gone;
        if (refuse) return Write::Refused;
        if (busyWrites > 0) {
            --busyWrites;
            return Write::Busy;
        }
        At(t.pid, t.id, t.lever) = value;
        return Write::Done;
    }

  private:
    bool Alive(const LeverTarget& t) const {
        const auto it = started.find(t.pid);
        return it != started.end() && it->second == t.startTime;
    }
};

struct MemoryFile final : IRecordFile {
    std::string text;
    bool present = false;
    bool Save(const std::string& t) override {
        text = t;
        present = true;
        return true;
    }
    void Remove() override {
        text.clear();
        present = false;
    }
};

class ChangeRecordTest : public ::testing::Test {
  protected:
    MemoryLevers levers;
    MemoryFile file;
    ChangeRecord record{levers, "boot-1", &file};

    void SetUp() override {
        levers.started = {{100, 7}, {200, 9}};
        levers.At(100, 101, Lever::ThreadNice) = 5;
        levers.At(100, 102, Lever::ThreadNice) = -3;
        levers.At(200, 201, Lever::ThreadNice) = 0;
        levers.At(0, 55, Lever::GroupNice) = 0;
        levers.At(0, 77, Lever::GroupWeight) = 1024;
    }
    static LeverTarget Thread(std::int32_t pid, std::uint64_t start, std::int64_t tid) {
        return {pid, start, tid, Lever::ThreadNice};
    }
    // Raises both threads of process 100 to -10 and its group with them.
    bool BoostFront() {
        return record.Change({{Thread(100, 7, 101), 5, -10},
                              {Thread(100, 7, 102), -3, -10},
                              {{100, 7, 55, Lever::GroupNice}, 0, -10}});
    }
    std::int64_t Nice(std::int32_t pid, std::int64_t tid) {
        return levers.At(pid, tid, Lever::ThreadNice);
    }
};

TEST_F(ChangeRecordTest, UndoPutsBackEachThreadsOwnValueAndOnlyTalvexsValues) {
    ASSERT_TRUE(BoostFront());
    EXPECT_EQ(Nice(100, 101), -10);
    EXPECT_EQ(levers.At(0, 55, Lever::GroupNice), -10);
    EXPECT_TRUE(record.Holds(100));

    levers.At(100, 102, Lever::ThreadNice) = 2;  // somebody else's choice meanwhile
    EXPECT_EQ(record.UndoProcess(100), 2);
    EXPECT_EQ(Nice(100, 101), 5);
    EXPECT_EQ(Nice(100, 102), 2) << "a value Talvex no longer holds is left alone";
    EXPECT_EQ(levers.At(0, 55, Lever::GroupNice), 0);
    EXPECT_FALSE(record.Holds(100));
    EXPECT_FALSE(file.present) << "an empty record leaves no file behind";
    EXPECT_EQ(record.UndoProcess(100), 0);
}

TEST_F(ChangeRecordTest, ALaterChangeKeepsTheFirstValueBefore) {
    // Lowered in the background, later raised in front: undo goes back to the start.
    record.Change({{Thread(100, 7, 101), 5, 19}});
    record.Change({{Thread(100, 7, 101), 19, -10}});
    EXPECT_EQ(Nice(100, 101), -10);
    record.UndoAll();
    EXPECT_EQ(Nice(100, 101), 5);
}

TEST_F(ChangeRecordTest, AProcessThatTookOverThePidIsNeverTouched) {
    record.Change({{Thread(200, 9, 201), 0, 19}});
    levers.started[200] = 12;  // the process ended; a new one got its pid and thread id
    levers.At(200, 201, Lever::ThreadNice) = 19;
    EXPECT_EQ(record.UndoProcess(200), 0);
    EXPECT_EQ(Nice(200, 201), 19);
    EXPECT_TRUE(record.Held().empty());

    // A change that is refused, or whose process is gone, is not held.
    levers.refuse = true;
    EXPECT_FALSE(record.Change({{Thread(100, 7, 101), 5, -10}}));
    levers.refuse = false;
    EXPECT_FALSE(record.Change({{Thread(300, 1, 301), 0, -10}}));
    EXPECT_TRUE(record.Held().empty());
}

TEST_F(ChangeRecordTest, AWriteTheKernelTurnsAwayIsRetriedUntilItTakes) {
    ASSERT_TRUE(BoostFront());
    levers.busyWrites = 1;  // the group's undo comes within the kernel's 100 ms
    EXPECT_EQ(record.UndoProcess(100), 3);
    EXPECT_EQ(levers.At(0, 55, Lever::GroupNice), -10);
    EXPECT_TRUE(record.Waiting());
    EXPECT_TRUE(file.present) << "what waits is still on record";
    record.RetryWaiting();
    EXPECT_EQ(levers.At(0, 55, Lever::GroupNice), 0);
    EXPECT_FALSE(record.Waiting());
    EXPECT_TRUE(record.Held().empty());

    // The same group raised through another member while its undo still waits: the
    // undo is called off and the group's first value is kept.
    levers.started[300] = 4;
    levers.At(300, 301, Lever::ThreadNice) = 0;
    ASSERT_TRUE(BoostFront());
    levers.busyWrites = 1;
    record.UndoProcess(100);
    record.Change({{{300, 4, 55, Lever::GroupNice}, -10, -10}});
    record.RetryWaiting();
    EXPECT_EQ(levers.At(0, 55, Lever::GroupNice), -10);
    record.UndoProcess(300);
    EXPECT_EQ(levers.At(0, 55, Lever::GroupNice), 0);
}

// A crash at every write of a change and of its undo: the next start reads the saved
// record and ends with every lever at its own value again.
TEST_F(ChangeRecordTest, ACrashAtAnyStepIsUndoneByTheNextStart) {
    for (int crashAt = 0; crashAt < 10; ++crashAt) {
        SetUp();
        levers.writes = 0;
        levers.crashAtWrite = crashAt;
        file.Remove();
        {
            ChangeRecord run(levers, "boot-1", &file);
            try {
                run.Change({{Thread(100, 7, 101), 5, -10},
                            {Thread(100, 7, 102), -3, -10},
                            {{100, 7, 55, Lever::GroupNice}, 0, -10}});
                run.Change(
                    {{Thread(200, 9, 201), 0, 19}, {{200, 9, 77, Lever::GroupWeight}, 1024, 15}});
                run.UndoProcess(100);
                run.UndoProcess(200);
            } catch (const MemoryLevers::Crash&) {
            }
        }
        levers.crashAtWrite = -1;
        const std::string left = ChangeRecord::UndoSaved(file.text, "boot-1", levers);
        EXPECT_TRUE(left.empty()) << "crash at write " << crashAt;
        EXPECT_EQ(Nice(100, 101), 5) << "crash at write " << crashAt;
        EXPECT_EQ(Nice(100, 102), -3) << "crash at write " << crashAt;
        EXPECT_EQ(Nice(200, 201), 0) << "crash at write " << crashAt;
        EXPECT_EQ(levers.At(0, 55, Lever::GroupNice), 0) << "crash at write " << crashAt;
        EXPECT_EQ(levers.At(0, 77, Lever::GroupWeight), 1024) << "crash at write " << crashAt;
    }
}

TEST_F(ChangeRecordTest, ASavedRecordIsUndoneOnlyOnItsOwnBootAndOnlyWhereItStillHolds) {
    ASSERT_TRUE(BoostFront());
    const std::string saved = file.text;
    levers.At(100, 102, Lever::ThreadNice) = 1;  // changed by somebody after the crash

    EXPECT_TRUE(ChangeRecord::UndoSaved(saved, "boot-2", levers).empty());
    EXPECT_EQ(Nice(100, 101), -10) << "another boot's record names other processes";

    levers.busyWrites = 2;  // both writes turned away at first
    const std::string left = ChangeRecord::UndoSaved(saved, "boot-1", levers);
    EXPECT_FALSE(left.empty());
    EXPECT_TRUE(ChangeRecord::UndoSaved(left, "boot-1", levers).empty());
    EXPECT_EQ(Nice(100, 101), 5);
    EXPECT_EQ(Nice(100, 102), 1);
    EXPECT_EQ(levers.At(0, 55, Lever::GroupNice), 0);

    // Damaged text: lines that do not read as a change are passed over.
    for (const std::string& bad : std::initializer_list<std::string>{
             "", "talvex-changes 1 boot-1", "garbage\n1 2 3",
             "talvex-changes 1 boot-1\n100 7 101 9 5 -10\n-1 7 101 2 5 -10\n100 x\n"}) {
        EXPECT_TRUE(ChangeRecord::UndoSaved(bad, "boot-1", levers).empty()) << bad;
    }
}

}  // namespace
}  // namespace talvex
