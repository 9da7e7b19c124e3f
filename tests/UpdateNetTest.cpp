// The update check over real HTTP: the Qt transfer against a server on 127.0.0.1 that
// each test starts and stops. Versions, notices, answers, refused addresses, broken
// transfers, and the temporary file that never stays behind.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <chrono>
#include <memory>

#include "platform/fake/FakeShell.h"
#include "platform/qt/net/QtNet.h"
#include "tests/LocalHttpServer.h"
#include "tests/TempFolder.h"
#include "tests/UpdateTestSupport.h"
#include "update/modDl.h"

namespace talvex {
namespace {

using namespace std::chrono_literals;
using platform::HttpStatus;
using testing::RecordingPrompt;

constexpr const char* kVersionPath = "/download/talvex_setup.zip.ver";
constexpr const char* kDownload = "https://example.org/talvex/get";

std::string VersionFileBody(const std::string& version, const std::string& download = kDownload,
                            const std::string& extraLines = "") {
    return "Current Version=" + version + "\r\nDownload=" + download +
           "\r\nDescription=Talvex setup\r\n" + extraLines;
}

class NetCheckTest : public ::testing::Test {
  protected:
    void TearDown() override { EXPECT_TRUE(folder.Empty()) << "a temporary file stayed behind"; }

    modDl::UpdateCheck Check(ProgramVersion own = {1, 2, 9}, std::string url = {}) {
        UpdateOptions options;
        options.sVersionURL = url.empty() ? server.Url(kVersionPath) : url;
        options.tempFolder = folder.Path();
        options.own = own;
        return modDl::UpdateCheck(UpdateServices{*http, shell, prompt, strings}, options);
    }
    /// Runs one check against this version file and returns what the user saw.
    std::vector<RecordingPrompt::Shown> Run(const std::string& body, bool bVerbose,
                                            ProgramVersion own = {1, 2, 9}) {
        server.SetBody(kVersionPath, body);
        prompt.shown.clear();
        Check(own).CheckForUpdate(bVerbose);
        return prompt.shown;
    }

    testing::LocalHttpServer server;
    // Generous, so that a loaded machine never turns a good transfer into a time-out.
    std::unique_ptr<platform::IHttp> http = platform::CreateQtHttp({3000ms, 64 * 1024, 5});
    platform::FakeShell shell;
    RecordingPrompt prompt;
    StringTable strings = testing::UpdateTexts();
    testing::TempFolder folder;
};

TEST_F(NetCheckTest, PublishedVersionIsComparedNumberByNumber) {
    struct Case {
        const char* published;
        ProgramVersion own;
        bool newer;
    };
    for (const Case& c : {Case{"1.2.10", {1, 2, 9}, true}, Case{"1.2.9", {1, 2, 10}, false},
                          Case{"2.0.0", {1, 9, 9}, true}, Case{"1.2.9", {1, 3, 0}, false},
                          Case{"1.1.0", {1, 1, 0}, false}}) {
        SCOPED_TRACE(c.published);
        const auto shown = Run(VersionFileBody(c.published), true, c.own);
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].question, c.newer);
        EXPECT_EQ(shown[0].text, c.newer ? "New version: " + std::string(c.published) +
                                               "\r\nYour version: " + std::to_string(c.own.major) +
                                               "." + std::to_string(c.own.minor) + "." +
                                               std::to_string(c.own.revision) +
                                               "\r\n\r\nUpdate now? The download page opens."
                                         : testing::kNoUpdate);
        EXPECT_EQ(shown[0].title, c.newer ? "Update now?" : "No update");
    }
    EXPECT_EQ(server.RequestCount(kVersionPath), 5);
}

TEST_F(NetCheckTest, AutomaticCheckSpeaksOnlyOfANewerVersion) {
    EXPECT_TRUE(Run(VersionFileBody("1.2.9"), false).empty());
    const auto shown = Run(VersionFileBody("1.3.0"), false);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(shown[0].question);
}

TEST_F(NetCheckTest, KeysInLowerCaseGiveNoVersionData) {
    const std::string body = "current version=9.0.0\r\ndownload=https://example.org/get\r\n";
    EXPECT_TRUE(Run(body, false).empty());
    const auto shown = Run(body, true);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, testing::kNoVersionData);
    EXPECT_EQ(shown[0].icon, PromptIcon::Error);
}

