#pragma once
// In-memory user interface for tests. Implements the user-interface services without a
// display: it records every form, control, timer, tray icon, popup menu, message box
// and input box, and lets a test click, type, choose menu items, answer the modal
// boxes, fire the timers and run the pending events (see the control methods below).

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/IUiServices.h"

namespace talvex::platform {

/// The tray icon as a test sees it.
class FakeTrayIcon final : public ITrayIcon {
  public:
    struct Balloon {
        std::int32_t kind = 0;
        std::string message, title;
        std::int32_t milliseconds = 0;
    };

    FakeTrayIcon(std::function<void(FakeTrayIcon*)> onDestroy,
                 std::function<void(const std::string&)> note);
    ~FakeTrayIcon() override;

    void ToolTip(const std::string& text) override;
    void AddIcon(Form& owner, std::int32_t id, const std::string& toolTip) override;
    void RemoveIcon() override;
    void ShowBalloon(std::int32_t kind, const std::string& message, const std::string& title,
                     std::int32_t milliseconds) override;
    void IconHandle(const Picture& picture) override;

    /// A mouse message on the icon; delivered only while the icon is shown.
    void Mouse(std::int32_t message);

    bool Shown() const { return m_shown; }
    const std::string& CurrentToolTip() const { return m_toolTip; }
    const Picture& CurrentIcon() const { return m_icon; }
    const std::vector<Balloon>& Balloons() const { return m_balloons; }
    int AddCalls() const { return m_addCalls; }
    int RemoveCalls() const { return m_removeCalls; }

  private:
    std::function<void(FakeTrayIcon*)> m_onDestroy;
    std::function<void(const std::string&)> m_note;
    bool m_shown = false;
    std::string m_toolTip;
    Picture m_icon;
    std::vector<Balloon> m_balloons;
    int m_addCalls = 0;
    int m_removeCalls = 0;
};

class FakeUi final : public IUiServices {
  public:
    struct MsgBoxCall {
        std::string text;
        std::int32_t style = 0;
        std::string title;
    };
    struct InputBoxCall {
        std::string prompt, title, defaultText;
    };
    struct PopupCall {
        std::string menu;         // name of the top item
        std::string defaultItem;  // name of the bold item; empty for none
        std::string chosen;       // name of the item chosen; empty when none was
    };

    FakeUi();
    ~FakeUi() override;

    // ---- control interface for tests ----
    /// The live form of that name (the newest when several share it); null when none.
    Form* FindForm(const std::string& name) const;
    /// The control; throws std::out_of_range when the form or control does not exist.
    Control& Ctl(const std::string& form, const std::string& name, std::int16_t index = -1) const;
    /// How often the control's view was told that this changed (a real view redraws
    /// that part then).
    static int Updates(const Control& control, UiProperty what);
    /// The desktop handle the form reports (0 unless set), e.g. a window of a fake desktop.
    void SetFormHandle(Form& form, WindowHandle handle);
    /// Called with every new form, e.g. to give it a window handle.
    std::function<void(Form&)> onFormCreated;
    /// The newest live tray icon; null when none.
    FakeTrayIcon* Tray() const { return m_trays.empty() ? nullptr : m_trays.back(); }
    /// Every live timer, oldest first.
    const std::vector<Timer*>& Timers() const { return m_timers; }
    /// One tick of every enabled timer; nothing once the program has ended.
    void FireTimers();
    /// Runs what was posted, as the event loop would, until nothing is waiting, and
    /// then the handlers of the watched descriptors that have something to read.
    void ProcessPending();
    /// Runs, once each, the handlers of the watched descriptors that have something to
    /// read now (real descriptors, asked with poll); returns how many ran. DoEvents and
    /// ProcessPending do this too.
    int DeliverReadable();
    /// The descriptors watched now, oldest watch first.
    std::vector<int> WatchedDescriptors() const;
    /// Called on every DoEvents (after the posted work), e.g. to press a button.
    std::function<void()> onDoEvents;
    int DoEventsCalls() const { return m_doEventsCalls; }

    /// A key pressed on the form, as a desktop would handle it: the form's and the
    /// focused control's key handlers first, then what the control itself does with
    /// the key (Tab moves the focus, Space toggles a box or presses a button, the arrow
    /// keys move in a list or a slider), then the dialog keys (Enter, Escape, Alt and a
    /// letter). True when something used the key.
    bool PressKey(Form& form, std::int32_t keyCode, int shift = 0);
    /// Types text into the focused text box, character by character.
    void TypeText(Form& form, const std::string& text);

