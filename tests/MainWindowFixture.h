#pragma once
// The main window started on the fake UI and the fake desktop, for the tests of the
// rule panel, the Advanced window and the warning dialog in the running program.

#include <gtest/gtest.h>

#include "platform/fake/FakeDesktop.h"
#include "platform/fake/FakeUi.h"
#include "ui/frmMain.h"

namespace talvex::testing {

class MainWindowTest : public ::testing::Test {
  protected:
    static constexpr std::uint64_t kInterval = 500;

    void SetUp() override {
        self = desk.AddProcess({"/opt/talvex/talvex", platform::NORMAL_PRIORITY_CLASS});
        desk.SetCurrentProcess(self);
    }
    /// Start-up, then the first tick, which only builds the process table.
    void Start() {
        frm.Form_Load();
        ui.ProcessPending();
        Tick();
    }
    void Tick() {
        desk.AdvanceClock(kInterval);
        ui.FireTimers();
    }
    std::int32_t Front(const std::string& path, const std::string& title) {
        const auto pid = desk.AddProcess({path, platform::NORMAL_PRIORITY_CLASS});
        desk.SetForeground(desk.AddWindow(pid, title));
        return pid;
    }
    platform::Control& Main(const std::string& name, std::int16_t index = -1) {
        return ui.Ctl("frmMain", name, index);
    }
    platform::Control& Adv(const std::string& name) { return ui.Ctl("frmAdvanced", name); }
    TalvexItems& Items() { return frm.engine().Items(); }
    std::vector<std::string> Rules() { return RuleCommands::fRefreshList(Items()); }
    void ChooseFromTray(const std::string& item) {
        ui.ChooseInNextPopup(item);
        ui.Tray()->Mouse(platform::WM_RBUTTONUP);
    }

    platform::FakeDesktop desk;
    platform::FakeUi ui;
    StringTable strings;
    ActionLog log{desk};
    std::int32_t self = 0;
    frmMain frm{frmMainServices{ui, desk, desk, strings, log, desk}};
};

}  // namespace talvex::testing
