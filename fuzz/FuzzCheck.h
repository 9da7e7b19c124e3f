#pragma once
// What every fuzz target shares: a check that stops the run on a broken promise, so that
// libFuzzer keeps the input that broke it, and the input as text.

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "base/Trace.h"

namespace talvex::fuzz {

[[noreturn]] inline void Fail(const char* sCondition, const char* sFile, int iLine) {
    std::fprintf(stderr, "%s:%d: broken: %s\n", sFile, iLine, sCondition);
    std::abort();
}

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

/// Whether text is UTF-8 by the C library's reading (no overlong forms, no surrogates,
/// nothing above U+10FFFF): a judge of its own, apart from the program's code.
inline bool IsValidUtf8(std::string_view sText) {
    static const iconv_t converter = ::iconv_open("UTF-32LE", "UTF-8");
    ::iconv(converter, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(sText.data());
    std::size_t inLeft = sText.size();
    char buffer[4096];
    while (inLeft > 0) {
        char* out = buffer;
        std::size_t outLeft = sizeof buffer;
        if (::iconv(converter, &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1) &&
            errno != E2BIG) {
            return false;
        }
    }
    return true;
}

/// Parsers must not end by an error that the quiet wrapper then hides: every error the
/// trace is told about stops the run.
inline void StopOnSwallowedErrors() {
    trace::SetLevel(trace::Level::Error);
    trace::SetSink([](std::string_view sLine) {
        std::fwrite(sLine.data(), 1, sLine.size(), stderr);
        std::abort();
    });
}

}  // namespace talvex::fuzz

#define FUZZ_CHECK(condition) \
    ((condition) ? void() : ::talvex::fuzz::Fail(#condition, __FILE__, __LINE__))
