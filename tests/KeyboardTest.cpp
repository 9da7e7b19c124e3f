// The windows by keyboard alone, on the fake UI with the shipped language files: the
// main window from the first key to Escape, the dialog keys of the other windows, and
// the access keys of every window and menu in every language.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

#include "TempFolder.h"
#include "i18n/Utf8Path.h"
#include "tests/MainWindowFixture.h"

namespace talvex {
namespace {

using namespace platform;
namespace fs = std::filesystem;

// Talvex runs from a folder of its own, with the shipped language files beside it.
class KeyboardTest : public testing::MainWindowTest {
  protected:
    void SetUp() override {
        self = desk.AddProcess({(program.Path() / "talvex").string(), NORMAL_PRIORITY_CLASS});
        desk.SetCurrentProcess(self);
        for (const char* name : {"English.lng", "Francais.lng", "Deutsch.lng"}) {
            fs::copy_file(Utf8ToPath(TALVEX_SOURCE_DIR) / "lang" / name, program.Path() / name);
        }
        ui.SetSystemLanguage("en");
        frm.Form_Load();
        ui.ProcessPending();
        frm.mnuPop1Show_Click();
    }
    bool Press(std::int32_t key, int shift = 0) { return ui.PressKey(frm.form(), key, shift); }
    std::string Focused() {
        const Control* control = frm.form().ActiveControl();
        if (!control) return "-";
        return control->Name() +
               (control->Index() >= 0 ? "(" + std::to_string(control->Index()) + ")" : "");
    }
    // The names Tab visits from the focused control until it is back there.
    std::vector<std::string> TabRound() {
        std::vector<std::string> names{Focused()};
        for (int i = 0; i < 40; ++i) {
            Press(vbKeyTab);
            if (Focused() == names.front()) return names;
            names.push_back(Focused());
        }
        return names;
    }
    Control& Ctl(const std::string& name, std::int16_t index = -1) {
        return ui.Ctl("frmMain", name, index);
    }

