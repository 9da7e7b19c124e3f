// What Talvex holds changed, and why: the Advanced window's list, its popup menu, the
// tray tooltip's count, and the rows of a record of Linux levers.
#include <gtest/gtest.h>

#include <map>

#include "engine/HeldChanges.h"
#include "tests/MainWindowFixture.h"
#include "ui/HeldList.h"
#include "ui/frmAdvanced.h"

namespace talvex {
namespace {

using namespace platform;

class HeldChangesTest : public testing::MainWindowTest {
  protected:
    // Busy for `percent` of the next tick.
    void Busy(std::int32_t pid, std::uint64_t percent) {
        desk.AddCpuTime(pid, 0, kInterval * percent / 100);
    }
    // The table's rows, each as its cells joined by " | ".
    std::vector<std::string> Lines() {
        std::vector<std::string> lines;
        for (const ReportRow& row : Adv("lstHeld").Rows()) {
            std::string line;
            for (const std::string& cell : row) line += (line.empty() ? "" : " | ") + cell;
            lines.push_back(line);
        }
        return lines;
    }
    static std::string Pid(std::int32_t pid) { return " | " + std::to_string(pid) + " | "; }
    std::string Tooltip() { return ui.Tray()->CurrentToolTip(); }
    void Select(std::int32_t pid) {
        const auto lines = Lines();
        const std::string mark = Pid(pid);
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].find(mark) != std::string::npos) {
                Adv("lstHeld").UserSelect(static_cast<std::int32_t>(i));
                return;
            }
        }
        FAIL() << "no line for " << pid;
    }
    // The line's menu from the keyboard: the focus on the list, then the menu key.
    void ChooseByKeyboard(std::int32_t pid, const std::string& item) {
        Select(pid);
        Adv("lstHeld").SetFocus();
        ui.ChooseInNextPopup(item);
        ui.PressKey(frm.Advanced()->form(), vbKeyApps);
    }
};

