#pragma once
// The main window: it lives for the whole run, mostly hidden, owns the engine, the
// refresh timer, the tray icon and its menu, and carries out start-up and shutdown.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "engine/IEngineHost.h"
#include "i18n/ActionLog.h"
#include "i18n/StringTable.h"
#include "i18n/Utf8Path.h"
#include "i18n/modLang.h"
#include "platform/IAutostart.h"
#include "platform/IClock.h"
#include "platform/IForegroundSource.h"
#include "platform/IProcessApi.h"
#include "platform/ISettingsStore.h"
#include "platform/ISingleInstance.h"
#include "platform/IUiServices.h"
#include "platform/IWindowApi.h"
#include "rules/RuleCommands.h"
#include "settings/NullSettingsStore.h"
#include "settings/modSettings.h"
#include "ui/UiUpdatePrompt.h"
#include "ui/frmAdvanced.h"
#include "ui/frmWarning.h"
#include "update/modDl.h"

namespace talvex {

/// The settings store, the session start-up list and the instance lock. Without a
/// store the program starts on the defaults and keeps nothing; without an autostart
/// list it is never registered; without a lock every copy counts as the first.
struct frmMainSystem {
    platform::ISettingsStore* settings = nullptr;
    platform::IAutostart* autostart = nullptr;
    platform::ISingleInstance* instance = nullptr;
    /// File name of this program, the name of its own default never-boost rule.
    std::string sOwnExeName = "talvex";
    /// The other never-boost rules of the very first start: programs of this system
    /// that must not be boosted.
    std::vector<FirstStartRule> firstStartRules = modSettings::WindowsFirstStartRules();
    /// The name Add suggests: an example in the form of this system's program names.
    std::string sRuleExample = RuleCommands::kAddDefaultAnswer;
    /// Where the settings are kept (a file), for the message when they cannot be saved.
    std::string sSettingsPlace = {};
};

/// Everything the main window works with; owned by whoever creates the window.
struct frmMainServices {
    platform::IUiServices& ui;
    platform::IProcessApi& processes;
    platform::IWindowApi& windows;
    StringTable& strings;
    ActionLog& log;
    platform::IClock& clock;
    frmMainSystem system{};
    /// The update check's transfer (Inet1) and shell-open; without them the check
    /// finds no version data.
    platform::IHttp* Inet1 = nullptr;
    platform::IShell* shell = nullptr;
    /// Where the update check looks; the build's address unless a test says otherwise.
    UpdateOptions update{};
    /// Where the desktop announces foreground changes; without one the foreground
    /// follows the ticks only.
    platform::IForegroundSource* foreground = nullptr;
};

/// The main window's controls and menu items as CreateControls and CreateMenus made
/// them, each by its own name.
struct frmMainControls {
    using Ctl = platform::Control*;
    Ctl Shape1 = nullptr, Shape2 = nullptr, Shape3 = nullptr, Shape4 = nullptr, Shape5 = nullptr,
        Shape6 = nullptr;
    Ctl Image1 = nullptr, Image2 = nullptr, imgGer = nullptr, imgEn = nullptr, imgFr = nullptr;
    Ctl Label1 = nullptr, Label2 = nullptr, Label3 = nullptr, Line1 = nullptr, Line2 = nullptr;
    std::array<Ctl, 3> Option1{};  // Above Normal, High, Realtime
    Ctl chkAlwaysOnTop = nullptr, chkAdvanced = nullptr, chkActive = nullptr;
    Ctl List1 = nullptr;     // the rules
    Ctl Command1 = nullptr;  // Remove
    Ctl Command2 = nullptr;  // Add
    Ctl Command3 = nullptr;  // Current (the program in front)
    Ctl chkAutostart = nullptr, chkAutoUpdate = nullptr;
    Ctl lblNoRight = nullptr;  // without the right to raise: says so
    Ctl cmdNoRight = nullptr;  // and opens the notice again
    Ctl cmdMenu = nullptr;     // without a notification area: the tray menu's entries

    // The tray menu and the rule menu.
    using Item = platform::MenuItem*;
    Item mnuPop1Title = nullptr, mnuPop1Show = nullptr, mnuPop1Activate = nullptr,
         mnuPop1Advanced = nullptr, mnuPop1Update = nullptr, mnuPop1Exit = nullptr;
    Item mnuPop2AutoboostAboveNormal = nullptr, mnuPop2AutoBoostHigh = nullptr,
         mnuPop2AutoBoostRealtime = nullptr, mnuPop2NoBoost = nullptr,
         mnuPop2NoBkgObservation = nullptr, mnuPop2HangUp = nullptr, mnuPop2HangUpMsg = nullptr,
         mnuPop2Delete = nullptr;
};

class frmMain final : public IEngineHost, public IAdvancedHost {
  public:
    // Window height of the two views and the left column's height in each, in twips.
    static constexpr std::int32_t kAdvancedHeight = 6600;
    static constexpr std::int32_t kSimpleHeight = 3375;
    static constexpr std::int32_t kAdvancedColumn = 6060;
    static constexpr std::int32_t kSimpleColumn = 2775;
    static constexpr std::int32_t kClientWidth = 5610;

