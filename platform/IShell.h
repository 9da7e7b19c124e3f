#pragma once
// Hands a file or an address to the desktop, which opens it with the user's default
// handler (for a web address: the browser).

#include <cstdint>
#include <string>

namespace talvex::platform {

/// Window show states as the shell takes them.
inline constexpr std::int32_t SW_HIDE = 0;
inline constexpr std::int32_t SW_SHOWNORMAL = 1;
inline constexpr std::int32_t SW_SHOW = 5;

/// Results at or below this value are failures (the shell's convention).
inline constexpr std::int32_t kShellMaxError = 32;
/// Failure results a backend reports.
inline constexpr std::int32_t SE_ERR_FNF = 2;       // the file or address is not usable
inline constexpr std::int32_t SE_ERR_NOASSOC = 31;  // nothing can carry out the verb
inline constexpr std::int32_t kShellOk = 42;        // a success result

class IShell {
  public:
    virtual ~IShell() = default;

    /// Performs sVerb ("open", "explore", "find", "print", "edit"; empty for the
    /// item's default action) on sFile. Returns a value above kShellMaxError on
    /// success, else a failure code.
    virtual std::int32_t ShellExecute(const std::string& sVerb, const std::string& sFile,
                                      const std::string& sParameters, const std::string& sDirectory,
                                      std::int32_t nShowCmd) = 0;
};

}  // namespace talvex::platform