TEST_F(HeldChangesTest, EachLineTellsProgramLeverBeforeNowSinceAndWhy) {
    const auto encoder = desk.AddProcess({"/usr/bin/encoder"});
    const auto indexer = desk.AddProcess({"/usr/bin/indexer"});
    const auto game = desk.AddProcess({"/opt/game/game"});
    const auto spinner = desk.AddProcess({"/opt/hung/spinner"});
    Start();
    Items().fAddToTalvexItems("game", 2, false, false, false, false);
    // A rule that keeps the hang-up warning away, so the turn-off only logs.
    Items().fAddToTalvexItems("spinner", 1, false, false, false, true);
    frm.mnuPop1Advanced_Click();
    EXPECT_TRUE(Lines().empty());

    desk.SetDateTimeText("09.12.2026 08:00:00");
    const auto editor = Front("/usr/bin/editor", "Notes");
    Tick();
    desk.SetDateTimeText("09.12.2026 08:05:00");
    Busy(encoder, 60);
    Busy(indexer, 20);
    Tick();
    // Still busy later: the line keeps the time of the change.
    desk.SetDateTimeText("09.12.2026 09:00:00");
    Busy(encoder, 60);
    Busy(indexer, 20);
    Tick();
    desk.SetDateTimeText("10.12.2026 00:00:01");
    desk.SetForeground(desk.AddWindow(game, "Game"));
    Tick();

    struct Row {
        std::int32_t pid;
        std::string text;  // empty: no line
    };
    const std::vector<Row> rows{
        {editor, ""},  // back to its own priority when it left the front
        {encoder, "encoder" + Pid(encoder) +
                      "priority | Normal | Idle | busy in the background at 60 % | "
                      "09.12.2026 08:05:00"},
        {indexer, "indexer" + Pid(indexer) +
                      "priority | Normal | Below Normal | busy in the background at 20 % | "
                      "09.12.2026 08:05:00"},
        {game,
         "game" + Pid(game) + "priority | Normal | Realtime | in front, by its rule | 00:00:01"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.pid);
        const auto lines = Lines();
        const auto found = std::find_if(lines.begin(), lines.end(), [&](const std::string& l) {
            return l.find(Pid(row.pid)) != std::string::npos;
        });
        if (row.text.empty()) {
            EXPECT_EQ(found, lines.end());
        } else {
            ASSERT_NE(found, lines.end());
            EXPECT_EQ(*found, row.text);
        }
    }
    EXPECT_EQ(Tooltip(), "Talvex 1.1.0: Game\n1 boosted, 2 lowered");

    // Every line speaks the language chosen; the boost levels' names come from the main
    // window's captions, without their access keys.
    frm.SetLanguageDataFolder(TALVEX_SOURCE_DIR "/lang");
    frm.imgGer_Click();
    EXPECT_EQ(Adv("frHeld").Caption(), "Jetzt gehaltene Änderungen");
    EXPECT_EQ(Adv("lstHeld").Columns().front().caption, "Programm");
    EXPECT_EQ(Adv("lstHeld").Columns().back().caption, "Seit");
    EXPECT_EQ(Lines().back(), "game" + Pid(game) +
                                  "Priorität | Normal | Echtzeit | im Vordergrund, nach "
                                  "seiner Regel | 00:00:01");
    frm.imgFr_Click();
    EXPECT_EQ(Adv("lstHeld").Columns()[5].caption, "Raison");
    EXPECT_EQ(Lines().back(), "game" + Pid(game) +
                                  "priorité | Normale | Temps réel | au premier plan, "
                                  "selon sa règle | 00:00:01");
    EXPECT_EQ(Tooltip(), "Talvex 1.1.0: Game\n1 accéléré(s), 2 ralenti(s)");
    frm.imgEn_Click();

    // The editor in front again, by the global level this time.
    desk.SetDateTimeText("10.12.2026 00:10:00");
    desk.SetForeground(desk.AddWindow(editor, "Notes"));
    Tick();
    EXPECT_EQ(Lines().back(), "editor" + Pid(editor) +
                                  "priority | Normal | High | in front, by the global level | "
                                  "00:10:00");

    // A hang-up turns the boost off: the line says why it is not boosted, and the
    // tooltip no longer counts it.
    desk.SetForeground(desk.AddWindow(spinner, "Spinner"));
    Tick();
    desk.SetDateTimeText("10.12.2026 00:20:00");
    for (int i = 0; i <= frm.engine().MaxFailures() + 1; ++i) {
        Busy(spinner, 100);
        Tick();
    }
    ASSERT_TRUE(frm.engine().FailureTurnOff());
    EXPECT_EQ(desk.PriorityOf(spinner), NORMAL_PRIORITY_CLASS);
    EXPECT_EQ(Lines().back(), "spinner" + Pid(spinner) +
                                  "priority | Normal | Normal | boosting turned off after a "
                                  "hang-up | 00:20:00");
    EXPECT_EQ(Tooltip().find("boosted"), std::string::npos);
}

// Another program set its own value over Talvex's lowering: the line says the program is
// left alone and why, and the tooltip no longer counts it as lowered.
TEST_F(HeldChangesTest, ALineSaysWhenAnotherProgramsChangeWon) {
    const auto encoder = desk.AddProcess({"/usr/bin/encoder"});
    Start();
    frm.mnuPop1Advanced_Click();
    Front("/usr/bin/editor", "Notes");
    for (int i = 0; i < 20 && desk.PriorityOf(encoder) != IDLE_PRIORITY_CLASS; ++i) {
        Busy(encoder, 60);
        Tick();
    }
    ASSERT_EQ(desk.PriorityOf(encoder), IDLE_PRIORITY_CLASS);
    desk.SetPriorityOf(encoder, BELOW_NORMAL_PRIORITY_CLASS);
    desk.SetDateTimeText("09.12.2026 08:05:00");
    const std::string line = "encoder" + Pid(encoder) +
                             "priority | Normal | Below Normal | left alone: changed by "
                             "another program | 08:05:00";
    for (int i = 0; i < 3 && (Lines().empty() || Lines().back() != line); ++i) {
        Busy(encoder, 60);
        Tick();
    }
    EXPECT_EQ(Lines().back(), line);
    EXPECT_EQ(Tooltip(), "Talvex 1.1.0: Notes\n1 boosted, 0 lowered");
    frm.SetLanguageDataFolder(TALVEX_SOURCE_DIR "/lang");
    frm.imgGer_Click();
    EXPECT_EQ(Lines().back(),
              "encoder" + Pid(encoder) +
                  "Priorität | Normal | Niedriger als normal | in Ruhe gelassen: von "
                  "einem anderen Programm geändert | 08:05:00");
}

