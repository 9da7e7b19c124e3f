// The record of Talvex's changes: exact undo, somebody else's change in between, pid
// reuse, the kernel's rate limit, and a crash at every step of a change and an undo.
#include <gtest/gtest.h>

#include <map>
#include <tuple>

#include "base/Trace.h"
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
    bool full = false;  // every save fails, as on a full or read-only disk
    bool Save(const std::string& t) override {
        if (full) return false;
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

TEST_F(ChangeRecordTest, NothingIsChangedThatCannotBePutOnRecord) {
    std::string traced;
    trace::SetLevel(trace::Level::Error);
    trace::SetSink([&](std::string_view line) { traced += line; });
    file.full = true;
    EXPECT_FALSE(BoostFront());
    EXPECT_EQ(levers.writes, 0);
    EXPECT_EQ(Nice(100, 101), 5);
    EXPECT_EQ(levers.At(0, 55, Lever::GroupNice), 0);
    EXPECT_TRUE(record.Held().empty());
    EXPECT_NE(traced.find("could not be saved"), std::string::npos) << traced;

    // Held levers changed further (the group through another member) and a new one:
    // each keeps the value and the record it had.
    file.full = false;
    ASSERT_TRUE(BoostFront());
    const std::string saved = file.text;
    levers.started[300] = 4;
    file.full = true;
    levers.writes = 0;
    EXPECT_FALSE(record.Change({{Thread(100, 7, 101), -10, -5},
                                {{300, 4, 55, Lever::GroupNice}, -10, -5},
                                {Thread(200, 9, 201), 0, 19},
                                {Thread(200, 9, 201), 19, 10}}));
    EXPECT_EQ(levers.writes, 0);
    EXPECT_EQ(record.Text(), saved);
    EXPECT_EQ(file.text, saved);
    trace::SetSink({});
    trace::SetLevel(trace::Level::Off);

    file.full = false;
    EXPECT_TRUE(record.UndoAll());
    EXPECT_EQ(Nice(100, 101), 5);
    EXPECT_EQ(Nice(100, 102), -3);
    EXPECT_EQ(Nice(200, 201), 0);
    EXPECT_EQ(levers.At(0, 55, Lever::GroupNice), 0);
}

// Anybody running as the user can write the saved record: a forged or damaged line
// never puts back more than Talvex itself could have found, and only where the lever
// still has the value the line says Talvex set.
TEST_F(ChangeRecordTest, AForgedRecordPutsBackNothingBeyondTheRange) {
    struct Row {
        Lever lever;
        std::int64_t id;
        std::int64_t now;  // the lever's value before the undo
        std::string line;
        std::int64_t after;  // its value after the undo
        bool skipped;
    };
    const std::string kTooLarge = "100 7 101 2 0 5\n" + std::string(kMaxSavedRecordBytes, '\n');
    const Row rows[] = {
        {Lever::ThreadNice, 101, 5, "100 7 101 2 3 5", 3, false},
        {Lever::ThreadNice, 101, 5, "100 7 101 2 -20 5", -15, false},
        {Lever::ThreadNice, 101, 5, "100 7 101 2 -9223372036854775808 5", -15, false},
        {Lever::ThreadNice, 101, 5, "100 7 101 2 40 5", 19, false},
        {Lever::ThreadNice, 101, 5, "100 7 101 2 -20 -20", 5, false},  // not Talvex's value
        {Lever::ThreadNice, 101, 5, "100 8 101 2 -10 5", 5, false},    // another process
        {Lever::ThreadNice, 101, 5, "100 7 101 2 -10 25", 5, true},
        {Lever::GroupNice, 55, 0, "100 7 55 4 -20 0", -15, false},
        {Lever::GroupNice, 55, 0, "100 7 55 4 -5 0", -5, false},
        {Lever::ThreadResetOnFork, 101, 1, "100 7 101 3 0 1", 1, true},  // never cleared
        {Lever::ThreadResetOnFork, 101, 0, "100 7 101 3 1 0", 1, false},
        {Lever::ThreadResetOnFork, 101, 1, "100 7 101 3 7 1", 1, true},
        {Lever::GroupWeight, 77, 1024, "100 7 77 5 0 1024", 1, false},
        {Lever::GroupWeight, 77, 1024, "100 7 77 5 99999 1024", 10000, false},
        {Lever::GroupWeight, 77, 1024, "100 7 77 5 100 0", 1024, true},
        {Lever::PriorityClass, 0, 32, "100 7 0 1 256 32", 128, false},  // Realtime: High
        {Lever::PriorityClass, 0, 64, "100 7 0 1 16384 64", 16384, false},
        {Lever::PriorityClass, 0, 32, "100 7 0 1 1 32", 32, true},
        {Lever::PriorityClass, 0, 32, "100 7 0 1 64 33", 32, true},
        {Lever::ThreadNice, 101, 5, "100 7 101 2 -10", 5, true},
        {Lever::ThreadNice, 101, 5, "100 7 101 2 -10 5 9", 5, true},
        {Lever::ThreadNice, 101, 5, "100 7 101 2 99999999999999999999 5", 5, true},
        {Lever::ThreadNice, 101, 5, "100 7 101 9 -10 5", 5, true},
        {Lever::ThreadNice, 101, 5, "0 7 101 2 -10 5", 5, true},
        {Lever::ThreadNice, 101, 5, "100 7 101 2 0x1 5", 5, true},
        {Lever::ThreadNice, 101, 5, "100 7 101 2 -1e3 5", 5, true},
        {Lever::ThreadNice, 101, 5, "100 7 101 2\t-10 5", 5, true},
        {Lever::ThreadNice, 101, 5, kTooLarge, 5, false},
    };
    for (const Row& row : rows) {
        SetUp();
        levers.At(100, row.id, row.lever) = row.now;
        const std::string text = "talvex-changes 1 boot-1\n" + row.line + "\n";
        const auto undo = ChangeRecord::UndoSavedRecord(text, "boot-1", levers);
        const std::string what = row.line.substr(0, 40);
        EXPECT_EQ(levers.At(100, row.id, row.lever), row.after) << what;
        EXPECT_EQ(undo.skipped, row.skipped ? 1 : 0) << what;
        EXPECT_EQ(undo.restored.size(), row.after != row.now ? 1U : 0U) << what;
        EXPECT_EQ(undo.refused, row.line.size() > kMaxSavedRecordBytes) << what;
        EXPECT_TRUE(undo.left.empty()) << what;
        // The same line of another boot, or under a damaged header, is void.
        levers.At(100, row.id, row.lever) = row.now;
        for (const char* header : {"talvex-changes 1 boot-2\n", "talvex-changes 2 boot-1\n"}) {
            const auto other = ChangeRecord::UndoSavedRecord(header + row.line, "boot-1", levers);
            EXPECT_TRUE(other.restored.empty()) << header << what;
            EXPECT_EQ(levers.At(100, row.id, row.lever), row.now) << header << what;
        }
    }

    // A refused write is told apart from a value somebody else changed in between.
    SetUp();
    levers.refuse = true;
    const auto refused = ChangeRecord::UndoSavedRecord("talvex-changes 1 boot-1\n100 7 101 2 0 5\n",
                                                       "boot-1", levers);
    EXPECT_EQ(refused.refusedWrites, 1);
    EXPECT_TRUE(refused.restored.empty());
}

}  // namespace
}  // namespace talvex
