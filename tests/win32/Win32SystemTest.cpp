// The registry settings store, the Run key, the instance mutex and UTF-8 paths on the
// real system (Wine in a prefix of the test run's own).
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "i18n/modLang.h"
#include "platform/fake/FakeHttp.h"
#include "platform/fake/FakeShell.h"
#include "platform/win32/Win32Autostart.h"
#include "platform/win32/Win32SettingsStore.h"
#include "platform/win32/Win32SingleInstance.h"
#include "tests/UpdateTestSupport.h"
#include "tests/win32/Win32TestSupport.h"
#include "update/modDl.h"

namespace talvex {
namespace {

using testing::Utf8Folder;

const std::wstring kClassicRoot = L"Software\\VB and VBA Program Settings\\";

std::wstring RegText(const std::wstring& path, const std::wstring& name) {
    wchar_t data[1024] = {};
    DWORD size = sizeof data;
    if (RegGetValueW(HKEY_CURRENT_USER, path.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, data,
                     &size) != ERROR_SUCCESS) {
        return L"<none>";
    }
    return data;
}

void SetRegText(const std::wstring& path, const std::wstring& name, const std::wstring& value) {
    RegSetKeyValueW(HKEY_CURRENT_USER, path.c_str(), name.c_str(), REG_SZ, value.c_str(),
                    static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

// Each test works on an application name of its own below the classic root.
class RegistryStoreTest : public ::testing::Test {
  protected:
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, (kClassicRoot + app).c_str()); }

    std::wstring app = L"KessalyTest" + std::to_wstring(GetCurrentProcessId());
    std::string sApp = "KessalyTest" + std::to_string(GetCurrentProcessId());
    platform::Win32SettingsStore store;
};

TEST_F(RegistryStoreTest, ReadsWhatAnEarlierInstallationWroteAndWritesTheSameLayout) {
    // Values as the earlier program left them: strings under application\section.
    SetRegText(kClassicRoot + app + L"\\Talvex", L"Boost.NewPriority", L"2");
    SetRegText(kClassicRoot + app + L"\\Talvex", L"CustomItems.Item0",
               L"taskmgr.exe|0|True|True|False|False|");
    SetRegText(kClassicRoot + app + L"\\Talvex", L"Empty", L"");
    EXPECT_EQ(store.GetSettingValue(sApp, "Talvex", "Boost.NewPriority", "1"), "2");
    EXPECT_EQ(store.GetSettingValue(sApp, "Talvex", "CustomItems.Item0", ""),
              "taskmgr.exe|0|True|True|False|False|");
    EXPECT_EQ(store.GetSettingValue(sApp, "Talvex", "Empty", "dflt"), "");
    EXPECT_EQ(store.GetSettingValue(sApp, "Talvex", "Missing", "dflt"), "dflt");
    EXPECT_EQ(store.GetSettingValue(sApp, "Other", "Boost.NewPriority", "dflt"), "dflt");

    // Written back as REG_SZ in the same place, any text round trip intact.
    for (const std::string value : {"True", "-32768", "", "Zürich Ωμέγα 日本 🚀", "a|b|"}) {
        SCOPED_TRACE(value);
        ASSERT_TRUE(store.SaveSettingValue(sApp, "Talvex", "Window.Left", value));
        EXPECT_EQ(store.GetSettingValue(sApp, "Talvex", "Window.Left", "dflt"), value);
        EXPECT_EQ(
            platform::Win32SettingsStore().GetSettingValue(sApp, "Talvex", "Window.Left", "dflt"),
            value);
    }
    EXPECT_EQ(RegText(kClassicRoot + app + L"\\Talvex", L"Window.Left"), L"a|b|");

    ASSERT_TRUE(store.DeleteSettingValue(sApp, "Talvex", "Window.Left"));
    EXPECT_EQ(RegText(kClassicRoot + app + L"\\Talvex", L"Window.Left"), L"<none>");
    EXPECT_TRUE(store.DeleteSettingValue(sApp, "Talvex", "Window.Left"));
    EXPECT_TRUE(store.DeleteSettingValue(sApp, "NoSuchSection", "Key"));
}

TEST_F(RegistryStoreTest, AnUpdateReachesTheRegistryAtItsOutermostCommit) {
    store.SaveSettingValue(sApp, "Talvex", "Old", "1");
    store.BeginUpdate();
    store.BeginUpdate();
    store.SaveSettingValue(sApp, "Talvex", "New", "2");
    store.DeleteSettingValue(sApp, "Talvex", "Old");
    EXPECT_TRUE(store.CommitUpdate());
    // Reads inside the update see its changes; the registry does not yet.
    EXPECT_EQ(store.GetSettingValue(sApp, "Talvex", "New", "-"), "2");
    EXPECT_EQ(store.GetSettingValue(sApp, "Talvex", "Old", "-"), "-");
    EXPECT_EQ(RegText(kClassicRoot + app + L"\\Talvex", L"Old"), L"1");
    EXPECT_TRUE(store.CommitUpdate());
    EXPECT_EQ(RegText(kClassicRoot + app + L"\\Talvex", L"New"), L"2");
    EXPECT_EQ(RegText(kClassicRoot + app + L"\\Talvex", L"Old"), L"<none>");
}

TEST_F(RegistryStoreTest, NamesThatWouldReachIntoAnotherKeyAreRefused) {
    EXPECT_FALSE(store.SaveSettingValue(sApp + "\\..", "Talvex", "Key", "x"));
    EXPECT_FALSE(store.SaveSettingValue(sApp, "Talvex\\Sub", "Key", "x"));
    EXPECT_FALSE(store.SaveSettingValue("", "Talvex", "Key", "x"));
    EXPECT_EQ(store.GetSettingValue(sApp, "Talvex\\Sub", "Key", "dflt"), "dflt");
    EXPECT_EQ(RegText(kClassicRoot + app + L"\\Talvex\\Sub", L"Key"), L"<none>");
}

class RunKeyTest : public ::testing::Test {
  protected:
    void TearDown() override {
        RegDeleteKeyValueW(HKEY_CURRENT_USER, kRun.c_str(), name.c_str());
        RegDeleteKeyValueW(HKEY_CURRENT_USER, kApproved.c_str(), name.c_str());
    }