TEST_F(HeldChangesTest, PutBackNowUndoesAndLeavesTheProgramAloneUntilItComesToTheFront) {
    const auto encoder = desk.AddProcess({"/usr/bin/encoder"});
    Start();
    frm.mnuPop1Advanced_Click();
    const auto editor = Front("/usr/bin/editor", "Notes");
    Tick();
    Busy(encoder, 80);
    Tick();
    ASSERT_EQ(desk.PriorityOf(encoder), IDLE_PRIORITY_CLASS);
    ASSERT_EQ(Lines().size(), 2u);

    ChooseByKeyboard(encoder, "mnuHeldPutBack");
    EXPECT_EQ(ui.Popups().back().chosen, "mnuHeldPutBack");
    EXPECT_EQ(desk.PriorityOf(encoder), NORMAL_PRIORITY_CLASS);
    EXPECT_EQ(log.Lines().back().substr(22), "Restoring priority of encoder to Normal.");
    EXPECT_EQ(Lines().size(), 1u);
    EXPECT_EQ(Tooltip(), "Talvex 1.1.0: Notes\n1 boosted, 0 lowered");
    // Still busy: left alone all the same.
    for (int i = 0; i < 3; ++i) {
        Busy(encoder, 80);
        Tick();
    }
    EXPECT_EQ(desk.PriorityOf(encoder), NORMAL_PRIORITY_CLASS);

    // The program in front loses its boost and keeps it off while it stays in front.
    ChooseByKeyboard(editor, "mnuHeldPutBack");
    EXPECT_EQ(desk.PriorityOf(editor), NORMAL_PRIORITY_CLASS);
    EXPECT_TRUE(Lines().empty());
    EXPECT_EQ(Tooltip(), "Talvex 1.1.0: Notes");
    Tick();
    EXPECT_EQ(desk.PriorityOf(editor), NORMAL_PRIORITY_CLASS);

    // Once the encoder has been in front, Talvex may lower it again.
    desk.SetForeground(desk.AddWindow(encoder, "Encoder"));
    Tick();
    desk.SetForeground(desk.AddWindow(editor, "Notes"));
    Tick();
    Busy(encoder, 80);
    Tick();
    EXPECT_EQ(desk.PriorityOf(encoder), IDLE_PRIORITY_CLASS);
}

TEST_F(HeldChangesTest, AddARuleOpensTheRulePanelWithTheProgramsPath) {
    const auto encoder = desk.AddProcess({"/usr/bin/encoder"});
    Start();
    frm.mnuPop1Advanced_Click();
    Front("/usr/bin/editor", "Notes");
    Tick();
    Busy(encoder, 80);
    Tick();
    const auto before = Rules().size();

    // The menu by the mouse, on the selected line; the input box is confirmed as it is.
    Select(encoder);
    ui.AnswerInputBox("/usr/bin/encoder");
    ui.ChooseInNextPopup("mnuHeldAddRule");
    Adv("lstHeld").UserMouseDown(kRightButton, 0, 0, 0);
    ASSERT_FALSE(ui.InputBoxes().empty());
    EXPECT_EQ(ui.InputBoxes().back().defaultText, "/usr/bin/encoder");
    ASSERT_EQ(Rules().size(), before + 1);
    EXPECT_TRUE(frm.form().Visible());
    EXPECT_TRUE(frm.AdvancedView());
    EXPECT_EQ(Main("List1").List(Main("List1").ListIndex()), "/usr/bin/encoder");

    // A program that already has a rule gets none more; its rule is selected.
    ui.AnswerInputBox("/usr/bin/encoder");
    ui.ChooseInNextPopup("mnuHeldAddRule");
    Select(encoder);
    Adv("lstHeld").UserMouseDown(kRightButton, 0, 0, 0);
    EXPECT_EQ(Rules().size(), before + 1);
    EXPECT_EQ(Main("List1").List(Main("List1").ListIndex()), "/usr/bin/encoder");

    // No line selected: no menu.
    const auto popups = ui.Popups().size();
    Adv("lstHeld").SetListIndex(-1);
    Adv("lstHeld").UserMouseDown(kRightButton, 0, 0, 0);
    EXPECT_EQ(ui.Popups().size(), popups);
}

