// The developer trace and the one wrapper that ends handlers quietly: every swallowed
// error is written with the handler's name, nothing is written while the trace is off.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "base/RunQuietly.h"
#include "base/TalvexError.h"
#include "base/Trace.h"

namespace talvex {
namespace {

class TraceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        trace::SetSink([this](std::string_view line) { lines.emplace_back(line); });
    }
    void TearDown() override {
        trace::SetSink(nullptr);
        trace::SetLevel(trace::Level::Off);
    }
    std::vector<std::string> lines;
};

TEST_F(TraceTest, SwallowedErrorsKeepEarlierEffectsAndAreTracedWithTheHandlersName) {
    trace::SetLevel(trace::Level::Error);
    struct Case {
        void (*thrower)();
        const char* expected;
    };
    const Case cases[] = {
        {[] { throw TalvexError(kErrIndexOutOfRange); }, "Talvex error 9 (index out of range)"},
        {[] { throw TalvexError(kErrOverflow); }, "Talvex error 6 (overflow)"},
        {[] { throw TalvexError(77); }, "Talvex error 77"},
        {[] { throw std::out_of_range("vector"); }, "exception: vector"},
        {[] { throw 42; }, "an exception of unknown type"},
    };
    for (const Case& c : cases) {
        lines.clear();
        int effects = 0;
        EXPECT_FALSE(RunQuietly("Command1_Click", [&] {
            ++effects;
            c.thrower();
        }));
        EXPECT_EQ(effects, 1);
        ASSERT_EQ(lines.size(), 1u) << c.expected;
        EXPECT_NE(lines[0].find(" error Command1_Click: ended quietly by "), std::string::npos)
            << lines[0];
        EXPECT_NE(lines[0].find(c.expected), std::string::npos) << lines[0];
        EXPECT_EQ(lines[0].back(), '\n');
    }
    lines.clear();
    EXPECT_TRUE(RunQuietly("chkActive_Click", [] {}));
    EXPECT_TRUE(lines.empty());
}

TEST_F(TraceTest, LevelsFilterAndOffWritesNothing) {
    const auto handlerThatFails = [] { throw TalvexError(kErrTypeMismatch); };
    trace::SetLevel(trace::Level::Off);
    EXPECT_FALSE(RunQuietly("Off", handlerThatFails));
    trace::Write(trace::Level::Error, "Off", "not written");
    EXPECT_TRUE(lines.empty());

    trace::SetLevel(trace::Level::Warning);
    trace::Write(trace::Level::Warning, "QtTermination", "kept");
    trace::Write(trace::Level::Info, "QtTermination", "too detailed");
    EXPECT_TRUE(RunQuietly("NoRunLinesBelowDebug", [] {}));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(" warning QtTermination: kept"), std::string::npos) << lines[0];

    lines.clear();
    trace::SetLevel(trace::Level::Debug);
    EXPECT_FALSE(RunQuietly("tmrRefresh_Timer", handlerThatFails));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find(" debug tmrRefresh_Timer: runs"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find(" error tmrRefresh_Timer: ended quietly by Talvex error 13"),
              std::string::npos)
        << lines[1];

    // --verbose never lowers a level that is already higher.
    trace::EnableVerbose();
    EXPECT_TRUE(trace::Enabled(trace::Level::Debug));
    trace::SetLevel(trace::Level::Off);
    trace::EnableVerbose();
    EXPECT_TRUE(trace::Enabled(trace::Level::Info));
    EXPECT_FALSE(trace::Enabled(trace::Level::Debug));
}

TEST(TraceLevelTest, TheEnvironmentValueSelectsTheLevel) {
    using trace::Level;
    const std::pair<const char*, Level> cases[] = {
        {nullptr, Level::Off}, {"", Level::Off},    {"0", Level::Off},   {"000", Level::Off},
        {"1", Level::Info},    {"01", Level::Info}, {"2", Level::Debug}, {"10", Level::Debug},
        {"yes", Level::Info},  {"-1", Level::Info},
    };
    for (const auto& [text, level] : cases) {
        EXPECT_EQ(trace::LevelFromText(text), level) << (text ? text : "(unset)");
    }
}

}  // namespace
}  // namespace talvex
