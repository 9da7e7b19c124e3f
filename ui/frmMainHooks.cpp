// Steps of start-up and shutdown whose real work lives in other modules: the settings
// store, the interface translation, autostart and single instance, and the Advanced
// window. Until those modules are wired in, each step here does the
// least that keeps the program correct: the settings start at their defaults, the
// interface keeps its English design texts, the program counts as the only copy and
// is not registered for autostart.
#include "engine/Engine.h"
#include "ui/frmMain.h"

namespace talvex {

using namespace platform;

void frmMain::fLoadSettings() {
    m_sLanguage = "DE";
    Translate();
    m_engine.m_iNewPriority = 1;
    Ctl("Option1", m_engine.m_iNewPriority).SetValue(1);
    m_bAlwaysOnTop = true;
    Ctl("chkAlwaysOnTop").SetValue(1);
    m_bAdvancedView = false;
    Ctl("chkAdvanced").SetValue(0);
    fSetAdvancedView();
    bAutoUpdate = true;
    Ctl("chkAutoUpdate").SetValue(1);
    m_lMaxFailures = 8;
    // First start: the program's own never-boost rules.
    m_engine.m_TalvexItems.fAddToTalvexItems("taskmgr.exe", 0, true, true, false, false);
    m_engine.m_TalvexItems.fAddToTalvexItems("ntvdm.exe", 0, true, false, false, false);
    m_engine.m_TalvexItems.fAddToTalvexItems("talvex.exe", 0, true, true, false, false);
    m_tmrRefresh->SetInterval(500);
    m_form->Move(m_ui.ScreenWidth() / 2 - kClientWidth / 2,
                 m_ui.ScreenHeight() / 2 - m_form->Height() / 2);
    fRefreshList();
}

void frmMain::fSaveSettings() {}

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

void frmMain::fRefreshList() {
    Control& list = Ctl("List1");
    list.Clear();
    for (std::size_t i = 0; i < m_engine.m_TalvexItems.Count(); ++i) {
        list.AddItem(m_engine.m_TalvexItems[i].sItem);
    }
}

bool frmMain::IsAutostartSet() {
    return false;
}

void frmMain::SetAutostart(bool) {}

bool frmMain::IsFirstInstance() {
    return true;
}

void frmMain::ReleaseInstanceMutex() {}

void frmMain::ShowAdvancedWindow() {}

void frmMain::CloseAdvancedWindow() {}

}  // namespace talvex
