// The records earlier copies of Talvex left in the record folder: which are read, which
// are left to a copy that still runs, what a record puts back, and what stays on record.
// The same code undoes them on every system; here the folder and the processes are in
// memory.
#include <gtest/gtest.h>

#include <map>

#include "platform/IProcessApi.h"
#include "platform/SavedRecords.h"

namespace talvex {
namespace {

using namespace platform;

constexpr const char* kHeader = "talvex-changes 1 boot-1\n";

// Priority classes of processes in memory, each pinned by its start time.
class MemoryClasses final : public ILeverAccess {
  public:
    struct Process {
        std::uint64_t start;
        std::int64_t priorityClass;
    };
    std::map<std::int32_t, Process> processes;
    int busyWrites = 0;  // the next writes are turned away for a moment

    std::optional<std::int64_t> ReadLever(const LeverTarget& t) override {
        const Process* process = Find(t);
        if (!process) return std::nullopt;
        return process->priorityClass;
    }
    Write WriteLever(const LeverTarget& t, std::int64_t value) override {
        Process* process = Find(t);
        if (!process) return Write::Gone;
        if (busyWrites > 0) {
            --busyWrites;
            return Write::Busy;
        }
        process->priorityClass = value;
        return Write::Done;
    }

  private:
    Process* Find(const LeverTarget& t) {
        const auto it = processes.find(t.pid);
        return it != processes.end() && it->second.start == t.startTime ? &it->second : nullptr;
    }
};

// A folder in memory: a name without text cannot be read (not a plain file, too large).
struct MemoryFolder final : IRecordFolder {
    std::map<std::string, std::optional<std::string>> files;
    std::vector<std::string> read;

    std::vector<std::string> Names() override {
        std::vector<std::string> names;
        for (const auto& [name, text] : files) names.push_back(name);
        return names;
    }
    std::optional<std::string> Read(const std::string& name) override {
        read.push_back(name);
        return files.at(name);
    }
    bool Replace(const std::string& name, const std::string& text) override {
        files[name] = text;
        return true;
    }
    void Remove(const std::string& name) override { files.erase(name); }
};

TEST(SavedRecordsTest, ARecordsNameHoldsItsCopyAndNothingElseReadsAsOne) {
    const auto owner = ParseRecordFileName(RecordFileName(4242, 133876543210987654));
    ASSERT_TRUE(owner);
    EXPECT_EQ(owner->pid, 4242);
    EXPECT_EQ(owner->start, 133876543210987654U);
    for (const char* name :
         {"TalvexChanges-12-34.new", "TalvexChanges--12-34", "TalvexChanges-12--34",
          "TalvexChanges-12-", "TalvexChanges--", "TalvexChanges-+12-34", "TalvexChanges-12-0x3",
          "TalvexChanges-99999999999-1", "TalvexChanges-1-99999999999999999999",
          "talvexchanges-1-2", "TalvexChanges-1 -2", "TalvexChanges-1-2 ", ".", "..",
          "Talvex.conf"}) {
        EXPECT_FALSE(ParseRecordFileName(name)) << name;
    }
}

// Copy 10 crashed, copy 11 still runs. Process 20 keeps the class Talvex set; 21's pid
// now belongs to another process; 22 was set again by somebody else; 23 had Realtime.
class EarlierRunsTest : public ::testing::Test {
  protected:
    MemoryClasses classes;
    MemoryFolder folder;
    EarlierRunsPolicy policy;
    int waits = 0;

