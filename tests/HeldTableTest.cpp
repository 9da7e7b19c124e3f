// The Advanced window's table of changes held now on the fake UI: the cells under each
// column, and a refresh that redraws only what changed, keeps the selection with its
// program and waits while the window is hidden.
#include <gtest/gtest.h>

#include "i18n/TextIds.h"
#include "platform/IProcessApi.h"
#include "platform/fake/FakeDesktop.h"
#include "platform/fake/FakeUi.h"
#include "tests/AdvancedTestHost.h"
#include "ui/frmAdvanced.h"

namespace talvex {
namespace {

using namespace platform;

using Host = testing::NullAdvancedHost;

HeldRow Row(std::int32_t pid, std::string name, HeldLever lever, Lever values, std::int64_t before,
            std::int64_t now, std::optional<HeldReason> reason) {
    HeldRow row;
    row.lPid = pid;
    row.sExeName = std::move(name);
    row.sExePath = row.sExeName.empty() ? "" : "/usr/bin/" + row.sExeName;
    row.lever = lever;
    row.values = values;
    row.before = before;
    row.now = now;
    row.reason = std::move(reason);
    return row;
}

class HeldTableTest : public ::testing::Test {
  protected:
    HeldTableTest() {
        desk.SetDateTimeText("10.12.2026 12:00:00");
        window = std::make_unique<frmAdvanced>(frmAdvancedServices{ui, engine, strings, log, host});
    }
    Control& Table() { return window->Ctl("lstHeld"); }
    int Redraws() { return FakeUi::Updates(Table(), UiProperty::Items); }

