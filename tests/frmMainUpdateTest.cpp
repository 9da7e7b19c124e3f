// The update check in the main window: the automatic check at start-up, the tray's
// "Check for Update" and the right click on the AutoUpdate box, on the fake UI.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "platform/fake/FakeDesktop.h"
#include "platform/fake/FakeHttp.h"
#include "platform/fake/FakeSettingsStore.h"
#include "platform/fake/FakeShell.h"
#include "platform/fake/FakeUi.h"
#include "settings/modSettings.h"
#include "tests/TempFolder.h"
#include "tests/UpdateTestSupport.h"
#include "ui/frmMain.h"

namespace talvex {
namespace {

using namespace platform;

constexpr const char* kUrl = "https://updates.example/download/talvex_setup.zip.ver";
constexpr const char* kDownload = "https://updates.example/download/talvex_setup.zip";

std::string VersionFileBody(const std::string& version) {
    return "Current Version=" + version + "\r\nDownload=" + kDownload + "\r\n";
}

class frmMainUpdateTest : public ::testing::Test {
  protected:
    void SetUp() override {
        self = desk.AddProcess({"/opt/talvex/talvex", NORMAL_PRIORITY_CLASS});
        desk.SetCurrentProcess(self);
    }
    void TearDown() override { EXPECT_TRUE(folder.Empty()); }

    /// Creates the main window with this update address (own version 1.1.0) and starts it.
    frmMain& Start(const std::string& url, bool withTransfer = true) {
        frmMainServices services{ui, desk, desk, strings, log, desk};
        services.system.settings = &store;
        if (withTransfer) services.Inet1 = &http;
        services.shell = &shell;
        services.update.sVersionURL = url;
        services.update.tempFolder = folder.Path();
        frm = std::make_unique<frmMain>(services);
        testing::WriteUpdateLanguageFile(languages.Path());
        frm->SetLanguageDataFolder(languages.Path().string());
        frm->Form_Load();
        ui.ProcessPending();
        return *frm;
    }
    /// The program is ended by `end` from inside a transfer of "Check for Update"; true
    /// when nothing of the check was left in the temporary folder at that moment.
    bool FolderEmptyWhenEndedDuringTransfer(const std::function<void()>& end) {
        http.SetBody(kUrl, VersionFileBody("1.1.0"));
        Start(kUrl);
        bool emptyAtEnd = false;
        ui.onJournal = [&](const std::string& entry) {
            if (entry == "EndProgram") emptyAtEnd = folder.Empty();
        };
        http.SetDuringTransfer(end);
        ChooseFromTray("mnuPop1Update");
        EXPECT_TRUE(ui.Ended());
        return emptyAtEnd;
    }
    /// Every message box shown so far, oldest first.
    std::vector<FakeUi::MsgBoxCall> Boxes() const { return ui.MsgBoxes(); }
    void ChooseFromTray(const std::string& item) {
        ui.ChooseInNextPopup(item);
        ui.Tray()->Mouse(WM_RBUTTONUP);
    }

    FakeDesktop desk;
    FakeUi ui;
    StringTable strings = testing::UpdateTexts();
    ActionLog log{desk};
    FakeHttp http;
    FakeShell shell;
    FakeSettingsStore store;
    testing::TempFolder folder;
    testing::TempFolder languages;
    std::int32_t self = 0;
    std::unique_ptr<frmMain> frm;
};

TEST_F(frmMainUpdateTest, StartUpAsksAboutANewerVersionBeforeBoostingStarts) {
    http.SetBody(kUrl, VersionFileBody("1.2.0"));
    ui.AnswerMsgBox(vbYes);
    bool timerOnAtQuestion = true;
    std::int32_t ownClassAtQuestion = 0;
    ui.onJournal = [&](const std::string& entry) {
        if (entry == "MsgBox" && ui.MsgBoxes().empty()) {
            timerOnAtQuestion = frm->tmrRefresh().Enabled();
            ownClassAtQuestion = desk.PriorityOf(self);
        }
    };
    frmMain& main = Start(kUrl);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].text,
              "New version: 1.2.0\r\nYour version: 1.1.0\r\n\r\n"
              "Update now? The download page opens.");
    EXPECT_EQ(Boxes()[0].style, vbYesNo | vbInformation);
    EXPECT_EQ(Boxes()[0].title, "Update now?");
    EXPECT_FALSE(timerOnAtQuestion);
    EXPECT_EQ(ownClassAtQuestion, NORMAL_PRIORITY_CLASS);
    // Start-up goes on after the answer.
    EXPECT_TRUE(main.tmrRefresh().Enabled());
    EXPECT_EQ(desk.PriorityOf(self), HIGH_PRIORITY_CLASS);
    ASSERT_EQ(shell.Calls().size(), 1u);
    EXPECT_EQ(shell.Calls()[0].sVerb, "open");
    EXPECT_EQ(shell.Calls()[0].sFile, kDownload);
}

