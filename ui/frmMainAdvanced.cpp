// The main window's side of the Advanced window: loading it hidden with the first log
// line, showing it from the tray menu, closing it, and what it reads from here.
#include "base/TalvexError.h"
#include "settings/modSettings.h"
#include "ui/frmMain.h"

namespace talvex {

using namespace platform;

frmAdvanced* frmMain::Advanced() {
    return m_frmAdvanced && m_frmAdvanced->Loaded() ? m_frmAdvanced.get() : nullptr;
}

void frmMain::LoadAdvancedWindow() {
    m_frmAdvanced.reset();
    m_frmAdvanced =
        std::make_unique<frmAdvanced>(frmAdvancedServices{m_ui, m_engine, m_strings, m_log, *this});
    // Closing the window discards the log; the next line loads it again, empty.
    m_frmAdvanced->OnUnloaded = [this] { m_log.Clear(); };
}

void frmMain::OnLogChanged() {
    if (Advanced()) {
        m_frmAdvanced->ShowLog();
    } else if (!m_log.Lines().empty()) {
        LoadAdvancedWindow();
    }
}

void frmMain::ShowAdvancedWindow() {
    if (!Advanced()) LoadAdvancedWindow();
    m_frmAdvanced->Show();
}

void frmMain::CloseAdvancedWindow() {
    if (Advanced()) m_frmAdvanced->Unload();
}

// The rule panel is the main window's advanced view: it is shown, and the new rule
// selected, so the user sees it and can set its level from its menu at once.
void frmMain::AddRuleFor(const std::string& sPath) {
    ShowMainWindow();
    m_c.chkAdvanced->SetValue(1);
    const bool added = m_ruleCommands.AddFor(sPath);
    if (added) fRefreshList();
    const std::int16_t rule = m_engine.Items().fFindInTalvexItems(sPath);
    if (rule >= 0 && rule < m_c.List1->ListCount()) m_c.List1->SetListIndex(rule);
}

std::int32_t frmMain::RefreshInterval() {
    return m_tmrRefresh->Interval();
}

// The Advanced window keeps its position in the same store and section as all settings.
std::string frmMain::GetSetting(const std::string& sKey, const std::string& sDefault) {
    return SettingsStore().GetSettingValue(kSettingsApp, kSettingsSection, sKey, sDefault);
}

void frmMain::SaveSetting(const std::string& sKey, const std::string& sValue) {
    // A store that cannot be written keeps what it had; the window closes all the same.
    NoteSaveResult(SettingsStore().SaveSettingValue(kSettingsApp, kSettingsSection, sKey, sValue));
}

}  // namespace talvex
