#pragma once
// The hang-up warning dialog: shows the turn-off message with two check boxes and
// waits for the user while the rest of the program keeps running.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "engine/IWarningDialog.h"
#include "i18n/StringTable.h"
#include "platform/IUiServices.h"

namespace talvex {

class frmWarning final : public IWarningDialog {
  public:
    // Client area at design time, in twips.
    static constexpr std::int32_t kClientWidth = 6030;
    static constexpr std::int32_t kClientHeight = 2790;

    /// Called with the dialog's window each time it is shown; the main window uses it
    /// to keep the dialog above itself when it stays on top of other windows.
    using ShownHook = std::function<void(platform::WindowHandle)>;

    frmWarning(platform::IUiServices& ui, const StringTable& strings, ShownHook onShown = {})
        : m_ui(ui), m_strings(strings), m_onShown(std::move(onShown)) {}
    ~frmWarning() override;
    frmWarning(const frmWarning&) = delete;
    frmWarning& operator=(const frmWarning&) = delete;

    /// Shows sMsg and waits until OK is pressed or the dialog is closed in any other
    /// way; the answers are the boxes' states at that moment. bNoBoost: "do not check
    /// this app again"; result: "do not display this message again". A call made while
    /// another one waits opens no second dialog and returns at once with both answers
    /// false. An error of a control ends the call with false and bNoBoost unchanged.
    bool Display(const std::string& sMsg, bool& bNoBoost) override;

    /// OK: the waiting call returns with the boxes' states.
    void OKButton_Click();
    /// Closes a waiting dialog, so the waiting call returns (the program is ending).
    void Unload();
    /// A waiting dialog takes the texts of the language now loaded.
    void Retranslate();

    bool Waiting() const { return m_bWaiting; }
    /// The dialog while it is loaded; null otherwise.
    platform::Form* form() const { return m_form.get(); }

  private:
    /// Creates the dialog: a centred tool window with the text, two boxes and OK.
    void Form_Load();
    void SetTexts();
    void Wait();

    platform::IUiServices& m_ui;
    const StringTable& m_strings;
    ShownHook m_onShown;
    std::unique_ptr<platform::Form> m_form;
    // The dialog's controls while it is loaded.
    platform::Control* m_Label1 = nullptr;
    platform::Control* m_Check1 = nullptr;  // do not check this program again
    platform::Control* m_Check2 = nullptr;  // do not show this message again for it
    platform::Control* m_OKButton = nullptr;
    bool m_bOkPressed = false;
    bool m_bWaiting = false;
};

}  // namespace talvex
