// The version file, the version comparison, the shell verbs, and the update check on
// the fake transfer: what it shows, what it opens and what it leaves behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/fake/FakeHttp.h"
#include "platform/fake/FakeShell.h"
#include "tests/TempFolder.h"
#include "tests/UpdateTestSupport.h"
#include "update/TempFile.h"
#include "update/VersionFile.h"
#include "update/modDl.h"
#include "update/modShell.h"

namespace talvex {
namespace {

using testing::RecordingPrompt;
using testing::TempFolder;

std::optional<bool> Newer(const std::string& published, ProgramVersion own) {
    return IsNewerVersion(SplitVersion(published), own);
}

TEST(VersionFileTest, EveryKindOfLineEndEndsALine) {
    EXPECT_EQ(SplitLines("a\r\nb\rc\nd"), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitLines("a\r\n"), (std::vector<std::string>{"a"}));
    EXPECT_EQ(SplitLines("\r\n\n\r"), (std::vector<std::string>{"", "", ""}));
    EXPECT_EQ(SplitLines("\n\r"), (std::vector<std::string>{"", ""}));  // LF then CR: two ends
    const VersionInfo unix = ParseVersionFile("Current Version=1.2.0\nDownload=https://h/d\n");
    EXPECT_EQ(unix.sCurrentVersion, "1.2.0");
    EXPECT_EQ(unix.sDownload, "https://h/d");
}

TEST(VersionFileTest, KeysAreExactAndTheLastOccurrenceWins) {
    const VersionInfo info = ParseVersionFile(
        "Current Version=1.0.0\r\n"
        "current version=9.9.9\r\n"
        " Download=https://wrong/\r\n"
        "Download=https://h/a=b?c=d \r\n"
        "Description=text\r\n"
        "Message=first\r\n"
        "Message=second = last\r\n"
        "Current Version=1.2.3\r\n"
        "Unknown=1\r\n");
    EXPECT_EQ(info.sCurrentVersion, "1.2.3");
    EXPECT_EQ(info.sDownload, "https://h/a=b?c=d ");  // the rest of the line, untouched
    EXPECT_EQ(info.sDescription, "text");
    EXPECT_EQ(info.sMessage, "second = last");
    EXPECT_EQ(info.iErrorMode, 0);
    EXPECT_TRUE(ParseVersionFile("CURRENT VERSION=2.0.0\r\ndownload=https://h/\r\n")
                    .sCurrentVersion.empty());
}

TEST(VersionFileTest, ErrorModeTakesOnlySixteenBitWholeNumbers) {
    EXPECT_EQ(ParseVersionFile("Error=2").iErrorMode, 2);
    EXPECT_EQ(ParseVersionFile("Error= -1 ").iErrorMode, -1);
    EXPECT_EQ(ParseVersionFile("Error=1\r\nError=x").iErrorMode, 1);      // not a number
    EXPECT_EQ(ParseVersionFile("Error=1\r\nError=70000").iErrorMode, 1);  // beyond 16 bits
    EXPECT_EQ(ParseVersionFile("Error=1\r\nError=").iErrorMode, 1);
    EXPECT_EQ(ParseVersionFile("Error=3\r\nError=0").iErrorMode, 0);
}

TEST(VersionFileTest, ByteOrderMarkAndSingleByteTextsAreRead) {
    const VersionInfo marked = ParseVersionFile(
        "\xEF\xBB\xBF"
        "Current Version=1.0.0\r\n");
    EXPECT_EQ(marked.sCurrentVersion, "1.0.0");
    // "Mise à jour" written in a Western code page arrives as valid UTF-8.
    EXPECT_EQ(ParseVersionFile("Message=Mise \xE0 jour").sMessage, "Mise \xC3\xA0 jour");
    EXPECT_EQ(ParseVersionFile("Message=Gr\xC3\xBC\xC3\x9F"
                               "e")
                  .sMessage,
              "Gr\xC3\xBC\xC3\x9F"
              "e");
    // Bytes that only look like UTF-8 (a surrogate, an overlong form, a code point above
    // U+10FFFF) are single-byte text as well, so what goes on is valid UTF-8.
    const std::pair<const char*, const char*> lookalikes[] = {
        {"Message=\xED\xB3\xBF", "\xC3\xAD\xC2\xB3\xC2\xBF"},
        {"Message=\xE0\x80\x80", "\xC3\xA0\xC2\x80\xC2\x80"},
        {"Message=\xF4\x90\x80\x80", "\xC3\xB4\xC2\x90\xC2\x80\xC2\x80"},
    };
    for (const auto& [bytes, text] : lookalikes) {
        EXPECT_EQ(ParseVersionFile(bytes).sMessage, text) << bytes;
    }
}

TEST(VersionFileTest, VersionIsSplitAtTheFirstTwoDots) {
    const VersionParts three = SplitVersion("1.2.10");
    EXPECT_EQ(three.sMajor, "1");
    EXPECT_EQ(three.sMinor, "2");
    EXPECT_EQ(three.sRevision, "10");
    const VersionParts none = SplitVersion("7");
    EXPECT_FALSE(none.sMajor.has_value());
    EXPECT_FALSE(none.sMinor.has_value());
    EXPECT_EQ(none.sRevision, "7");
    const VersionParts one = SplitVersion("1.2");
    EXPECT_EQ(one.sMajor, "1");
    EXPECT_FALSE(one.sMinor.has_value());
    EXPECT_EQ(one.sRevision, "1.2");
    EXPECT_EQ(SplitVersion("1.2.3.4").sRevision, "3.4");
}

TEST(VersionFileTest, NumbersNotTextsAreCompared) {
    EXPECT_EQ(Newer("1.2.10", {1, 2, 9}), true);
    EXPECT_EQ(Newer("1.2.9", {1, 2, 10}), false);
    EXPECT_EQ(Newer("1.2.5", {1, 2, 3}), true);
    EXPECT_EQ(Newer("2.0.0", {1, 9, 9}), true);
    EXPECT_EQ(Newer("1.2.9", {1, 3, 0}), false);  // the revision needs minor >= own minor
    EXPECT_EQ(Newer("1.3.0", {1, 2, 9}), true);
    EXPECT_EQ(Newer("1.1.0", {1, 1, 0}), false);
    EXPECT_EQ(Newer("0.9.9", {1, 1, 0}), false);
    EXPECT_EQ(Newer("01.02.003", {1, 2, 2}), true);
    EXPECT_EQ(Newer("1.2.3 ", {1, 2, 2}), true);  // blanks around a number are no harm
    // Without dots the whole text is the revision; major and minor count as 0.
    EXPECT_EQ(Newer("5", {0, 0, 4}), true);
    EXPECT_EQ(Newer("5", {1, 0, 0}), false);
}

TEST(VersionFileTest, VersionsThatAreNoWholeNumbersCannotBeRead) {
    for (const char* version : {"1.x.0", "a.1.1", "1.2.beta", "1.2", "1.2.3.4", "1..3", "-1.0.0",
                                "1.0.-1", "1.0.+1", "1.0.99999999999999999999", "1.0.", "1.0.0x"}) {
        EXPECT_EQ(Newer(version, {1, 1, 0}), std::nullopt) << version;
    }
}

TEST(VersionFileTest, OnlyWebAddressesAreDownloadAddresses) {
    for (const char* good : {"http://example.org/talvex", "https://example.org",
                             "HTTPS://Example.org/x?y=1#z", "https://127.0.0.1:8080/"}) {
        EXPECT_TRUE(IsWebAddress(good)) << good;
    }
    for (const char* bad :
         {"", "/usr/bin/xterm", "talvex_setup.exe", "C:\\Windows\\System32\\cmd.exe",
          "file:///bin/sh", "ftp://example.org/setup", "javascript:alert(1)", "http://",
          "https:///path", "http:example.org", "https://example.org/a b", "https://example.org/\n",
          "https://example.org\\..\\x", " https://example.org/"}) {
        EXPECT_FALSE(IsWebAddress(bad)) << bad;
    }
}

TEST(ShellTest, VerbCodes) {
    EXPECT_EQ(modShell::GetShellVerb(0), "");
    EXPECT_EQ(modShell::GetShellVerb(1), "open");
    EXPECT_EQ(modShell::GetShellVerb(2), "explore");
    EXPECT_EQ(modShell::GetShellVerb(3), "find");
    EXPECT_EQ(modShell::GetShellVerb(4), "print");
    EXPECT_EQ(modShell::GetShellVerb(5), "edit");
    EXPECT_EQ(modShell::GetShellVerb(6), "");
    EXPECT_EQ(modShell::GetShellVerb(-1), "");
}

TEST(ShellTest, SuccessIsAResultAboveThirtyTwo) {
    platform::FakeShell shell;
    EXPECT_TRUE(modShell::ShellOpen(shell, "https://h/", 1, "p", "d", platform::SW_SHOW));
    ASSERT_EQ(shell.Calls().size(), 1u);
    EXPECT_EQ(shell.Calls()[0].sVerb, "open");
    EXPECT_EQ(shell.Calls()[0].sFile, "https://h/");
    EXPECT_EQ(shell.Calls()[0].sParameters, "p");
    EXPECT_EQ(shell.Calls()[0].sDirectory, "d");
    EXPECT_EQ(shell.Calls()[0].nShowCmd, 5);
    shell.SetResult(32);
    EXPECT_FALSE(modShell::ShellOpen(shell, "x", 9, "", "", platform::SW_SHOW));
    EXPECT_EQ(shell.Calls()[1].sVerb, "");
    shell.SetResult(33);
    EXPECT_TRUE(modShell::ShellOpen(shell, "x", 0, "", "", platform::SW_SHOW));
}

TEST(TempFileTest, EachFileIsNewAndGoesWithItsObject) {
    TempFolder folder;
    std::filesystem::path first;
    {
        TempFile a(folder.Path());
        TempFile b(folder.Path());
        ASSERT_FALSE(a.Path().empty());
        EXPECT_NE(a.Path(), b.Path());
        EXPECT_EQ(a.Path().parent_path(), folder.Path());
        EXPECT_EQ(std::filesystem::file_size(a.Path()), 0u);
        first = a.Path();
        a.Remove();
        EXPECT_FALSE(std::filesystem::exists(first));
    }
    EXPECT_TRUE(folder.Empty());
    TempFile nowhere(folder.Path() / "missing");
    EXPECT_TRUE(nowhere.Path().empty());
    // Without a folder the file goes to the user's temporary folder.
    TempFile user;
    ASSERT_FALSE(user.Path().empty());
    // (Windows names that folder with a separator at its end.)
    EXPECT_EQ(user.Path().parent_path(),
              (std::filesystem::temp_directory_path() / "file").parent_path());
}

/// The check on the fake transfer with the test's texts and temporary folder.
class CheckOnFakesTest : public ::testing::Test {
  protected:
    static constexpr const char* kUrl = "https://updates.example/download/talvex_setup.zip.ver";