TEST_F(frmMainUpdateTest, WithoutAnUpdateCheckTheMenuSaysSoGreyedAndNoErrorEverShows) {
    // A build without an address, and a window without a transfer whatever the address.
    http.SetBody(kUrl, VersionFileBody("9.0.0"));
    for (const auto& [url, transfer] : {std::pair{"", true}, std::pair{kUrl, false}}) {
        SCOPED_TRACE(url);
        store.SaveSettingValue(kSettingsApp, kSettingsSection, "General.AutoUpdate", "True");
        Start(url, transfer);
        const MenuItem& item = *frm->mnuPop1().Find("mnuPop1Update");
        EXPECT_FALSE(item.enabled);
        EXPECT_EQ(item.caption, "No update check in this build");
        Control& box = ui.Ctl("frmMain", "chkAutoUpdate");
        EXPECT_EQ(box.Value(), 0);
        EXPECT_FALSE(box.Enabled());
        ChooseFromTray("mnuPop1Update");
        ui.Ctl("frmMain", "chkAdvanced").UserClick();
        box.UserMouseUp(kRightButton, 0, 0, 0);
        box.UserClick();
        EXPECT_TRUE(Boxes().empty());
        EXPECT_TRUE(http.Requests().empty());
        // The stored choice stays for a build that has the check.
        frm->fSaveSettings();
        EXPECT_EQ(store.Peek(kSettingsApp, kSettingsSection, "General.AutoUpdate"), "True");
        frm.reset();
    }
}

TEST_F(frmMainUpdateTest, TrayAndRightClickOnAutoUpdateCheckOnRequest) {
    http.SetBody(kUrl, VersionFileBody("1.1.0"));
    frmMain& main = Start(kUrl);
    EXPECT_TRUE(Boxes().empty());  // nothing newer: the automatic check says nothing
    EXPECT_EQ(http.Requests().size(), 1u);

    ChooseFromTray("mnuPop1Update");
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].text, testing::kNoUpdate);
    EXPECT_EQ(Boxes()[0].style, vbOKOnly | vbInformation);
    EXPECT_EQ(Boxes()[0].title, "No update");

    ui.Ctl("frmMain", "chkAdvanced").UserClick();
    Control& box = ui.Ctl("frmMain", "chkAutoUpdate");
    const std::int32_t value = box.Value();
    box.UserMouseUp(kRightButton, 0, 0, 0);
    EXPECT_EQ(Boxes().size(), 2u);
    EXPECT_EQ(box.Value(), value);  // the right button checks, it does not switch
    box.UserMouseUp(kLeftButton, 0, 0, 0);
    EXPECT_EQ(Boxes().size(), 2u);
    EXPECT_EQ(http.Requests().size(), 3u);
    EXPECT_TRUE(main.tmrRefresh().Enabled());
}

TEST_F(frmMainUpdateTest, SessionEndDuringATransferLeavesNoTemporaryFile) {
    EXPECT_TRUE(
        FolderEmptyWhenEndedDuringTransfer([this] { ui.RequestEnd(CloseReason::SessionEnd); }));
}

TEST_F(frmMainUpdateTest, ExitDuringATransferLeavesNoTemporaryFile) {
    EXPECT_TRUE(FolderEmptyWhenEndedDuringTransfer([this] {
        ChooseFromTray("mnuPop1Exit");
        ui.FireTimers();
    }));
}

TEST_F(frmMainUpdateTest, TransferErrorAtStartUpIsReportedAndStartUpGoesOn) {
    frmMain& main = Start(kUrl);  // the fake server has no file: the connection fails
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].text, modDl::kTransferError);
    EXPECT_EQ(Boxes()[0].style, vbOKOnly | vbInformation);
    EXPECT_TRUE(main.tmrRefresh().Enabled());
    EXPECT_TRUE(shell.Calls().empty());
}

}  // namespace
}  // namespace talvex