    testing::TempFolder program;
};

TEST_F(KeyboardTest, TheWholeMainWindowWorksByKeyboard) {
    // The window opens on the selected boost level; the simple view's round reaches
    // nothing below its edge.
    EXPECT_EQ(Focused(), "Option1(1)");
    EXPECT_EQ(TabRound(), (std::vector<std::string>{"Option1(1)", "chkAlwaysOnTop", "chkAdvanced",
                                                    "chkActive"}));
    Press(vbKeyTab, vbShiftMask);
    EXPECT_EQ(Focused(), "chkActive");
    // Space on the hidden Autostart box is impossible: nothing there has the focus.
    Press(vbKeyTab);
    EXPECT_EQ(Focused(), "Option1(1)");

    // The arrow keys choose the boost level.
    Press(vbKeyDown);
    EXPECT_EQ(frm.engine().NewPriority(), 2);
    EXPECT_EQ(Focused(), "Option1(2)");
    Press(vbKeyUp);
    Press(vbKeyUp);
    EXPECT_EQ(frm.engine().NewPriority(), 0);

    // Access keys: Alt+T switches Always On Top, Alt+V opens the advanced view.
    const bool onTop = frm.AlwaysOnTop();
    Press('T', vbAltMask);
    EXPECT_NE(frm.AlwaysOnTop(), onTop);
    Press('V', vbAltMask);
    EXPECT_TRUE(frm.AdvancedView());
    EXPECT_EQ(Focused(), "chkAdvanced");
    // The advanced view's round, in the designed order, then the language flags. (The
    // update box is greyed in this build and left out.)
    EXPECT_EQ(TabRound(),
              (std::vector<std::string>{"chkAdvanced", "List1", "Command1", "Command2", "Command3",
                                        "chkActive", "chkAutostart", "imgGer", "imgEn", "imgFr",
                                        "Option1(0)", "chkAlwaysOnTop"}));

    // Add with Alt+D, then the list by its label's key: a rule is chosen with the
    // arrows, renamed with F2 and changed in its menu by the menu key and Shift+F10.
    ui.AnswerInputBox("gimp-2.10");
    Press('D', vbAltMask);
    Press('P', vbAltMask);
    EXPECT_EQ(Focused(), "List1");
    Press(vbKeyEnd);
    EXPECT_EQ(Ctl("List1").List(Ctl("List1").ListIndex()), "gimp-2.10");
    ui.AnswerInputBox("gimp-2.99");
    Press(vbKeyF2);
    ASSERT_FALSE(ui.InputBoxes().empty());
    EXPECT_EQ(ui.InputBoxes().back().defaultText, "gimp-2.10");
    Press(vbKeyEnd);
    EXPECT_EQ(Ctl("List1").List(Ctl("List1").ListIndex()), "gimp-2.99");
    ui.ChooseInNextPopup("mnuPop2NoBoost");
    Press(vbKeyApps);
    Press(vbKeyEnd);
    const std::int16_t rule = frm.engine().Items().fFindInTalvexItems("gimp-2.99");
    ASSERT_GE(rule, 0);
    EXPECT_TRUE(frm.engine().Items()[rule].bNeverBoost);
    ui.ChooseInNextPopup("mnuPop2NoBoost");
    Press(vbKeyF10, vbShiftMask);
    EXPECT_FALSE(frm.engine().Items()[rule].bNeverBoost);
    EXPECT_EQ(ui.Popups().size(), 2u);

    // The languages: Tab to a flag, Space or Enter chooses it.
    while (Focused() != "imgFr") Press(vbKeyTab);
    Press(vbKeySpace);
    EXPECT_EQ(frm.Language(), "FR");
    Press(vbKeyTab, vbShiftMask);
    Press(vbKeyReturn);
    EXPECT_EQ(frm.Language(), "EN");
    // Autostart by keyboard now that it can be seen.
    while (Focused() != "chkAutostart") Press(vbKeyTab, vbShiftMask);
    Press(vbKeySpace);
    EXPECT_EQ(Ctl("chkAutostart").Value(), 1);

    // Escape hides the window; the tray icon brings it back.
    EXPECT_TRUE(frm.form().Visible());
    Press(vbKeyEscape);
    EXPECT_FALSE(frm.form().Visible());
}

TEST_F(KeyboardTest, DeleteRemovesTheSelectedRuleAndTheNextOneIsSelected) {
    Press('V', vbAltMask);
    Press('P', vbAltMask);
    ASSERT_EQ(Focused(), "List1");
    const std::vector<std::string> before = Ctl("List1").Items();
    ASSERT_GE(before.size(), 3u);
    // Nothing selected: Delete removes nothing.
    Ctl("List1").SetListIndex(-1);
    Press(vbKeyDelete);
    EXPECT_EQ(Ctl("List1").Items(), before);
    // The first line, then the one that took its place; with Shift, nothing.
    Press(vbKeyHome);
    Press(vbKeyDelete);
    EXPECT_EQ(Ctl("List1").ListCount(), static_cast<std::int32_t>(before.size()) - 1);
    EXPECT_EQ(frm.engine().Items().fFindInTalvexItems(before[0]), -1);
    ASSERT_GE(Ctl("List1").ListIndex(), 0);
    const std::string next = Ctl("List1").List(Ctl("List1").ListIndex());
    Press(vbKeyDelete, vbShiftMask);
    EXPECT_EQ(Ctl("List1").ListCount(), static_cast<std::int32_t>(before.size()) - 1);
    Press(vbKeyDelete);
    EXPECT_EQ(frm.engine().Items().fFindInTalvexItems(next), -1);
    // Down to the last: the list ends empty, nothing selected, no error.
    for (int i = 0; i < 50 && Ctl("List1").ListCount() > 0; ++i) Press(vbKeyDelete);
    EXPECT_EQ(frm.engine().Items().Count(), 0u);
    EXPECT_EQ(Ctl("List1").ListIndex(), -1);
}

TEST_F(KeyboardTest, DialogKeysOfTheAdvancedWindowAndTheWarning) {
    frm.mnuPop1Advanced_Click();
    frmAdvanced* advanced = frm.Advanced();
    ASSERT_NE(advanced, nullptr);
    Form& form = advanced->form();
    // The thresholds by their labels' keys; Enter in a field applies.
    modMain::ObserverSettings observers = frm.engine().ObserverSettings();
    observers.bBkgObservation = true;
    frm.engine().SetObserverSettings(observers);
    advanced->Ctl("chkBackgroundObservation").SetValue(1);
    ui.PressKey(form, 'N', vbAltMask);
    EXPECT_EQ(form.ActiveControl(), &advanced->Ctl("txtBelowNormal"));
    ui.PressKey(form, vbKeyBack);
    ui.PressKey(form, vbKeyBack);
    ui.TypeText(form, "25");
    ui.PressKey(form, vbKeyReturn);
    EXPECT_EQ(frm.engine().ObserverSettings().iBelowNormalCpuUsage, 25);
    // The slider by its label's key, a second per arrow key.
    ui.PressKey(form, 'B', vbAltMask);
    EXPECT_EQ(form.ActiveControl(), &advanced->Ctl("Slider1"));
    const std::int32_t before = advanced->SliderTolerance();
    ui.PressKey(form, vbKeyRight);
    EXPECT_EQ(advanced->SliderTolerance(), before + 2);  // 2 ticks of 500 ms
    // Escape closes the window.
    ui.PressKey(form, vbKeyEscape);
    EXPECT_EQ(frm.Advanced(), nullptr);

    // The warning opens on OK; Enter answers, and so does Escape.
    for (const std::int32_t key : {vbKeyReturn, vbKeyEscape}) {
        bool opened = false, pressed = false;
        ui.onDoEvents = [&] {
            Form* warning = ui.FindForm("frmWarning");
            if (!warning || pressed) return;
            opened = warning->ActiveControl() == warning->Find("OKButton");
            ui.PressKey(*warning, 'C', vbAltMask);  // "Do not check this program again"
            pressed = ui.PressKey(*warning, key);
        };
        bool noBoost = false;
        frm.Warning().Display("busy", noBoost);
        ui.onDoEvents = nullptr;
        EXPECT_TRUE(opened) << key;
        EXPECT_TRUE(pressed) << key;
        EXPECT_TRUE(noBoost) << key;
    }
}

// The access keys of one window or menu: each control a key can reach has its own.
void ExpectOwnAccessKeys(const std::string& where, const std::vector<std::string>& captions) {
    std::map<char, std::string> keys;
    for (const std::string& caption : captions) {
        const char key = AccessKeyOf(caption);
        EXPECT_NE(key, 0) << where << ": no access key in \"" << caption << "\"";
        if (key == 0) continue;
        const auto [at, added] = keys.emplace(key, caption);
        EXPECT_TRUE(added) << where << ": '" << key << "' in \"" << caption << "\" and \""
                           << at->second << "\"";
    }
}

std::vector<std::string> FormCaptions(const Form& form) {
    std::vector<std::string> captions;
    for (const auto& control : form.Controls()) {
        const ControlKind kind = control->Kind();
        const bool keyed = kind == ControlKind::CheckBox || kind == ControlKind::OptionButton ||
                           kind == ControlKind::PushButton ||
                           (kind == ControlKind::Label && !control->Buddy().empty());
        // The warning's only button is its default and cancel button: Enter and Escape.
        if (!keyed || (control->Default() && control->Cancel())) continue;
        captions.push_back(control->Caption());
    }
    return captions;
}

std::vector<std::string> MenuCaptions(const MenuItem& menu) {
    std::vector<std::string> captions;
    for (const auto& item : menu.Items()) {
        if (item->visible && item->enabled && !item->IsSeparator()) {
            captions.push_back(item->caption);
        }
    }
    return captions;
}

TEST_F(KeyboardTest, EveryWindowAndMenuHasItsOwnAccessKeysInEveryLanguage) {
    frm.mnuPop1Advanced_Click();
    for (const char* language : {"EN", "DE", "FR"}) {
        SCOPED_TRACE(language);
        frm.SetLanguage(language);
        frm.Translate();
        ExpectOwnAccessKeys("main window", FormCaptions(frm.form()));
        ExpectOwnAccessKeys("Advanced window", FormCaptions(frm.Advanced()->form()));
        ExpectOwnAccessKeys("tray menu", MenuCaptions(frm.mnuPop1()));
        ExpectOwnAccessKeys("rule menu", MenuCaptions(frm.mnuPop2()));
        ExpectOwnAccessKeys("held menu", MenuCaptions(frm.Advanced()->mnuHeld()));
        ExpectOwnAccessKeys("boost submenu", MenuCaptions(*frm.mnuPop2().Find("mnuPop2AutoBoost")));
        ui.onDoEvents = [this] {
            if (Form* warning = ui.FindForm("frmWarning")) {
                ExpectOwnAccessKeys("warning", FormCaptions(*warning));
                frm.Warning().OKButton_Click();
            }
        };
        bool noBoost = false;
        frm.Warning().Display("busy", noBoost);
        ui.onDoEvents = nullptr;
    }
}

}  // namespace
}  // namespace talvex
