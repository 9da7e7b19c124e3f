#pragma once
// The Windows backends of the HTTP transfer (WinHTTP) and of the shell-open
// (ShellExecuteW). Nothing here includes a Windows header.

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>

#include "platform/IHttp.h"
#include "platform/IShell.h"

namespace talvex::platform {

/// Bounds of one transfer: a slow or hostile server can hold the program only this long
/// and hand it only this much.
struct WinHttpLimits {
    std::chrono::milliseconds timeout{10000};  // the whole transfer, redirects included
    std::size_t maxBody = 64 * 1024;           // bytes
    int maxRedirects = 5;
};

/// HTTP and HTTPS through WinHTTP. The transfer runs on a thread of its own; the
/// calling thread meanwhile runs `doEvents` (handle the waiting window messages)
/// whenever messages arrive, so the program stays live. Without one, messages are
/// dispatched plainly. Redirects are followed within the same scheme or to https.
std::unique_ptr<IHttp> CreateWin32Http(WinHttpLimits limits = {},
                                       std::function<void()> doEvents = {});
/// Opens http and https addresses with the user's browser; refuses everything else.
std::unique_ptr<IShell> CreateWin32Shell();

}  // namespace talvex::platform
