// Talvex: picks the backends, creates the main window and runs the event loop until
// the main window ends the program.
#include "app/Desktop.h"
#include "app/SystemServices.h"
#include "i18n/ActionLog.h"
#include "i18n/StringTable.h"
#include "platform/qt/QtUi.h"
#include "platform/qt/net/QtNet.h"
#include "ui/frmMain.h"

int main(int argc, char** argv) {
    auto ui = talvex::platform::CreateQtUiServices(argc, argv);
    auto desktop = talvex::app::CreateDesktop();
    talvex::StringTable strings;
    talvex::ActionLog log(desktop->Clock());
    const auto system = talvex::app::CreateSystemServices();
    auto http = talvex::platform::CreateQtHttp();
    auto shell = talvex::platform::CreateQtShell();
    talvex::frmMainServices services{
        *ui,
        desktop->Processes(),
        desktop->Windows(),
        strings,
        log,
        desktop->Clock(),
        talvex::frmMainSystem{system.settings.get(), system.autostart.get(), system.instance.get(),
                              system.sOwnExeName}};
    services.Inet1 = http.get();
    services.shell = shell.get();
    services.foreground = desktop->Foreground();
    talvex::frmMain frm(services);
    frm.Form_Load();
    return ui->Run();
}
