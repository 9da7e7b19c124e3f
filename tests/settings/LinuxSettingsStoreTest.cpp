// The INI settings store on real files: what round-trips, where it lives, and that no
// failure or crash while saving ever costs the previous file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <future>
#include <map>

#include "platform/linux/LinuxSettingsStore.h"
#include "platform/linux/XdgPaths.h"
#include "settings/modSettings.h"
#include "tests/settings/SettingsTestSupport.h"

namespace talvex {
using namespace modSettings;
namespace {

using namespace platform;
using testing::TempFolder;
namespace fs = std::filesystem;

class LinuxSettingsStoreTest : public ::testing::Test {
  protected:
    std::string Get(LinuxSettingsStore& s, const std::string& key, const std::string& def = "?") {
        return s.GetSettingValue("Kessaly", "Talvex", key, def);
    }
    bool Save(LinuxSettingsStore& s, const std::string& key, const std::string& value) {
        return s.SaveSettingValue("Kessaly", "Talvex", key, value);
    }
    std::string FilePath() const { return config + "/Kessaly/Talvex.conf"; }
    std::vector<std::string> FolderEntries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(config + "/Kessaly")) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    TempFolder temp;
    std::string config = temp / "config";
    LinuxSettingsStore store{config};
};

TEST_F(LinuxSettingsStoreTest, AnyTextSurvivesARestartInTheTalvexSection) {
    const std::vector<std::pair<std::string, std::string>> values{
        {"General.Language", "DE"},
        {"Empty", ""},
        {"Spaces", "  both ends  "},
        {"Signs", "a=b [x] #c ;d \"q\" 'q'"},
        {"Breaks", "line\nbreak\r\ttab"},
        {"Backslashes", "C:\\Tools\\n\\x41\\"},
        {"Control", std::string("\x01\x7f\x00z", 4)},
        {"Utf8", "Größe – 大きさ"},
        {"#key with = and [brackets] ", "v"},
    };
    for (const auto& [key, value] : values) ASSERT_TRUE(Save(store, key, value)) << key;

    EXPECT_EQ(store.FilePath("Kessaly", "Talvex"), FilePath());
    const std::string text = testing::ReadText(FilePath());
    EXPECT_EQ(text.rfind("[Talvex]\n", 0), 0u) << text;
    EXPECT_NE(text.find("\nGeneral.Language=DE\n"), std::string::npos) << text;

    LinuxSettingsStore restarted(config);
    for (const auto& [key, value] : values) EXPECT_EQ(Get(restarted, key), value) << key;
    // A key holding the empty text is not absent.
    EXPECT_EQ(Get(restarted, "Empty", "default"), "");
    EXPECT_EQ(Get(restarted, "Missing", "default"), "default");
    EXPECT_TRUE(restarted.DeleteSettingValue("Kessaly", "Talvex", "Spaces"));
    EXPECT_TRUE(restarted.DeleteSettingValue("Kessaly", "Talvex", "Never there"));
    EXPECT_EQ(Get(store, "Spaces", "gone"), "gone");
}

TEST_F(LinuxSettingsStoreTest, SavingKeepsTheUsersLinesInPlaceAndTheFilesMode) {
    fs::create_directories(config + "/Kessaly");
    const std::string edited =
        "# my settings\r\r\n[Other]\r\nkeep = me\r\n\r\n[Talvex]\r\n"
        "  General.Language =  FR  \r\n; old=1\r\nno equals sign\r\nMyOwnKey=42\r\n"
        "CustomItems.Item0=kate|1|False|False|False|False|\r\n\r\n# the end\r\n";
    for (const mode_t mode : {0600, 0640, 0400}) {
        SCOPED_TRACE(mode);
        testing::WriteText(FilePath(), edited);
        ASSERT_EQ(chmod(FilePath().c_str(), mode), 0);
        LinuxSettingsStore s(config);
        EXPECT_EQ(Get(s, "General.Language"), "FR");
        EXPECT_EQ(Get(s, "old"), "?");
        s.BeginUpdate();
        Save(s, "General.Language", "FR");  // unchanged: the line stays as written
        Save(s, "Boost.NewPriority", "2");
        s.DeleteSettingValue("Kessaly", "Talvex", "CustomItems.Item0");
        Save(s, "Window.Left", "120");
        ASSERT_TRUE(s.CommitUpdate());
        // Comments, blank lines, unknown keys, other sections and lines that are no
        // setting at all stay where they were; new keys follow the section's last key.
        EXPECT_EQ(testing::ReadText(FilePath()),
                  "# my settings\n[Other]\nkeep = me\n\n[Talvex]\n"
                  "  General.Language =  FR  \n; old=1\nno equals sign\nMyOwnKey=42\n"
                  "Boost.NewPriority=2\nWindow.Left=120\n\n# the end\n");
        struct stat info {};
        ASSERT_EQ(stat(FilePath().c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, mode);
        EXPECT_EQ(Get(s, "MyOwnKey"), "42");
    }
}

TEST_F(LinuxSettingsStoreTest, UpdateReachesTheFileOnlyAtItsCommitAndAllAtOnce) {
    ASSERT_TRUE(Save(store, "A", "1"));
    const std::string before = testing::ReadText(FilePath());
    store.BeginUpdate();
    Save(store, "A", "2");
    Save(store, "B", "3");
    EXPECT_EQ(Get(store, "A"), "2");  // the update sees its own writes
    EXPECT_EQ(testing::ReadText(FilePath()), before);
    ASSERT_TRUE(store.CommitUpdate());
    LinuxSettingsStore other(config);
    EXPECT_EQ(Get(other, "A"), "2");
    EXPECT_EQ(Get(other, "B"), "3");
}

TEST_F(LinuxSettingsStoreTest, UnwritableFolderLeavesThePreviousFileReadable) {
    ASSERT_TRUE(Save(store, "General.Language", "EN"));
    chmod(config.c_str(), 0755);
    chmod(temp.Path().c_str(), 0755);
    chmod(FilePath().c_str(), 0644);
    chmod((config + "/Kessaly").c_str(), 0555);
    const int status = testing::RunInChild([&] {
        if (!testing::DropRootRights()) return 3;
        LinuxSettingsStore child(config);
        if (Get(child, "General.Language") != "EN") return 2;
        return Save(child, "General.Language", "FR") ? 1 : 0;
    });
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the save claimed success, 2: unreadable";
    chmod((config + "/Kessaly").c_str(), 0700);
    EXPECT_EQ(Get(store, "General.Language"), "EN");
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"Talvex.conf"});
}

