// The helper's decisions as pure functions: every refusal is one changed fact away from
// a request that is granted.
#include <gtest/gtest.h>
#include <sched.h>

#include <functional>
#include <vector>

#include "levers/LeverProtocol.h"
#include "levers/LeverRules.h"

namespace {

using namespace talvex::levers;

constexpr std::uint32_t kUser = 1000;

Request ThreadRequest(Kind kind, int value) {
    return {kind, 4242, value, 9000, 4243, 9100};
}

Facts GoodFacts() {
    Facts facts;
    facts.caller = kUser;
    facts.pinned = true;
    facts.processStart = 9000;
    facts.thread = TaskStat{'S', 0, 9100};
    facts.credentials = TaskCredentials{{kUser, kUser, kUser, kUser}, 0, 0};
    facts.procOwner = kUser;
    facts.policy = SCHED_OTHER;
    facts.group = GroupState{77, 0};
    return facts;
}

struct Row {
    const char* what;
    Kind kind;
    int value;
    std::function<void(Facts&, Limits&, Request&)> change;
    Verdict expected;
};

TEST(LeverRulesTest, EveryCheckRefusesOnItsOwnFact) {
    const auto none = [](Facts&, Limits&, Request&) {};
    const std::vector<Row> rows = {
        {"a raise of the user's thread", Kind::ThreadNice, -10, none, Verdict::Done},
        {"down to the floor", Kind::ThreadNice, -15, none, Verdict::Done},
        {"a lowering to 19", Kind::ThreadNice, 19, none, Verdict::Done},
        {"the flag set", Kind::ResetOnFork, 1, none, Verdict::Done},
        {"the flag cleared", Kind::ResetOnFork, 0, none, Verdict::Done},
        {"a session group raised", Kind::GroupNice, -5, none, Verdict::Done},
        {"below the floor", Kind::ThreadNice, -16, none, Verdict::OutOfRange},
        {"above 19", Kind::ThreadNice, 20, none, Verdict::OutOfRange},
        {"a group below the floor", Kind::GroupNice, -20, none, Verdict::OutOfRange},
        {"a flag of 2", Kind::ResetOnFork, 2, none, Verdict::OutOfRange},
        {"a deeper floor from the file", Kind::ThreadNice, -20,
         [](Facts&, Limits& l, Request&) { l.floor = -20; }, Verdict::Done},
        {"not pinned", Kind::ThreadNice, -5, [](Facts& f, Limits&, Request&) { f.pinned = false; },
         Verdict::Gone},
        {"a reused pid", Kind::ThreadNice, -5,
         [](Facts& f, Limits&, Request&) { f.processStart = 9001; }, Verdict::Gone},
        {"a reused tid", Kind::ThreadNice, -5,
         [](Facts& f, Limits&, Request&) { f.thread->startTime = 9200; }, Verdict::Gone},
        {"a thread not in the process", Kind::ResetOnFork, 1,
         [](Facts& f, Limits&, Request&) { f.thread.reset(); }, Verdict::Gone},
        {"a zombie thread", Kind::ThreadNice, -5,
         [](Facts& f, Limits&, Request&) { f.thread->state = 'Z'; }, Verdict::Gone},
        {"another group now", Kind::GroupNice, -5,
         [](Facts& f, Limits&, Request&) { f.group->id = 78; }, Verdict::Gone},
        {"another user's thread", Kind::ThreadNice, -5,
         [](Facts& f, Limits&, Request&) {
             f.credentials->uids[0] = f.credentials->uids[1] = f.credentials->uids[2] =
                 f.credentials->uids[3] = 1001;
             f.procOwner = 1001;
         },
         Verdict::Refused},
        {"a root thread in the user's process", Kind::ThreadNice, -5,
         [](Facts& f, Limits&, Request&) { f.credentials->uids[0] = f.credentials->uids[1] = 0; },
         Verdict::Refused},
        {"a setuid program (effective uid)", Kind::ThreadNice, -5,
         [](Facts& f, Limits&, Request&) { f.credentials->uids[1] = 0; }, Verdict::Refused},
        {"a saved uid of root", Kind::ResetOnFork, 0,
         [](Facts& f, Limits&, Request&) { f.credentials->uids[2] = 0; }, Verdict::Refused},
        {"a file system uid of root", Kind::GroupNice, -5,
         [](Facts& f, Limits&, Request&) { f.credentials->uids[3] = 0; }, Verdict::Refused},
        {"a process directory of root's", Kind::ThreadNice, -5,
         [](Facts& f, Limits&, Request&) { f.procOwner = 0; }, Verdict::Refused},
        {"an unreadable status", Kind::ThreadNice, -5,
         [](Facts& f, Limits&, Request&) { f.credentials.reset(); }, Verdict::Refused},
        {"a capability held", Kind::ThreadNice, -5,
         [](Facts& f, Limits&, Request&) { f.credentials->capEff = 1ULL << 23; }, Verdict::Refused},
        {"a capability permitted", Kind::GroupNice, -5,
         [](Facts& f, Limits&, Request&) { f.credentials->capPrm = 1; }, Verdict::Refused},
        {"a real-time thread's flag", Kind::ResetOnFork, 0,
         [](Facts& f, Limits&, Request&) { f.policy = SCHED_FIFO; }, Verdict::Refused},
        {"an idle thread's flag", Kind::ResetOnFork, 1,
         [](Facts& f, Limits&, Request&) { f.policy = SCHED_IDLE; }, Verdict::Done},
        {"too many held raised", Kind::ThreadNice, -5,
         [](Facts&, Limits& l, Request&) { l.raisedHeld = l.maxRaised; }, Verdict::TooMany},
        {"one already held, changed again", Kind::ThreadNice, -8,
         [](Facts&, Limits& l, Request&) {
             l.raisedHeld = l.maxRaised;
             l.alreadyRaised = true;
         },
         Verdict::Done},
        {"a lowering while too many are held", Kind::ThreadNice, 5,
         [](Facts&, Limits& l, Request&) { l.raisedHeld = l.maxRaised; }, Verdict::Done},
    };
    for (const Row& row : rows) {
        Facts facts = GoodFacts();
        Limits limits;
        Request request = ThreadRequest(row.kind, row.value);
        if (row.kind == Kind::GroupNice) {
            request.id = 77;
            request.threadStart = 0;
        }
        row.change(facts, limits, request);
        EXPECT_EQ(Check(request, facts, limits), row.expected) << row.what;
    }
}

TEST(LeverRulesTest, AWriteStandsOnlyWhileTheTargetIsTheSame) {
    const Request request = ThreadRequest(Kind::ThreadNice, -5);
    const Facts before = GoodFacts();
    EXPECT_TRUE(SameTarget(request, before, before));
    const std::vector<std::function<void(Facts&)>> changes = {
        [](Facts& f) { f.pinned = false; },           [](Facts& f) { f.processStart = 1; },
        [](Facts& f) { f.thread->startTime = 1; },    [](Facts& f) { f.thread.reset(); },
        [](Facts& f) { f.credentials->uids[1] = 0; }, [](Facts& f) { f.procOwner = 0; },
    };
    for (std::size_t i = 0; i < changes.size(); ++i) {
        Facts after = before;
        changes[i](after);
        EXPECT_FALSE(SameTarget(request, before, after)) << "change " << i;
    }
}

TEST(LeverRulesTest, MessagesReadBackAndNothingElseIsARequest) {
    const Request request{Kind::ResetOnFork, 17, 1, 123456789, 18, 123456790};
    auto bytes = EncodeRequest(request);
    EXPECT_EQ(ParseRequest(bytes), request);
    const Request group{Kind::GroupNice, 17, -3, 5, 0, 0};
    EXPECT_EQ(ParseRequest(EncodeRequest(group)), group);
    EXPECT_EQ(ParseAnswer(EncodeAnswer({Verdict::Hello, -15})), (Answer{Verdict::Hello, -15}));

    const std::vector<std::pair<const char*, Request>> bad = {
        {"pid 0", {Kind::ThreadNice, 0, -5, 9, 4, 9}},
        {"tid 0", {Kind::ThreadNice, 3, -5, 9, 0, 9}},
        {"tid beyond any pid", {Kind::ThreadNice, 3, -5, 9, 1LL << 40, 9}},
        {"no thread start", {Kind::ThreadNice, 3, -5, 9, 4, 0}},
        {"a group with a thread start", {Kind::GroupNice, 3, -5, 9, 4, 9}},
        {"a negative group", {Kind::GroupNice, 3, -5, 9, -1, 0}},
        {"no process start", {Kind::ThreadNice, 3, -5, 0, 4, 9}},
        {"an unknown kind", {static_cast<Kind>(4), 3, -5, 9, 4, 9}},
    };
    for (const auto& [what, each] : bad) {
        EXPECT_FALSE(ParseRequest(EncodeRequest(each))) << what;
    }
    EXPECT_FALSE(ParseRequest(std::span(bytes).first(kRequestSize - 1))) << "short";
    std::vector<std::uint8_t> longer(bytes.begin(), bytes.end());
    longer.push_back(0);
    EXPECT_FALSE(ParseRequest(longer)) << "long";
    bytes[0] ^= 1;
    EXPECT_FALSE(ParseRequest(bytes)) << "magic";
}

TEST(LeverRulesTest, FloorComesFromItsLineAndStaysInRange) {
    const std::vector<std::pair<const char*, int>> rows = {
        {"", -15},
        {"floor = -10\n", -10},
        {"# floor = -5\nfloor=-12", -12},
        {"  floor\t=  -20  # the deepest\n", -20},
        {"floor = -40\n", -20},
        {"floor = 7\n", 0},
        {"floor = -7x\n", -15},
        {"floors = -3\n", -15},
        {"floor = -3\nfloor = -4\n", -4},
    };
    for (const auto& [text, floor] : rows) EXPECT_EQ(ParseFloor(text), floor) << text;
}

TEST(LeverRulesTest, ProcTextsAreReadByTheirFields) {
    const auto stat = ParseTaskStat(
        "77 (a) b) (c) S 1 77 77 0 -1 4194560 1 0 0 0 1 2 0 0 25 5 1 0 123456 10 20\n");
    ASSERT_TRUE(stat);
    EXPECT_EQ(stat->state, 'S');
    EXPECT_EQ(stat->nice, 5);
    EXPECT_EQ(stat->startTime, 123456U);
    EXPECT_FALSE(ParseTaskStat("77 (a) S 1 2 3"));

    const auto credentials = ParseTaskStatus(
        "Name:\tx\nUid:\t1000\t0\t1000\t1000\nGid:\t1\t1\t1\t1\nCapPrm:\t0000000000800000\n"
        "CapEff:\t0000000000000000\n");
    ASSERT_TRUE(credentials);
    EXPECT_EQ(credentials->uids[1], 0U);
    EXPECT_EQ(credentials->capPrm, 0x800000U);
    EXPECT_FALSE(ParseTaskStatus("Uid:\t1000\t1000\t1000\nCapPrm:\t0\nCapEff:\t0\n"));
    EXPECT_FALSE(ParseTaskStatus("Uid:\t1\t1\t1\t1\nCapEff:\t0\n"));

    const auto group = ParseAutogroup("/autogroup-123 nice -4\n");
    ASSERT_TRUE(group);
    EXPECT_EQ(group->id, 123);
    EXPECT_EQ(group->nice, -4);
    EXPECT_FALSE(ParseAutogroup("/autogroup-x nice 0\n"));
}

TEST(LeverRulesTest, BucketAllowsABurstThenItsRate) {
    TokenBucket bucket(3, 10);  // three at once, then one every 100 ms
    const std::uint64_t t0 = 1'000'000'000;
    EXPECT_TRUE(bucket.Take(t0));
    EXPECT_TRUE(bucket.Take(t0));
    EXPECT_TRUE(bucket.Take(t0));
    EXPECT_FALSE(bucket.Take(t0));
    EXPECT_FALSE(bucket.Take(t0 + 50'000'000));
    EXPECT_TRUE(bucket.Take(t0 + 100'000'000));
    EXPECT_FALSE(bucket.Take(t0 + 100'000'000));
    EXPECT_TRUE(bucket.Take(t0 + 10'000'000'000ULL));  // long idle: full again, not more
    EXPECT_TRUE(bucket.Take(t0 + 10'000'000'000ULL));
    EXPECT_TRUE(bucket.Take(t0 + 10'000'000'000ULL));
    EXPECT_FALSE(bucket.Take(t0 + 10'000'000'000ULL));
}

}  // namespace
