#pragma once
// The native Win32 backend of the user-interface services. This header is the only one
// of the backend that code outside platform/win32 includes; it names no Windows type.

#include <memory>

#include "platform/IUiServices.h"

namespace talvex::platform {

/// Sets up common controls and COM on the calling thread and creates the services.
/// Call once, first thing in main(); everything made through the services must be
/// destroyed before the returned object.
std::unique_ptr<IUiServices> CreateWin32UiServices();

}  // namespace talvex::platform
