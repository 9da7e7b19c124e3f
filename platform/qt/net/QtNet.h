#pragma once
// The Qt backends of the HTTP transfer and of the shell-open. They need a
// QCoreApplication (for the shell's desktop services a QGuiApplication) before the
// first call; nothing here includes a Qt header.

#include <chrono>
#include <cstddef>
#include <memory>

#include "platform/IHttp.h"
#include "platform/IShell.h"

namespace talvex::platform {

/// Bounds of one transfer: a slow or hostile server can hold the program only this long
/// and hand it only this much.
struct HttpLimits {
    std::chrono::milliseconds timeout{10000};  // the whole transfer, redirects included
    std::size_t maxBody = 64 * 1024;           // bytes
    int maxRedirects = 5;
};

/// HTTP and HTTPS through Qt Network; redirects are followed within the same scheme
/// or to https, never elsewhere.
std::unique_ptr<IHttp> CreateQtHttp(HttpLimits limits = {});
/// Opens files and addresses with the desktop's default handler.
std::unique_ptr<IShell> CreateQtShell();

}  // namespace talvex::platform