    void SetUp() override {
        classes.processes = {{11, {110, NORMAL_PRIORITY_CLASS}},
                             {20, {200, HIGH_PRIORITY_CLASS}},
                             {21, {211, HIGH_PRIORITY_CLASS}},
                             {22, {220, ABOVE_NORMAL_PRIORITY_CLASS}},
                             {23, {230, IDLE_PRIORITY_CLASS}}};
        policy.stillRuns = [this](const RecordOwner& owner) {
            const auto it = classes.processes.find(owner.pid);
            return it != classes.processes.end() && it->second.start == owner.start;
        };
        policy.retries = 2;
        policy.waitBeforeRetry = [this] { ++waits; };
    }
    EarlierRunsUndo Undo() { return UndoRecordsIn(folder, "boot-1", classes, policy); }
    std::int64_t ClassOf(std::int32_t pid) { return classes.processes.at(pid).priorityClass; }
};

TEST_F(EarlierRunsTest, AnEndedCopysRecordPutsBackOnlyTalvexsOwnClassesAndIsRemoved) {
    const std::string ended = std::string(kHeader) +
                              "20 200 0 1 32 128\n"  // put back
                              "21 210 0 1 32 128\n"  // another process has the pid now
                              "22 220 0 1 32 128\n"  // somebody else's class since
                              "23 230 0 1 256 64\n"  // Realtime comes back as High
                              "garbage that is no line\n";
    folder.files = {{"TalvexChanges-10-100", ended},
                    {"TalvexChanges-11-110", std::string(kHeader) + "20 200 0 1 64 128\n"},
                    {"TalvexChanges-11-109.new", std::string(kHeader) + "20 200 0 1 64 128\n"},
                    {"Talvex.conf", std::string(kHeader) + "20 200 0 1 64 128\n"}};
    const auto undo = Undo();
    EXPECT_TRUE(undo.folder);
    EXPECT_TRUE(undo.complete);
    EXPECT_EQ(ClassOf(20), NORMAL_PRIORITY_CLASS);
    EXPECT_EQ(ClassOf(21), HIGH_PRIORITY_CLASS);
    EXPECT_EQ(ClassOf(22), ABOVE_NORMAL_PRIORITY_CLASS);
    EXPECT_EQ(ClassOf(23), HIGH_PRIORITY_CLASS);
    ASSERT_EQ(undo.restored.size(), 2U);
    EXPECT_EQ(DescribeRestored(undo.restored[1]), "put back: pid 20 priority class 32");
    // Only the ended copy's record was read; the running copy's record and the other
    // files stay as they were.
    EXPECT_EQ(folder.read, std::vector<std::string>{"TalvexChanges-10-100"});
    EXPECT_EQ(folder.files.count("TalvexChanges-10-100"), 0U);
    EXPECT_EQ(folder.files.size(), 3U);
}

TEST_F(EarlierRunsTest, WhatCannotBeReadOrPutBackYetStaysOnRecord) {
    classes.busyWrites = 3;  // more than the retries take
    folder.files = {{"TalvexChanges-10-100", std::string(kHeader) + "20 200 0 1 32 128\n"},
                    {"TalvexChanges-12-120", std::nullopt},
                    {"TalvexChanges-13-130",
                     std::string("talvex-changes 1 boot-0\n") + "22 220 0 1 32 32768\n"}};
    auto undo = Undo();
    EXPECT_FALSE(undo.complete);
    EXPECT_EQ(waits, 2);
    EXPECT_EQ(ClassOf(20), HIGH_PRIORITY_CLASS);
    EXPECT_EQ(folder.files.at("TalvexChanges-10-100"),
              std::string(kHeader) + "20 200 0 1 32 128\n");
    EXPECT_EQ(folder.files.count("TalvexChanges-12-120"), 1U);
    // A record of another boot names nothing that still runs: removed, nothing changed.
    EXPECT_EQ(folder.files.count("TalvexChanges-13-130"), 0U);
    EXPECT_EQ(ClassOf(22), ABOVE_NORMAL_PRIORITY_CLASS);

    // The next start puts back what waited.
    folder.files.erase("TalvexChanges-12-120");
    undo = Undo();
    EXPECT_TRUE(undo.complete);
    EXPECT_EQ(ClassOf(20), NORMAL_PRIORITY_CLASS);
    EXPECT_TRUE(folder.files.empty());
}

}  // namespace
}  // namespace talvex
