// Parsing of procfs text and the class/nice table.

#include <gtest/gtest.h>

#include "platform/IProcessApi.h"
#include "platform/fake/FakeDesktop.h"
#include "platform/linux/ProcStat.h"

namespace talvex::platform::linux_proc {
namespace {

TEST(ProcStatTest, FieldsAreCountedAfterTheLastParenthesis) {
    const std::string text =
        "4242 (a) b (c) d) S 1 4242 4242 0 -1 4194560 100 0 0 0 37 12 0 0 20 -7 3 0 "
        "98765 1000 10 18446744073709551615\n";
    const auto stat = ParseProcStat(text);
    ASSERT_TRUE(stat.has_value());
    EXPECT_EQ(stat->state, 'S');
    EXPECT_EQ(stat->session, 4242);
    EXPECT_EQ(stat->utime, 37U);
    EXPECT_EQ(stat->stime, 12U);
    EXPECT_EQ(stat->nice, -7);
    EXPECT_EQ(stat->starttime, 98765U);
    EXPECT_FALSE(IsKernelThread(*stat));
    EXPECT_FALSE(HasEnded(*stat));

    EXPECT_FALSE(ParseProcStat("").has_value());
    EXPECT_FALSE(ParseProcStat("12 (cut) S 1 2 3").has_value());
    EXPECT_FALSE(
        ParseProcStat("12 (bad) S 1 2 3 4 5 x 7 8 9 10 11 12 13 14 15 16 17 18 19 20").has_value());
}

TEST(ProcStatTest, EveryNiceValueReadsBackAsAClassAndEveryClassRoundTrips) {
    int previousRank = 99;
    for (int nice = -20; nice <= 19; ++nice) {
        const int rank = PriorityRank(ClassForNice(nice));
        ASSERT_GE(rank, 0) << nice;
        EXPECT_LE(rank, previousRank) << "weaker nice, stronger class at " << nice;
        previousRank = rank;
    }
    for (const std::int32_t cls :
         {IDLE_PRIORITY_CLASS, BELOW_NORMAL_PRIORITY_CLASS, NORMAL_PRIORITY_CLASS,
          ABOVE_NORMAL_PRIORITY_CLASS, HIGH_PRIORITY_CLASS, REALTIME_PRIORITY_CLASS}) {
        EXPECT_EQ(ClassForNice(*NiceForClass(cls)), cls);
    }
    EXPECT_EQ(ClassForNice(-2), NORMAL_PRIORITY_CLASS);
    EXPECT_EQ(ClassForNice(-3), ABOVE_NORMAL_PRIORITY_CLASS);
    EXPECT_EQ(ClassForNice(5), BELOW_NORMAL_PRIORITY_CLASS);
    EXPECT_EQ(ClassForNice(15), IDLE_PRIORITY_CLASS);
    EXPECT_FALSE(NiceForClass(0).has_value());
    EXPECT_FALSE(NiceForClass(-9999).has_value());
}

TEST(ProcStatTest, UidsComeFromTheUidLine) {
    const auto uids =
        ParseStatusUids("Name:\tx\nUmask:\t0022\nUid:\t1000\t0\t1000\t1000\nGid:\t5\n");
    ASSERT_TRUE(uids.has_value());
    EXPECT_EQ(uids->real, 1000U);
    EXPECT_EQ(uids->effective, 0U);
    EXPECT_EQ(uids->saved, 1000U);
    EXPECT_FALSE(ParseStatusUids("Name:\tx\nUid:\t1000\n").has_value());
}

// The machine's times and a thread's run-queue wait: what the sampling gate and the
// idle-or-starved question rest on. A damaged text is no reading at all.
TEST(ProcStatTest, MachineTimesAndRunQueueWaitParseOrAreRefused) {
    const struct {
        const char* text;
        std::optional<std::uint64_t> busy, total;
    } machine[] = {
        {"cpu  100 5 20 1000 7 3 2 1 50 0\ncpu0 50 2 10 500 3 1 1 0 25 0\n", 131, 1138},
        {"cpu  1 2 3 4\n", 6, 10},  // an old kernel's short line
        {"cpu  18446744073709551615 0 0 0 0 0 0 0\n", 18446744073709551615ULL,
         18446744073709551615ULL},
        {"cpu0 1 2 3 4 5 6 7 8\n", std::nullopt, std::nullopt},  // not the sum line
        {"cpu  1 2 x 4 5 6 7 8\n", std::nullopt, std::nullopt},
        {"cpu  1 2\n", std::nullopt, std::nullopt},
        {"", std::nullopt, std::nullopt},
    };
    for (const auto& c : machine) {
        const auto totals = ParseCpuTotals(c.text);
        ASSERT_EQ(totals.has_value(), c.busy.has_value()) << c.text;
        if (!totals) continue;
        EXPECT_EQ(totals->busy, *c.busy) << c.text;
        EXPECT_EQ(totals->total, *c.total) << c.text;
    }
    EXPECT_EQ(ParseSchedstatWait("2795346 31202134 17\n"), 31202134U);
    EXPECT_EQ(ParseSchedstatWait("0 0 0\n"), 0U);
    EXPECT_FALSE(ParseSchedstatWait("2795346\n").has_value());
    EXPECT_FALSE(ParseSchedstatWait("a b c\n").has_value());
    EXPECT_FALSE(ParseSchedstatWait("").has_value());
}

}  // namespace
}  // namespace talvex::platform::linux_proc
