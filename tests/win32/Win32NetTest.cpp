// WinHTTP against a server on 127.0.0.1, and the shell-open's refusals.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "platform/win32/Win32Net.h"
#include "tests/LocalHttpServer.h"
#include "tests/win32/Win32TestSupport.h"

namespace talvex {
namespace {

using namespace std::chrono_literals;
using platform::HttpStatus;

std::string Text(const platform::HttpResponse& response) {
    return std::string(response.body.begin(), response.body.end());
}

class WinHttpTest : public ::testing::Test {
  protected:
    talvex::testing::LocalHttpServer server;
    // Generous, so that a loaded machine never turns a good transfer into a time-out.
    std::unique_ptr<platform::IHttp> http = platform::CreateWin32Http({5000ms, 1000, 2});
};

TEST_F(WinHttpTest, TransfersEndAsTheServerAnswers) {
    server.SetBody("/v", "Current Version=1.2.0\r\n");
    server.SetStatus("/gone", 404, "Not Found");
    server.SetHugeBody("/huge", 5000, true);
    server.SetHugeBody("/stream", 5000, false);
    server.SetBody("/limit", std::string(1000, 'x'));
    server.SetRedirect("/moved", "/v");
    server.SetRedirect("/moved-far", server.Url("/moved"));
    server.SetRedirect("/loop", "/loop");
    server.SetRedirect("/ftp", "ftp://127.0.0.1/v");
    struct Case {
        std::string url;
        HttpStatus status;
        std::string body;
    };
    for (const Case& c :
         {Case{server.Url("/v"), HttpStatus::Ok, "Current Version=1.2.0\r\n"},
          Case{server.Url("/gone"), HttpStatus::HttpError, ""},
          Case{server.Url("/huge"), HttpStatus::TooLarge, ""},
          Case{server.Url("/stream"), HttpStatus::TooLarge, ""},
          Case{server.Url("/limit"), HttpStatus::Ok, std::string(1000, 'x')},
          Case{server.Url("/moved"), HttpStatus::Ok, "Current Version=1.2.0\r\n"},
          Case{server.Url("/moved-far"), HttpStatus::Ok, "Current Version=1.2.0\r\n"},
          Case{server.Url("/loop"), HttpStatus::BadRedirect, ""},
          Case{server.Url("/ftp"), HttpStatus::BadRedirect, ""},
          Case{"http://127.0.0.1:" +
                   std::to_string(talvex::testing::LocalHttpServer::ClosedPort()) + "/v",
               HttpStatus::ConnectionFailed, ""},
          Case{"ftp://127.0.0.1/v", HttpStatus::BadAddress, ""},
          Case{"C:\\Windows\\win.ini", HttpStatus::BadAddress, ""},
          Case{"http://", HttpStatus::BadAddress, ""}}) {
        SCOPED_TRACE(c.url);
        const platform::HttpResponse response = http->OpenURL(c.url);
        EXPECT_EQ(response.status, c.status) << response.detail;
        EXPECT_EQ(Text(response), c.body);
        EXPECT_EQ(response.Ok(), response.detail.empty());
    }
    EXPECT_EQ(http->OpenURL(server.Url("/gone")).httpCode, 404);
    EXPECT_EQ(server.RequestCount("/loop"), 3);  // the first request and two redirects
}

TEST_F(WinHttpTest, SilentServerTimesOutAndEventsRunMeanwhile) {
    server.SetSilent("/silent");
    server.SetBody("/v", "ok");
    int events = 0;
    platform::HttpStatus nested = HttpStatus::Ok;
    std::unique_ptr<platform::IHttp> quick;
    quick = platform::CreateWin32Http({700ms, 1000, 2}, [&] {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ++events;
        // A transfer asked for while one runs is refused, not started.
        nested = quick->OpenURL(server.Url("/v")).status;
    });
    PostThreadMessageW(GetCurrentThreadId(), WM_APP, 0, 0);
    const platform::HttpResponse response = quick->OpenURL(server.Url("/silent"));
    EXPECT_EQ(response.status, HttpStatus::TimedOut) << response.detail;
    EXPECT_GE(events, 1);
    EXPECT_EQ(nested, HttpStatus::Busy);
    EXPECT_FALSE(quick->StillExecuting());
    EXPECT_EQ(server.RequestCount("/v"), 0);
    // The object is free again afterwards.
    EXPECT_EQ(Text(quick->OpenURL(server.Url("/v"))), "ok");
}

TEST(Win32ShellTest, OnlyWebAddressesAreHandedToTheShell) {
    const auto shell = platform::CreateWin32Shell();
    for (const std::string file :
         {"C:\\Windows\\notepad.exe", "file:///C:/Windows/win.ini", "javascript:alert(1)",
          "\\\\server\\share\\setup.exe", "http://", "https://example.org/\" & calc", ""}) {
        SCOPED_TRACE(file);
        EXPECT_EQ(shell->ShellExecute("open", file, "", "", platform::SW_SHOW),
                  platform::SE_ERR_FNF);
    }
}

}  // namespace
}  // namespace talvex