TEST_F(LinuxSettingsStoreTest, FullDiskLeavesThePreviousFileAndNoTemporaryFile) {
    SettingsValues values;
    std::int16_t global = 1;
    TalvexItems items(global);
    ASSERT_TRUE(WriteSettings(store, values, items, {10, 20}));
    const std::string before = testing::ReadText(FilePath());
    const int status = testing::RunInChild([&] {
        // A file size limit fails writes the way a full disk does, for root as well.
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64, 64};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 3;
        for (int i = 0; i < 50; ++i) {
            items.fAddToTalvexItems("program-" + std::to_string(i), 1, false, false, false, false);
        }
        return WriteSettings(store, values, items, {10, 20}) ? 1 : 0;
    });
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(testing::ReadText(FilePath()), before);
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"Talvex.conf"});
}

TEST_F(LinuxSettingsStoreTest, CrashBetweenWriteAndRenameLeavesThePreviousFile) {
    ASSERT_TRUE(Save(store, "CustomItems.Count", "1"));
    ASSERT_TRUE(Save(store, "CustomItems.Item0", "kate|1|False|False|False|False|"));
    const std::string before = testing::ReadText(FilePath());
    const int status = testing::RunInChild([&] {
        LinuxSettingsStore child(config);
        child.SetBeforeReplaceHook([] { raise(SIGKILL); });
        Save(child, "CustomItems.Item0", "gimp|2|False|False|False|False|");
        return 0;
    });
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGKILL);
    EXPECT_EQ(testing::ReadText(FilePath()), before);
    LinuxSettingsStore restarted(config);
    EXPECT_EQ(Get(restarted, "CustomItems.Item0"), "kate|1|False|False|False|False|");
    // The dead writer's temporary file stays until the next save clears it away.
    EXPECT_EQ(FolderEntries().size(), 2u);
    ASSERT_TRUE(Save(restarted, "Window.Left", "0"));
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"Talvex.conf"});
}

TEST_F(LinuxSettingsStoreTest, FileThatCannotBeReadIsNeverOverwritten) {
    // A folder where the file should be: it can be opened but not read, even by root.
    fs::create_directories(FilePath() + "/inside");
    EXPECT_EQ(Get(store, "General.Language", "DE"), "DE");
    EXPECT_FALSE(Save(store, "General.Language", "FR"));
    store.BeginUpdate();
    Save(store, "A", "1");
    EXPECT_FALSE(store.CommitUpdate());
    EXPECT_TRUE(fs::is_directory(FilePath() + "/inside"));
    // Names that would leave the config folder are refused, not followed.
    EXPECT_FALSE(store.SaveSettingValue("../Kessaly", "Talvex", "A", "1"));
    EXPECT_FALSE(store.SaveSettingValue("Kessaly", "", "A", "1"));
    EXPECT_EQ(LinuxSettingsStore("").GetSettingValue("Kessaly", "Talvex", "A", "d"), "d");
}

TEST_F(LinuxSettingsStoreTest, PipeDeviceOrHugeFileInThePlaceOfTheFileIsNeitherReadNorReplaced) {
    fs::create_directories(config + "/Kessaly");
    const std::string pipe = temp / "pipe";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    const std::string huge = temp / "huge.conf";
    testing::WriteText(huge, "[Talvex]\nGeneral.Language=FR\n");
    fs::resize_file(huge, 64u << 20);  // sparse: takes no room on the disk
    for (const std::string& target : {pipe, std::string("/dev/zero"), huge}) {
        SCOPED_TRACE(target);
        fs::remove(FilePath());
        fs::create_symlink(target, FilePath());
        LinuxSettingsStore s(config);
        auto read =
            std::async(std::launch::async, [&] { return Get(s, "General.Language", "DE"); });
        if (read.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
            // Still waiting for a writer: let it go, or the test would hang as well.
            close(open(pipe.c_str(), O_WRONLY | O_NONBLOCK));
            ADD_FAILURE() << "reading the settings waited for a writer";
        }
        EXPECT_EQ(read.get(), "DE");
        EXPECT_FALSE(Save(s, "General.Language", "EN"));
    }
    EXPECT_TRUE(fs::is_fifo(pipe));
    EXPECT_EQ(fs::file_size(huge), 64u << 20);
}

