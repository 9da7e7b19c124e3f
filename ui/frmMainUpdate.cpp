// The main window's side of the update check: it owns the check and hands it its
// message boxes, its transfer (Inet1) and the shell.
#include "i18n/TextIds.h"
#include "ui/frmMain.h"

namespace talvex {

using namespace platform;

namespace {}  // namespace

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

bool frmMain::HasUpdateCheck() const {
    return !m_modDl.Options().sVersionURL.empty();
}

void frmMain::CheckForUpdate(bool bVerbose) {
    // A build without an update server says so in its menu; it never reports an error.
    if (HasUpdateCheck()) m_modDl.CheckForUpdate(bVerbose);
}

// A build without an update check greys the menu entry, which says why, and the box.
void frmMain::ShowUpdateAvailability() {
    if (HasUpdateCheck()) return;
    MenuItem& item = *m_c.mnuPop1Update;
    item.enabled = false;
    item.caption = m_strings.Lang(TextId::NoUpdateCheck);
    m_c.chkAutoUpdate->SetEnabled(false);
}

}  // namespace talvex
