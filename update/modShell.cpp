#include "update/modShell.h"

namespace talvex::modShell {

std::string GetShellVerb(std::int16_t iVerb) {
    switch (iVerb) {
        case 1:
            return "open";
        case 2:
            return "explore";
        case 3:
            return "find";
        case 4:
            return "print";
        case 5:
            return "edit";
        default:
            return {};
    }
}

bool ShellOpen(platform::IShell& shell, const std::string& sFile, std::int16_t iVerb,
               const std::string& sParameters, const std::string& sDirectory,
               std::int32_t lShowCmd) {
    return shell.ShellExecute(GetShellVerb(iVerb), sFile, sParameters, sDirectory, lShowCmd) >
           platform::kShellMaxError;
}

}  // namespace talvex::modShell