    FakeDesktop desk;
    FakeUi ui;
    StringTable strings;
    ActionLog log{desk};
    Host host;
    Engine engine{desk, desk, desk, strings, log, host};
    std::unique_ptr<frmAdvanced> window;
};

TEST_F(HeldTableTest, EachRowShowsItsCellsUnderTheirColumns) {
    std::vector<std::string> headers;
    for (const ReportColumn& column : Table().Columns()) headers.push_back(column.caption);
    EXPECT_EQ(headers, (std::vector<std::string>{"Program", "PID", "Lever", "Before", "Now", "Why",
                                                 "Since"}));
    const HeldReason byRule{HeldWhy::ByRule, 0, "10.12.2026 11:59:30"};
    const HeldReason busy{HeldWhy::BusyInBackground, 73, "09.12.2026 23:00:00"};
    const HeldReason other{HeldWhy::ChangedByOther, 0, "10.12.2026 08:00:00"};
    struct Case {
        HeldRow row;
        ReportRow cells;
    };
    const std::vector<Case> cases{
        {Row(4100, "game", HeldLever::Priority, Lever::PriorityClass, NORMAL_PRIORITY_CLASS,
             REALTIME_PRIORITY_CLASS, byRule),
         {"game", "4100", "priority", "Normal", "Realtime", "in front, by its rule", "11:59:30"}},
        // Nice values read as the class they fall in; a change of another day keeps its date.
        {Row(23, "encoder", HeldLever::Priority, Lever::ThreadNice, 0, 19, busy),
         {"encoder", "23", "priority", "Normal", "Idle", "busy in the background at 73 %",
          "09.12.2026 23:00:00"}},
        {Row(4100, "game", HeldLever::SessionGroup, Lever::GroupNice, 0, -10, byRule),
         {"game", "4100", "session group", "Normal", "High", "in front, by its rule", "11:59:30"}},
        // A weight is the number it is.
        {Row(4100, "game", HeldLever::CpuGroup, Lever::GroupWeight, 100, 9548, byRule),
         {"game", "4100", "CPU group weight", "100", "9548", "in front, by its rule", "11:59:30"}},
        {Row(77, "indexer", HeldLever::Priority, Lever::PriorityClass, IDLE_PRIORITY_CLASS,
             BELOW_NORMAL_PRIORITY_CLASS, other),
         {"indexer", "77", "priority", "Idle", "Below Normal",
          "left alone: changed by another program", "08:00:00"}},
        // Neither a name nor a reason known: a question mark, never an empty cell.
        {Row(9, "", HeldLever::Priority, Lever::PriorityClass, NORMAL_PRIORITY_CLASS,
             HIGH_PRIORITY_CLASS, std::nullopt),
         {"?", "9", "priority", "Normal", "High", "?", "?"}},
    };
    std::vector<HeldRow> rows;
    for (const Case& c : cases) rows.push_back(c.row);
    window->Show();
    window->ShowHeld(rows);
    ASSERT_EQ(Table().ListCount(), static_cast<std::int32_t>(cases.size()));
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(Table().Rows()[i], cases[i].cells);
        for (std::size_t c = 0; c < headers.size(); ++c) {
            EXPECT_EQ(Table().Cell(static_cast<std::int32_t>(i), static_cast<std::int32_t>(c)),
                      cases[i].cells[c]);
        }
    }
    EXPECT_EQ(Table().Cell(0, 7), "");
    EXPECT_EQ(Table().Cell(static_cast<std::int32_t>(cases.size()), 0), "");
}

TEST_F(HeldTableTest, ARefreshRedrawsOnlyChangesKeepsTheSelectedProgramAndWaitsWhileHidden) {
    const HeldReason busy{HeldWhy::BusyInBackground, 50, "10.12.2026 11:00:00"};
    const HeldRow a = Row(10, "alpha", HeldLever::Priority, Lever::PriorityClass,
                          NORMAL_PRIORITY_CLASS, IDLE_PRIORITY_CLASS, busy);
    const HeldRow b = Row(20, "beta", HeldLever::Priority, Lever::PriorityClass,
                          NORMAL_PRIORITY_CLASS, IDLE_PRIORITY_CLASS, busy);
    const HeldRow c = Row(30, "gamma", HeldLever::Priority, Lever::PriorityClass,
                          NORMAL_PRIORITY_CLASS, IDLE_PRIORITY_CLASS, busy);
    // Loaded hidden: nothing is drawn until the window shows.
    window->ShowHeld({a, b});
    EXPECT_EQ(Table().ListCount(), 0);
    const int hidden = Redraws();
    window->Show();
    EXPECT_EQ(Table().ListCount(), 2);
    EXPECT_EQ(Redraws(), hidden + 1);

    Table().UserSelect(1);
    ASSERT_EQ(window->SelectedHeld()->lPid, 20);
    // The same rows again, tick after tick: no redraw, the selection stays.
    for (int tick = 0; tick < 5; ++tick) window->ShowHeld({a, b});
    EXPECT_EQ(Redraws(), hidden + 1);
    EXPECT_EQ(Table().ListIndex(), 1);
    // A row comes before it: the selection follows its program.
    window->ShowHeld({c, a, b});
    EXPECT_EQ(Redraws(), hidden + 2);
    EXPECT_EQ(Table().ListIndex(), 2);
    EXPECT_EQ(window->SelectedHeld()->lPid, 20);
    // Another language rewords every cell; the selection stays with its program.
    strings.Store(TextNumber(TextId::LeverPriority), "Priorität");
    window->Retranslate();
    EXPECT_EQ(Table().Cell(2, 2), "Priorität");
    EXPECT_EQ(Table().ListIndex(), 2);
    // Its program is no longer held: nothing is selected, not the row now at its place.
    window->ShowHeld({c, a});
    EXPECT_EQ(Table().ListIndex(), -1);
    EXPECT_EQ(window->SelectedHeld(), nullptr);

    // Hidden again: changes wait, and show when the window does.
    window->form().Hide();
    const int before = Redraws();
    window->ShowHeld({b});
    window->ShowHeld({b, c});
    EXPECT_EQ(Redraws(), before);
    EXPECT_EQ(Table().Cell(0, 0), "gamma");
    window->Show();
    EXPECT_EQ(Redraws(), before + 1);
    EXPECT_EQ(Table().Cell(0, 0), "beta");
    EXPECT_EQ(Table().Cell(1, 0), "gamma");
}

}  // namespace
}  // namespace talvex
