#pragma once
// A descriptor watched by Qt's event loop through a socket notifier.

#include <functional>
#include <memory>

#include "platform/IUiServices.h"

namespace talvex::platform::qt {

std::unique_ptr<DescriptorWatch> CreateQtDescriptorWatch(int fd, std::function<void()> onReadable);

}  // namespace talvex::platform::qt