    /// Creates the window and its controls, hidden; nothing runs yet.
    explicit frmMain(const frmMainServices& services);
    ~frmMain() override;
    frmMain(const frmMain&) = delete;
    frmMain& operator=(const frmMain&) = delete;

    /// Start-up: settings, log lines, instance check, tray icon, own priority, timer.
    void Form_Load();
    /// Decides a close request by its reason.
    void Form_QueryUnload(bool& cancel, platform::CloseReason reason);
    /// Ends the program; runs once, whoever calls it.
    void fEndTalvex() override;
    /// Applies m_bAdvancedView to the window height and the left column.
    void fSetAdvancedView();
    /// Reads every setting into the variables and controls (settings store).
    void fLoadSettings();
    /// Writes every setting back (settings store); false when that failed.
    bool fSaveSettings() override;
    /// Puts the texts of m_sLanguage into the controls, menus and text members.
    void Translate();
    /// Shows the rules in List1, with no line selected.
    void fRefreshList() override;

    // IEngineHost
    void ShowStatusText(const std::string& sText) override;
    void PublishTooltip(const std::string& sText) override;

    // Handlers.
    /// Boosting on or off; off gives the program in front its priority back at once.
    void chkActive_Click();
    /// The global boost level: 0 Above Normal, 1 High, 2 Realtime.
    void Option1_Click(std::int16_t Index);
    /// Keeps the window above all others, or lets it go.
    void chkAlwaysOnTop_Click();
    void GreyTopmostWhereItCannotWork(const std::string& desktop);
    /// Shows or hides the lower panel (rules, autostart, update check, languages).
    void chkAdvanced_Click();
    /// Writes or removes the autostart entry.
    void chkAutostart_Click();
    /// The update check at start, on or off (kept only where the build has one).
    void chkAutoUpdate_Click();
    /// A right click on the update box checks for an update now.
    void chkAutoUpdate_MouseUp(int Button, int Shift, std::int32_t X, std::int32_t Y);
    /// The German flag: the interface in German, remembered.
    void imgGer_Click();
    /// The British flag: the interface in English, remembered.
    void imgEn_Click();
    /// The French flag: the interface in French, remembered.
    void imgFr_Click();
    /// Escape hides the window (where the tray icon can bring it back).
    void Form_KeyDown(std::int32_t& KeyCode, int Shift);
    /// A double click on the tray icon shows the window; a right click opens the menu.
    void oTrayIcon_TrayMouseEvent(std::int32_t MouseEvent);
    /// Tray menu Show (and a double click on the icon): shows the window.
    void mnuPop1Show_Click();
    /// Tray menu Toggle Activate: flips chkActive, whose handler does the work.
    void mnuPop1Activate_Click();
    /// Tray menu Advanced: loads the Advanced window where needed and shows it.
    void mnuPop1Advanced_Click();
    /// Tray menu Check for Update: the check on request, which reports every outcome.
    void mnuPop1Update_Click();
    /// Tray menu Exit: asks for the end; the next tick carries it out.
    void mnuPop1Exit_Click();

    // The rule list's buttons, mouse and popup menu.
    /// Remove: deletes the selected rule.
    void Command1_Click();
    /// Add: asks for a program name and adds a rule for it at the global level.
    void Command2_Click();
    /// Current: adds a rule for the program in front (the one before, when that is Talvex).
    void Command3_Click();
    /// Renames the selected rule.
    void List1_DblClick();
    /// A right click opens the selected rule's menu.
    void List1_MouseDown(int Button, int Shift, std::int32_t X, std::int32_t Y);
    /// F2 renames the selected rule, Delete removes it; the menu key and Shift+F10 open
    /// its menu.
    void List1_KeyDown(std::int32_t& KeyCode, int Shift);
    /// A command of the rule menu on the selected rule.
    void mnuPop2Click(Pop2Item item);

    // IAdvancedHost
    bool AlwaysOnTop() override { return m_bAlwaysOnTop; }
    std::int32_t RefreshInterval() override;
    std::string GetSetting(const std::string& sKey, const std::string& sDefault) override;
    void SaveSetting(const std::string& sKey, const std::string& sValue) override;
    void AddRuleFor(const std::string& sPath) override;
    void HeldChanged() override { RefreshHeld(); }

    /// Shows what Talvex holds changed now: the Advanced window's list and the count in
    /// the tray tooltip. Runs after every tick.
    void RefreshHeld();

    /// The Advanced window while it is loaded; null otherwise.
    frmAdvanced* Advanced();
    frmWarning& Warning() { return m_frmWarning; }

