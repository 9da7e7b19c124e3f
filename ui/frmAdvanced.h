#pragma once
// The Advanced window: the action log ("Last Actions") and the observers' options.
// An object of this class is one loading of the window: constructing it loads the
// window hidden; closing it (close button or Unload) saves its position and leaves
// the object unloaded, and the owner makes a new one for the next loading.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "i18n/ActionLog.h"
#include "i18n/StringTable.h"
#include "platform/IUiServices.h"
#include "platform/UiMenu.h"

namespace talvex {

/// What the Advanced window needs from the main window.
class IAdvancedHost {
  public:
    virtual ~IAdvancedHost() = default;
    /// The main window's m_bAlwaysOnTop.
    virtual bool AlwaysOnTop() = 0;
    /// The refresh timer's interval in milliseconds.
    virtual std::int32_t RefreshInterval() = 0;
    /// Saves every setting; false when the store could not be written (the host says so).
    virtual bool fSaveSettings() = 0;
    /// One value of the settings store; sDefault when it has none.
    virtual std::string GetSetting(const std::string& sKey, const std::string& sDefault) = 0;
    virtual void SaveSetting(const std::string& sKey, const std::string& sValue) = 0;
    /// Opens the rule panel and asks for a new rule with the program's path filled in.
    virtual void AddRuleFor(const std::string& sPath) { (void)sPath; }
    /// What Talvex holds changed has changed by the user's hand (the tooltip counts it).
    virtual void HeldChanged() {}
};

struct frmAdvancedServices {
    platform::IUiServices& ui;
    Engine& engine;  // the running option values and SetTopmost
    StringTable& strings;
    ActionLog& log;
    IAdvancedHost& host;
};

class frmAdvanced {
  public:
    // Client area at design time, in twips.
    static constexpr std::int32_t kClientWidth = 11190;
    static constexpr std::int32_t kClientHeight = 6990;

    /// Loads the window, hidden.
    explicit frmAdvanced(const frmAdvancedServices& services);
    ~frmAdvanced();
    frmAdvanced(const frmAdvanced&) = delete;
    frmAdvanced& operator=(const frmAdvanced&) = delete;

    /// Shows the window (it stays loaded while hidden).
    void Show();
    /// Closes the window as its close button does.
    void Unload();
    bool Loaded() const;
    /// Runs after the window has closed (by any means).
    std::function<void()> OnUnloaded;

    /// Brings lstLog in line with the action log after it changed.
    void ShowLog();
    /// Brings the lstHeld table in line with what Talvex holds changed now; the selected
    /// row stays selected while its program and lever are still listed. While the window
    /// is hidden the rows wait, and show when it does.
    void ShowHeld(const std::vector<HeldRow>& rows);
    /// The row of the selected line of lstHeld; null when none is selected.
    const HeldRow* SelectedHeld() const;
    /// Puts the texts of the language now loaded into the window.
    void Retranslate();

    // Handlers.
    /// Places the window where it was last and fills the options from the engine.
    void Form_Load();
    /// Lays out the log and the held list over the window's new size.
    void Form_Resize();
    /// Remembers the window's place and size.
    void Form_Unload();
    /// Escape closes the window as its close button does.
    void Form_KeyDown(std::int32_t& KeyCode, int Shift);
    /// Shows in words the hang-up tolerance the slider stands at.
    void Slider1_Change();
    /// The threshold fields are editable only while background observation is on.
    void chkBackgroundObservation_Click();
    /// Only digits and Backspace reach the Below Normal field.
    void txtBelowNormal_KeyPress(std::int32_t& KeyAscii);
    /// Only digits and Backspace reach the Idle field.
    void txtIdle_KeyPress(std::int32_t& KeyAscii);
    /// Leaving Below Normal: at most 90, and Idle kept above it.
    void txtBelowNormal_LostFocus();
    /// Leaving Idle: at most 100, and kept above Below Normal.
    void txtIdle_LostFocus();
    /// OK: applies the options to the engine, saves every setting and logs it.
    void cmdOk_Click();
    /// A right click opens the held line's menu.
    void lstHeld_MouseDown(int Button, int Shift, std::int32_t X, std::int32_t Y);
    /// The menu key and Shift+F10 open the line's menu.
    void lstHeld_KeyDown(std::int32_t& KeyCode, int Shift);
    /// Put back: undoes at once what Talvex changed on the selected line's program.
    void mnuHeldPutBack_Click();
    /// Add rule: asks for a rule for the selected line's program, its path filled in.
    void mnuHeldAddRule_Click();
    platform::MenuItem& mnuHeld() { return m_mnuHeld; }

    /// The hang-up tolerance (refresh ticks) the slider stands at.
    std::int32_t SliderTolerance();
    /// The slider's position for a tolerance (the nearest it offers).
    std::int32_t SliderPositionOf(std::int32_t ticks) const;

    platform::Form& form() { return *m_form; }
    /// A control by its name, for tests; the window's own code uses its members.
    platform::Control& Ctl(const std::string& name);

  private:
    struct Placement {
        std::string parent;        // container; empty for the window itself
        platform::TwipsRect rect;  // relative to the container
        platform::Control* control = nullptr;
    };
    // The controls, each by its own name, as CreateControls made them.
    struct Controls {
        using Ctl = platform::Control*;
        Ctl frLog = nullptr, lstLog = nullptr;        // the action log
        Ctl frHeld = nullptr, lstHeld = nullptr;      // the changes held now
        Ctl frOptions = nullptr, Picture1 = nullptr;  // the options' frame and backing
        Ctl frHangupObservation = nullptr, Slider1 = nullptr, Label3 = nullptr;
        Ctl frBackgroundObservation = nullptr, chkBackgroundObservation = nullptr;
        Ctl Label1 = nullptr, txtBelowNormal = nullptr, Label2 = nullptr, txtIdle = nullptr;
        Ctl picCmdOk = nullptr, cmdOk = nullptr;  // Apply
        platform::MenuItem* mnuHeldPutBack = nullptr;
        platform::MenuItem* mnuHeldAddRule = nullptr;
    };

    void CreateControls();
    void BindHandlers();
    platform::Control& Add(platform::ControlKind kind, const std::string& name,
                           const std::string& parent, const platform::TwipsRect& rect,
                           const std::string& caption, std::int32_t tab);
    void CreateHeldList();
    void BindHeldList();
    void SetHeldTexts();
    void ShowHeldMenu();
    void RestorePosition();
    void SetTexts();
    /// Moves every control to its container's place plus its own.
    void PlaceAll();
    platform::TwipsRect Absolute(const std::string& name) const;
    std::int32_t ScaleWidth() const;
    std::int32_t ScaleHeight() const;

    platform::IUiServices& m_ui;
    Engine& m_engine;
    StringTable& m_strings;
    ActionLog& m_log;
    IAdvancedHost& m_host;
    std::unique_ptr<platform::Form> m_form;
    std::map<std::string, Placement> m_placement;
    Controls m_c;
    std::vector<std::int32_t> m_sliderScale;            // the tolerance at each slider position
    std::vector<HeldRow> m_heldRows;                    // the rows lstHeld shows, in its order
    std::optional<std::vector<HeldRow>> m_heldWaiting;  // rows that came while hidden
    platform::MenuItem m_mnuHeld{"mnuHeld"};
};

}  // namespace talvex
