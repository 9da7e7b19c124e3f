#include "ui/frmWarning.h"

#include "base/RunQuietly.h"
#include "i18n/TextIds.h"

namespace talvex {

using namespace platform;

namespace {

// Title bar and borders, which the form's height includes (as the backends draw it).
constexpr std::int32_t kNonClientTwips = 345;

// Longest sleep between two rounds of events while the dialog waits: any event wakes
// the wait earlier, so this only bounds how late a missed wake-up is noticed.
constexpr std::int32_t kWaitMilliseconds = 50;

// Clears the waiting state and unloads the dialog however Display ends.
class DisplayScope {
  public:
    DisplayScope(bool& waiting, std::unique_ptr<Form>& form) : m_waiting(waiting), m_form(form) {
        m_waiting = true;
    }
    ~DisplayScope() {
        if (m_form) {
            m_form->OnUnload = nullptr;
            m_form->Close();
            m_form.reset();
        }
        m_waiting = false;
    }
    DisplayScope(const DisplayScope&) = delete;
    DisplayScope& operator=(const DisplayScope&) = delete;

  private:
    bool& m_waiting;
    std::unique_ptr<Form>& m_form;
};

}  // namespace

frmWarning::~frmWarning() {
    if (m_form) m_form->OnUnload = nullptr;
}

void frmWarning::Form_Load() {
    m_form = m_ui.CreateForm("frmWarning");
    Form& f = *m_form;
    // A tool window: no taskbar entry, no minimise or maximise button.
    f.SetBorder(FormBorder::FixedToolWindow);
    f.SetIcon("warning");
    f.SetClientWidth(kClientWidth);
    f.SetHeight(kClientHeight + kNonClientTwips);
    f.Move((m_ui.ScreenWidth() - kClientWidth) / 2, (m_ui.ScreenHeight() - f.Height()) / 2);
    f.Add(ControlKind::Picture, "Image1", {60, 120, 720, 720}).SetPicture("warning");
    m_Label1 = &f.Add(ControlKind::Label, "Label1", {840, 540, 5055, 1095});
    m_Label1->SetTabIndex(2);
    m_Check1 = &f.Add(ControlKind::CheckBox, "Check1", {780, 1740, 5175, 255});
    m_Check1->SetTabIndex(1);
    m_Check2 = &f.Add(ControlKind::CheckBox, "Check2", {780, 2040, 5175, 255});
    m_Check2->SetTabIndex(3);
    m_OKButton = &f.Add(ControlKind::PushButton, "OKButton", {4740, 2340, 1215, 375});
    m_OKButton->SetTabIndex(0);
    // The only button: Enter and Escape both answer with the boxes as they are.
    m_OKButton->SetDefault(true);
    m_OKButton->SetCancel(true);
    m_OKButton->OnClick = [this] { RunQuietly("OKButton_Click", [this] { OKButton_Click(); }); };

    SetTexts();
}

void frmWarning::SetTexts() {
    Form& f = *m_form;
    f.SetCaption(m_strings.Lang(TextId::Warning));
    m_Check1->SetCaption(m_strings.Lang(TextId::NoCheckAgain));
    m_Check2->SetCaption(m_strings.Lang(TextId::NoMessageAgain));
    m_OKButton->SetCaption(m_strings.Lang(TextId::Ok));
}

void frmWarning::Retranslate() {
    if (m_form) RunQuietly("frmWarning/SetTexts", [this] { SetTexts(); });
}

bool frmWarning::Display(const std::string& sMsg, bool& bNoBoost) {
    if (m_bWaiting) {
        // One dialog at a time: this message stays in the action log only.
        bNoBoost = false;
        return false;
    }
    DisplayScope scope(m_bWaiting, m_form);
    Form_Load();
    m_Label1->SetCaption(sMsg);
    m_bOkPressed = false;
    m_form->Show();
    if (m_onShown) m_onShown(m_form->Handle());
    Wait();
    const bool bResult = m_Check2->Value() == 1;
    bNoBoost = m_Check1->Value() == 1;
    return bResult;
}

void frmWarning::Wait() {
    // Closing the dialog by the window manager, the keyboard or the program's end
    // unloads the form; that ends the wait as OK does.
    while (!m_bOkPressed && m_form->Loaded()) m_ui.WaitEvents(kWaitMilliseconds);
}

void frmWarning::OKButton_Click() {
    m_bOkPressed = true;
}

void frmWarning::Unload() {
    if (m_form) m_form->Close();
}

}  // namespace talvex
