// Steps of start-up and shutdown whose real work lives in other modules: the interface
// translation, the update check and the Advanced window. Until those modules are wired
// in, each step here does the least that keeps the program correct: the interface
// keeps its English design texts. (Settings, autostart and the instance check: in
// frmMainSettings.cpp.)
#include "engine/Engine.h"
#include "ui/frmMain.h"

namespace talvex {

using namespace platform;

void frmMain::Translate() {
    m_engine.txtWindow = "Window";
    m_engine.txtProcessId = "Process ID";
    m_engine.txtPriority = "Priority";
    txtTalvexStarted = "Talvex is running and boosts the program in front.";
    txtAppAlreadyRunning = "Talvex is already running. Start another copy?";
    PriorityNames& names = m_engine.m_modMain.names;
    names.sNameAboveNormal = Ctl("Option1", 0).Caption();
    names.sNameBelowNormal = "Below Normal";
    names.sNameHigh = Ctl("Option1", 1).Caption();
    names.sNameIdle = "Idle";
    names.sNameRealtime = Ctl("Option1", 2).Caption();
    names.sNameOther = "Unknown";
    names.sNameNormal = "Normal";
}

void frmMain::CheckForUpdate(bool) {}

}  // namespace talvex
