#include "platform/fake/FakeUi.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <poll.h>
#endif

#include <algorithm>
#include <map>
#include <stdexcept>

namespace talvex::platform {

namespace {

template <typename T>
void Erase(std::vector<T*>& list, T* item) {
    list.erase(std::remove(list.begin(), list.end(), item), list.end());
}

// A fake view only tells the fake UI when its form or timer goes away, and counts what
// a real view would have drawn again.
class FakeControlView final : public IControlView {
  public:
    void Update(UiProperty what) override { ++m_updates[what]; }
    int Updates(UiProperty what) const {
        const auto found = m_updates.find(what);
        return found == m_updates.end() ? 0 : found->second;
    }

  private:
    std::map<UiProperty, int> m_updates;
};

class FakeFormView final : public IFormView {
  public:
    FakeFormView(std::weak_ptr<FakeUi*> ui, Form& form) : m_ui(std::move(ui)), m_form(form) {}
    ~FakeFormView() override {
        if (auto ui = m_ui.lock()) (*ui)->Forget(&m_form);
    }
    void Update(UiProperty what) override {
        if (what == UiProperty::Visible && m_form.Visible()) m_form.NotifyShown();
    }
    std::unique_ptr<IControlView> CreateControlView(Control&) override {
        return std::make_unique<FakeControlView>();
    }
    WindowHandle Handle() override { return m_handle; }
    void Activate() override {}
    void SetHandle(WindowHandle handle) { m_handle = handle; }

  private:
    std::weak_ptr<FakeUi*> m_ui;
    Form& m_form;
    WindowHandle m_handle = 0;
};

class FakeTimerView final : public ITimerView {
  public:
    FakeTimerView(std::weak_ptr<FakeUi*> ui, Timer& timer) : m_ui(std::move(ui)), m_timer(timer) {}
    ~FakeTimerView() override {
        if (auto ui = m_ui.lock()) (*ui)->Forget(&m_timer);
    }
    void Update() override {
        if (m_timer.Enabled() == m_enabled) return;
        m_enabled = m_timer.Enabled();
        if (auto ui = m_ui.lock()) (*ui)->Note(m_enabled ? "TimerOn" : "TimerOff");
    }

  private:
    std::weak_ptr<FakeUi*> m_ui;
    Timer& m_timer;
    bool m_enabled = false;
};

class FakeDescriptorWatch final : public DescriptorWatch {
  public:
    explicit FakeDescriptorWatch(std::shared_ptr<FakeUi::Watch> watch)
        : m_watch(std::move(watch)) {}
    ~FakeDescriptorWatch() override { m_watch->alive = false; }
    FakeDescriptorWatch(const FakeDescriptorWatch&) = delete;
    FakeDescriptorWatch& operator=(const FakeDescriptorWatch&) = delete;

  private:
    std::shared_ptr<FakeUi::Watch> m_watch;
};

// Whether a read would not wait: data, or the other end gone.
bool Readable(int fd) {
#ifdef _WIN32
    // Windows has no poll for pipes: the pipe is asked how much waits in it.
    DWORD waiting = 0;
    const auto pipe = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    if (pipe == INVALID_HANDLE_VALUE) return false;
    return !::PeekNamedPipe(pipe, nullptr, 0, nullptr, &waiting, nullptr) || waiting > 0;
#else
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLIN | POLLHUP | POLLERR)) != 0;
#endif
}

}  // namespace

// ---- FakeTrayIcon ----

FakeTrayIcon::FakeTrayIcon(std::function<void(FakeTrayIcon*)> onDestroy,
                           std::function<void(const std::string&)> note)
    : m_onDestroy(std::move(onDestroy)), m_note(std::move(note)) {}

FakeTrayIcon::~FakeTrayIcon() {
    if (m_onDestroy) m_onDestroy(this);
}

void FakeTrayIcon::ToolTip(const std::string& text) {
    m_note("ToolTip");
    m_toolTip = text;
}

void FakeTrayIcon::AddIcon(Form& owner, std::int32_t, const std::string& toolTip) {
    m_note("AddIcon");
    ++m_addCalls;
    m_shown = true;
    m_icon = owner.Icon();
    m_toolTip = toolTip;
}

void FakeTrayIcon::RemoveIcon() {
    m_note("RemoveIcon");
    ++m_removeCalls;
    m_shown = false;
}

void FakeTrayIcon::ShowBalloon(std::int32_t kind, const std::string& message,
                               const std::string& title, std::int32_t milliseconds) {
    m_note("ShowBalloon");
    m_balloons.push_back({kind, message, title, milliseconds});
}

void FakeTrayIcon::IconHandle(const Picture& picture) {
    m_note("IconHandle");
    m_icon = picture;
}

