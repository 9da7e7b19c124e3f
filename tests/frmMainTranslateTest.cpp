// Translate on the main window, on the fake UI: which texts show without language
// files, the flags switching everything at once, and complete reloads.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "TempFolder.h"
#include "i18n/TranslateTable.h"
#include "i18n/Utf8Path.h"
#include "i18n/modLang.h"
#include "tests/MainWindowFixture.h"

namespace talvex {
namespace {

using namespace platform;
namespace fs = std::filesystem;

constexpr const char* kError = "Translation Error!";

class frmMainTranslateTest : public testing::MainWindowTest {
  protected:
    void SetUp() override {
        self = desk.AddProcess({(program.Path() / "talvex").string(), NORMAL_PRIORITY_CLASS});
        desk.SetCurrentProcess(self);
        frm.SetLanguageDataFolder(data.Path().string());
        ui.SetSystemLanguage("de");  // the first start speaks the desktop's language
    }
    void Start() {
        frm.Form_Load();
        ui.ProcessPending();
        // The first tick only builds the process table; the next one looks at the front.
        ui.FireTimers();
        // The flags are in the advanced view.
        ui.Ctl("frmMain", "chkAdvanced").SetValue(1);
    }
    static void CopyShippedFiles(const fs::path& to) {
        for (const char* name : {"English.lng", "Francais.lng", "Deutsch.lng"}) {
            fs::copy_file(Utf8ToPath(TALVEX_SOURCE_DIR) / "lang" / name, to / name);
        }
    }
    std::string Shown(const ElementRef& element) {
        if (element.kind == ElementKind::Control) {
            return ui.Ctl("frmMain", std::string(element.sName), element.iIndex).Caption();
        }
        MenuItem* item = frm.mnuPop1().Find(std::string(element.sName));
        if (!item) item = frm.mnuPop2().Find(std::string(element.sName));
        return item ? item->caption : "<no such menu entry>";
    }
    std::string Caption(const std::string& name, std::int16_t index = -1) {
        return ui.Ctl("frmMain", name, index).Caption();
    }
    std::map<std::string, std::string> AllTexts() {
        std::map<std::string, std::string> texts;
        for (const TranslateElement& item : kTranslateElements) {
            texts[std::string(item.element.sName) + std::to_string(item.element.iIndex)] =
                Shown(item.element);
        }
        const PriorityNames& n = frm.engine().Queries().names;
        for (const auto* name :
             {&n.sNameIdle, &n.sNameBelowNormal, &n.sNameNormal, &n.sNameAboveNormal, &n.sNameHigh,
              &n.sNameRealtime, &n.sNameOther}) {
            texts["name" + std::to_string(texts.size())] = *name;
        }
        texts["txtTalvexStarted"] = frm.txtTalvexStarted;
        texts["txtAppAlreadyRunning"] = frm.txtAppAlreadyRunning;
        texts["txtWindow"] = frm.engine().Words().txtWindow;
        texts["txtProcessId"] = frm.engine().Words().txtProcessId;
        texts["txtPriority"] = frm.engine().Words().txtPriority;
        return texts;
    }
    // The window shows exactly the texts of `file`, element by element.
    void ExpectLanguage(const std::string& file) {
        SCOPED_TRACE(file);
        StringTable expected;
        modLang::LoadLanguageFile(expected, Utf8ToPath(TALVEX_SOURCE_DIR) / "lang" / file);
        for (const TranslateElement& item : kTranslateElements) {
            if (item.defaultKind == DefaultKind::CopyOf) continue;
            // This window has no update check: its entry says so (the update tests).
            if (item.element.sName == "mnuPop1Update") continue;
            EXPECT_EQ(Shown(item.element), expected.Lang(item.iId, false, false, false, "?"))
                << item.element.sName;
        }
        EXPECT_EQ(Caption("Label3"), expected.Lang(TextId::Footer, false, false, false, "?"));
        EXPECT_EQ(Caption("chkActive"), expected.Lang(TextId::Active, false, false, false, "?"));
        EXPECT_EQ(frm.mnuPop1().Find("mnuPop1Activate")->caption, Caption("chkActive"));
        // The boost levels' names are the option buttons' captions as they read.
        const PriorityNames& names = frm.engine().Queries().names;
        EXPECT_EQ(names.sNameHigh, WithoutAccessKey(Caption("Option1", 1)));
        EXPECT_EQ(names.sNameAboveNormal, WithoutAccessKey(Caption("Option1", 0)));
        EXPECT_EQ(names.sNameRealtime, WithoutAccessKey(Caption("Option1", 2)));
        EXPECT_EQ(names.sNameHigh.find('&'), std::string::npos);
        EXPECT_EQ(names.sNameIdle, expected.Lang(TextId::Idle, false, false, false, "?"));
        EXPECT_EQ(names.sNameOther, expected.Lang(TextId::Unknown, false, false, false, "?"));
        EXPECT_EQ(frm.engine().Words().txtWindow,
                  expected.Lang(TextId::Window, false, false, false, "?"));
        EXPECT_EQ(frm.txtAppAlreadyRunning,
                  expected.Lang(TextId::AppAlreadyRunning, false, false, false, "?"));
    }

