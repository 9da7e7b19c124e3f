// String table, message formatting, small helpers and the action log.
#include <gtest/gtest.h>

#include "base/TalvexError.h"
#include "i18n/ActionLog.h"
#include "i18n/FormatMsg.h"
#include "i18n/StringTable.h"
#include "i18n/modStd.h"
#include "platform/fake/FakeDesktop.h"

namespace talvex {
namespace {

TEST(LangTest, FallsBackBeforeAnyLoadAndOutOfRange) {
    StringTable table;
    EXPECT_EQ(table.Lang(20, false, false, false, "Below Normal"), "Below Normal");
    EXPECT_EQ(table.Lang(20, false, false, false, ""), "Translation Error!");
    table.ClearStringTable();
    EXPECT_EQ(table.Size(), 1u);
    table.Store(5, "High");
    EXPECT_EQ(table.Size(), 7u);                                     // upper bound id + 1
    EXPECT_EQ(table.Lang(6, false, false, false, "dflt"), "dflt");   // inside, no text
    EXPECT_EQ(table.Lang(99, false, false, false, "dflt"), "dflt");  // beyond the table
    EXPECT_EQ(table.Lang(-1, true, true, true, "dflt"), "dflt");     // fallback gets no spaces
    EXPECT_EQ(table.Lang(0, false, false, false, ""), "Translation Error!");
}

// A named id is the numbered lookup with the default of the table of text ids.
TEST(LangTest, NamedIdsLookUpTheirNumberWithTheTablesDefault) {
    StringTable table;
    table.ClearStringTable();
    EXPECT_EQ(table.Lang(TextId::RestoringPriority), "Restoring priority of %1 to %2.");
    EXPECT_EQ(table.Lang(TextId::RestoringPriority, true, true), "Restoring priority of %1 to %2.");
    EXPECT_EQ(table.Lang(TextId::NoUpdate), "Translation Error!");  // no default of its own
    EXPECT_EQ(table.Lang(TextId::BelowNormalThreshold, false, false, false, "caption"), "caption");
    table.Store(TextNumber(TextId::NoUpdateEnd), "latest.");
    table.Store(51, "Restauration de %1 : %2.");
    EXPECT_EQ(table.Lang(TextId::NoUpdateEnd, true), " latest.");
    EXPECT_EQ(table.Lang(TextId::RestoringPriority), "Restauration de %1 : %2.");
}

TEST(LangTest, EmptyTextMarkerSpacingAndCapitalInFixedOrder) {
    StringTable table;
    table.ClearStringTable();
    table.Store(12, "");
    table.Store(13, "Off");
    table.Store(14, "off");
    EXPECT_EQ(table.Lang(12, false, false, false, "default"), "");
    EXPECT_EQ(table.Lang(12, true, false, false, "default"), " ");
    EXPECT_EQ(table.Lang(12, true, true, true, "default"), "  ");
    EXPECT_EQ(table.Lang(13, true, true, false, ""), " Off ");
    EXPECT_EQ(table.Lang(14, false, false, true, ""), "Off");
    EXPECT_EQ(table.Lang(14, false, true, false, ""), "off ");
    // A text that starts with a multi-byte character is left as it is.
    table.Store(15, "été");
    EXPECT_EQ(table.Lang(15, false, false, true, ""), "été");
    // Storing keeps what is there and never shrinks the table.
    table.Store(2, "two");
    EXPECT_EQ(table.Size(), 17u);  // id 15 + one empty beyond
    EXPECT_EQ(table.Lang(13, false, false, false, ""), "Off");
}

TEST(FormatMsgTest, FillsPlaceholdersHighestFirst) {
    EXPECT_EQ(FormatMsg("Restoring priority of %1 to %2.", MsgArgs{"notepad.exe", "Normal"}),
              "Restoring priority of notepad.exe to Normal.");
    MsgArgs eleven;
    for (int i = 1; i <= 11; ++i) eleven.emplace_back("v" + std::to_string(i));
    EXPECT_EQ(FormatMsg("%11|%1", eleven), "v11|v1");
    EXPECT_EQ(FormatMsg("%1 %2", MsgArgs{"x"}), "x %2");
    EXPECT_EQ(FormatMsg("%2 %1", MsgArgs{"a", "%1"}), "a a");
    EXPECT_EQ(FormatMsg("pid %1, class %2", MsgArgs{std::int64_t{-9999}, std::int64_t{128}}),
              "pid -9999, class 128");
    EXPECT_EQ(FormatMsg("%1%1", MsgArgs{"ab"}), "abab");
    EXPECT_EQ(FormatMsg("no values %1", MsgArgs{}), "no values %1");
}

TEST(FormatMsgTest, SingleValueInsteadOfListIsTypeMismatch) {
    try {
        FormatMsg("%1", MsgArg{std::string("x")});
        FAIL() << "expected error 13";
    } catch (const TalvexError& e) {
        EXPECT_EQ(e.Number(), kErrTypeMismatch);
    }
}

TEST(ModStdTest, BarsBecomeLineBreaksInPlace) {
    std::string text = "a|b||c";
    EXPECT_EQ(modStd::BarsToLineBreaks(text), "a\r\nb\r\n\r\nc");
    EXPECT_EQ(text, "a\r\nb\r\n\r\nc");
    std::string more = "x";
    EXPECT_EQ(modStd::AppendText(more, "yz"), "xyz");
    EXPECT_EQ(more, "xyz");
}

TEST(ModStdTest, IncrementAndDecrementOverflowLeaveTheValue) {
    std::int32_t value = 2147483646;
    modStd::Increment(value);
    EXPECT_EQ(value, 2147483647);
    EXPECT_THROW(modStd::Increment(value), TalvexError);
    EXPECT_EQ(value, 2147483647);
    value = -2147483647;
    modStd::Decrement(value);
    EXPECT_THROW(modStd::Decrement(value), TalvexError);
    EXPECT_EQ(value, -2147483647 - 1);
}

TEST(ActionLogTest, HeaderCapAndSelection) {
    platform::FakeDesktop clock;
    clock.SetDateTimeText("18.11.2006 08:48:46");
    ActionLog log(clock);
    int changes = 0;
    log.SetOnChange([&] { ++changes; });
    EXPECT_EQ(log.Selected(), -1);
    log.DoLog("Settings were saved.");
    EXPECT_EQ(log.Lines().back(), "[18.11.2006 08:48:46] Settings were saved.");
    log.DoLog("plain", true);
    EXPECT_EQ(log.Lines().back(), "plain");
    for (int i = 3; i <= 250; ++i) log.DoLog("line " + std::to_string(i), true);
    EXPECT_EQ(log.Lines().size(), 250u);
    EXPECT_EQ(log.Lines().front(), "[18.11.2006 08:48:46] Settings were saved.");
    log.DoLog("line 251", true);
    EXPECT_EQ(log.Lines().size(), 250u);
    EXPECT_EQ(log.Lines().front(), "plain");
    EXPECT_EQ(log.Lines().back(), "line 251");
    EXPECT_EQ(log.Selected(), 249);
    EXPECT_EQ(changes, 251);
    log.Clear();
    EXPECT_TRUE(log.Lines().empty());
    EXPECT_EQ(log.Selected(), -1);
}

}  // namespace
}  // namespace talvex
