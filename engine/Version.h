#pragma once
// The program's name and version, shown in the caption, the tooltip, the start-up
// log line and compared by the update check.

#include <string>

namespace talvex {

inline constexpr const char* kProductName = "Talvex";
inline constexpr int kVersionMajor = 1;
inline constexpr int kVersionMinor = 1;
inline constexpr int kVersionRevision = 0;

/// "1.1.0"
inline std::string VersionText() {
    return std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) + "." +
           std::to_string(kVersionRevision);
}

}  // namespace talvex