    testing::TempFolder program;
    testing::TempFolder data;
};

TEST_F(frmMainTranslateTest, WithoutLanguageFilesOnlyDefaultsAndKeptTextsShow) {
    Start();
    for (const TranslateElement& item : kTranslateElements) {
        SCOPED_TRACE(std::string(item.element.sName));
        const std::string shown = Shown(item.element);
        if (item.element.sName == "mnuPop1Update") {
            EXPECT_EQ(shown, "No update check in this build");
        } else if (item.defaultKind == DefaultKind::CurrentCaption) {
            EXPECT_EQ(shown, item.sDesignText);
        } else if (item.defaultKind == DefaultKind::Given) {
            EXPECT_EQ(shown, item.sDefault);
        } else {
            EXPECT_EQ(shown, kError);
        }
    }
    EXPECT_EQ(Shown(kTranslateElements[23].element), "Show Advanced Window");
    EXPECT_EQ(frm.mnuPop2().Find("mnuPop2HangUpMsg")->caption, "No hangup observation message");
    EXPECT_EQ(frm.mnuPop1().Find("mnuPop1Title")->caption.find(kError), std::string::npos);
    EXPECT_EQ(Caption("Label3"), "Talvex keeps the program in front quick.");
    const PriorityNames& n = frm.engine().Queries().names;
    for (const std::string* name :
         {&n.sNameIdle, &n.sNameBelowNormal, &n.sNameNormal, &n.sNameAboveNormal, &n.sNameHigh,
          &n.sNameRealtime, &n.sNameOther}) {
        EXPECT_EQ(*name, kError);
    }
    EXPECT_EQ(frm.txtTalvexStarted, kError);
    EXPECT_EQ(frm.engine().Words().txtPriority, kError);
}

TEST_F(frmMainTranslateTest, StartsInTheDesktopsLanguageAndEachFlagSwitchesEverythingAtOnce) {
    CopyShippedFiles(program.Path());
    Start();
    EXPECT_EQ(frm.Language(), "DE");
    ExpectLanguage("Deutsch.lng");
    EXPECT_EQ(Caption("chkActive"), "&Aktiv");

    const auto editor = desk.AddProcess({"/usr/bin/editor", NORMAL_PRIORITY_CLASS});
    desk.SetForeground(desk.AddWindow(editor, "Notes"));
    ui.FireTimers();
    EXPECT_NE(Caption("Label1").find("Fenster: "), std::string::npos);

    ui.Ctl("frmMain", "imgEn").UserClick();
    EXPECT_EQ(frm.Language(), "EN");
    ExpectLanguage("English.lng");
    EXPECT_EQ(frm.mnuPop1().Find("mnuPop1Activate")->caption, "Act&ive");
    ui.FireTimers();
    EXPECT_NE(Caption("Label1").find("Window: "), std::string::npos);
    EXPECT_NE(Caption("Label1").find("(High)"), std::string::npos);  // the boosted class

    ui.Ctl("frmMain", "imgFr").UserClick();
    EXPECT_EQ(frm.Language(), "FR");
    ExpectLanguage("Francais.lng");
    EXPECT_EQ(frm.engine().Queries().GetPriorityName(HIGH_PRIORITY_CLASS), "Haute");

    // The flag of the language already shown changes nothing.
    const auto before = AllTexts();
    ui.Ctl("frmMain", "imgFr").UserClick();
    EXPECT_EQ(AllTexts(), before);
}

TEST_F(frmMainTranslateTest, OpenWindowsFollowALanguageSwitchAtOnce) {
    CopyShippedFiles(program.Path());
    Start();
    frm.mnuPop1Advanced_Click();
    ASSERT_NE(frm.Advanced(), nullptr);
    EXPECT_EQ(frm.Advanced()->form().Caption(), "Talvex: Erweitert");
    ui.Ctl("frmMain", "imgFr").UserClick();
    EXPECT_EQ(frm.Advanced()->form().Caption(), "Talvex : options avancées");
    EXPECT_EQ(ui.Ctl("frmAdvanced", "cmdOk").Caption(), "A&ppliquer");
    EXPECT_NE(ui.Ctl("frmAdvanced", "Label3").Caption().find("pendant 4 s"), std::string::npos);
    // The warning, while it waits.
    std::string caption;
    ui.onDoEvents = [&] {
        if (!caption.empty()) return;
        ui.Ctl("frmMain", "imgEn").UserClick();
        caption = ui.FindForm("frmWarning")->Caption();
        frm.Warning().OKButton_Click();
    };
    bool noBoost = false;
    frm.Warning().Display("busy", noBoost);
    EXPECT_EQ(caption, "Warning");
}

TEST_F(frmMainTranslateTest, SwitchingGermanEnglishGermanReloadsCompletely) {
    program.Write("Deutsch.lng", "4=Aktiv\n");
    program.Write("English.lng", "3=Always On Top\n4=Active\n45=Advanced window (EN)\n");
    Start();
    EXPECT_EQ(Caption("chkAlwaysOnTop"), kError);
    ui.Ctl("frmMain", "imgEn").UserClick();
    EXPECT_EQ(Caption("chkAlwaysOnTop"), "Always On Top");
    EXPECT_EQ(frm.mnuPop1().Find("mnuPop1Advanced")->caption, "Advanced window (EN)");
    ui.Ctl("frmMain", "imgGer").UserClick();
    EXPECT_EQ(Caption("chkActive"), "Aktiv");
    EXPECT_EQ(Caption("chkAlwaysOnTop"), kError);
    EXPECT_EQ(strings.Lang(TextId::ShowAdvancedWindow, false, false, false, "gone"), "gone");
    EXPECT_EQ(strings.Size(), 6u);
    // An entry that keeps its caption as default keeps the previous language's text.
    EXPECT_EQ(frm.mnuPop1().Find("mnuPop1Advanced")->caption, "Advanced window (EN)");
}

TEST_F(frmMainTranslateTest, ProgramFolderFirstThenInstalledFolder) {
    data.Write("Deutsch.lng", "4=Aktiv (installiert)\n");
    data.Write("English.lng", "4=Active (installed)\n");
    Start();
    EXPECT_EQ(Caption("chkActive"), "Aktiv (installiert)");
    program.Write("English.lng", "4=Active (beside the program)\n");
    ui.Ctl("frmMain", "imgEn").UserClick();
    EXPECT_EQ(Caption("chkActive"), "Active (beside the program)");
    // A code that is not listed selects English.
    frm.SetLanguage("de");
    frm.Translate();
    EXPECT_EQ(Caption("chkActive"), "Active (beside the program)");
}

}  // namespace
}  // namespace talvex
