// Translate: loads the language of m_sLanguage and writes its texts into the main
// window, its two popup menus, the text members and the priority display names.
#include <filesystem>

#include "base/TalvexError.h"
#include "i18n/TextIds.h"
#include "i18n/TranslateTable.h"
#include "i18n/modLang.h"
#include "ui/frmMain.h"

namespace talvex {

namespace {

// The main window as the translation table sees it.
class frmMainTexts final : public ITranslateTarget {
  public:
    explicit frmMainTexts(frmMain& frm) : m_frm(frm) {}

    std::string Caption(const ElementRef& element) override {
        if (element.kind == ElementKind::Control) {
            return m_frm.Ctl(std::string(element.sName), element.iIndex).Caption();
        }
        return Menu(element.sName).caption;
    }

    void SetCaption(const ElementRef& element, const std::string& sText) override {
        if (element.kind == ElementKind::Control) {
            m_frm.Ctl(std::string(element.sName), element.iIndex).SetCaption(sText);
        } else {
            Menu(element.sName).caption = sText;
        }
    }

    void SetTextMember(TextMember member, const std::string& sText) override {
        Engine& engine = m_frm.engine();
        switch (member) {
            case TextMember::txtTalvexStarted:
                m_frm.txtTalvexStarted = sText;
                break;
            case TextMember::txtPriority:
                engine.SetStatusWord(&StatusWords::txtPriority, sText);
                break;
            case TextMember::txtProcessId:
                engine.SetStatusWord(&StatusWords::txtProcessId, sText);
                break;
            case TextMember::txtWindow:
                engine.SetStatusWord(&StatusWords::txtWindow, sText);
                break;
            case TextMember::txtAppAlreadyRunning:
                m_frm.txtAppAlreadyRunning = sText;
                break;
        }
    }

    void SetPriorityName(PriorityNameSlot slot, const std::string& rawText) override {
        // The boost levels' names come from the option buttons' captions; in the status
        // text and the log they read without the access key's mark.
        const std::string sText = platform::WithoutAccessKey(rawText);
        PriorityNames& names = m_frm.engine().Queries().names;
        switch (slot) {
            case PriorityNameSlot::sNameAboveNormal:
                names.sNameAboveNormal = sText;
                break;
            case PriorityNameSlot::sNameBelowNormal:
                names.sNameBelowNormal = sText;
                break;
            case PriorityNameSlot::sNameHigh:
                names.sNameHigh = sText;
                break;
            case PriorityNameSlot::sNameIdle:
                names.sNameIdle = sText;
                break;
            case PriorityNameSlot::sNameRealtime:
                names.sNameRealtime = sText;
                break;
            case PriorityNameSlot::sNameOther:
                names.sNameOther = sText;
                break;
            case PriorityNameSlot::sNameNormal:
                names.sNameNormal = sText;
                break;
        }
    }

  private:
    // Entries of the tray menu and of the rule menu, submenus included.
    platform::MenuItem& Menu(std::string_view name) {
        const std::string key(name);
        platform::MenuItem* item = m_frm.mnuPop1().Find(key);
        if (!item) item = m_frm.mnuPop2().Find(key);
        if (!item) throw TalvexError(kErrIndexOutOfRange);
        return *item;
    }

    frmMain& m_frm;
};

}  // namespace

void frmMain::Translate() {
    // The program's own folder comes first; the installed data folder is the fallback.
    const std::string ownPath = m_engine.Queries().GetWindowExePath(0, modMain::kPathMax);
    const std::filesystem::path programFolder =
        ownPath.empty() ? std::filesystem::path() : Utf8ToPath(ownPath).parent_path();
    modLang::LoadLanguageFile(
        m_strings, modLang::FindLanguageFile(modLang::LanguageFileName(m_sLanguage), programFolder,
                                             Utf8ToPath(m_sLanguageDataFolder)));
    frmMainTexts texts(*this);
    ApplyTranslation(m_strings, texts);
    TranslateOwnTexts();
}

// The texts beyond the translation table, and the other windows: a language chosen
// shows everywhere at once.
void frmMain::TranslateOwnTexts() {
    m_ui.SetLanguage(m_sLanguage);
    m_c.Label3->SetCaption(m_strings.Lang(TextId::Footer));
    ShowUpdateAvailability();
    if (frmAdvanced* advanced = Advanced()) advanced->Retranslate();
    m_frmWarning.Retranslate();
    ShowMissingRight();
    // The tooltip's count is in words too.
    m_sTooltipCount.clear();
    RefreshHeld();
}

}  // namespace talvex
