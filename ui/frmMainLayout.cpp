// The main window's controls at their places, with their colours and pictures, and the
// two popup menus. Design-time values are set here before any handler is bound, so
// they run no handler.
#include "ui/frmMain.h"

namespace talvex {

using namespace platform;

namespace {

const Rgb kWindowBlue{164, 209, 247};
const Rgb kWhite{255, 255, 255};
const Rgb kLightGrey{224, 224, 224};
constexpr std::int32_t kPanelCorner = 240;

Control& Panel(Form& form, const std::string& name, const TwipsRect& rect) {
    Control& shape = form.Add(ControlKind::Shape, name, rect);
    ControlStyle style;
    style.fillColor = kWhite;
    style.borderColor = kLightGrey;
    style.cornerTwips = kPanelCorner;
    shape.SetStyle(style);
    return shape;
}

Control& FlagFrame(Form& form, const std::string& name, const TwipsRect& rect) {
    Control& shape = form.Add(ControlKind::Shape, name, rect);
    ControlStyle style;
    style.borderColor = kLightGrey;
    shape.SetStyle(style);
    return shape;
}

Control& Line(Form& form, const std::string& name, std::int32_t x1, std::int32_t y1,
              std::int32_t x2, std::int32_t y2) {
    Control& line = form.Add(ControlKind::Line, name, {x1, y1, x2 - x1, y2 - y1});
    ControlStyle style;
    style.borderColor = kLightGrey;
    line.SetStyle(style);
    return line;
}

Control& Image(Form& form, const std::string& name, const TwipsRect& rect,
               const std::string& picture) {
    Control& image = form.Add(ControlKind::Picture, name, rect);
    image.SetPicture(picture);
    return image;
}

// A language flag: reached with Tab after the other controls, chosen with Space or
// Enter. Its caption, the language's own name, is what it says to a screen reader.
Control& Flag(Form& form, const std::string& name, const TwipsRect& rect,
              const std::string& picture, const std::string& language, std::int32_t tab) {
    Control& flag = Image(form, name, rect, picture);
    flag.SetCaption(language);
    flag.SetTabIndex(tab);
    flag.SetTabStop(true);
    return flag;
}

Control& Captioned(Form& form, ControlKind kind, const std::string& name, const TwipsRect& rect,
                   const std::string& caption, std::int32_t tab, std::int16_t index = -1) {
    Control& control = form.Add(kind, name, rect, index);
    control.SetCaption(caption);
    control.SetTabIndex(tab);
    return control;
}

}  // namespace

void frmMain::CreateControls() {
    m_form->SetBorder(FormBorder::FixedToolWindow);
    m_form->SetClientWidth(kClientWidth);
    m_form->SetHeight(kAdvancedHeight);
    m_form->SetBackColor(kWindowBlue);
    m_form->SetBackPicture("gradient");
    m_form->SetIcon("shuttle");
    m_form->SetCaption("Talvex");
    CreateDecoration();
    CreateSwitches();
    CreateRulePanel();
    CreateMissingRightControls();
}

void frmMain::CreateDecoration() {
    Form& f = *m_form;
    m_c.Shape3 = &Panel(f, "Shape3", {120, 120, 975, kAdvancedColumn});
    m_c.Image1 = &Image(f, "Image1", {240, 360, 600, 2400}, "banner");
    m_c.Shape6 = &FlagFrame(f, "Shape6", {300, 3960, 615, 615});
    m_c.imgGer = &Flag(f, "imgGer", {360, 4050, 480, 480}, "flag-de", "Deutsch", 15);
    m_c.Shape4 = &FlagFrame(f, "Shape4", {300, 4695, 615, 615});
    m_c.imgEn = &Flag(f, "imgEn", {360, 4770, 480, 480}, "flag-en", "English", 16);
    m_c.Shape5 = &FlagFrame(f, "Shape5", {300, 5415, 615, 615});
    m_c.imgFr = &Flag(f, "imgFr", {360, 5490, 480, 480}, "flag-fr", "Français", 17);
    m_c.Image2 = &Image(f, "Image2", {360, 6255, 240, 240}, "stop");
    m_c.Image2->SetVisible(false);
    m_c.Shape1 = &Panel(f, "Shape1", {1200, 120, 4335, 2775});
    m_c.Shape2 = &Panel(f, "Shape2", {1200, 3120, 4335, 3045});
}

void frmMain::CreateSwitches() {
    Form& f = *m_form;
    m_c.Label1 = &Captioned(f, ControlKind::Label, "Label1", {1320, 360, 4095, 1455}, "", 0);
    ControlStyle wrap;
    wrap.wordWrap = true;
    m_c.Label1->SetStyle(wrap);
    m_c.Line1 = &Line(f, "Line1", 1200, 1920, 5520, 1920);
    const char* levels[] = {"Above Normal", "High", "Realtime"};
    for (std::int16_t i = 0; i < 3; ++i) {
        m_c.Option1[i] = &Captioned(f, ControlKind::OptionButton, "Option1",
                                    {1440, 2040 + 240 * i, 1815, 255}, levels[i], 1 + i, i);
    }
    m_c.Option1[1]->SetValue(1);
    m_c.Line2 = &Line(f, "Line2", 3360, 1920, 3360, 2880);
    m_c.chkAlwaysOnTop = &Captioned(f, ControlKind::CheckBox, "chkAlwaysOnTop",
                                    {3480, 2040, 1695, 255}, "Always On Top", 4);
    m_c.chkAdvanced = &Captioned(f, ControlKind::CheckBox, "chkAdvanced", {3480, 2280, 1815, 255},
                                 "Advanced...", 5);
    m_c.chkActive =
        &Captioned(f, ControlKind::CheckBox, "chkActive", {3480, 2520, 1815, 255}, "Active", 11);
    m_c.chkActive->SetValue(1);
}

void frmMain::CreateRulePanel() {
    Form& f = *m_form;
    m_c.Label2 = &Captioned(f, ControlKind::Label, "Label2", {1440, 3360, 3855, 255},
                            "Non boosted programs:", 6);
    m_c.Label2->SetBuddy("List1");
    m_c.List1 = &Captioned(f, ControlKind::ListBox, "List1", {1440, 3600, 3975, 1230}, "", 7);
    m_c.Command1 =
        &Captioned(f, ControlKind::PushButton, "Command1", {4320, 4875, 1095, 375}, "Remove", 8);
    m_c.Command2 =
        &Captioned(f, ControlKind::PushButton, "Command2", {2880, 4875, 1095, 375}, "Add", 9);
    m_c.Command3 =
        &Captioned(f, ControlKind::PushButton, "Command3", {1440, 4875, 1095, 375}, "Current", 10);
    m_c.chkAutostart = &Captioned(f, ControlKind::CheckBox, "chkAutostart", {1485, 5355, 3960, 240},
                                  "Autostart", 13);
    m_c.chkAutoUpdate = &Captioned(f, ControlKind::CheckBox, "chkAutoUpdate",
                                   {1485, 5625, 3960, 240}, "AutoUpdate", 14);
    m_c.Label3 = &Captioned(f, ControlKind::Label, "Label3", {1560, 5940, 3615, 195}, "", 12);
    ControlStyle small;
    small.fontPoints = 7;
    small.foreColor = Rgb{96, 96, 96};
    small.wordWrap = false;
    m_c.Label3->SetStyle(small);
}

void frmMain::CreateMenus() {
    m_c.mnuPop1Title = &m_mnuPop1.Add("mnuPop1Title", "Talvex");
    m_c.mnuPop1Title->enabled = false;
    m_mnuPop1.AddSeparator("mnuPop1Sep");
    m_c.mnuPop1Show = &m_mnuPop1.Add("mnuPop1Show", "Show Talvex");
    m_c.mnuPop1Activate = &m_mnuPop1.Add("mnuPop1Activate", "Toggle Activate Talvex");
    m_mnuPop1.AddSeparator("mnuPop1Sep4");
    m_c.mnuPop1Advanced = &m_mnuPop1.Add("mnuPop1Advanced", "Show Advanced Window");
    m_mnuPop1.AddSeparator("mnuPop1Sep3");
    m_c.mnuPop1Update = &m_mnuPop1.Add("mnuPop1Update", "Check for Update");
    m_mnuPop1.AddSeparator("mnuPop1Sep2");
    m_c.mnuPop1Exit = &m_mnuPop1.Add("mnuPop1Exit", "Exit Talvex");

    MenuItem& boost = m_mnuPop2.Add("mnuPop2AutoBoost", "Always Boost");
    m_c.mnuPop2AutoboostAboveNormal = &boost.Add("mnuPop2AutoboostAboveNormal", "Above Normal");
    m_c.mnuPop2AutoBoostHigh = &boost.Add("mnuPop2AutoBoostHigh", "High");
    m_c.mnuPop2AutoBoostRealtime = &boost.Add("mnuPop2AutoBoostRealtime", "Realtime");
    boost.AddSeparator("mnuPop2AutoboostSep1").visible = false;
    boost.Add("mnuPop2AutoBoostOff", "Off").visible = false;
    m_c.mnuPop2NoBoost = &m_mnuPop2.Add("mnuPop2NoBoost", "Never Boost");
    m_mnuPop2.AddSeparator("mnuPop2Sep2");
    m_c.mnuPop2NoBkgObservation =
        &m_mnuPop2.Add("mnuPop2NoBkgObservation", "No Background Observation");
    m_c.mnuPop2HangUp = &m_mnuPop2.Add("mnuPop2HangUp", "Disable hang up observation");
    m_c.mnuPop2HangUpMsg = &m_mnuPop2.Add("mnuPop2HangUpMsg", "No hang up observation message");
    m_mnuPop2.AddSeparator("mnuPop2Sep1");
    m_c.mnuPop2Delete = &m_mnuPop2.Add("mnuPop2Delete", "Delete");
}

}  // namespace talvex
