#pragma once
// The update check's message boxes on the UI services' modal message box, and the
// stand-ins the main window uses when it was given no transfer or shell.

#include "platform/IHttp.h"
#include "platform/IShell.h"
#include "platform/IUiServices.h"
#include "update/IUpdatePrompt.h"

namespace talvex {

class UiUpdatePrompt final : public IUpdatePrompt {
  public:
    explicit UiUpdatePrompt(platform::IUiServices& ui) : m_ui(ui) {}

    void Inform(const std::string& sText, PromptIcon icon, const std::string& sTitle) override;
    bool Ask(const std::string& sText, const std::string& sTitle) override;

  private:
    platform::IUiServices& m_ui;
};

/// A transfer that never connects: without one the check finds no version data.
platform::IHttp& NoTransfer();
/// A shell that opens nothing.
platform::IShell& NoShell();

}  // namespace talvex
