// The main window's side of the settings store, autostart and the single-instance
// check: loading puts the stored values into the variables and controls (a control
// set here runs its click handler as a click would), saving collects them again.
#include "i18n/FormatMsg.h"
#include "settings/modAutostart.h"
#include "settings/modInstance.h"
#include "settings/modSettings.h"
#include "ui/frmMain.h"

namespace talvex {

using namespace platform;

namespace {}  // namespace

ISettingsStore& frmMain::SettingsStore() {
    return m_system.settings ? *m_system.settings : m_noSettingsStore;
}

void frmMain::fLoadSettings() {
    SettingsDefaults defaults;
    // The first start speaks the desktop's language; a choice once made is stored.
    defaults.sLanguage = modSettings::LanguageForLocale(m_ui.SystemLanguage());
    defaults.sOwnExeName = m_system.sOwnExeName;
    defaults.firstStartRules = m_system.firstStartRules;
    const SettingsValues v = modSettings::ReadSettings(
        SettingsStore(), m_engine.Items(),
        [this](std::int16_t iLevel) { m_engine.SetNewPriority(iLevel); }, defaults);
    m_sLanguage = v.sLanguage;
    Translate();
    m_engine.SetNewPriority(v.iNewPriority);
    m_c.Option1[v.iNewPriority]->SetValue(1);
    m_bAlwaysOnTop = v.bAlwaysOnTop;
    if (m_bAlwaysOnTop) m_c.chkAlwaysOnTop->SetValue(1);
    m_bAdvancedView = v.bAdvancedView;
    m_c.chkAdvanced->SetValue(m_bAdvancedView ? 1 : 0);
    fSetAdvancedView();
    bAutoUpdate = v.bAutoUpdate;
    // A build without an update check shows the box cleared, and keeps the stored choice
    // for a build that has one.
    m_c.chkAutoUpdate->SetValue(bAutoUpdate && HasUpdateCheck() ? 1 : 0);
    modMain::ObserverSettings observers;
    observers.bBkgObservation = v.bBkgObservation;
    observers.iBelowNormalCpuUsage = v.iBelowNormalCpuUsage;
    observers.iIdleCpuUsage = v.iIdleCpuUsage;
    m_engine.SetObserverSettings(observers);
    m_engine.SetMaxFailures(v.lMaxFailures);
    m_tmrRefresh->SetInterval(v.lRefreshInterval);

    // Placed once the view, and with it the window's height, is final.
    const ScreenMetrics screen{m_ui.ScreenWidth(), m_ui.ScreenHeight(),   m_form->ClientWidth(),
                               m_form->Height(),   m_ui.TwipsPerPixelX(), m_ui.TwipsPerPixelY(),
                               m_ui.ScreenRects()};
    const WindowPosition position = modSettings::ReadWindowPosition(SettingsStore(), screen);
    m_form->Move(position.left, position.top);
    fRefreshList();
}

bool frmMain::fSaveSettings() {
    SettingsValues v;
    v.sLanguage = m_sLanguage;
    v.iNewPriority = m_engine.NewPriority();
    v.bAlwaysOnTop = m_bAlwaysOnTop;
    v.bAdvancedView = m_bAdvancedView;
    v.bAutoUpdate = bAutoUpdate;
    v.bBkgObservation = m_engine.ObserverSettings().bBkgObservation;
    v.iBelowNormalCpuUsage = m_engine.ObserverSettings().iBelowNormalCpuUsage;
    v.iIdleCpuUsage = m_engine.ObserverSettings().iIdleCpuUsage;
    v.lMaxFailures = m_engine.MaxFailures();
    v.lRefreshInterval = m_tmrRefresh->Interval();
    // A store that cannot be written keeps what it had; the program goes on.
    return NoteSaveResult(modSettings::WriteSettings(SettingsStore(), v, m_engine.Items(),
                                                     {m_form->Left(), m_form->Top()}));
}

bool frmMain::NoteSaveResult(bool bSaved) {
    // Without a store nothing is meant to be kept; nothing to say then.
    if (bSaved || !m_system.settings || !m_sSaveFailure.empty()) return bSaved;
    const std::string place = m_system.sSettingsPlace.empty() ? "?" : m_system.sSettingsPlace;
    m_sSaveFailure = FormatMsg(m_strings.Lang(TextId::SettingsNotSaved), MsgArgs{place});
    m_log.DoLog(m_sSaveFailure);
    ShowTooltip();
    return false;
}

bool frmMain::IsAutostartSet() {
    return m_system.autostart && modAutostart::IsAutostartSet(*m_system.autostart);
}

void frmMain::SetAutostart(bool bOn) {
    if (m_system.autostart) modAutostart::SetAutostart(*m_system.autostart, bOn);
}

bool frmMain::IsFirstInstance() {
    return !m_system.instance || modInstance::IsFirstInstance(*m_system.instance);
}

void frmMain::ReleaseInstanceMutex() {
    if (m_system.instance) modInstance::ReleaseInstanceMutex(*m_system.instance);
}

void frmMain::SaveLanguage() {
    // Saved at once: the choice is made for good, whatever happens to this run.
    SaveSetting("General.Language", m_sLanguage);
}

}  // namespace talvex
