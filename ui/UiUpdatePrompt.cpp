#include "ui/UiUpdatePrompt.h"

namespace talvex {

using namespace platform;

void UiUpdatePrompt::Inform(const std::string& sText, PromptIcon icon, const std::string& sTitle) {
    m_ui.MsgBox(sText, vbOKOnly | (icon == PromptIcon::Error ? vbCritical : vbInformation), sTitle);
}

bool UiUpdatePrompt::Ask(const std::string& sText, const std::string& sTitle) {
    return m_ui.MsgBox(sText, vbYesNo | vbInformation, sTitle) == vbYes;
}

namespace {

class NoTransferHttp final : public IHttp {
  public:
    bool StillExecuting() const override { return false; }
    HttpResponse OpenURL(const std::string&) override {
        HttpResponse response;
        response.detail = "this program was built without a transfer";
        return response;
    }
};

class NoShellOpen final : public IShell {
  public:
    std::int32_t ShellExecute(const std::string&, const std::string&, const std::string&,
                              const std::string&, std::int32_t) override {
        return SE_ERR_NOASSOC;
    }
};

}  // namespace

IHttp& NoTransfer() {
    static NoTransferHttp none;
    return none;
}

IShell& NoShell() {
    static NoShellOpen none;
    return none;
}

}  // namespace talvex