    modDl::UpdateCheck Check(std::string url = kUrl, ProgramVersion own = {1, 2, 9}) {
        UpdateOptions options;
        options.sVersionURL = std::move(url);
        options.tempFolder = folder.Path();
        options.own = own;
        return modDl::UpdateCheck(UpdateServices{http, shell, prompt, strings}, options);
    }

    StringTable strings = testing::UpdateTexts();
    platform::FakeHttp http;
    platform::FakeShell shell;
    RecordingPrompt prompt;
    TempFolder folder;
};

TEST_F(CheckOnFakesTest, BuildWithoutAddressIsSilentAutomaticallyAndSaysSoOnRequest) {
    modDl::UpdateCheck check = Check("");
    check.CheckForUpdate(false);
    EXPECT_TRUE(prompt.shown.empty());
    check.CheckForUpdate(true);
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].text, testing::kNoVersionData);
    EXPECT_EQ(prompt.shown[0].icon, PromptIcon::Error);
    EXPECT_EQ(prompt.shown[0].title, "");  // the program's title
    EXPECT_TRUE(http.Requests().empty());
    EXPECT_TRUE(folder.Empty());
}

TEST_F(CheckOnFakesTest, QuestionNamesBothVersionsAndYesOpensTheAddress) {
    http.SetBody(kUrl, "Current Version=1.2.10\r\nDownload=https://example.org/get\r\n");
    prompt.answers = {true};
    Check().CheckForUpdate(false);
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_TRUE(prompt.shown[0].question);
    EXPECT_EQ(prompt.shown[0].text,
              "New version: 1.2.10\r\nYour version: 1.2.9\r\n\r\n"
              "Update now? The download page opens.");
    EXPECT_EQ(prompt.shown[0].title, "Update now?");
    ASSERT_EQ(shell.Calls().size(), 1u);
    EXPECT_EQ(shell.Calls()[0].sVerb, "open");
    EXPECT_EQ(shell.Calls()[0].sFile, "https://example.org/get");
    EXPECT_EQ(shell.Calls()[0].nShowCmd, platform::SW_SHOW);
    EXPECT_TRUE(folder.Empty());
}