    // The engine holds the state of the refresh cycle and the rule list.
    Engine& engine() { return m_engine; }
    platform::Form& form() { return *m_form; }
    platform::Timer& tmrRefresh() { return *m_tmrRefresh; }
    platform::ITrayIcon* oTrayIcon() { return m_oTrayIcon.get(); }
    platform::MenuItem& mnuPop1() { return m_mnuPop1; }
    platform::MenuItem& mnuPop2() { return m_mnuPop2; }
    /// A control by its name, for the translation table and for tests; the window's own
    /// code uses the members of `controls()`.
    platform::Control& Ctl(const std::string& name, std::int16_t index = -1);
    const frmMainControls& controls() const { return m_c; }

    // Settings the handlers change. The observers' settings live where the observers
    // read them: the hang-up tolerance in the engine (MaxFailures()), background
    // observation's switch and thresholds in its queries.
    bool AdvancedView() const { return m_bAdvancedView; }
    /// The interface language: "DE", "EN" or "FR". Translate() puts a new one in force.
    const std::string& Language() const { return m_sLanguage; }
    void SetLanguage(const std::string& sLanguage) { m_sLanguage = sLanguage; }
    /// Where Translate looks for a language file that is not beside the program.
    void SetLanguageDataFolder(const std::string& sFolder) { m_sLanguageDataFolder = sFolder; }
    bool bAutoUpdate = false;

    // Translated texts used by start-up.
    std::string txtTalvexStarted;
    std::string txtAppAlreadyRunning;

  private:
    bool m_bAlwaysOnTop = false;
    bool m_bAdvancedView = false;
    std::string m_sLanguage;
    std::string m_sLanguageDataFolder = PathToUtf8(modLang::InstalledLanguageFolder());

    void CreateControls();
    void CreateDecoration();
    void CreateSwitches();
    void CreateRulePanel();
    void CreateMenus();
    void BindHandlers();
    void ShowMainWindow();
    /// Each time the window appears: asks again to be kept on top where that is set.
    void Form_Shown();
    void AfterStartup();
    void StartupLogLines();
    platform::ISettingsStore& SettingsStore();
    void StartForegroundSource();
    void KeepForegroundSource();
    void OnForegroundChange();
    void ForegroundNotice();

    // Steps that belong to the settings, autostart, instance and update modules.
    bool IsAutostartSet();
    void SetAutostart(bool bOn);
    bool IsFirstInstance();
    void ReleaseInstanceMutex();
    void CheckForUpdate(bool bVerbose);
    bool HasUpdateCheck() const;
    void ShowUpdateAvailability();
    void SaveLanguage();
    void ExplainMissingRight();
    void CreateMissingRightControls();
    /// The tray menu, from the tray icon or, without a notification area, from the
    /// window's Menu button.
    void ShowTrayMenu();
    /// Places the status text beside what the desktop's state shows next to it.
    void PlaceStatusText();
    bool MayRaise();
    /// Greys the boost levels and shows the line and its button while the right to
    /// raise is missing; the tooltip's second line says so too.
    void ShowMissingRight();
    void ShowMissingRightNotice();
    std::string StartBalloonText();
    std::string m_sNoRightLine;  // the tooltip's line while the right is missing
    void TranslateOwnTexts();
    void ShowAdvancedWindow();
    void CloseAdvancedWindow();
    void LoadAdvancedWindow();
    void OnLogChanged();
    void BindRulePanel();
    SelectedLine SelectedRuleLine();
    void ShowRuleMenu();

    void ShowTooltip();
    /// After a write to the settings store: the first failure of the run is said in the
    /// log and the tooltip, so a store that cannot be written is not silently ignored.
    bool NoteSaveResult(bool bSaved);
    std::string m_sSaveFailure;  // the tooltip's line about it, once said

    std::string m_sTooltip;       // the tooltip text, without the count
    std::string m_sShownTooltip;  // the text the tray icon shows now
    std::string m_sTooltipCount;  // the count it shows ("1 boosted, 2 lowered")
    platform::IUiServices& m_ui;
    platform::IProcessApi& m_processes;
    StringTable& m_strings;
    ActionLog& m_log;
    platform::IClock& m_clock;
    platform::IForegroundSource* m_foreground;
    std::uint64_t m_foregroundRetryAt = 0;
    frmMainSystem m_system;
    NullSettingsStore m_noSettingsStore;
    Engine m_engine;
    std::unique_ptr<platform::Form> m_form;
    frmMainControls m_c;
    std::unique_ptr<platform::Timer> m_tmrRefresh;
    std::unique_ptr<platform::ITrayIcon> m_oTrayIcon;
    platform::MenuItem m_mnuPop1{"mnuPop1"};
    platform::MenuItem m_mnuPop2{"mnuPop2"};
    RuleCommands m_ruleCommands;
    std::unique_ptr<frmAdvanced> m_frmAdvanced;
    frmWarning m_frmWarning;

    static UpdateServices UpdateServicesOf(const frmMainServices& services, IUpdatePrompt& prompt);
    static UpdateOptions UpdateOptionsOf(const frmMainServices& services);
    UiUpdatePrompt m_updatePrompt{m_ui};
    modDl::UpdateCheck m_modDl;
};

}  // namespace talvex
