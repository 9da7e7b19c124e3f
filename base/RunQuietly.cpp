#include "base/RunQuietly.h"

#include <exception>
#include <string>

#include "base/TalvexError.h"

namespace talvex {

namespace {

const char* ErrorName(int number) {
    switch (number) {
        case kErrInvalidArgument:
            return " (invalid argument)";
        case kErrOverflow:
            return " (overflow)";
        case kErrIndexOutOfRange:
            return " (index out of range)";
        case kErrTypeMismatch:
            return " (type mismatch)";
        default:
            return "";
    }
}

}  // namespace

void TraceSwallowedError(std::string_view sHandler) noexcept {
    if (!trace::Enabled(trace::Level::Error)) return;
    try {
        std::string what;
        try {
            throw;
        } catch (const TalvexError& error) {
            what = std::string(error.what()) + ErrorName(error.Number());
        } catch (const std::exception& error) {
            what = std::string("exception: ") + error.what();
        } catch (...) {
            what = "an exception of unknown type";
        }
        trace::Write(trace::Level::Error, sHandler, "ended quietly by " + what);
    } catch (...) {
        // Out of memory while describing the error: the handler still ends quietly.
    }
}

}  // namespace talvex
