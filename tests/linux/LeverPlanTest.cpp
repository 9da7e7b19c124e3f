// What Talvex asks of the levers, decided from facts alone: every case is a row, none
// needs root or a kernel.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/linux/CpuTopology.h"
#include "platform/linux/LeverPlan.h"
#include "platform/linux/LinuxLevers.h"

namespace {

using namespace talvex::platform;
using namespace talvex::platform::lever_plan;

constexpr Rights kHelper{-15, -15, true};  // through talvex-levers, floor -15
constexpr Rights kNone{20, 0, false};      // no right at all (RLIMIT_NICE 0)
constexpr Rights kLimit{-5, -5, false};    // a nice limit of 25

struct Planned {
    int nice = 0;       // the value set; 99 for no change
    bool flag = false;  // reset-on-fork set with it
};

Planned PlanOne(const ThreadFacts& thread, int nice, const Rights& rights) {
    const auto requests = Threads(10, 500, {thread}, nice, rights);
    Planned planned{99, false};
    for (const auto& request : requests) {
        EXPECT_EQ(request.target.id, thread.tid);
        if (request.target.lever == Lever::ThreadResetOnFork) planned.flag = request.value == 1;
        if (request.target.lever == Lever::ThreadNice) {
            EXPECT_EQ(request.before, thread.nice);
            planned.nice = static_cast<int>(request.value);
        }
    }
    return planned;
}

TEST(LeverPlanTest, ThreadsGoAsFarAsTheRouteAllowsAndNeverWhereTheyCannotComeBack) {
    const ThreadFacts plain{11, 0, true, false, true};
    struct Row {
        const char* what;
        ThreadFacts thread;
        int nice;
        Rights rights;
        Planned expected;
    };
    const std::vector<Row> rows = {
        {"High through the helper", plain, -10, kHelper, {-10, true}},
        {"Realtime stops at the floor", plain, -20, kHelper, {-15, true}},
        {"Realtime within a limit", plain, -20, kLimit, {-5, false}},
        {"no right: no raise", plain, -10, kNone, {99, false}},
        {"no right: no lowering either", plain, 19, kNone, {99, false}},
        {"a lowering through the helper", plain, 19, kHelper, {19, false}},
        {"a lowering within a limit", plain, 10, kLimit, {10, false}},
        {"below the limit already: not lowered",
         {11, -10, true, false, true},
         10,
         kLimit,
         {99, false}},
        {"below the floor already: left", {11, -18, true, false, true}, -20, kHelper, {99, false}},
        {"at the value already", {11, -10, true, false, true}, -10, kHelper, {99, false}},
        {"a thread of another user", {11, 0, false, false, true}, -10, kHelper, {99, false}},
        {"flag set already", {11, 0, true, true, true}, -10, kHelper, {-10, false}},
        {"real-time thread: no flag", {11, 0, true, false, false}, -10, kHelper, {-10, false}},
        {"back to Normal: no flag", {11, -10, true, false, true}, 0, kHelper, {0, false}},
        {"at 19, back to Normal with no right", {11, 19, true, false, true}, 0, kNone, {99, false}},
    };
    for (const Row& row : rows) {
        const Planned planned = PlanOne(row.thread, row.nice, row.rights);
        EXPECT_EQ(planned.nice, row.expected.nice) << row.what;
        EXPECT_EQ(planned.flag, row.expected.flag) << row.what;
    }
}

TEST(LeverPlanTest, SessionGroupsFollowOnlyWhereTheyAreTheUsersAlone) {
    GroupFacts base;
    base.id = 7;
    base.nice = 0;
    base.ownId = 3;
    base.leaderIsUsers = true;
    base.sessionAllUsers = true;
    struct Row {
        const char* what;
        void (*change)(GroupFacts&);
        int nice;
        Rights rights;
        int expected;  // 99: no change
    };
    const std::vector<Row> rows = {
        {"raised with the process", [](GroupFacts&) {}, -10, kHelper, -10},
        {"raised to the floor at most", [](GroupFacts&) {}, -20, kHelper, -15},
        {"lowered with a busy process", [](GroupFacts&) {}, 19, kHelper, 19},
        {"no right: not raised", [](GroupFacts&) {}, -10, kNone, 99},
        {"no right: lowered all the same", [](GroupFacts&) {}, 19, kNone, 19},
        {"Talvex's own group", [](GroupFacts& g) { g.ownId = 7; }, -10, kHelper, 99},
        {"unread group", [](GroupFacts& g) { g.id.reset(); }, -10, kHelper, 99},
        {"a leader of another user", [](GroupFacts& g) { g.leaderIsUsers = false; }, -10, kHelper,
         99},
        {"the front's group is not lowered", [](GroupFacts& g) { g.frontShares = true; }, 19,
         kHelper, 99},
        {"a group held raised is not lowered", [](GroupFacts& g) { g.heldRaised = true; }, 19,
         kHelper, 99},
        {"a session with another user's process", [](GroupFacts& g) { g.sessionAllUsers = false; },
         19, kHelper, 99},
        {"a group below what could be raised back", [](GroupFacts& g) { g.nice = -8; }, 19, kLimit,
         99},
        {"raised already as far", [](GroupFacts& g) { g.nice = -10; }, -10, kHelper, 99},
        {"nice 0: nothing", [](GroupFacts&) {}, 0, kHelper, 99},
    };
    for (const Row& row : rows) {
        GroupFacts facts = base;
        row.change(facts);
        const auto request = Group(10, 500, facts, row.nice, row.rights);
        EXPECT_EQ(request ? static_cast<int>(request->value) : 99, row.expected) << row.what;
        if (request) {
            EXPECT_EQ(request->target.lever, Lever::GroupNice);
            EXPECT_EQ(request->target.id, 7);
            EXPECT_EQ(request->before, facts.nice);
        }
    }
}

TEST(LeverPlanTest, CpuGroupWeightsScaleFromTheFirstWeightAndSpareTheFront) {
    WeightFacts base;
    base.id = 4711;
    base.now = 100;
    struct Row {
        const char* what;
        void (*change)(WeightFacts&);
        int nice;
        std::optional<std::int64_t> expected;
    };
    const std::vector<Row> rows = {
        {"raised for the front", [](WeightFacts&) {}, -10,
         CpuTopology::WeightForNice(100, -10, false)},
        {"lowered while busy", [](WeightFacts&) {}, 19, CpuTopology::WeightForNice(100, 19, false)},
        {"v1 shares",
         [](WeightFacts& g) {
             g.v1 = true;
             g.now = 1024;
         },
         -5, CpuTopology::WeightForNice(1024, -5, true)},
        {"from the weight before the first change",
         [](WeightFacts& g) {
             g.now = 400;
             g.heldBefore = 100;
         },
         -5, CpuTopology::WeightForNice(100, -5, false)},
        {"unreadable weight", [](WeightFacts& g) { g.now.reset(); }, -10, std::nullopt},
        {"Normal: no change", [](WeightFacts&) {}, 0, std::nullopt},
        {"the front's group is not lowered", [](WeightFacts& g) { g.frontShares = true; }, 19,
         std::nullopt},
        {"the front's group is raised", [](WeightFacts& g) { g.frontShares = true; }, -10,
         CpuTopology::WeightForNice(100, -10, false)},
        {"a group held raised is not lowered", [](WeightFacts& g) { g.heldRaised = true; }, 10,
         std::nullopt},
    };
    for (const Row& row : rows) {
        WeightFacts facts = base;
        row.change(facts);
        const auto request = Weight(10, 500, facts, row.nice);
        EXPECT_EQ(request ? std::optional<std::int64_t>(request->value) : std::nullopt,
                  row.expected)
            << row.what;
        if (request) {
            EXPECT_EQ(request->target.lever, Lever::GroupWeight);
            EXPECT_EQ(request->target.id, 4711);
            EXPECT_EQ(request->before, *facts.now);
        }
    }
}

TEST(LeverPlanTest, TheNiceLimitIsReadAsTheLowestNiceItAllows) {
    const std::string header = "Limit                     Soft Limit           Hard Limit  Units\n";
    const std::vector<std::pair<std::string, std::optional<int>>> rows = {
        {"Max nice priority         0                    0\n", 20},
        {"Max nice priority         25                   30\n", -5},
        {"Max nice priority         40                   40\n", -20},
        {"Max nice priority         unlimited            unlimited\n", -20},
        {"Max nice priority         99                   99\n", -20},
        {"Max realtime priority     0                    0\n", std::nullopt},
    };
    for (const auto& [line, lowest] : rows) {
        EXPECT_EQ(LinuxLevers::NiceLimitOf(header + line), lowest) << line;
    }
}

}  // namespace
