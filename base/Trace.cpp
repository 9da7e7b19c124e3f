#include "base/Trace.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

namespace talvex::trace {

namespace detail {
constinit std::atomic<int> g_level{-1};

int ReadLevelFromEnvironment() noexcept {
    const int level = static_cast<int>(LevelFromText(std::getenv("TALVEX_DEBUG")));
    int unread = -1;
    // A level set by the program before the first look wins over the environment.
    g_level.compare_exchange_strong(unread, level, std::memory_order_relaxed);
    return g_level.load(std::memory_order_relaxed);
}
}  // namespace detail

namespace {

std::mutex g_sinkMutex;
std::function<void(std::string_view)> g_sink;

const char* LevelName(Level level) {
    switch (level) {
        case Level::Error:
            return "error";
        case Level::Warning:
            return "warning";
        case Level::Info:
            return "info";
        case Level::Debug:
            return "debug";
        default:
            return "";
    }
}

// Set when the program starts, so that each line says when it came.
const auto g_start = std::chrono::steady_clock::now();

double SecondsSinceStart() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - g_start).count();
}

}  // namespace

void SetLevel(Level level) noexcept {
    detail::g_level.store(static_cast<int>(level), std::memory_order_relaxed);
}

void EnableVerbose() noexcept {
    if (!Enabled(Level::Info)) SetLevel(Level::Info);
}

Level LevelFromText(const char* sValue) noexcept {
    if (sValue == nullptr || *sValue == '\0') return Level::Off;
    const std::string_view text(sValue);
    if (text.find_first_not_of("0123456789") != std::string_view::npos) return Level::Info;
    const auto digits = text.find_first_not_of('0');
    if (digits == std::string_view::npos) return Level::Off;  // "0", "00", ...
    return text.size() - digits == 1 && text[digits] == '1' ? Level::Info : Level::Debug;
}

void Write(Level level, std::string_view sWhere, std::string_view sWhat) noexcept {
    if (!Enabled(level)) return;
    try {
        char stamp[32];
        std::snprintf(stamp, sizeof stamp, "%.3f", SecondsSinceStart());
        std::string line = "talvex: ";
        line.append(stamp).append(" ").append(LevelName(level)).append(" ");
        line.append(sWhere).append(": ").append(sWhat).append("\n");
        const std::lock_guard lock(g_sinkMutex);
        if (g_sink) {
            g_sink(line);
        } else {
            std::fwrite(line.data(), 1, line.size(), stderr);
        }
    } catch (...) {
        // Tracing must never be the reason a handler fails.
    }
}

void SetSink(std::function<void(std::string_view sLine)> sink) {
    const std::lock_guard lock(g_sinkMutex);
    g_sink = std::move(sink);
}

}  // namespace talvex::trace
