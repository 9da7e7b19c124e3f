#pragma once
// Hands a file or an address to the system shell with a verb.

#include <cstdint>
#include <string>

#include "platform/IShell.h"

namespace talvex::modShell {

/// Verb text of a verb code: 1 "open", 2 "explore", 3 "find", 4 "print", 5 "edit";
/// any other code gives no verb, so that the shell uses the item's default action.
std::string GetShellVerb(std::int16_t iVerb);

/// Asks the shell to perform the verb on sFile; true when the shell reports success.
bool ShellOpen(platform::IShell& shell, const std::string& sFile, std::int16_t iVerb,
               const std::string& sParameters, const std::string& sDirectory,
               std::int32_t lShowCmd);

}  // namespace talvex::modShell