    const std::wstring kRun = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    const std::wstring kApproved =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
    std::wstring name = L"TalvexTest" + std::to_wstring(GetCurrentProcessId());
    std::string sName = "TalvexTest" + std::to_string(GetCurrentProcessId());
};

TEST_F(RunKeyTest, EntryStartsTheProgramFileOfTheFolderInQuotes) {
    Utf8Folder folder;
    platform::Win32Autostart autostart(folder.Utf8());
    const std::string program = folder.Utf8() + "\\talvex.exe";
    EXPECT_EQ(autostart.ProgramPath(), program);
    EXPECT_TRUE(autostart.RegOpenKeyExA(true));
    EXPECT_FALSE(autostart.RegQueryValueExA(sName).has_value());

    ASSERT_TRUE(autostart.RegSetValueExA(sName, autostart.ProgramPath()));
    EXPECT_EQ(RegText(kRun, name), L"\"" + Utf8ToPath(program).wstring() + L"\"");
    EXPECT_EQ(autostart.RegQueryValueExA(sName), program);

    EXPECT_TRUE(autostart.RegDeleteValueA(sName));
    EXPECT_EQ(RegText(kRun, name), L"<none>");
    EXPECT_FALSE(autostart.RegQueryValueExA(sName).has_value());
    EXPECT_TRUE(autostart.RegDeleteValueA(sName));
}

TEST_F(RunKeyTest, EntriesTheUserSwitchedOffOrTooLongToReadCountAsAbsent) {
    platform::Win32Autostart autostart("C:\\Tools");
    // Written by hand without quotes, as older versions and other tools do.
    SetRegText(kRun, name, L"C:\\Tools\\talvex.exe");
    EXPECT_EQ(autostart.RegQueryValueExA(sName), "C:\\Tools\\talvex.exe");

    // Switched off in the Task Manager's start-up list: the first byte is odd.
    const BYTE off[12] = {3};
    RegSetKeyValueW(HKEY_CURRENT_USER, kApproved.c_str(), name.c_str(), REG_BINARY, off,
                    sizeof off);
    EXPECT_FALSE(autostart.RegQueryValueExA(sName).has_value());
    // Ticking the box again must really switch it on.
    ASSERT_TRUE(autostart.RegSetValueExA(sName, autostart.ProgramPath()));
    EXPECT_EQ(autostart.RegQueryValueExA(sName), "C:\\Tools\\talvex.exe");

    for (const std::size_t length : {254u, 255u}) {
        SCOPED_TRACE(length);
        SetRegText(kRun, name, L"C:\\" + std::wstring(length - 3, L'x'));
        EXPECT_EQ(autostart.RegQueryValueExA(sName).has_value(), length <= 254);
    }
}

TEST(MutexTest, SecondCopyFindsTheLockUntilTheFirstLetsGo) {
    const std::string name = "TalvexAppTest" + std::to_string(GetCurrentProcessId());
    platform::Win32SingleInstance first;
    platform::Win32SingleInstance second;
    ASSERT_EQ(first.CreateMutexA(name), platform::MutexResult::Created);
    EXPECT_TRUE(first.HoldsMutex());
    EXPECT_EQ(second.CreateMutexA(name), platform::MutexResult::AlreadyExists);
    EXPECT_FALSE(second.HoldsMutex());
    EXPECT_EQ(second.CreateMutexA(name), platform::MutexResult::AlreadyExists);
    first.ReleaseMutex();
    first.ReleaseMutex();
    EXPECT_FALSE(first.HoldsMutex());
    EXPECT_EQ(second.CreateMutexA(name), platform::MutexResult::Created);
}

TEST(Utf8PathTest, LanguageFilesAndTheUpdateCheckWorkInNonAsciiFolders) {
    Utf8Folder folder;
    {
        std::ofstream out(folder.Path() / "English.lng", std::ios::binary);
        out << "5=Über alles\n";
    }
    // The program folder arrives as UTF-8 text, from the path of the running program.
    const std::filesystem::path found =
        modLang::FindLanguageFile("English.lng", Utf8ToPath(folder.Utf8()), {});
    ASSERT_TRUE(std::filesystem::is_regular_file(found)) << PathToUtf8(found);
    StringTable table;
    modLang::LoadLanguageFile(table, found);
    EXPECT_EQ(table.Lang(TextId::AboveNormal), "Über alles");

    // The update check writes and reads its file in such a folder, then removes it.
    platform::FakeHttp http;
    platform::FakeShell shell;
    testing::RecordingPrompt prompt;
    StringTable strings = testing::UpdateTexts();
    const std::string url = "https://updates.example/download/talvex_setup.zip.ver";
    http.SetBody(url, "Current Version=1.2.10\r\nDownload=https://example.org/get\r\n");
    UpdateOptions options;
    options.sVersionURL = url;
    options.tempFolder = folder.Path();
    options.own = {1, 2, 9};
    modDl::UpdateCheck(UpdateServices{http, shell, prompt, strings}, options).CheckForUpdate(true);
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_TRUE(prompt.shown[0].question) << prompt.shown[0].text;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()), {}), 1);
}

}  // namespace
}  // namespace talvex
