#pragma once
// The native Win32 backend of the user-interface services. This header is the only one
// of the backend that code outside platform/win32 includes; it names no Windows type.

#include <functional>
#include <memory>
#include <string>

#include "platform/IUiServices.h"

namespace talvex::platform {

/// The captions of the input box's buttons, asked for each time a box opens, so that
/// they follow the language the user has chosen; unset, they read "OK" and "Cancel".
struct Win32DialogTexts {
    std::function<std::string()> ok;
    std::function<std::string()> cancel;
};

/// Sets up common controls and COM on the calling thread and creates the services.
/// Call once, first thing in main(); everything made through the services must be
/// destroyed before the returned object.
std::unique_ptr<IUiServices> CreateWin32UiServices(Win32DialogTexts texts = {});

}  // namespace talvex::platform