TEST_F(CheckOnFakesTest, WithoutLanguageFileTheTextsSayTheyAreMissing) {
    strings.ClearStringTable();
    http.SetBody(kUrl, "Current Version=1.2.9\r\nDownload=https://example.org/get\r\n");
    Check().CheckForUpdate(true);
    ASSERT_EQ(prompt.shown.size(), 1u);
    // The fallback text gets no space in front.
    EXPECT_EQ(prompt.shown[0].text, "Translation Error!Translation Error!");
    EXPECT_EQ(prompt.shown[0].title, "Translation Error!");
}

TEST_F(CheckOnFakesTest, SecondRequestDuringATransferIsRefusedWithoutReachingTheServer) {
    http.SetBody(kUrl, "Current Version=1.3.0\r\nDownload=https://example.org/get\r\n");
    modDl::UpdateCheck check = Check();
    std::size_t filesDuringTransfer = 0;
    http.SetDuringTransfer([&] {
        filesDuringTransfer = static_cast<std::size_t>(
            std::distance(std::filesystem::directory_iterator(folder.Path()), {}));
        // The user asks again from the tray while the first transfer runs.
        check.CheckForUpdate(true);
        EXPECT_FALSE(check.DownloadFile(http, kUrl, (folder.Path() / "direct").string()));
    });
    check.CheckForUpdate(false);
    EXPECT_EQ(http.Requests().size(), 1u);
    EXPECT_EQ(filesDuringTransfer, 0u);  // no file while the transfer runs
    // The refused check found no data; the first one goes on and asks.
    ASSERT_EQ(prompt.shown.size(), 2u);
    EXPECT_EQ(prompt.shown[0].text, testing::kNoVersionData);
    EXPECT_TRUE(prompt.shown[1].question);
    EXPECT_TRUE(folder.Empty());  // nothing written by the refused download either
}

