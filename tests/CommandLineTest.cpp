// The command line: which of Talvex's own options decides, what is left for the toolkit,
// and what is refused once the toolkit has taken its own.
#include <gtest/gtest.h>

#include "app/CommandLine.h"

namespace talvex::app {
namespace {

using Args = std::vector<std::string>;

TEST(CommandLineTest, TheFirstOwnOptionDecidesAndTheRestIsLeftInOrder) {
    struct Case {
        Args args;
        CommandAction action;
        Args others;
        bool verbose = false;
    };
    const Case cases[] = {
        {{}, CommandAction::Run, {}},
        // --verbose goes with any action and decides none.
        {{"--verbose"}, CommandAction::Run, {}, true},
        {{"--verbose", "--restore"}, CommandAction::Restore, {}, true},
        {{"-v", "--verbose"}, CommandAction::ShowVersion, {}, true},
        {{"--", "--verbose"}, CommandAction::Run, {"--", "--verbose"}},
        {{"-h"}, CommandAction::ShowHelp, {}},
        {{"--help"}, CommandAction::ShowHelp, {}},
        {{"-v"}, CommandAction::ShowVersion, {}},
        {{"--restore", "-platform", "xcb"}, CommandAction::Restore, {"-platform", "xcb"}},
        {{"--version", "--help"}, CommandAction::ShowVersion, {}},
        {{"-platform", "offscreen", "--help", "-reverse"},
         CommandAction::ShowHelp,
         {"-platform", "offscreen", "-reverse"}},
        // Near misses are not Talvex's: the toolkit or the refusal deals with them.
        {{"--helper", "-version", "-hv", "--Help"},
         CommandAction::Run,
         {"--helper", "-version", "-hv", "--Help"}},
        // After "--" nothing is an option.
        {{"-style", "Fusion", "--", "--version", "x"},
         CommandAction::Run,
         {"-style", "Fusion", "--", "--version", "x"}},
        {{"--help", "--version=2"}, CommandAction::ShowHelp, {}},
    };
    for (const auto& c : cases) {
        const CommandLine got = ReadCommandLine(c.args);
        const std::string label = ::testing::PrintToString(c.args);
        EXPECT_EQ(got.action, c.action) << label;
        EXPECT_EQ(got.vsOthers, c.others) << label;
        EXPECT_EQ(got.bVerbose, c.verbose) << label;
        EXPECT_TRUE(got.sError.empty()) << label;
    }
    // A value on an option that takes none decides too, as a usage error.
    const CommandLine bad = ReadCommandLine({"-reverse", "--help=now", "--version"});
    EXPECT_EQ(bad.action, CommandAction::Fail);
    EXPECT_EQ(bad.sError.rfind("talvex: option '--help' takes no value\n", 0), 0u) << bad.sError;
}

TEST(CommandLineTest, WhatNobodyTookIsRefusedByItsFirstArgument) {
    EXPECT_EQ(RefuseArguments({}).action, CommandAction::Run);
    EXPECT_EQ(RefuseArguments({"--"}).action, CommandAction::Run);
    const struct {
        Args left;
        std::string message;
    } cases[] = {
        {{"--bogus", "stray"}, "talvex: unknown option '--bogus'\n"},
        {{"-x"}, "talvex: unknown option '-x'\n"},
        {{"stray", "--bogus"}, "talvex: unexpected argument 'stray'\n"},
        {{"-"}, "talvex: unexpected argument '-'\n"},
        {{"--", "--help"}, "talvex: unexpected argument '--help'\n"},
        {{"--bogus", "--", "x"}, "talvex: unknown option '--bogus'\n"},
    };
    for (const auto& c : cases) {
        const CommandLine got = RefuseArguments(c.left);
        EXPECT_EQ(got.action, CommandAction::Fail);
        EXPECT_EQ(got.sError.rfind(c.message, 0), 0u) << got.sError;
    }
}

TEST(CommandLineTest, OnlyTheToolkitsOwnOptionsPassBeforeItStarts) {
    // Accepted: each with its value, joined or not, with one dash or two.
    for (const Args& args : std::vector<Args>{{},
                                              {"-platform", "offscreen"},
                                              {"--platform", "xcb", "-reverse"},
                                              {"-style=fusion", "--stylesheet=a.qss"},
                                              {"-display", ":1", "-geometry", "10x10"},
                                              {"-qwindowtitle", "--bogus"},
                                              {
                                                  "-sync",
                                                  "-nograb",
                                                  "--",
                                              }}) {
        const CommandLine got = CheckToolkitArguments(args);
        EXPECT_EQ(got.action, CommandAction::Run) << (args.empty() ? "" : args[0]);
    }
    const struct {
        Args others;
        std::string message;
    } refused[] = {
        {{"--bogus"}, "talvex: unknown option '--bogus'\n"},
        {{"-platform", "offscreen", "-x"}, "talvex: unknown option '-x'\n"},
        {{"-reverse=1"}, "talvex: unknown option '-reverse=1'\n"},
        {{"-platformx", "y"}, "talvex: unknown option '-platformx'\n"},
        {{"---platform", "y"}, "talvex: unknown option '---platform'\n"},
        {{"stray"}, "talvex: unexpected argument 'stray'\n"},
        {{"-style"}, "talvex: option '-style' needs a value\n"},
        {{"--", "x"}, "talvex: unexpected argument 'x'\n"},
    };
    for (const auto& c : refused) {
        const CommandLine got = CheckToolkitArguments(c.others);
        EXPECT_EQ(got.action, CommandAction::Fail) << c.others[0];
        EXPECT_EQ(got.sError.rfind(c.message, 0), 0u) << got.sError;
    }
}

}  // namespace
}  // namespace talvex::app
