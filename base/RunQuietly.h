#pragma once
// The one place where event handlers swallow errors.

#include <functional>
#include <string_view>

#include "base/Trace.h"

namespace talvex {

/// Writes the error being handled, with the handler's name, to the trace.
void TraceSwallowedError(std::string_view sHandler) noexcept;

/// Runs an event handler so that any error ends it quietly; effects already made
/// stay. Every handler goes through here instead of a try/catch of its own; the error
/// goes to the developer trace under `sHandler`, the handler's name.
/// Returns false when the handler ended by an error.
template <typename Handler>
bool RunQuietly(std::string_view sHandler, Handler&& handler) noexcept {
    if (trace::Enabled(trace::Level::Debug)) trace::Write(trace::Level::Debug, sHandler, "runs");
    try {
        handler();
        return true;
    } catch (...) {
        TraceSwallowedError(sHandler);
        return false;
    }
}

/// A handler to hand to a control or a timer: it runs through RunQuietly.
template <typename Handler>
std::function<void()> Quiet(const char* sHandler, Handler handler) {
    return [sHandler, handler]() { RunQuietly(sHandler, handler); };
}

}  // namespace talvex
