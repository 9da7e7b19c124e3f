#include "ui/frmAdvanced.h"

#include <algorithm>

#include "base/RunQuietly.h"
#include "base/TalvexError.h"
#include "ui/AdvancedOptions.h"

namespace talvex {

using namespace platform;

namespace {

// Title bar and borders, which the form's height includes (as the backends draw it).
constexpr std::int32_t kNonClientTwips = 345;

const char* const kKeyLeft = "frmAdvanced.Left";
const char* const kKeyTop = "frmAdvanced.Top";
const char* const kKeyWidth = "frmAdvanced.Width";
const char* const kKeyHeight = "frmAdvanced.Height";

}  // namespace

frmAdvanced::frmAdvanced(const frmAdvancedServices& services)
    : m_ui(services.ui),
      m_engine(services.engine),
      m_strings(services.strings),
      m_log(services.log),
      m_host(services.host),
      m_form(services.ui.CreateForm("frmAdvanced")) {
    CreateControls();
    BindHandlers();
    RunQuietly("Form_Load", [this] { Form_Load(); });
}

frmAdvanced::~frmAdvanced() {
    // Handlers must not reach this object once it is gone.
    m_form->OnQueryUnload = nullptr;
    m_form->OnUnload = nullptr;
    m_form->OnResize = nullptr;
}

Control& frmAdvanced::Ctl(const std::string& name) {
    Control* control = m_form->Find(name);
    if (!control) throw TalvexError(kErrIndexOutOfRange);
    return *control;
}

Control& frmAdvanced::Add(ControlKind kind, const std::string& name, const std::string& parent,
                          const TwipsRect& rect, const std::string& caption, std::int32_t tab) {
    m_placement[name] = Placement{parent, rect};
    Control& control = m_form->Add(kind, name, Absolute(name));
    m_placement[name].control = &control;
    control.SetCaption(caption);
    control.SetTabIndex(tab);
    return control;
}

void frmAdvanced::CreateControls() {
    // The user may make it larger, so long lines show whole; the design size is the least.
    m_form->SetBorder(FormBorder::Sizable);
    m_form->SetIcon("shuttle");
    m_form->SetCaption("Advanced");
    m_form->SetClientWidth(kClientWidth);
    m_form->SetHeight(kClientHeight + kNonClientTwips);
    m_form->SetMinimumSize(kClientWidth, kClientHeight + kNonClientTwips);
    // Containers come first so that their contents are drawn above them.
    m_c.frLog = &Add(ControlKind::Frame, "frLog", "", {60, 60, 10335, 2955}, "Last Actions", 1);
    m_c.lstLog = &Add(ControlKind::ListBox, "lstLog", "frLog", {120, 300, 10095, 2520}, "", 2);
    CreateHeldList();
    m_c.frOptions =
        &Add(ControlKind::Frame, "frOptions", "", {60, 3060, 10335, 3195}, "Advanced Options:", 0);
    m_c.Picture1 =
        &Add(ControlKind::Picture, "Picture1", "frOptions", {60, 240, 10155, 2895}, "", 3);
    m_c.frHangupObservation = &Add(ControlKind::Frame, "frHangupObservation", "Picture1",
                                   {60, 0, 10035, 795}, "Emergency turn off", 4);
    m_c.Slider1 =
        &Add(ControlKind::Slider, "Slider1", "frHangupObservation", {7620, 300, 2235, 315}, "", 5);
    // Two lines: the explanation is longer in some languages.
    m_c.Label3 =
        &Add(ControlKind::Label, "Label3", "frHangupObservation", {120, 240, 7275, 480},
             "If an application has a cpu usage over 95% for over %1s boosting is turned off.", 6);
    m_c.Label3->SetBuddy("Slider1");
    m_c.frBackgroundObservation = &Add(ControlKind::Frame, "frBackgroundObservation", "Picture1",
                                       {60, 960, 10035, 1875}, "", 7);
    m_c.chkBackgroundObservation =
        &Add(ControlKind::CheckBox, "chkBackgroundObservation", "frBackgroundObservation",
             {120, 180, 9855, 255}, "Enable background process observation", 8);
    m_c.Label1 =
        &Add(ControlKind::Label, "Label1", "frBackgroundObservation", {120, 540, 9855, 195},
             "Swhich to 'Below Normal' when CPU usage is over:", 11);
    m_c.Label1->SetBuddy("txtBelowNormal");
    m_c.txtBelowNormal = &Add(ControlKind::TextBox, "txtBelowNormal", "frBackgroundObservation",
                              {180, 780, 1935, 285}, "", 9);
    m_c.txtBelowNormal->SetText("10");
    m_c.Label2 = &Add(ControlKind::Label, "Label2", "frBackgroundObservation",
                      {120, 1140, 9855, 195}, "Swhich to 'Idle' when CPU usage is over:", 12);
    m_c.Label2->SetBuddy("txtIdle");
    m_c.txtIdle = &Add(ControlKind::TextBox, "txtIdle", "frBackgroundObservation",
                       {180, 1440, 1935, 285}, "", 10);
    m_c.txtIdle->SetText("40");
    m_c.picCmdOk = &Add(ControlKind::Picture, "picCmdOk", "frBackgroundObservation",
                        {8460, 1320, 1395, 375}, "", 13);
    m_c.cmdOk = &Add(ControlKind::PushButton, "cmdOk", "picCmdOk", {0, 0, 1395, 375}, "Apply", 14);
    m_c.cmdOk->SetDefault(true);
}

void frmAdvanced::BindHandlers() {
    m_form->OnUnload = [this] { RunQuietly("frmAdvanced/Form_Unload", [this] { Form_Unload(); }); };
    m_form->OnKeyDown = [this](std::int32_t& keyCode, int shift) {
        RunQuietly("frmAdvanced/Form_KeyDown", [&] { Form_KeyDown(keyCode, shift); });
    };
    m_c.Slider1->OnChange = Quiet("Slider1_Change", [this] { Slider1_Change(); });
    m_c.chkBackgroundObservation->OnClick =
        Quiet("chkBackgroundObservation_Click", [this] { chkBackgroundObservation_Click(); });
    m_c.txtBelowNormal->OnKeyPress = [this](std::int32_t& key) {
        RunQuietly("txtBelowNormal_KeyPress", [&] { txtBelowNormal_KeyPress(key); });
    };
    m_c.txtIdle->OnKeyPress = [this](std::int32_t& key) {
        RunQuietly("txtIdle_KeyPress", [&] { txtIdle_KeyPress(key); });
    };
    m_c.txtBelowNormal->OnLostFocus =
        Quiet("txtBelowNormal_LostFocus", [this] { txtBelowNormal_LostFocus(); });
    m_c.txtIdle->OnLostFocus = Quiet("txtIdle_LostFocus", [this] { txtIdle_LostFocus(); });
    m_c.cmdOk->OnClick = Quiet("cmdOk_Click", [this] { cmdOk_Click(); });
    m_form->OnResize = Quiet("Form_Resize", [this] { Form_Resize(); });
    BindHeldList();
}

// ---- loading ----

void frmAdvanced::Form_Load() {
    RunQuietly("RestorePosition", [this] { RestorePosition(); });
    m_engine.Queries().SetTopmost(m_form->Handle(), m_host.AlwaysOnTop());
    const modMain::ObserverSettings& options = m_engine.ObserverSettings();
    m_c.chkBackgroundObservation->SetValue(options.bBkgObservation ? 1 : 0);
    // The fields follow the box from now on, even when setting it changed nothing.
    chkBackgroundObservation_Click();
    m_c.txtBelowNormal->SetText(std::to_string(options.iBelowNormalCpuUsage));
    m_c.txtIdle->SetText(std::to_string(options.iIdleCpuUsage));
    // The slider moves along a scale of tolerances: seconds where they matter.
    m_sliderScale = advanced::SliderScale(m_host.RefreshInterval(), m_engine.MaxFailures());
    Control& slider = *m_c.Slider1;
    slider.SetRange(0, static_cast<std::int32_t>(m_sliderScale.size()) - 1);
    slider.SetTickFrequency(advanced::kSliderTicks);
    slider.SetValue(advanced::SliderPosition(m_sliderScale, m_engine.MaxFailures()));
    Slider1_Change();
    SetTexts();
    Form_Resize();
    ShowLog();
    ShowHeld(m_engine.HeldRows());
}

void frmAdvanced::RestorePosition() {
    // The default placement: the designed size, in the middle of the screen.
    m_form->Move((m_ui.ScreenWidth() - m_form->ClientWidth()) / 2,
                 (m_ui.ScreenHeight() - m_form->Height()) / 2);
    advanced::SavedPosition saved;
    saved.sLeft = m_host.GetSetting(kKeyLeft, advanced::PositionText(m_form->Left()));
    saved.sTop = m_host.GetSetting(kKeyTop, advanced::PositionText(m_form->Top()));
    saved.sWidth = m_host.GetSetting(kKeyWidth, advanced::PositionText(m_form->ClientWidth()));
    saved.sHeight = m_host.GetSetting(kKeyHeight, advanced::PositionText(m_form->Height()));
    const auto rect = advanced::RestorePosition(saved, m_ui.ScreenRects());
    if (!rect) return;
    m_form->Move(rect->left, rect->top);
    m_form->SetClientWidth(std::max(rect->width, m_form->MinClientWidth()));
    m_form->SetHeight(std::max(rect->height, m_form->MinHeight()));
}

void frmAdvanced::Retranslate() {
    SetTexts();
    Slider1_Change();
    // The cells are worded in the language too.
    ShowHeld(std::vector<HeldRow>(m_heldWaiting ? *m_heldWaiting : m_heldRows));
}

void frmAdvanced::SetTexts() {
    const StringTable& s = m_strings;
    m_form->SetCaption(s.Lang(TextId::AdvancedCaption));
    m_c.frLog->SetCaption(s.Lang(TextId::LastActions));
    m_c.frOptions->SetCaption(s.Lang(TextId::AdvancedOptions));
    m_c.chkBackgroundObservation->SetCaption(s.Lang(TextId::BackgroundObservation));
    m_c.Label1->SetCaption(
        s.Lang(TextId::BelowNormalThreshold, false, false, false, m_c.Label1->Caption()));
    m_c.Label2->SetCaption(
        s.Lang(TextId::IdleThreshold, false, false, false, m_c.Label2->Caption()));
    m_c.cmdOk->SetCaption(s.Lang(TextId::Apply));
    m_c.frHangupObservation->SetCaption(s.Lang(TextId::HangUpObservation));
    SetHeldTexts();
}

// ---- layout ----

std::int32_t frmAdvanced::ScaleWidth() const {
    return m_form->ClientWidth();
}

std::int32_t frmAdvanced::ScaleHeight() const {
    return m_form->Height() - kNonClientTwips;
}

TwipsRect frmAdvanced::Absolute(const std::string& name) const {
    const Placement& own = m_placement.at(name);
    TwipsRect rect = own.rect;
    if (!own.parent.empty()) {
        const TwipsRect parent = Absolute(own.parent);
        rect.left += parent.left;
        rect.top += parent.top;
    }
    return rect;
}

void frmAdvanced::PlaceAll() {
    for (const auto& [name, placement] : m_placement) placement.control->Move(Absolute(name));
}

void frmAdvanced::Form_Resize() {
    auto rect = [this](const char* name) -> TwipsRect& { return m_placement.at(name).rect; };
    // Each rule stands alone: a size that would come out negative in a very small
    // window leaves that control as it was, and the next rule still runs.
    auto apply = [](TwipsRect& target, const TwipsRect& wanted) {
        if (wanted.width >= 0 && wanted.height >= 0) target = wanted;
    };
    const TwipsRect& log = rect("frLog");
    const TwipsRect& held = rect("frHeld");
    const TwipsRect& options = rect("frOptions");
    // The log and the list of held changes share the upper part, side by side.
    const std::int32_t upper = ScaleHeight() - options.height - 90;
    const std::int32_t logWidth = (ScaleWidth() - 90) / 2;
    apply(rect("frLog"), {30, 30, logWidth, upper});
    apply(rect("lstLog"), {120, 240, log.width - 240, log.height - 360});
    apply(rect("frHeld"), {30 + logWidth + 30, 30, ScaleWidth() - 90 - logWidth, upper});
    apply(rect("lstHeld"), {120, 240, held.width - 240, held.height - 360});
    apply(rect("frOptions"), {30, log.top + log.height + 30, ScaleWidth() - 60, options.height});
    TwipsRect wanted = rect("Picture1");
    wanted.width = options.width - 120;
    apply(rect("Picture1"), wanted);
    wanted = rect("frHangupObservation");
    wanted.width = options.width - 240;
    apply(rect("frHangupObservation"), wanted);
    wanted = rect("frBackgroundObservation");
    wanted.width = options.width - 240;
    apply(rect("frBackgroundObservation"), wanted);
    rect("picCmdOk").left = rect("frBackgroundObservation").width - rect("picCmdOk").width - 120;
    rect("Slider1").left = rect("frHangupObservation").width - rect("Slider1").width - 120;
    PlaceAll();
}

// ---- the log ----

void frmAdvanced::ShowLog() {
    Control& list = *m_c.lstLog;
    const auto& lines = m_log.Lines();
    const auto count = static_cast<std::size_t>(list.ListCount());
    // The log only grows at the end and drops at the front; follow it line by line
    // where that is what happened, so the list is not redrawn whole for every line.
    const auto last = static_cast<std::int32_t>(count) - 1;
    const bool appended =
        !lines.empty() && count + 1 == lines.size() &&
        (count == 0 || (list.List(0) == lines.front() && list.List(last) == lines[count - 1]));
    const bool shifted = count > 1 && count == lines.size() && list.List(1) == lines.front() &&
                         list.List(last) == lines[count - 2];
    if (appended) {
        list.AddItem(lines.back());
    } else if (shifted) {
        list.RemoveItem(0);
        list.AddItem(lines.back());
    } else {
        list.SetItems(std::vector<std::string>(lines.begin(), lines.end()));
    }
    list.SetListIndex(m_log.Selected());
}

// ---- showing and closing ----

void frmAdvanced::Show() {
    m_form->Show();
    // A copy: showing them ends the wait, and with it the rows waiting.
    if (m_heldWaiting) ShowHeld(std::vector<HeldRow>(*m_heldWaiting));
    // The window manager forgets the topmost state of a window that was never shown.
    if (m_host.AlwaysOnTop()) m_engine.Queries().SetTopmost(m_form->Handle(), true);
}

void frmAdvanced::Unload() {
    m_form->Close();
}

bool frmAdvanced::Loaded() const {
    return m_form->Loaded();
}

void frmAdvanced::Form_KeyDown(std::int32_t& KeyCode, int Shift) {
    // Escape closes the window as its close button does.
    if (KeyCode != vbKeyEscape || Shift != 0) return;
    KeyCode = 0;
    Unload();
}

void frmAdvanced::Form_Unload() {
    m_host.SaveSetting(kKeyLeft, advanced::PositionText(m_form->Left()));
    m_host.SaveSetting(kKeyTop, advanced::PositionText(m_form->Top()));
    m_host.SaveSetting(kKeyWidth, advanced::PositionText(m_form->ClientWidth()));
    m_host.SaveSetting(kKeyHeight, advanced::PositionText(m_form->Height()));
    if (OnUnloaded) OnUnloaded();
}

// ---- options ----

std::int32_t frmAdvanced::SliderTolerance() {
    if (m_sliderScale.empty()) return m_engine.MaxFailures();
    const auto last = static_cast<std::int32_t>(m_sliderScale.size()) - 1;
    return m_sliderScale[static_cast<std::size_t>(std::clamp(m_c.Slider1->Value(), 0, last))];
}

std::int32_t frmAdvanced::SliderPositionOf(std::int32_t ticks) const {
    return advanced::SliderPosition(m_sliderScale, ticks);
}

void frmAdvanced::Slider1_Change() {
    m_c.Label3->SetCaption(
        advanced::SliderText(m_strings, SliderTolerance(), m_host.RefreshInterval()));
}

void frmAdvanced::chkBackgroundObservation_Click() {
    const bool on = m_c.chkBackgroundObservation->Value() != 0;
    m_c.txtBelowNormal->SetEnabled(on);
    m_c.txtIdle->SetEnabled(on);
}

void frmAdvanced::txtBelowNormal_KeyPress(std::int32_t& KeyAscii) {
    if (!advanced::AcceptThresholdKey(KeyAscii)) KeyAscii = 0;
}

void frmAdvanced::txtIdle_KeyPress(std::int32_t& KeyAscii) {
    if (!advanced::AcceptThresholdKey(KeyAscii)) KeyAscii = 0;
}

void frmAdvanced::txtBelowNormal_LostFocus() {
    const auto texts =
        advanced::LeaveBelowNormal({m_c.txtBelowNormal->Text(), m_c.txtIdle->Text()});
    m_c.txtBelowNormal->SetText(texts.sBelowNormal);
    m_c.txtIdle->SetText(texts.sIdle);
}

void frmAdvanced::txtIdle_LostFocus() {
    const auto texts = advanced::LeaveIdle({m_c.txtBelowNormal->Text(), m_c.txtIdle->Text()});
    m_c.txtBelowNormal->SetText(texts.sBelowNormal);
    m_c.txtIdle->SetText(texts.sIdle);
}

void frmAdvanced::cmdOk_Click() {
    modMain::ObserverSettings options = m_engine.ObserverSettings();
    options.bBkgObservation = m_c.chkBackgroundObservation->Value() == 1;
    // The caps hold even when the click came from the keyboard with a field still
    // focused, which leaves that field without its caps.
    advanced::ThresholdTexts texts{m_c.txtBelowNormal->Text(), m_c.txtIdle->Text()};
    const advanced::Thresholds values = advanced::CapForApply(texts);
    m_c.txtBelowNormal->SetText(texts.sBelowNormal);
    m_c.txtIdle->SetText(texts.sIdle);
    options.iBelowNormalCpuUsage = values.iBelowNormalCpuUsage;
    options.iIdleCpuUsage = values.iIdleCpuUsage;
    m_engine.SetObserverSettings(options);
    m_engine.SetMaxFailures(SliderTolerance());
    if (m_host.fSaveSettings()) m_log.DoLog(m_strings.Lang(TextId::SettingsSaved));
}

}  // namespace talvex
