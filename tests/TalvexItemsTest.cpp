// The rule list: matching, blocking, adding and deleting.
#include <gtest/gtest.h>

#include "rules/TalvexItems.h"

namespace talvex {
namespace {

class TalvexItemsTest : public ::testing::Test {
  protected:
    std::int32_t Add(const std::string& name, std::int16_t level = 0, bool never = false) {
        return items.fAddToTalvexItems(name, level, never, false, false, false);
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> out;
        for (std::size_t i = 0; i < items.Count(); ++i) out.push_back(items[i].sItem);
        return out;
    }
    std::int16_t global = 1;
    TalvexItems items{global};
};

TEST_F(TalvexItemsTest, MatchesCaseInsensitiveSubstringFirstRuleWins) {
    Add("pad.exe");
    Add("NotePad.EXE");
    EXPECT_EQ(items.fFindInTalvexItems("C:\\WINDOWS\\notepad.exe"), 0);
    EXPECT_EQ(items.fFindInTalvexItems("pad.exe"), 0);
    EXPECT_EQ(items.fFindInTalvexItems("c:\\windows\\notepad.exe"), 0);
    EXPECT_EQ(items.fFindInTalvexItems("/usr/bin/gedit"), -1);
    EXPECT_EQ(items.fFindInTalvexItems(""), -1);
    // Deleting by a name removes the first rule that matches it.
    EXPECT_TRUE(items.fDeleteFromTalvexItems("notepad.exe"));
    EXPECT_EQ(Names(), std::vector<std::string>{"NotePad.EXE"});
    EXPECT_EQ(items.fFindInTalvexItems("C:\\Windows\\NOTEPAD.exe"), 0);
}

TEST_F(TalvexItemsTest, NeverBoostRuleBlocksBehindAnEarlierRule) {
    Add("firefox", 2);
    Add("/usr/lib/firefox/firefox", 0, true);
    const std::string path = "/usr/lib/firefox/firefox";
    EXPECT_EQ(items.fFindInTalvexItems(path), 0);
    EXPECT_EQ(items.fFindInBlockedItems(path), 1);
    // A full-path rule does not match the bare name the observers pass for closed processes.
    EXPECT_EQ(items.fFindInBlockedItems("firefox"), -1);
    EXPECT_TRUE(items.fDeleteFromTalvexItems(path));  // removes rule 0, "firefox"
    EXPECT_EQ(items.fFindInBlockedItems(path), 0);
    EXPECT_TRUE(items.fDeleteFromTalvexItems(path));
    EXPECT_EQ(items.fFindInBlockedItems(path), -1);
}

TEST_F(TalvexItemsTest, AddRefusesShortNamesAndTakesGlobalLevelOfTheMoment) {
    EXPECT_EQ(Add("a.e"), 0);
    EXPECT_EQ(items.Count(), 0u);
    EXPECT_EQ(Add("ab.e"), 0);
    EXPECT_EQ(Add("ab.e"), 1);  // no duplicate check
    EXPECT_EQ(items.fAddToTalvexItems("game.bin", -1, false, true, false, true), 2);
    global = 2;
    EXPECT_EQ(items[2].iBoostLevel, 1);
    EXPECT_TRUE(items[2].bNoBkgObservation);
    EXPECT_TRUE(items[2].bNoHangUpObservationMsg);
    EXPECT_FALSE(items[2].bNoHangUpObservation);
    EXPECT_EQ(Add("xyz"), 3);  // refused: the result is the count
}

TEST_F(TalvexItemsTest, DeleteMovesLastRuleIntoTheGap) {
    auto reset = [&] {
        items.Clear();
        Add("AAAA");
        Add("BBBB");
        Add("CCCC");
    };
    reset();
    EXPECT_TRUE(items.fDeleteFromTalvexItems("bbbb"));
    EXPECT_EQ(Names(), (std::vector<std::string>{"AAAA", "CCCC"}));
    reset();
    EXPECT_TRUE(items.fDeleteFromTalvexItems("aaaa"));
    EXPECT_EQ(Names(), (std::vector<std::string>{"CCCC", "BBBB"}));
    reset();
    EXPECT_TRUE(items.fDeleteFromTalvexItems("cccc"));
    EXPECT_EQ(Names(), (std::vector<std::string>{"AAAA", "BBBB"}));
}

TEST_F(TalvexItemsTest, EmptyListFindsNothingAndDeletesNothing) {
    EXPECT_EQ(items.fFindInTalvexItems("anything"), -1);
    EXPECT_EQ(items.fFindInBlockedItems("anything"), -1);
    EXPECT_FALSE(items.fDeleteFromTalvexItems("anything"));
}

TEST_F(TalvexItemsTest, RenameThroughEditIsSeenByTheNextSearch) {
    Add("oldname");
    const auto before = items.Generation();
    EXPECT_EQ(items.fFindInTalvexItems("/bin/oldname"), 0);
    items.Edit(0).sItem = "NewName";
    EXPECT_GT(items.Generation(), before);
    EXPECT_EQ(items.fFindInTalvexItems("/bin/oldname"), -1);
    EXPECT_EQ(items.fFindInTalvexItems("/bin/newname"), 0);
}

TEST_F(TalvexItemsTest, NonAsciiNamesMatchExactlyAndAreNotDamaged) {
    Add("Éditeur");
    EXPECT_EQ(items.fFindInTalvexItems("/opt/Éditeur/bin"), 0);
    EXPECT_EQ(items[0].sItem, "Éditeur");
}

TEST_F(TalvexItemsTest, ListStopsAtTheLargestSixteenBitIndex) {
    for (std::size_t i = 0; i < TalvexItems::kMaxRules; ++i) Add("r[" + std::to_string(i) + "]");
    EXPECT_EQ(items.Count(), TalvexItems::kMaxRules);
    EXPECT_EQ(Add("one.too.many"), static_cast<std::int32_t>(TalvexItems::kMaxRules));
    EXPECT_EQ(items.Count(), TalvexItems::kMaxRules);
    EXPECT_EQ(items.fFindInTalvexItems("/bin/r[32766]"), 32766);
}

}  // namespace
}  // namespace talvex