// Linux holds a nice value per thread, a reset-on-fork flag and a session group: the
// list shows one priority line per process, read from its main thread, and one line
// for the group. The counts take each program once.
class MemoryLevers : public ILeverAccess {
  public:
    std::optional<std::int64_t> ReadLever(const LeverTarget& t) override {
        const auto found = values.find(Key(t));
        return found == values.end() ? std::optional<std::int64_t>{0} : found->second;
    }
    Write WriteLever(const LeverTarget& t, std::int64_t value) override {
        values[Key(t)] = value;
        return Write::Done;
    }
    std::map<std::tuple<std::int32_t, std::int64_t, Lever>, std::int64_t> values;

  private:
    static std::tuple<std::int32_t, std::int64_t, Lever> Key(const LeverTarget& t) {
        return {t.pid, t.id, t.lever};
    }
};

TEST(HeldRowsTest, OneLinePerProcessAndLeverAndEachProgramCountedOnce) {
    MemoryLevers levers;
    ChangeRecord record(levers, "boot");
    const std::int32_t own = 10;
    const std::int32_t game = 20;
    const std::int32_t encoder = 30;
    record.Change({
        {{own, 1, own, Lever::ThreadNice}, 0, -10},       // Talvex's own raise
        {{game, 2, 21, Lever::ThreadResetOnFork}, 0, 1},  // a worker thread's flag
        {{game, 2, 21, Lever::ThreadNice}, 0, -5},        // a worker thread first
        {{game, 2, game, Lever::ThreadNice}, 2, -10},     // the main thread
        {{game, 2, 555, Lever::GroupNice}, 0, -10},       // its session group
        {{encoder, 3, encoder, Lever::ThreadNice}, 0, 19},
        {{encoder, 3, 31, Lever::ThreadNice}, 0, 19},
        // CPU groups: the weight goes up for a raise and down for a lowering.
        {{game, 2, 7001, Lever::GroupWeight}, 1024, 9548},
        {{encoder, 3, 7002, Lever::GroupWeight}, 100, 1},
    });
    std::vector<ProcessEntry> table(2);
    table[0].lPid = game;
    table[0].sExeName = "game";
    table[0].sExePath = "/opt/game/game";
    HeldChanges notes;
    notes.Note(encoder, {HeldWhy::BusyInBackground, 55, "t"});
    const auto rows = notes.Rows(record, own, table, encoder, "/usr/bin/encoder");

    struct Expected {
        std::int32_t pid;
        HeldLever lever;
        std::int64_t before, now;
        std::string name;
        bool raised, lowered, reason;
    };
    const std::vector<Expected> expected{
        {game, HeldLever::Priority, 2, -10, "game", true, false, false},
        {game, HeldLever::SessionGroup, 0, -10, "game", true, false, false},
        {encoder, HeldLever::Priority, 0, 19, "encoder", false, true, true},
        {game, HeldLever::CpuGroup, 1024, 9548, "game", true, false, false},
        {encoder, HeldLever::CpuGroup, 100, 1, "encoder", false, true, true},
    };
    ASSERT_EQ(rows.size(), expected.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(rows[i].lPid, expected[i].pid);
        EXPECT_EQ(rows[i].lever, expected[i].lever);
        EXPECT_EQ(rows[i].before, expected[i].before);
        EXPECT_EQ(rows[i].now, expected[i].now);
        EXPECT_EQ(rows[i].sExeName, expected[i].name);
        EXPECT_EQ(rows[i].Raised(), expected[i].raised);
        EXPECT_EQ(rows[i].Lowered(), expected[i].lowered);
        EXPECT_EQ(rows[i].reason.has_value(), expected[i].reason);
    }
    EXPECT_EQ(CountHeld(rows), (HeldCount{1, 1}));
    // A weight reads as the number it is, not as a priority class.
    const StringTable english;
    EXPECT_NE(held::RowText(english, rows[3], "").find("CPU group weight 1024 -> 9548"),
              std::string::npos)
        << held::RowText(english, rows[3], "");

    // Notes of processes that left the table go with them.
    notes.LeaveAlone(encoder);
    notes.KeepOnly(table, 0);
    EXPECT_EQ(notes.Find(encoder), nullptr);
    EXPECT_FALSE(notes.LeftAlone(encoder));
}

}  // namespace
}  // namespace talvex
