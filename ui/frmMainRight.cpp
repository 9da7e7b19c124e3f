// What the desktop withholds, shown in the main window. Without the right to raise
// priorities Talvex boosts nothing and lowers nothing: the start balloon, the tray
// tooltip and the window say so for the whole run, and the window offers the full notice
// again. Without a notification area the window carries the tray menu behind a button.
#include "i18n/FormatMsg.h"
#include "ui/frmMain.h"

namespace talvex {

using namespace platform;

namespace {

// The status text keeps the upper part of its panel; the line and its button take the
// rest, above the boost levels, and the Menu button the top right corner.
constexpr std::int32_t kStatusFullWidth = 4095;
constexpr std::int32_t kStatusNarrowWidth = 3360;
constexpr std::int32_t kStatusFullHeight = 1455;
constexpr std::int32_t kStatusShortHeight = 960;

}  // namespace

void frmMain::CreateMissingRightControls() {
    Form& f = *m_form;
    m_c.lblNoRight = &f.Add(ControlKind::Label, "lblNoRight", {1320, 1335, 2900, 555});
    ControlStyle wrap;
    wrap.wordWrap = true;
    wrap.foreColor = Rgb{160, 0, 0};
    m_c.lblNoRight->SetStyle(wrap);
    m_c.cmdNoRight = &f.Add(ControlKind::PushButton, "cmdNoRight", {4320, 1395, 1095, 375});
    // After the other controls: the window still opens on the boost level.
    m_c.cmdNoRight->SetTabIndex(19);
    m_c.lblNoRight->SetVisible(false);
    m_c.cmdNoRight->SetVisible(false);
    m_c.cmdMenu = &f.Add(ControlKind::PushButton, "cmdMenu", {4740, 360, 675, 375});
    m_c.cmdMenu->SetTabIndex(18);
    m_c.cmdMenu->SetVisible(false);
}

void frmMain::PlaceStatusText() {
    const bool bNoTray = m_c.cmdMenu->Visible();
    const bool bNoRight = m_c.lblNoRight->Visible();
    m_c.Label1->Move({1320, 360, bNoTray ? kStatusNarrowWidth : kStatusFullWidth,
                      bNoRight ? kStatusShortHeight : kStatusFullHeight});
}

bool frmMain::MayRaise() {
    return m_processes.CanRaisePriority();
}

void frmMain::ShowMissingRight() {
    const bool bMissing = !MayRaise();
    m_sNoRightLine = bMissing ? m_strings.Lang(TextId::NoRightTooltip) : std::string();
    m_c.lblNoRight->SetCaption(m_strings.Lang(TextId::NoRightLine));
    m_c.cmdNoRight->SetCaption(m_strings.Lang(TextId::NoRightWhy));
    m_c.lblNoRight->SetVisible(bMissing);
    m_c.cmdNoRight->SetVisible(bMissing);
    m_c.cmdMenu->SetCaption(m_strings.Lang(TextId::MenuButton));
    PlaceStatusText();
    for (Control* option : m_c.Option1) option->SetEnabled(!bMissing);
    ShowTooltip();
}

std::string frmMain::StartBalloonText() {
    if (MayRaise()) return txtTalvexStarted;
    return m_strings.Lang(TextId::NoRightBalloon);
}

void frmMain::ShowMissingRightNotice() {
    // The file that needs the right: the helper where there is one, else the program.
    const platform::RaiseRight right = m_processes.RaiseRightInUse();
    const std::string path = !right.file.empty()
                                 ? right.file
                                 : m_engine.Queries().GetWindowExePath(0, modMain::kPathMax);
    const std::string text = m_strings.Lang(TextId::NoRaiseRightNotice);
    m_ui.MsgBox(FormatMsg(text, MsgArgs{path.empty() ? std::string("talvex") : path}),
                vbOKOnly | vbInformation, "Talvex");
}

}  // namespace talvex
