// A copy of the program for the single-instance tests: the real start-up and shutdown
// of the main window on the in-memory desktop and UI, with the real lock and settings
// file. Usage: talvex_instance_probe RUNTIME_DIR CONFIG_DIR yes|no
// Prints "asked" when it asked whether to run on, then "running" or "ended"; a running
// copy ends through its shutdown when its standard input closes.
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "platform/fake/FakeDesktop.h"
#include "platform/fake/FakeUi.h"
#include "platform/linux/LinuxSettingsStore.h"
#include "platform/linux/LinuxSingleInstance.h"
#include "ui/frmMain.h"

int main(int argc, char** argv) {
    using namespace talvex;
    using namespace talvex::platform;
    if (argc != 4) return 2;
    FakeDesktop desk;
    FakeProcessSpec self("/opt/talvex/talvex");
    self.pid = static_cast<std::int32_t>(getpid());
    desk.SetCurrentProcess(desk.AddProcess(self));
    FakeUi ui;
    ui.AnswerMsgBox(std::string(argv[3]) == "yes" ? vbYes : vbNo);
    StringTable strings;
    ActionLog log(desk);
    LinuxSettingsStore store(argv[2]);
    LinuxSingleInstance lock(argv[1]);
    frmMain frm(frmMainServices{ui, desk, desk, strings, log, desk, {&store, nullptr, &lock}});
    frm.Form_Load();
    if (!ui.MsgBoxes().empty()) std::cout << "asked\n";
    if (!ui.Ended()) {
        std::cout << "running" << std::endl;
        std::string line;
        while (std::getline(std::cin, line)) {
        }
        frm.fEndTalvex();
    }
    std::cout << "ended" << std::endl;
    return ui.Ended() ? 0 : 1;
}
