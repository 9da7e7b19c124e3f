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

std::int32_t frmMain::RefreshInterval() {
    return m_tmrRefresh->Interval();
}

// The Advanced window keeps its position in the same store and section as all settings.
std::string frmMain::GetSetting(const std::string& sKey, const std::string& sDefault) {
    return SettingsStore().GetSettingValue(kSettingsApp, kSettingsSection, sKey, sDefault);
}

void frmMain::SaveSetting(const std::string& sKey, const std::string& sValue) {
    // A store that cannot be written keeps what it had; the window closes all the same.
    SettingsStore().SaveSettingValue(kSettingsApp, kSettingsSection, sKey, sValue);
}

}  // namespace talvex
