// The main window's side of the update check: it owns the check and hands it its
// message boxes, its transfer (Inet1) and the shell.
#include "ui/frmMain.h"

namespace talvex {

UpdateServices frmMain::UpdateServicesOf(const frmMainServices& services, IUpdatePrompt& prompt) {
    return UpdateServices{services.Inet1 ? *services.Inet1 : NoTransfer(),
                          services.shell ? *services.shell : NoShell(), prompt, services.strings};
}

UpdateOptions frmMain::UpdateOptionsOf(const frmMainServices& services) {
    UpdateOptions options = services.update;
    // Without a transfer there is nothing to fetch: as a build without an address.
    if (services.Inet1 == nullptr) options.sVersionURL.clear();
    return options;
}

void frmMain::CheckForUpdate(bool bVerbose) {
    m_modDl.CheckForUpdate(bVerbose);
}

}  // namespace talvex