void FakeTrayIcon::Mouse(std::int32_t message) {
    if (m_shown && OnTrayMouseEvent) OnTrayMouseEvent(message);
}

// ---- FakeUi ----

FakeUi::FakeUi() : m_self(std::make_shared<FakeUi*>(this)) {}

FakeUi::~FakeUi() = default;

Form* FakeUi::FindForm(const std::string& name) const {
    for (auto it = m_forms.rbegin(); it != m_forms.rend(); ++it) {
        if ((*it)->Name() == name) return *it;
    }
    return nullptr;
}

Control& FakeUi::Ctl(const std::string& form, const std::string& name, std::int16_t index) const {
    Form* f = FindForm(form);
    if (!f) throw std::out_of_range("no form " + form);
    Control* c = f->Find(name, index);
    if (!c) throw std::out_of_range("no control " + name + " on " + form);
    return *c;
}

int FakeUi::Updates(const Control& control, UiProperty what) {
    const auto* view = dynamic_cast<const FakeControlView*>(control.View());
    return view ? view->Updates(what) : 0;
}

void FakeUi::SetFormHandle(Form& form, WindowHandle handle) {
    if (auto* view = dynamic_cast<FakeFormView*>(form.View())) view->SetHandle(handle);
}

void FakeUi::FireTimers() {
    if (Ended()) return;
    // A tick may create or destroy timers, so walk a copy and skip the gone ones.
    const std::vector<Timer*> timers = m_timers;
    for (Timer* timer : timers) {
        if (Ended()) return;
        if (std::find(m_timers.begin(), m_timers.end(), timer) != m_timers.end()) timer->Fire();
    }
}

void FakeUi::RunPosted() {
    while (!m_posted.empty() && !Ended()) {
        auto work = std::move(m_posted.front());
        m_posted.pop_front();
        if (work) work();
    }
}

void FakeUi::ProcessPending() {
    RunPosted();
    DeliverReadable();
}

int FakeUi::DeliverReadable() {
    std::erase_if(m_watches, [](const auto& watch) { return !watch->alive; });
    // A handler may end watches or start new ones: walk a copy, skip the ended ones.
    const auto watches = m_watches;
    int delivered = 0;
    for (const auto& watch : watches) {
        if (Ended()) break;
        if (!watch->alive || !Readable(watch->fd)) continue;
        ++delivered;
        watch->onReadable();
    }
    return delivered;
}

std::vector<int> FakeUi::WatchedDescriptors() const {
    std::vector<int> fds;
    for (const auto& watch : m_watches) {
        if (watch->alive) fds.push_back(watch->fd);
    }
    return fds;
}

std::unique_ptr<DescriptorWatch> FakeUi::WatchDescriptor(int fd, std::function<void()> onReadable) {
    if (fd < 0 || !onReadable) return nullptr;
    auto watch = std::make_shared<Watch>(Watch{fd, std::move(onReadable)});
    m_watches.push_back(watch);
    return std::make_unique<FakeDescriptorWatch>(watch);
}

void FakeUi::DoEvents() {
    ++m_doEventsCalls;
    RunPosted();
    DeliverReadable();
    if (onDoEvents && !Ended()) onDoEvents();
}

void FakeUi::RequestEnd(CloseReason reason) {
    if (m_mainForm && !Ended()) m_mainForm->RequestClose(reason);
}

std::unique_ptr<Form> FakeUi::CreateForm(const std::string& name) {
    auto form = std::make_unique<Form>(name);
    form->AttachView(std::make_unique<FakeFormView>(m_self, *form));
    m_forms.push_back(form.get());
    if (onFormCreated) onFormCreated(*form);
    return form;
}

std::unique_ptr<Timer> FakeUi::CreateTimer() {
    auto timer = std::make_unique<Timer>();
    timer->AttachView(std::make_unique<FakeTimerView>(m_self, *timer));
    m_timers.push_back(timer.get());
    return timer;
}

std::unique_ptr<ITrayIcon> FakeUi::CreateTrayIcon() {
    std::weak_ptr<FakeUi*> weak = m_self;
    auto tray = std::make_unique<FakeTrayIcon>(
        [weak](FakeTrayIcon* gone) {
            if (auto ui = weak.lock()) Erase((*ui)->m_trays, gone);
        },
        [weak](const std::string& entry) {
            if (auto ui = weak.lock()) (*ui)->Note(entry);
        });
    m_trays.push_back(tray.get());
    return tray;
}

void FakeUi::Note(const std::string& entry) {
    m_journal.push_back(entry);
    if (onJournal) onJournal(entry);
}

