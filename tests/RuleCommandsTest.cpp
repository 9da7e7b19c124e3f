// The rule list panel's commands: Remove, Add, Current, rename and the popup menu.
#include <gtest/gtest.h>

#include <deque>

#include "rules/RuleCommands.h"

namespace talvex {
namespace {

class RuleCommandsTest : public ::testing::Test {
  protected:
    RuleCommandsTest() {
        commands.emplace(items, strings, [this](const std::string& prompt, const std::string& def) {
            prompts.push_back(prompt);
            defaults.push_back(def);
            if (answers.empty()) return std::string();  // Cancel
            std::string answer = answers.front();
            answers.pop_front();
            return answer;
        });
    }
    void Add(const std::string& name, std::int16_t level = 0, bool never = false) {
        items.fAddToTalvexItems(name, level, never, false, false, false);
    }
    std::vector<std::string> Lines() const { return RuleCommands::fRefreshList(items); }

    std::int16_t global = 1;
    TalvexItems items{global};
    StringTable strings;
    std::deque<std::string> answers;
    std::vector<std::string> prompts, defaults;
    std::optional<RuleCommands> commands;
};

TEST_F(RuleCommandsTest, RefreshListShowsEveryRuleNameInOrder) {
    EXPECT_TRUE(Lines().empty());
    Add("taskmgr.exe");
    Add("ntvdm.exe");
    Add("talvex.exe");
    EXPECT_EQ(Lines(), (std::vector<std::string>{"taskmgr.exe", "ntvdm.exe", "talvex.exe"}));
}

TEST_F(RuleCommandsTest, AddAsksWithPromptAndDefaultAndTakesGlobalLevel) {
    answers = {"Example.exe"};
    EXPECT_TRUE(commands->Command2_Click());
    EXPECT_EQ(prompts, std::vector<std::string>{"Which Program?"});
    EXPECT_EQ(defaults, std::vector<std::string>{"example.exe"});
    ASSERT_EQ(items.Count(), 1u);
    EXPECT_EQ(items[0].sItem, "Example.exe");
    EXPECT_EQ(items[0].iBoostLevel, 1);
    EXPECT_FALSE(items[0].bNeverBoost || items[0].bNoBkgObservation ||
                 items[0].bNoHangUpObservation || items[0].bNoHangUpObservationMsg);

    // A translated prompt replaces the default one.
    strings.ClearStringTable();
    strings.Store(44, "Welches Programm?");
    answers = {"abc"};
    EXPECT_FALSE(commands->Command2_Click());
    EXPECT_EQ(prompts.back(), "Welches Programm?");
}

TEST_F(RuleCommandsTest, AddRefusesDefaultShortCoveredAndUnstorableNames) {
    Add("pad.exe");
    answers = {"example.exe", "abc", "", "notepad.exe", "NOTEPAD.EXE", "my|game.exe", "äöü"};
    for (int i = 0; i < 7; ++i) EXPECT_FALSE(commands->Command2_Click()) << i;
    EXPECT_EQ(Lines(), std::vector<std::string>{"pad.exe"});
    // Four characters are enough, counted as characters, and the text is kept as typed.
    answers = {" ab "};
    EXPECT_TRUE(commands->Command2_Click());
    EXPECT_EQ(Lines(), (std::vector<std::string>{"pad.exe", " ab "}));
}

TEST_F(RuleCommandsTest, RemoveDeletesTheRuleFoundForTheLine) {
    Add("pad.exe");
    Add("notepad.exe");
    Add("gedit");
    EXPECT_FALSE(commands->Command1_Click(std::nullopt));
    EXPECT_EQ(items.Count(), 3u);
    // The line "notepad.exe" finds "pad.exe" first; the last rule moves into its place.
    EXPECT_TRUE(commands->Command1_Click(std::string("notepad.exe")));
    EXPECT_EQ(Lines(), (std::vector<std::string>{"gedit", "notepad.exe"}));
    // A line whose rule vanished meanwhile still asks for a refill and changes nothing.
    EXPECT_TRUE(commands->Command1_Click(std::string("kwrite")));
    EXPECT_EQ(items.Count(), 2u);
}

TEST_F(RuleCommandsTest, CurrentFromOwnWindowAddsThePreviousProgramOnce) {
    Add("talvex", 0, true);
    const std::string own = "/opt/talvex/talvex";
    EXPECT_TRUE(commands->Command3_Click(own, "/usr/bin/gedit", own));
    EXPECT_EQ(Lines(), (std::vector<std::string>{"talvex", "/usr/bin/gedit"}));
    EXPECT_EQ(items[1].iBoostLevel, 1);
    // Clicking again finds the rule just made.
    EXPECT_FALSE(commands->Command3_Click(own, "/usr/bin/gedit", own));
    EXPECT_EQ(items.Count(), 2u);
    // The own path is compared with case: another case is another program.
    EXPECT_FALSE(commands->Command3_Click("/OPT/TALVEX/TALVEX", "/usr/bin/kate", own));
    EXPECT_EQ(items.Count(), 2u);  // blocked by the never-boost rule "talvex"
}

TEST_F(RuleCommandsTest, CurrentWithAnotherProgramInFrontRefusesOnlyBlockedOnes) {
    const std::string own = "/opt/talvex/talvex";
    EXPECT_FALSE(commands->Command3_Click("abc", "/usr/bin/gedit", own));
    Add("kate", 2);
    // An ordinary rule does not stop a second rule for the same program.
    EXPECT_TRUE(commands->Command3_Click("/usr/bin/kate", "", own));
    EXPECT_EQ(Lines(), (std::vector<std::string>{"kate", "/usr/bin/kate"}));
    Add("firefox", 0, true);
    EXPECT_FALSE(commands->Command3_Click("/usr/lib/firefox/firefox", "", own));
    // An unreadable own path does not make every program count as this one.
    EXPECT_TRUE(commands->Command3_Click("/usr/bin/gimp", "/usr/bin/kate", ""));
    EXPECT_EQ(items[items.Count() - 1].sItem, "/usr/bin/gimp");
    // A path the store could not keep is not added, but the list is refilled.
    EXPECT_TRUE(commands->Command3_Click("/tmp/a|b/tool", "", own));
    EXPECT_EQ(items[items.Count() - 1].sItem, "/usr/bin/gimp");
}

TEST_F(RuleCommandsTest, RenameAsksWithTheLineAndChangesOnlyTheName) {
    items.fAddToTalvexItems("pad.exe", 2, true, true, false, true);
    Add("notepad.exe");
    EXPECT_FALSE(commands->List1_DblClick(std::nullopt));
    EXPECT_TRUE(prompts.empty());
    answers = {"a.ex", "", "x|y.exe"};
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(commands->List1_DblClick(std::string("pad.exe")));
    EXPECT_EQ(prompts.front(), "Edit Program");
    EXPECT_EQ(defaults.front(), "pad.exe");
    answers = {"ab.ex"};
    EXPECT_TRUE(commands->List1_DblClick(std::string("notepad.exe")));  // renames "pad.exe"
    EXPECT_EQ(Lines(), (std::vector<std::string>{"ab.ex", "notepad.exe"}));
    EXPECT_EQ(items[0].iBoostLevel, 2);
    EXPECT_TRUE(items[0].bNeverBoost && items[0].bNoBkgObservation &&
                items[0].bNoHangUpObservationMsg);
    // The rule vanished while the box was open: nothing to rename.
    answers = {"whatever"};
    EXPECT_FALSE(commands->List1_DblClick(std::string("gone.exe")));
}

TEST_F(RuleCommandsTest, PopupMarksFollowTheSelectedRule) {
    EXPECT_EQ(commands->Pop2MarksFor(std::nullopt), std::nullopt);
    Add("pad.exe", 1);
    items.fAddToTalvexItems("notepad.exe", 0, true, true, true, false);
    EXPECT_EQ(commands->Pop2MarksFor(std::string("other.exe")), std::nullopt);
    Pop2Marks high;
    high.bHigh = true;
    EXPECT_EQ(commands->Pop2MarksFor(std::string("notepad.exe")), high);  // "pad.exe" found
    Pop2Marks never;
    never.bNeverBoost = never.bNoBkgObservation = never.bHangUp = true;
    EXPECT_TRUE(commands->Pop2Click(Pop2Item::Delete, std::string("pad.exe")));
    EXPECT_EQ(commands->Pop2MarksFor(std::string("notepad.exe")), never);
    items.Edit(0).bNeverBoost = false;
    items.Edit(0).iBoostLevel = 7;
    Pop2Marks none;
    none.bNoBkgObservation = none.bHangUp = true;
    EXPECT_EQ(commands->Pop2MarksFor(std::string("notepad.exe")), none);
}

TEST_F(RuleCommandsTest, NeverBoostTogglesAndLevelsKeepTheBlock) {
    Add("game.bin", 1);
    const SelectedLine line = std::string("game.bin");
    EXPECT_FALSE(commands->Pop2Click(Pop2Item::NeverBoost, line));
    EXPECT_TRUE(items[0].bNeverBoost);
    EXPECT_EQ(items[0].iBoostLevel, -1);
    EXPECT_EQ(items.fFindInBlockedItems("/usr/games/game.bin"), 0);
    EXPECT_FALSE(commands->Pop2Click(Pop2Item::NeverBoost, line));
    EXPECT_FALSE(items[0].bNeverBoost);
    EXPECT_EQ(items[0].iBoostLevel, -1);  // neither blocked nor raised
    EXPECT_EQ(items.fFindInBlockedItems("/usr/games/game.bin"), -1);

    commands->Pop2Click(Pop2Item::NeverBoost, line);
    commands->Pop2Click(Pop2Item::High, line);
    EXPECT_TRUE(items[0].bNeverBoost);
    EXPECT_EQ(items[0].iBoostLevel, 1);
    Pop2Marks onlyNever;
    onlyNever.bNeverBoost = true;
    EXPECT_EQ(commands->Pop2MarksFor(line), onlyNever);
    commands->Pop2Click(Pop2Item::AboveNormal, line);
    EXPECT_TRUE(items[0].bNeverBoost);
    EXPECT_EQ(items[0].iBoostLevel, 0);
    commands->Pop2Click(Pop2Item::Realtime, line);
    EXPECT_FALSE(items[0].bNeverBoost);
    EXPECT_EQ(items[0].iBoostLevel, 2);
}

TEST_F(RuleCommandsTest, FlagCommandsToggleTheSelectedRuleOnly) {
    Add("pad.exe");
    Add("notepad.exe");
    const SelectedLine line = std::string("notepad.exe");
    commands->Pop2Click(Pop2Item::NoBkgObservation, line);
    commands->Pop2Click(Pop2Item::HangUp, line);
    commands->Pop2Click(Pop2Item::HangUpMsg, line);
    EXPECT_TRUE(items[0].bNoBkgObservation && items[0].bNoHangUpObservation &&
                items[0].bNoHangUpObservationMsg);
    EXPECT_FALSE(items[1].bNoBkgObservation || items[1].bNoHangUpObservation ||
                 items[1].bNoHangUpObservationMsg);
    commands->Pop2Click(Pop2Item::HangUp, line);
    EXPECT_FALSE(items[0].bNoHangUpObservation);
    // Without a selected rule nothing changes and nothing is refilled.
    const auto before = items.Generation();
    EXPECT_FALSE(commands->Pop2Click(Pop2Item::High, std::nullopt));
    EXPECT_FALSE(commands->Pop2Click(Pop2Item::HangUp, std::string("kate")));
    EXPECT_EQ(items.Generation(), before);
}

TEST_F(RuleCommandsTest, DeleteWithoutSelectionOnlyRefills) {
    Add("pad.exe");
    EXPECT_TRUE(commands->Pop2Click(Pop2Item::Delete, std::nullopt));
    EXPECT_EQ(items.Count(), 1u);
    EXPECT_TRUE(commands->Pop2Click(Pop2Item::Delete, std::string("notepad.exe")));
    EXPECT_EQ(items.Count(), 0u);
}

}  // namespace
}  // namespace talvex
