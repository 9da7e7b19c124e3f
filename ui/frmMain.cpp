#include "ui/frmMain.h"

#include "base/RunQuietly.h"
#include "base/TalvexError.h"
#include "engine/Version.h"
#include "i18n/FormatMsg.h"
#include "i18n/TextIds.h"
#include "settings/modSettings.h"
#include "ui/BuildStamp.h"
#include "ui/HeldList.h"

namespace talvex {

using namespace platform;

namespace {

// How long the end waits for changes the kernel turns away for a moment (it takes one
// session-group change per 100 ms).
constexpr std::uint32_t kEndUndoWaitMs = 350;
constexpr const char* kKeyRightNoticeShown = "General.NoRaiseRightNoticeShown";

const MsgArgs kVersionArgs{std::int64_t{kVersionMajor}, std::int64_t{kVersionMinor},
                           std::int64_t{kVersionRevision}};

}  // namespace

frmMain::frmMain(const frmMainServices& services)
    : m_ui(services.ui),
      m_processes(services.processes),
      m_strings(services.strings),
      m_log(services.log),
      m_clock(services.clock),
      m_foreground(services.foreground),
      m_system(services.system),
      m_engine(services.processes, services.windows, services.clock, services.strings, services.log,
               *this),
      m_form(services.ui.CreateForm("frmMain")),
      m_tmrRefresh(services.ui.CreateTimer()),
      m_ruleCommands(
          m_engine.Items(), services.strings,
          [this](const std::string& sPrompt, const std::string& sDefault) {
              return m_ui.InputBox(sPrompt, "Talvex", sDefault);
          },
          services.system.sRuleExample),
      // Above an always-on-top main window, or the warning (and its only way out, OK)
      // would open hidden behind it.
      m_frmWarning(services.ui, services.strings,
                   [this](WindowHandle hWnd) {
                       if (m_bAlwaysOnTop) m_engine.Queries().SetTopmost(hWnd, true);
                   }),
      m_modDl(UpdateServicesOf(services, m_updatePrompt), UpdateOptionsOf(services)) {
    m_tmrRefresh->SetInterval(500);
    CreateControls();
    GreyTopmostWhereItCannotWork(services.windows.TopmostUnavailableOn());
    CreateMenus();
    BindHandlers();
    BindRulePanel();
    m_engine.SetWarningDialog(&m_frmWarning);
    m_log.SetOnChange([this] { RunQuietly("OnLogChanged", [this] { OnLogChanged(); }); });
    m_ui.SetMainForm(m_form.get());
}

frmMain::~frmMain() {
    m_log.SetOnChange(nullptr);
    m_engine.SetWarningDialog(nullptr);
    m_ui.SetMainForm(nullptr);
}

Control& frmMain::Ctl(const std::string& name, std::int16_t index) {
    Control* control = m_form->Find(name, index);
    if (!control) throw TalvexError(kErrIndexOutOfRange);
    return *control;
}

void frmMain::BindHandlers() {
    m_tmrRefresh->OnTimer = [this] {
        // While the desktop announces the front and the status is hidden, the tick
        // leaves the desktop alone (no round trip to its server on every tick).
        m_engine.SetFrontAnnounced(m_foreground && m_foreground->Listening());
        m_engine.SetStatusShown(m_form->Visible());
        m_engine.tmrRefresh_Timer();
        RunQuietly("KeepForegroundSource", [this] { KeepForegroundSource(); });
        RunQuietly("RefreshHeld", [this] { RefreshHeld(); });
    };
    m_form->OnQueryUnload = [this](bool& cancel, CloseReason reason) {
        RunQuietly("Form_QueryUnload", [&] { Form_QueryUnload(cancel, reason); });
    };
    m_form->OnShown = Quiet("Form_Shown", [this] { Form_Shown(); });
    m_form->OnKeyDown = [this](std::int32_t& keyCode, int shift) {
        RunQuietly("frmMain/Form_KeyDown", [&] { Form_KeyDown(keyCode, shift); });
    };
    m_c.chkActive->OnClick = Quiet("chkActive_Click", [this] { chkActive_Click(); });
    for (std::int16_t i = 0; i < 3; ++i) {
        m_c.Option1[i]->OnClick = Quiet("Option1_Click", [this, i] { Option1_Click(i); });
    }
    m_c.chkAlwaysOnTop->OnClick = Quiet("chkAlwaysOnTop_Click", [this] { chkAlwaysOnTop_Click(); });
    m_c.chkAdvanced->OnClick = Quiet("chkAdvanced_Click", [this] { chkAdvanced_Click(); });
    m_c.chkAutostart->OnClick = Quiet("chkAutostart_Click", [this] { chkAutostart_Click(); });
    m_c.chkAutoUpdate->OnClick = Quiet("chkAutoUpdate_Click", [this] { chkAutoUpdate_Click(); });
    m_c.chkAutoUpdate->OnMouseUp = [this](int button, int shift, std::int32_t x, std::int32_t y) {
        RunQuietly("chkAutoUpdate_MouseUp", [&] { chkAutoUpdate_MouseUp(button, shift, x, y); });
    };
    m_c.imgGer->OnClick = Quiet("imgGer_Click", [this] { imgGer_Click(); });
    m_c.imgEn->OnClick = Quiet("imgEn_Click", [this] { imgEn_Click(); });
    m_c.imgFr->OnClick = Quiet("imgFr_Click", [this] { imgFr_Click(); });
    m_c.cmdNoRight->OnClick = Quiet("cmdNoRight_Click", [this] { ShowMissingRightNotice(); });
    m_c.cmdMenu->OnClick = Quiet("cmdMenu_Click", [this] { ShowTrayMenu(); });

    m_c.mnuPop1Show->OnClick = Quiet("mnuPop1Show_Click", [this] { mnuPop1Show_Click(); });
    m_c.mnuPop1Activate->OnClick =
        Quiet("mnuPop1Activate_Click", [this] { mnuPop1Activate_Click(); });
    m_c.mnuPop1Advanced->OnClick =
        Quiet("mnuPop1Advanced_Click", [this] { mnuPop1Advanced_Click(); });
    m_c.mnuPop1Update->OnClick = Quiet("mnuPop1Update_Click", [this] { mnuPop1Update_Click(); });
    m_c.mnuPop1Exit->OnClick = Quiet("mnuPop1Exit_Click", [this] { mnuPop1Exit_Click(); });
}

// ---- start-up ----

void frmMain::Form_Load() {
    m_form->Hide();
    m_engine.Items().Clear();
    fLoadSettings();
    m_log.DoLog(FormatMsg(m_strings.Lang(TextId::Starting), kVersionArgs), true);
    m_c.chkAutostart->SetValue(IsAutostartSet() ? 1 : 0);
    if (!IsFirstInstance()) {
        // No is the default: a stray Enter must not start a second copy.
        if (m_ui.MsgBox(txtAppAlreadyRunning, vbYesNo | vbQuestion | vbDefaultButton2, "Talvex") !=
            vbYes) {
            fEndTalvex();
            return;
        }
    }
    m_form->SetCaption(FormatMsg("Talvex %1.%2.%3", kVersionArgs));
    StartupLogLines();
    m_oTrayIcon = m_ui.CreateTrayIcon();
    m_oTrayIcon->OnTrayMouseEvent = [this](std::int32_t mouseEvent) {
        RunQuietly("oTrayIcon_TrayMouseEvent", [&] { oTrayIcon_TrayMouseEvent(mouseEvent); });
    };
    m_sTooltip = m_form->Caption();
    m_oTrayIcon->AddIcon(*m_form, 0, m_sTooltip);
    ShowTooltip();
    m_oTrayIcon->ShowBalloon(1, StartBalloonText(), "Talvex", 5000);
    m_engine.SetShutdown(ShutdownState::Running);
    if (bAutoUpdate && HasUpdateCheck()) CheckForUpdate(false);
    m_engine.Queries().SetProcessPriority(0, 0, HIGH_PRIORITY_CLASS);
    StartForegroundSource();
    m_tmrRefresh->SetEnabled(true);
    m_ui.Post([this] { RunQuietly("AfterStartup", [this] { AfterStartup(); }); });
}

void frmMain::StartupLogLines() {
    const StringTable& s = m_strings;
    m_log.DoLog(FormatMsg(s.Lang(TextId::Build),
                          MsgArgs{std::string(BuildDate()), std::string(BuildTime())}),
                true);
    m_log.DoLog(
        FormatMsg(s.Lang(TextId::RefreshRate), MsgArgs{std::int64_t{m_tmrRefresh->Interval()}}),
        true);
}

// Once the event loop runs: a desktop without a notification area gets the window
// itself, and a missing right to raise priorities is explained once.
void frmMain::AfterStartup() {
    if (m_engine.Shutdown() >= ShutdownState::Ending) return;
    if (!m_ui.IsTrayAvailable()) {
        if (m_c.Label1->Caption().empty()) ShowStatusText("");
        // The tray menu's entries (the Advanced window among them) stay within reach.
        m_c.cmdMenu->SetVisible(true);
        PlaceStatusText();
        ShowMainWindow();
    }
    ExplainMissingRight();
    ForegroundNotice();
}

// Without the right to raise priorities Talvex boosts nothing and lowers nothing (it
// could not give a lowered program its priority back). It says so once; the setting
// remembers it. Once the right is there the setting goes, so that losing the right
// again (a rebuilt program loses its capability) is explained again.
void frmMain::ExplainMissingRight() {
    if (m_processes.CanRaisePriority()) {
        if (GetSetting(kKeyRightNoticeShown, "") != "") {
            SettingsStore().DeleteSettingValue(kSettingsApp, kSettingsSection,
                                               kKeyRightNoticeShown);
        }
        return;
    }
    if (GetSetting(kKeyRightNoticeShown, "") != "") return;
    SaveSetting(kKeyRightNoticeShown, "True");
    ShowMissingRightNotice();
}

// A Wayland desktop keeps no program's window above the others: the box stays (and its
// setting with it, for an X11 session), greyed, and says why.
void frmMain::GreyTopmostWhereItCannotWork(const std::string& desktop) {
    if (desktop.empty()) return;
    m_c.chkAlwaysOnTop->SetEnabled(false);
    ControlStyle style = m_c.chkAlwaysOnTop->Style();
    style.toolTip = FormatMsg(m_strings.Lang(TextId::NoTopmostHere), MsgArgs{desktop});
    m_c.chkAlwaysOnTop->SetStyle(style);
}

// ---- shutdown ----

void frmMain::fEndTalvex() {
    if (m_engine.Shutdown() > ShutdownState::TakenUp) return;
    m_engine.SetShutdown(ShutdownState::Ending);
    m_tmrRefresh->SetEnabled(false);
    // Everything Talvex changed is put back; a change the kernel turns away for a
    // moment is waited for, briefly. What is still left stays on record for the next start.
    RunQuietly("fEndTalvex/UndoAllChanges", [this] { m_processes.UndoAllChanges(kEndUndoWaitMs); });
    RunQuietly("fEndTalvex/fSaveSettings", [this] { fSaveSettings(); });
    if (m_oTrayIcon) {
        m_oTrayIcon->RemoveIcon();
        m_oTrayIcon.reset();
    }
    RunQuietly("fEndTalvex/ReleaseInstanceMutex", [this] { ReleaseInstanceMutex(); });
    RunQuietly("fEndTalvex/CloseAdvancedWindow", [this] { CloseAdvancedWindow(); });
    RunQuietly("fEndTalvex/frmWarning.Unload", [this] { m_frmWarning.Unload(); });
    // The desktop stops announcing to Talvex (a KWin script is unloaded and its file
    // removed): the program ends without running its destructors.
    RunQuietly("fEndTalvex/StopForeground", [this] {
        if (m_foreground) m_foreground->Stop();
    });
    m_form->Close();
    m_ui.EndProgram(0);
}

void frmMain::Form_QueryUnload(bool& cancel, CloseReason reason) {
    // Without a notification area a hidden window could not be called up again, so
    // the close button ends the program there.
    if (reason == CloseReason::UserClose && m_ui.IsTrayAvailable()) {
        cancel = true;
        m_form->Hide();
        return;
    }
    fEndTalvex();
}

// ---- the engine's outputs ----

void frmMain::ShowStatusText(const std::string& sText) {
    std::string text = sText;
    if (!m_ui.IsTrayAvailable()) {
        text += std::string(text.empty() ? "" : "\r\n") + m_strings.Lang(TextId::NoTrayNotice);
    }
    m_c.Label1->SetCaption(text);
}

void frmMain::PublishTooltip(const std::string& sText) {
    m_sTooltip = sText;
    ShowTooltip();
}

void frmMain::ShowTooltip() {
    if (!m_oTrayIcon) return;
    std::string text = m_sTooltip;
    for (const std::string* line : {&m_sNoRightLine, &m_sTooltipCount, &m_sSaveFailure}) {
        if (!line->empty()) text += "\n" + *line;
    }
    // The engine hands the same text again on every tick while another window of the
    // program in front is there: the tray hears only of a change.
    if (text == m_sShownTooltip) return;
    m_sShownTooltip = text;
    m_oTrayIcon->ToolTip(text);
}

void frmMain::RefreshHeld() {
    if (m_engine.Shutdown() >= ShutdownState::Ending) return;
    const std::vector<HeldRow> rows = m_engine.HeldRows();
    if (Advanced()) m_frmAdvanced->ShowHeld(rows);
    const std::string count = held::CountText(m_strings, CountHeld(rows));
    if (count == m_sTooltipCount) return;
    m_sTooltipCount = count;
    ShowTooltip();
}

}  // namespace talvex