void FakeUi::PopupMenu(MenuItem& menu, const MenuItem* defaultItem) {
    Note("Popup");
    PopupCall call{menu.Name(), defaultItem ? defaultItem->Name() : std::string{}, {}};
    if (!m_popupChoices.empty()) {
        const std::string choice = m_popupChoices.front();
        m_popupChoices.pop_front();
        MenuItem* item = menu.Find(choice);
        if (item && item != &menu) {
            m_popups.push_back(call);
            if (item->Choose()) m_popups.back().chosen = choice;
            return;
        }
    }
    m_popups.push_back(call);
}

MsgBoxResult FakeUi::MsgBox(const std::string& text, std::int32_t style, const std::string& title) {
    Note("MsgBox");
    m_msgBoxes.push_back({text, style, title});
    const bool yesNo = (style & 7) == vbYesNo;
    if (!m_msgAnswers.empty()) {
        const MsgBoxResult answer = m_msgAnswers.front();
        m_msgAnswers.pop_front();
        if (answer != kEnter) return answer;
        if (!yesNo) return vbOK;
        return (style & vbDefaultButton2) != 0 ? vbNo : vbYes;
    }
    return yesNo ? vbNo : vbOK;
}

namespace {

// What a focused control does with a key by itself, as the desktop's controls do.
bool ControlKey(Control& control, std::int32_t keyCode) {
    switch (control.Kind()) {
        case ControlKind::CheckBox:
        case ControlKind::OptionButton:
        case ControlKind::PushButton:
            if (keyCode != vbKeySpace) return false;
            control.UserClick();
            return true;
        case ControlKind::ListBox:
        case ControlKind::ReportList: {
            const std::int32_t last = control.ListCount() - 1;
            const std::int32_t at = control.ListIndex();
            std::int32_t to = at;
            if (keyCode == vbKeyUp) to = at < 0 ? 0 : at - 1;
            if (keyCode == vbKeyDown) to = at + 1;
            if (keyCode == vbKeyHome) to = 0;
            if (keyCode == vbKeyEnd) to = last;
            if (to == at && keyCode != vbKeyHome && keyCode != vbKeyEnd) return false;
            if (last >= 0) control.UserSelect(std::clamp(to, 0, last));
            return true;
        }
        case ControlKind::Slider: {
            constexpr std::int32_t kPageStep = 10;
            const std::int32_t value = control.Value();
            switch (keyCode) {
                case vbKeyLeft:
                case vbKeyDown:
                    control.UserSlide(value - 1);
                    return true;
                case vbKeyRight:
                case vbKeyUp:
                    control.UserSlide(value + 1);
                    return true;
                case vbKeyPageDown:
                    control.UserSlide(value - kPageStep);
                    return true;
                case vbKeyPageUp:
                    control.UserSlide(value + kPageStep);
                    return true;
                case vbKeyHome:
                    control.UserSlide(control.Min());
                    return true;
                case vbKeyEnd:
                    control.UserSlide(control.Max());
                    return true;
                default:
                    return false;
            }
        }
        case ControlKind::TextBox:
            if (keyCode != vbKeyBack) return false;
            control.UserKeyPress(8);
            return true;
        default:
            return false;
    }
}

}  // namespace

bool FakeUi::PressKey(Form& form, std::int32_t keyCode, int shift) {
    if (Ended()) return false;
    if (form.PreviewKey(keyCode, shift)) return true;
    if (keyCode == vbKeyTab && (shift & (vbCtrlMask | vbAltMask)) == 0) {
        form.FocusNext((shift & vbShiftMask) != 0);
        return true;
    }
    Control* active = form.ActiveControl();
    if (active && shift == 0 && ControlKey(*active, keyCode)) return true;
    return form.DialogKey(keyCode, shift);
}

void FakeUi::TypeText(Form& form, const std::string& text) {
    Control* active = form.ActiveControl();
    if (!active || active->Kind() != ControlKind::TextBox) return;
    for (const char c : text) active->UserKeyPress(static_cast<unsigned char>(c));
}

std::string FakeUi::InputBox(const std::string& prompt, const std::string& title,
                             const std::string& defaultText) {
    Note("InputBox");
    m_inputBoxes.push_back({prompt, title, defaultText});
    if (m_inputAnswers.empty()) return {};
    std::string answer = m_inputAnswers.front();
    m_inputAnswers.pop_front();
    return answer;
}

int FakeUi::Run() {
    RunPosted();
    return m_exitCode.value_or(0);
}

void FakeUi::EndProgram(int exitCode) {
    Note("EndProgram");
    if (!m_exitCode) m_exitCode = exitCode;
    m_posted.clear();
}

void FakeUi::Forget(Form* form) {
    Erase(m_forms, form);
    if (m_mainForm == form) m_mainForm = nullptr;
}

void FakeUi::Forget(Timer* timer) {
    Erase(m_timers, timer);
}

}  // namespace talvex::platform
