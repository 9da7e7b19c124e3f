// Talvex for Windows: reads the command line, then the Win32 backends, the main window,
// and the message loop until the main window ends the program.
#include "app/CommandAnswer.h"
#include "app/CommandLine.h"
#include "app/Desktop.h"
#include "app/SystemServices.h"
#include "base/Trace.h"
#include "i18n/ActionLog.h"
#include "i18n/StringTable.h"
#include "platform/win32/Win32Console.h"
#include "platform/win32/Win32Libraries.h"
#include "platform/win32/Win32Net.h"
#include "platform/win32/Win32Ui.h"
#include "ui/frmMain.h"

int main() {
    // Before anything loads a library: never one from the program's folder.
    talvex::platform::win32::LoadLibrariesOnlyFromSystem();
    // Talvex's own options; Windows has no toolkit options, so anything else is refused.
    auto command = talvex::app::ReadCommandLine(talvex::platform::win32::ProgramArguments());
    const bool verbose = command.bVerbose;
    if (command.action == talvex::app::CommandAction::Run) {
        command = talvex::app::RefuseArguments(command.vsOthers);
    }
    const bool answers = command.action != talvex::app::CommandAction::Run;
    if (answers || verbose) talvex::platform::win32::AnswerOnParentConsole();
    if (verbose) talvex::trace::EnableVerbose();
    if (answers) return talvex::app::AnswerCommandLine(command);
    talvex::StringTable strings;
    // The input box's buttons speak the language the user has chosen.
    auto ui = talvex::platform::CreateWin32UiServices(
        {[&strings] { return strings.Lang(talvex::TextId::Ok); },
         [&strings] { return strings.Lang(talvex::TextId::Cancel); }});
    auto desktop = talvex::app::CreateDesktop();
    talvex::ActionLog log(desktop->Clock());
    const auto system = talvex::app::CreateSystemServices();
    // The update check's transfer keeps the windows answering while it waits.
    auto http = talvex::platform::CreateWin32Http({}, [&ui] { ui->DoEvents(); });
    auto shell = talvex::platform::CreateWin32Shell();
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
    services.foreground = desktop->Foreground();
    services.shell = shell.get();
    talvex::frmMain frm(services);
    frm.Form_Load();
    return ui->Run();
}
