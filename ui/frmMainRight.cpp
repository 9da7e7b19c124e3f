// What the desktop withholds, shown in the main window. Without the right to raise
// priorities Talvex boosts nothing and lowers nothing: the start balloon, the tray
// tooltip and the window say so for the whole run, and the window offers the full notice
// again. Without a notification area the window carries the tray menu behind a button.
#include "i18n/FormatMsg.h"
#include "ui/frmMain.h"

namespace talvex {

using namespace platform;

namespace {

constexpr std::int16_t kIdNoRightNotice = 60;
constexpr std::int16_t kIdNoRightBalloon = 121;
constexpr std::int16_t kIdNoRightTooltip = 122;
constexpr std::int16_t kIdNoRightLine = 123;
constexpr std::int16_t kIdNoRightWhy = 124;
constexpr std::int16_t kIdMenuButton = 125;

constexpr const char* kNoRightText =
    "Talvex may not raise the priority of programs here.\n\n"
    "What works: it follows the program in front, shows its status, notices a program that "
    "hangs and keeps the action log.\n\n"
    "What does not: it does not boost the program in front, and it lowers no busy background "
    "program either, since it could not give it its priority back.\n\n"
    "To grant the right, run once:\n\nsudo setcap cap_sys_nice+ep \"%1\"\n\n"
    "and start Talvex again. This notice is shown once.";
constexpr const char* kNoRightBalloon =
    "Talvex may not raise the priority of programs here, so it boosts nothing. Open its "
    "window to see how to grant the right.";

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
    m_sNoRightLine =
        bMissing ? m_strings.Lang(kIdNoRightTooltip, false, false, false, "cannot raise priorities")
                 : std::string();
    m_c.lblNoRight->SetCaption(m_strings.Lang(kIdNoRightLine, false, false, false,
                                              "Talvex may not raise priorities here."));
    m_c.cmdNoRight->SetCaption(m_strings.Lang(kIdNoRightWhy, false, false, false, "&Why?"));
    m_c.lblNoRight->SetVisible(bMissing);
    m_c.cmdNoRight->SetVisible(bMissing);
    m_c.cmdMenu->SetCaption(m_strings.Lang(kIdMenuButton, false, false, false, "M&enu"));
    PlaceStatusText();
    for (Control* option : m_c.Option1) option->SetEnabled(!bMissing);
    ShowTooltip();
}

std::string frmMain::StartBalloonText() {
    if (MayRaise()) return txtTalvexStarted;
    return m_strings.Lang(kIdNoRightBalloon, false, false, false, kNoRightBalloon);
}

void frmMain::ShowMissingRightNotice() {
    const std::string path = m_engine.Queries().GetWindowExePath(0, modMain::kPathMax);
    const std::string text = m_strings.Lang(kIdNoRightNotice, false, false, false, kNoRightText);
    m_ui.MsgBox(FormatMsg(text, MsgArgs{path.empty() ? std::string("talvex") : path}),
                vbOKOnly | vbInformation, "Talvex");
}

}  // namespace talvex