TEST_F(NetCheckTest, NoticeIsShownAsItsModeSaysInBothForms) {
    struct Case {
        const char* mode;
        bool verbose;
        bool newer;
        bool shown;
    };
    const Case cases[] = {
        {"0", true, true, true},   {"0", true, false, false}, {"0", false, true, false},
        {"1", true, true, true},   {"1", true, false, true},  {"1", false, false, false},
        {"1", false, true, false}, {"2", true, true, true},   {"2", true, false, false},
        {"2", false, true, false}, {"3", true, true, false},  {"3", true, false, false},
        {"-1", true, true, false}, {"", true, true, true},  // no Error= line: mode 0
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("mode ") + c.mode + (c.verbose ? " verbose" : " automatic") +
                     (c.newer ? " newer" : " same"));
        const std::string modeLine = *c.mode ? std::string("Error=") + c.mode + "\r\n" : "";
        const auto shown = Run(VersionFileBody(c.newer ? "1.3.0" : "1.2.9", kDownload,
                                               "Message=Server moves on Friday\r\n" + modeLine),
                               c.verbose);
        const bool noticeShown = !shown.empty() && shown[0].text == "Server moves on Friday";
        EXPECT_EQ(noticeShown, c.shown);
        if (noticeShown) {
            EXPECT_FALSE(shown[0].question);
            EXPECT_EQ(shown[0].icon, PromptIcon::Information);
        }
        // The notice comes before the question, which follows in both forms.
        const std::size_t rest = noticeShown ? 1 : 0;
        ASSERT_EQ(shown.size(), rest + (c.newer || c.verbose ? 1 : 0));
        if (c.newer) {
            EXPECT_TRUE(shown[rest].question);
        }
    }
}

TEST_F(NetCheckTest, YesOpensTheDownloadAddressAndNoLeavesEverything) {
    server.SetBody(kVersionPath, VersionFileBody("1.3.0"));
    prompt.answers = {false};
    Check().CheckForUpdate(false);
    EXPECT_EQ(prompt.shown.size(), 1u);
    EXPECT_TRUE(shell.Calls().empty());

    prompt.answers = {true};
    Check().CheckForUpdate(true);
    ASSERT_EQ(shell.Calls().size(), 1u);
    EXPECT_EQ(shell.Calls()[0].sVerb, "open");
    EXPECT_EQ(shell.Calls()[0].sFile, kDownload);
    EXPECT_EQ(shell.Calls()[0].nShowCmd, platform::SW_SHOW);
    EXPECT_EQ(prompt.shown.size(), 2u);  // nothing after the answer
}

TEST_F(NetCheckTest, LocalProgramsAndUnreadableVersionsAreRefused) {
    for (const std::string& body :
         {VersionFileBody("9.0.0", "/usr/bin/xterm"), VersionFileBody("9.0.0", "file:///bin/sh"),
          VersionFileBody("9.0.0", "talvex_setup.exe"), VersionFileBody("9.0.0", ""),
          VersionFileBody("1.3.beta"), VersionFileBody("2.0"), VersionFileBody("")}) {
        SCOPED_TRACE(body);
        prompt.answers = {true, true};
        EXPECT_TRUE(Run(body, false).empty());
        const auto shown = Run(body, true);
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].text, testing::kNoVersionData);
    }
    EXPECT_TRUE(shell.Calls().empty());
}

