// Handlers of the main window's switches, the tray icon and the tray menu.
#include "ui/frmMain.h"

namespace talvex {

using namespace platform;

void frmMain::chkActive_Click() {
    // An exit that was asked for must still be carried out by the next tick.
    const bool on = m_c.chkActive->Checked();
    m_tmrRefresh->SetEnabled(on || m_engine.Shutdown() >= ShutdownState::Requested);
    if (on) {
        if (m_oTrayIcon) m_oTrayIcon->IconHandle(m_form->Icon());
        return;
    }
    if (m_oTrayIcon) {
        m_oTrayIcon->IconHandle(m_c.Image2->GetPicture());
        PublishTooltip(m_form->Caption());
    }
    m_engine.LetGoOfForeground();
    // No tick runs while boosting is off: what is still held (lowered programs) is
    // shown now.
    RefreshHeld();
}

void frmMain::Option1_Click(std::int16_t Index) {
    m_engine.SetNewPriority(Index);
}

void frmMain::chkAlwaysOnTop_Click() {
    m_bAlwaysOnTop = m_c.chkAlwaysOnTop->Checked();
    m_engine.Queries().SetTopmost(m_form->Handle(), m_bAlwaysOnTop);
}

void frmMain::chkAdvanced_Click() {
    m_bAdvancedView = m_c.chkAdvanced->Checked();
    fSetAdvancedView();
}

void frmMain::fSetAdvancedView() {
    m_form->SetHeight(m_bAdvancedView ? kAdvancedHeight : kSimpleHeight);
    TwipsRect column = m_c.Shape3->Rect();
    column.height = m_bAdvancedView ? kAdvancedColumn : kSimpleColumn;
    m_c.Shape3->Move(column);
    // What the simple view cuts off must be out of reach of the keyboard as well: a
    // box ticked there by Tab and Space would change things nobody sees.
    // The lower panel: the rules, autostart, the update check and the languages.
    for (Control* control :
         {m_c.Shape2, m_c.Label2, m_c.List1, m_c.Command1, m_c.Command2, m_c.Command3,
          m_c.chkAutostart, m_c.chkAutoUpdate, m_c.Label3, m_c.Shape6, m_c.imgGer, m_c.Shape4,
          m_c.imgEn, m_c.Shape5, m_c.imgFr}) {
        control->SetVisible(m_bAdvancedView);
    }
}

void frmMain::chkAutostart_Click() {
    SetAutostart(m_c.chkAutostart->Checked());
}

void frmMain::chkAutoUpdate_Click() {
    if (HasUpdateCheck()) bAutoUpdate = m_c.chkAutoUpdate->Checked();
}

void frmMain::chkAutoUpdate_MouseUp(int Button, int, std::int32_t, std::int32_t) {
    if (Button == kRightButton) CheckForUpdate(true);
}

void frmMain::imgGer_Click() {
    m_sLanguage = "DE";
    Translate();
    SaveLanguage();
}

void frmMain::imgEn_Click() {
    m_sLanguage = "EN";
    Translate();
    SaveLanguage();
}

void frmMain::imgFr_Click() {
    m_sLanguage = "FR";
    Translate();
    SaveLanguage();
}

void frmMain::Form_KeyDown(std::int32_t& KeyCode, int Shift) {
    if (KeyCode != vbKeyEscape || Shift != 0) return;
    // Without a notification area nothing could bring a hidden window back.
    if (!m_ui.IsTrayAvailable()) return;
    KeyCode = 0;
    m_form->Hide();
}

void frmMain::oTrayIcon_TrayMouseEvent(std::int32_t MouseEvent) {
    if (MouseEvent == WM_LBUTTONDBLCLK) {
        mnuPop1Show_Click();
    } else if (MouseEvent == WM_RBUTTONUP) {
        ShowTrayMenu();
    }
}

void frmMain::ShowTrayMenu() {
    MenuItem& title = *m_c.mnuPop1Title;
    title.caption = m_form->Caption();
    m_c.mnuPop1Activate->checked = m_c.chkActive->Checked();
    m_ui.PopupMenu(m_mnuPop1, &title);
}

void frmMain::ShowMainWindow() {
    m_form->Show();
}

// The desktop keeps a window on top only once the window is on the screen, so the
// state is asked for again each time the window appears.
void frmMain::Form_Shown() {
    if (m_bAlwaysOnTop) m_engine.Queries().SetTopmost(m_form->Handle(), true);
}

void frmMain::mnuPop1Show_Click() {
    ShowMainWindow();
}

void frmMain::mnuPop1Activate_Click() {
    Control& active = *m_c.chkActive;
    active.SetValue(active.Checked() ? 0 : 1);
}

void frmMain::mnuPop1Advanced_Click() {
    ShowAdvancedWindow();
}

void frmMain::mnuPop1Update_Click() {
    CheckForUpdate(true);
}

void frmMain::mnuPop1Exit_Click() {
    m_engine.SetShutdown(ShutdownState::Requested);
    m_tmrRefresh->SetEnabled(true);
}

}  // namespace talvex
