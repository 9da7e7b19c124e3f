// Talvex: reads the command line, picks the backends, creates the main window and runs
// the event loop until the main window ends the program.
#include <string>
#include <vector>

#include "app/CommandAnswer.h"
#include "app/CommandLine.h"
#include "app/Desktop.h"
#include "app/SystemServices.h"
#include "base/Trace.h"
#include "i18n/ActionLog.h"
#include "i18n/StringTable.h"
#include "platform/qt/QtUi.h"
#include "platform/qt/net/QtNet.h"
#include "ui/frmMain.h"

namespace {

std::vector<std::string> ArgumentsOf(int argc, char** argv) {
    return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>{};
}

}  // namespace

int main(int argc, char** argv) {
    using talvex::app::AnswerCommandLine;
    // Talvex's own options first: they need no display.
    const auto own = talvex::app::ReadCommandLine(ArgumentsOf(argc, argv));
    if (own.bVerbose) talvex::trace::EnableVerbose();
    if (const int code = AnswerCommandLine(own); code >= 0) return code;
    if (const int code = AnswerCommandLine(talvex::app::CheckToolkitArguments(own.vsOthers));
        code >= 0) {
        return code;
    }
    // Qt takes its standard options out of argv here; what is left is nobody's.
    auto ui = talvex::platform::CreateQtUiServices(argc, argv);
    const auto left = talvex::app::ReadCommandLine(ArgumentsOf(argc, argv)).vsOthers;
    if (const int code = AnswerCommandLine(talvex::app::RefuseArguments(left)); code >= 0) {
        return code;
    }
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
                              system.sOwnExeName, system.firstStartRules, system.sRuleExample,
                              system.sSettingsPlace}};
    services.Inet1 = http.get();
    services.shell = shell.get();
    services.foreground = desktop->Foreground();
    talvex::frmMain frm(services);
    // On a busy machine, applications whose CPU group stayed quiet are not sampled.
    frm.engine().SetCpuGroups(desktop->CpuGroups());
    frm.Form_Load();
    return ui->Run();
}