TEST_F(LinuxSettingsStoreTest, LinkedFileIsReplacedAtItsTarget) {
    fs::create_directories(config + "/Kessaly");
    fs::create_directories(temp / "dotfiles");
    testing::WriteText(temp / "dotfiles/talvex.conf", "[Talvex]\nA=1\n");
    fs::create_symlink(temp / "dotfiles/talvex.conf", FilePath());
    ASSERT_TRUE(Save(store, "A", "2"));
    EXPECT_TRUE(fs::is_symlink(FilePath()));
    EXPECT_EQ(testing::ReadText(temp / "dotfiles/talvex.conf"), "[Talvex]\nA=2\n");
}

TEST(XdgPathsTest, ConfigAndRuntimeFoldersFollowTheEnvironment) {
    std::map<std::string, std::string> env;
    const auto lookup = [&env](const char* name) -> const char* {
        const auto found = env.find(name);
        return found == env.end() ? nullptr : found->second.c_str();
    };
    env = {{"XDG_CONFIG_HOME", "/cfg"}, {"HOME", "/home/ann"}};
    EXPECT_EQ(xdg::ConfigHome(lookup), "/cfg");
    env = {{"XDG_CONFIG_HOME", "relative/cfg"}, {"HOME", "/home/ann/"}};
    EXPECT_EQ(xdg::ConfigHome(lookup), "/home/ann/.config");
    env = {{"XDG_RUNTIME_DIR", "/run/user/1000"}};
    EXPECT_EQ(xdg::RuntimeDir(lookup), "/run/user/1000");
    env = {{"XDG_RUNTIME_DIR", "run"}};
    EXPECT_EQ(xdg::RuntimeDir(lookup), "");
}

// The private folder for the record and the lock: the runtime folder when it is the
// user's own and closed, else $XDG_STATE_HOME/talvex made 0700; never a folder another
// user made first or a link planted in its place.
TEST(XdgPathsTest, PrivateFolderIsTheUsersOwnOrNone) {
    TempFolder temp;
    const std::string run = temp / "run";
    const std::string state = temp / "state";
    const std::string ours = state + "/talvex";
    struct Row {
        const char* what;
        bool needsRoot;
        std::function<void()> make;
        bool withRuntime;
        std::string expected;
    };
    const Row rows[] = {
        {"runtime folder", false, [&] { fs::create_directory(run); }, true, run},
        {"no runtime folder", false, [] {}, false, ours},
        {"runtime folder open to all", false,
         [&] {
             fs::create_directory(run);
             chmod(run.c_str(), 0777);
         },
         true, ours},
        {"runtime folder of another user", true,
         [&] {
             fs::create_directory(run);
             if (chown(run.c_str(), 12345, 12345) != 0) ADD_FAILURE() << "chown";
         },
         true, ours},
        {"own state folder open to all", false,
         [&] {
             fs::create_directories(ours);
             chmod(ours.c_str(), 0777);
         },
         false, ours},
        {"a link in its place", false,
         [&] {
             fs::create_directories(temp / "elsewhere");
             fs::create_directories(state);
             fs::create_directory_symlink(temp / "elsewhere", ours);
         },
         false, ""},
        {"made by another user first", true,
         [&] {
             fs::create_directories(ours);
             if (chown(ours.c_str(), 12345, 12345) != 0) ADD_FAILURE() << "chown";
         },
         false, ""},
        {"a file in its place", false,
         [&] {
             fs::create_directories(state);
             testing::WriteText(ours, "");
         },
         false, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.needsRoot && geteuid() != 0) continue;
        fs::remove_all(run);
        fs::remove_all(state);
        fs::remove_all(temp / "elsewhere");
        row.make();
        std::map<std::string, std::string> env{{"XDG_STATE_HOME", state}, {"HOME", "/nonexistent"}};
        if (row.withRuntime) env["XDG_RUNTIME_DIR"] = run;
        const auto lookup = [&](const char* name) -> const char* {
            const auto it = env.find(name);
            return it == env.end() ? nullptr : it->second.c_str();
        };
        std::string why;
        EXPECT_EQ(xdg::PrivateFolder(lookup, &why), row.expected);
        EXPECT_NE(why.find(row.expected.empty() ? "not a private folder" : row.expected),
                  std::string::npos)
            << why;
        struct stat info {};
        if (row.expected == ours) {
            ASSERT_EQ(lstat(ours.c_str(), &info), 0);
            EXPECT_EQ(info.st_mode & 0777, 0700u);
        }
    }
}

}  // namespace
}  // namespace talvex