TEST_F(NetCheckTest, BrokenTransfersShowTheTransferMessageInBothForms) {
    http = platform::CreateQtHttp({600ms, 64 * 1024, 5});  // the silent server costs this
    server.SetSilent("/silent");
    server.SetStatus("/missing", 404, "Not Found");
    server.SetHugeBody("/huge", 1024 * 1024, true);
    server.SetHugeBody("/endless", 1024 * 1024, false);
    const std::string refused =
        "http://127.0.0.1:" + std::to_string(testing::LocalHttpServer::ClosedPort()) + kVersionPath;
    struct Case {
        std::string url;
        HttpStatus status;
    };
    for (const Case& c : {Case{server.Url("/silent"), HttpStatus::TimedOut},
                          Case{server.Url("/missing"), HttpStatus::HttpError},
                          Case{refused, HttpStatus::ConnectionFailed},
                          Case{server.Url("/huge"), HttpStatus::TooLarge},
                          Case{server.Url("/endless"), HttpStatus::TooLarge}}) {
        SCOPED_TRACE(c.url);
        EXPECT_EQ(http->OpenURL(c.url).status, c.status);
        prompt.shown.clear();
        Check({1, 2, 9}, c.url).CheckForUpdate(false);
        EXPECT_EQ(prompt.Texts(), std::vector<std::string>{modDl::kTransferError});
        prompt.shown.clear();
        Check({1, 2, 9}, c.url).CheckForUpdate(true);
        EXPECT_EQ(prompt.Texts(),
                  (std::vector<std::string>{modDl::kTransferError, testing::kNoVersionData}));
        EXPECT_FALSE(http->StillExecuting());
    }
    EXPECT_EQ(http->OpenURL(server.Url("/missing")).httpCode, 404);
}

TEST_F(NetCheckTest, BodyLimitIsExactAndRedirectsStayOnTheWeb) {
    server.SetHugeBody("/limit", 64 * 1024, false);
    server.SetHugeBody("/over", 64 * 1024 + 1, false);
    EXPECT_EQ(http->OpenURL(server.Url("/limit")).body.size(), 64u * 1024);
    EXPECT_EQ(http->OpenURL(server.Url("/over")).status, HttpStatus::TooLarge);

    // A move on the same server is followed.
    server.SetBody("/moved/here", VersionFileBody("1.3.0"));
    server.SetRedirect(kVersionPath, server.Url("/moved/here"));
    Check().CheckForUpdate(true);
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_TRUE(prompt.shown[0].question);
    EXPECT_EQ(server.RequestCount("/moved/here"), 1);

    server.SetRedirect("/to-ftp", "ftp://127.0.0.1/talvex_setup.zip.ver");
    server.SetRedirect("/to-file", "file:///etc/passwd");
    EXPECT_EQ(http->OpenURL(server.Url("/to-ftp")).status, HttpStatus::BadRedirect);
    EXPECT_EQ(http->OpenURL(server.Url("/to-file")).status, HttpStatus::BadRedirect);
    EXPECT_EQ(http->OpenURL("ftp://127.0.0.1/x").status, HttpStatus::BadAddress);
    EXPECT_EQ(http->OpenURL("/download/talvex_setup.zip.ver").status, HttpStatus::BadAddress);
}

TEST_F(NetCheckTest, SecondRequestWhileOneRunsIsRefused) {
    server.SetSlowBody(kVersionPath, VersionFileBody("1.3.0"), 150ms);
    modDl::UpdateCheck check = Check();
    bool busySeen = false;
    // Events keep arriving during the transfer; one of them asks for a second check.
    QTimer::singleShot(30ms, [&] {
        busySeen = http->StillExecuting();
        check.CheckForUpdate(true);
        EXPECT_EQ(http->OpenURL(server.Url(kVersionPath)).status, HttpStatus::Busy);
    });
    check.CheckForUpdate(false);
    EXPECT_TRUE(busySeen);
    EXPECT_EQ(server.RequestCount(kVersionPath), 1);
    ASSERT_EQ(prompt.shown.size(), 2u);
    EXPECT_EQ(prompt.shown[0].text, testing::kNoVersionData);  // the refused check
    EXPECT_TRUE(prompt.shown[1].question);                     // the first one goes on
    EXPECT_FALSE(http->StillExecuting());
}

TEST(QtShellTest, RefusesWhatItCannotOpenWithoutStartingAnything) {
    const auto shell = platform::CreateQtShell();
    EXPECT_EQ(shell->ShellExecute("print", "https://example.org/", "", "", platform::SW_SHOW),
              platform::SE_ERR_NOASSOC);
    EXPECT_EQ(shell->ShellExecute("open", "talvex_setup.exe", "", "", platform::SW_SHOW),
              platform::SE_ERR_FNF);
    EXPECT_EQ(shell->ShellExecute("", "", "", "", platform::SW_SHOW), platform::SE_ERR_FNF);
}

}  // namespace
}  // namespace talvex

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
