// The update check at start-up, until the update module is wired in: it does nothing,
// so the program runs on as if no newer version existed.
#include "ui/frmMain.h"

namespace talvex {

void frmMain::CheckForUpdate(bool) {}

}  // namespace talvex