    /// The next message box returns this; without an answer a box returns vbOK, or
    /// vbNo for Yes/No boxes (or vbYes when vbDefaultButton2 is not set and the box is
    /// answered with Enter: see AnswerMsgBoxWithEnter).
    void AnswerMsgBox(MsgBoxResult answer) { m_msgAnswers.push_back(answer); }
    /// The next message box is answered with Enter: its default button.
    void AnswerMsgBoxWithEnter() { m_msgAnswers.push_back(kEnter); }
    const std::vector<MsgBoxCall>& MsgBoxes() const { return m_msgBoxes; }
    /// The next input box returns this text; without an answer it is cancelled ("").
    void AnswerInputBox(const std::string& text) { m_inputAnswers.push_back(text); }
    const std::vector<InputBoxCall>& InputBoxes() const { return m_inputBoxes; }
    /// The next popup menu chooses the item of this name; without one it closes
    /// with nothing chosen.
    void ChooseInNextPopup(const std::string& item) { m_popupChoices.push_back(item); }
    const std::vector<PopupCall>& Popups() const { return m_popups; }

    /// What happened, in order: "AddIcon", "ToolTip", "ShowBalloon", "IconHandle",
    /// "RemoveIcon", "TimerOn", "TimerOff", "Popup", "MsgBox", "InputBox", "EndProgram".
    const std::vector<std::string>& Journal() const { return m_journal; }
    /// Called with each journal entry as it is made.
    std::function<void(const std::string&)> onJournal;
    void Note(const std::string& entry);

    void SetTrayAvailable(bool available) { m_trayAvailable = available; }
    /// What SystemLanguage answers ("" by default: the desktop does not say).
    void SetSystemLanguage(const std::string& code) { m_systemLanguage = code; }
    /// The language the program last asked the backend's own texts to speak.
    const std::string& Language() const { return m_language; }
    /// The desktop asks the main form to close (session end, termination signal).
    void RequestEnd(CloseReason reason);
    /// Exit code once EndProgram ran.
    std::optional<int> ExitCode() const { return m_exitCode; }
    bool Ended() const { return m_exitCode.has_value(); }

    // ---- IUiServices ----
    std::unique_ptr<Form> CreateForm(const std::string& name) override;
    std::unique_ptr<Timer> CreateTimer() override;
    std::unique_ptr<ITrayIcon> CreateTrayIcon() override;
    bool IsTrayAvailable() override { return m_trayAvailable; }
    std::string SystemLanguage() override { return m_systemLanguage; }
    void SetLanguage(const std::string& sLanguage) override { m_language = sLanguage; }
    void PopupMenu(MenuItem& menu, const MenuItem* defaultItem) override;
    MsgBoxResult MsgBox(const std::string& text, std::int32_t style,
                        const std::string& title) override;
    std::string InputBox(const std::string& prompt, const std::string& title,
                         const std::string& defaultText) override;
    void DoEvents() override;
    /// Nothing to wait for in memory: the same as DoEvents.
    void WaitEvents(std::int32_t) override { DoEvents(); }
    void Post(std::function<void()> work) override { m_posted.push_back(std::move(work)); }
    std::unique_ptr<DescriptorWatch> WatchDescriptor(int fd,
                                                     std::function<void()> onReadable) override;
    std::int32_t ScreenWidth() override { return 1920 * 15; }
    std::int32_t ScreenHeight() override { return 1080 * 15; }
    std::int32_t TwipsPerPixelX() override { return 15; }
    std::int32_t TwipsPerPixelY() override { return 15; }
    /// The one 1920 x 1080 screen unless a test sets others.
    std::vector<TwipsRect> ScreenRects() override {
        if (m_screens.empty()) return {{0, 0, ScreenWidth(), ScreenHeight()}};
        return m_screens;
    }
    void SetScreenRects(std::vector<TwipsRect> screens) { m_screens = std::move(screens); }
    void SetMainForm(Form* form) override { m_mainForm = form; }
    int Run() override;
    void EndProgram(int exitCode) override;

    // Used by the views to keep the records current.
    void Forget(Form* form);
    void Forget(Timer* timer);

    struct Watch {
        int fd = -1;
        std::function<void()> onReadable;
        bool alive = true;
    };

  private:
    // Stands for "the default button" among the queued answers.
    static constexpr MsgBoxResult kEnter = static_cast<MsgBoxResult>(-1);
    void RunPosted();

    std::vector<TwipsRect> m_screens;
    std::vector<Form*> m_forms;
    std::vector<Timer*> m_timers;
    std::vector<FakeTrayIcon*> m_trays;
    std::deque<std::function<void()>> m_posted;
    std::vector<std::shared_ptr<Watch>> m_watches;
    std::deque<MsgBoxResult> m_msgAnswers;
    std::vector<MsgBoxCall> m_msgBoxes;
    std::deque<std::string> m_inputAnswers;
    std::vector<InputBoxCall> m_inputBoxes;
    std::deque<std::string> m_popupChoices;
    std::vector<PopupCall> m_popups;
    std::vector<std::string> m_journal;
    Form* m_mainForm = nullptr;
    bool m_trayAvailable = true;
    std::string m_systemLanguage;
    std::string m_language;
    std::optional<int> m_exitCode;
    int m_doEventsCalls = 0;
    // Views hold a weak reference, so forms and timers may outlive this object.
    std::shared_ptr<FakeUi*> m_self;
};

}  // namespace talvex::platform
