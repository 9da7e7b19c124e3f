#pragma once
// The Qt 6 Widgets backend of the user-interface services. This header is the only
// one of the backend that code outside platform/qt includes; it names no Qt type.

#include <memory>

#include "platform/IUiServices.h"

namespace talvex::platform {

/// Creates the Qt application object and the services on it. Call once, first thing in
/// main(), with main's own arguments; everything made through the services must be
/// destroyed before the returned object.
std::unique_ptr<IUiServices> CreateQtUiServices(int& argc, char** argv);

}  // namespace talvex::platform
