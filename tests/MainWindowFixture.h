#pragma once
// The main window on the fake UI and the fake desktop, for every test of the running
// program: start-up, the rule panel, the Advanced window, the warning, the keyboard,
// the languages and the announced foreground.

#include <gtest/gtest.h>

#include "platform/fake/FakeDesktop.h"
#include "platform/fake/FakeForegroundSource.h"
#include "platform/fake/FakeUi.h"
#include "ui/frmMain.h"

namespace talvex::testing {

class MainWindowTest : public ::testing::Test {
  protected:
    static constexpr std::uint64_t kInterval = 500;

    /// The desktop announces foreground changes through `source` only when asked to.
    enum class Announced { No, Yes };
    explicit MainWindowTest(Announced announced = Announced::No)
        : frm{Services(announced == Announced::Yes ? &source : nullptr)} {}

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
    platform::FakeForegroundSource source;
    StringTable strings;
    ActionLog log{desk};
    std::int32_t self = 0;
    frmMain frm;

  private:
    frmMainServices Services(platform::IForegroundSource* foreground) {
        frmMainServices services{ui, desk, desk, strings, log, desk};
        services.foreground = foreground;
        return services;
    }
};

}  // namespace talvex::testing