TEST_F(CheckOnFakesTest, FileThatCannotBeWrittenIsATransferError) {
    http.SetBody(kUrl, "Current Version=1.3.0\r\nDownload=https://example.org/get\r\n");
    UpdateOptions options;
    options.sVersionURL = kUrl;
    options.tempFolder = folder.Path() / "gone";
    options.own = {1, 2, 9};
    modDl::UpdateCheck(UpdateServices{http, shell, prompt, strings}, options).CheckForUpdate(true);
    EXPECT_EQ(prompt.Texts(),
              (std::vector<std::string>{modDl::kTransferError, testing::kNoVersionData}));
    EXPECT_TRUE(shell.Calls().empty());
}

TEST_F(CheckOnFakesTest, DownloadFileWritesTheBytesUnchangedOverAnOlderFile) {
    const std::string body("Current Version=1.0.0\r\n\0\xff tail", 29);
    http.SetBody(kUrl, body);
    const std::filesystem::path file = folder.Path() / "VTemp.txt";
    std::ofstream(file) << std::string(100, 'o');
    EXPECT_TRUE(Check().DownloadFile(http, kUrl, file.string()));
    std::ifstream in(file, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), body);
    EXPECT_TRUE(prompt.shown.empty());
}

}  // namespace
}  // namespace talvex
