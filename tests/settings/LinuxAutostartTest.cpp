// XDG autostart entries on real files.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/linux/LinuxAutostart.h"
#include "settings/modAutostart.h"
#include "tests/settings/SettingsTestSupport.h"

namespace talvex {
using namespace modAutostart;
namespace {

using namespace platform;
using testing::TempFolder;
namespace fs = std::filesystem;

class LinuxAutostartTest : public ::testing::Test {
  protected:
    std::string EntryFile() const { return dir + "/Talvex.desktop"; }

    TempFolder temp;
    std::string dir = temp / "config/autostart";
};

TEST_F(LinuxAutostartTest, EntryIsWrittenReadRemovedAndRewrittenWithTheCurrentPath) {
    LinuxAutostart installed(dir, "/opt/talvex/talvex");
    EXPECT_FALSE(IsAutostartSet(installed));  // not even the folder exists yet
    EXPECT_FALSE(fs::exists(dir));

    ASSERT_TRUE(SetAutostart(installed, true));
    const std::string text = testing::ReadText(EntryFile());
    EXPECT_EQ(text.rfind("[Desktop Entry]\n", 0), 0u) << text;
    EXPECT_NE(text.find("\nType=Application\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nName=Talvex\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nExec=\"/opt/talvex/talvex\"\n"), std::string::npos) << text;
    EXPECT_TRUE(IsAutostartSet(installed));

    // A copy started from elsewhere finds the entry and, writing it again, points it
    // at itself.
    LinuxAutostart moved(dir, "/home/ann/My Programs/talvex");
    EXPECT_TRUE(IsAutostartSet(moved));
    ASSERT_TRUE(SetAutostart(moved, true));
    EXPECT_EQ(moved.RegQueryValueExA("Talvex"), "/home/ann/My Programs/talvex");
    EXPECT_NE(testing::ReadText(EntryFile()).find("Exec=\"/home/ann/My Programs/talvex\""),
              std::string::npos);

    ASSERT_TRUE(SetAutostart(moved, false));
    EXPECT_FALSE(fs::exists(EntryFile()));
    EXPECT_FALSE(IsAutostartSet(installed));
    EXPECT_TRUE(SetAutostart(moved, false));
    ASSERT_TRUE(SetAutostart(installed, true));
    EXPECT_EQ(installed.RegQueryValueExA("Talvex"), "/opt/talvex/talvex");
}

TEST_F(LinuxAutostartTest, AnyProgramPathIsQuotedSoItReadsBackUnchanged) {
    EXPECT_EQ(LinuxAutostart::QuoteExecArgument("/a b/c$d"), "\"/a b/c\\\\$d\"");
    EXPECT_EQ(LinuxAutostart::QuoteExecArgument("/x\\y"), "\"/x\\\\\\\\y\"");
    EXPECT_EQ(LinuxAutostart::QuoteExecArgument("/100%/t"), "\"/100%%/t\"");
    for (const std::string path :
         {"/plain/talvex", "/with space/talvex", "/q\"uote/`tick`/$HOME", "/back\\slash\\s/talvex",
          "/pct%u %%/talvex", "/new\nline\ttab/talvex", "/ünï/talvex"}) {
        LinuxAutostart autostart(dir, path);
        ASSERT_TRUE(SetAutostart(autostart, true)) << path;
        EXPECT_EQ(autostart.RegQueryValueExA("Talvex"), path);
        // Every line of the file is one key of the entry: nothing in the path breaks out.
        const std::string text = testing::ReadText(EntryFile());
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 7) << text;
    }
}

TEST_F(LinuxAutostartTest, EntrySwitchedOffByTheUserOrBrokenCountsAsNotSet) {
    fs::create_directories(dir);
    LinuxAutostart autostart(dir, "/opt/talvex/talvex");
    testing::WriteText(EntryFile(), "[Desktop Entry]\nExec=/usr/local/bin/talvex --quiet\n");
    EXPECT_EQ(autostart.RegQueryValueExA("Talvex"), "/usr/local/bin/talvex");
    EXPECT_TRUE(IsAutostartSet(autostart));
    testing::WriteText(EntryFile(), "[Desktop Entry]\nExec=talvex\nHidden=true\n");
    EXPECT_FALSE(IsAutostartSet(autostart));
    testing::WriteText(EntryFile(),
                       "[Desktop Entry]\nExec=talvex\nX-GNOME-Autostart-enabled=false\n");
    EXPECT_FALSE(IsAutostartSet(autostart));
    testing::WriteText(EntryFile(), "[Other Group]\nExec=talvex\n");
    EXPECT_FALSE(IsAutostartSet(autostart));
    testing::WriteText(EntryFile(), "");
    EXPECT_FALSE(IsAutostartSet(autostart));
}

TEST_F(LinuxAutostartTest, UnreachableFolderChangesNothing) {
    // The config folder is a file, so the autostart folder can never be made, not even
    // by root.
    testing::WriteText(temp / "config", "not a folder");
    LinuxAutostart autostart(dir, "/opt/talvex/talvex");
    EXPECT_FALSE(SetAutostart(autostart, true));
    EXPECT_FALSE(SetAutostart(autostart, false));
    EXPECT_FALSE(IsAutostartSet(autostart));
    EXPECT_EQ(testing::ReadText(temp / "config"), "not a folder");
    LinuxAutostart nowhere("", "/opt/talvex/talvex");
    EXPECT_FALSE(SetAutostart(nowhere, true));
    // Where the system does not tell the program's own path, no empty entry is made.
    LinuxAutostart pathless(temp / "other/autostart", "");
    EXPECT_TRUE(SetAutostart(pathless, true));
    EXPECT_FALSE(IsAutostartSet(pathless));
}

}  // namespace
}  // namespace talvex
