#pragma once
// User-interface services: forms with controls, timers, the tray icon, popup menus,
// modal message and input boxes, and the event loop. Everything above the platform
// layer builds its windows through this interface only; backends: fake/ (tests) and
// qt/ (Linux desktop).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ITrayIcon.h"
#include "platform/UiForm.h"
#include "platform/UiMenu.h"
#include "platform/UiTimer.h"
#include "platform/UiTypes.h"

namespace talvex::platform {

/// A descriptor the event loop watches; destroying it ends the watch (also from inside
/// its own handler).
class DescriptorWatch {
  public:
    virtual ~DescriptorWatch() = default;
};

class IUiServices {
  public:
    virtual ~IUiServices() = default;

    /// A new, hidden form drawn by this backend.
    virtual std::unique_ptr<Form> CreateForm(const std::string& name) = 0;
    /// A new timer, off, driven by this backend's event loop.
    virtual std::unique_ptr<Timer> CreateTimer() = 0;
    /// A tray icon object; nothing is shown before AddIcon.
    virtual std::unique_ptr<ITrayIcon> CreateTrayIcon() = 0;
    /// Whether the desktop has a notification area now.
    virtual bool IsTrayAvailable() = 0;

    /// Opens `menu`'s items as a popup at the mouse position, `defaultItem` in bold,
    /// and returns when it closes; a chosen item's OnClick has run by then.
    virtual void PopupMenu(MenuItem& menu, const MenuItem* defaultItem) = 0;
    /// Modal message box; `style` combines MsgBoxStyle values. An empty title means
    /// the program's title.
    virtual MsgBoxResult MsgBox(const std::string& text, std::int32_t style,
                                const std::string& title) = 0;
    /// Modal input box; the empty text when the user cancels.
    virtual std::string InputBox(const std::string& prompt, const std::string& title,
                                 const std::string& defaultText) = 0;
    /// Handles the events that are waiting (timer ticks, clicks, menu commands) and
    /// returns; lets a handler wait for the user without blocking the program.
    virtual void DoEvents() = 0;
    /// Like DoEvents, but first waits up to `maxMilliseconds` for an event when none is
    /// waiting, so that a loop waiting for the user does not keep the processor busy.
    virtual void WaitEvents(std::int32_t maxMilliseconds) = 0;
    /// Runs `work` on the user-interface thread once the present handler has returned.
    virtual void Post(std::function<void()> work) = 0;
    /// Runs `onReadable` from the event loop (DoEvents and WaitEvents included) whenever
    /// `fd` has something to read or has reached its end, until the returned watch is
    /// destroyed. The handler must read what is waiting, or it runs again at once.
    /// Null when this backend cannot watch descriptors.
    virtual std::unique_ptr<DescriptorWatch> WatchDescriptor(int fd,
                                                             std::function<void()> onReadable) {
        (void)fd;
        (void)onReadable;
        return nullptr;
    }

    /// The language the desktop speaks to its user, as its two-letter code ("de",
    /// "fr", "en"...); empty when the desktop does not say.
    virtual std::string SystemLanguage() = 0;
    /// The program now speaks this language ("DE", "EN" or "FR"): the backend's own
    /// texts (the buttons of message and input boxes) follow it.
    virtual void SetLanguage(const std::string& sLanguage) = 0;

    /// Screen size in twips and the twips of one pixel.
    virtual std::int32_t ScreenWidth() = 0;
    virtual std::int32_t ScreenHeight() = 0;
    virtual std::int32_t TwipsPerPixelX() = 0;
    virtual std::int32_t TwipsPerPixelY() = 0;
    /// Every screen of the desktop, in twips on the desktop's coordinates; the one
    /// screen of ScreenWidth and ScreenHeight where the backend knows no more.
    virtual std::vector<TwipsRect> ScreenRects() = 0;

    /// The form that the desktop asks to close when the session ends or the program
    /// is told to end (RequestClose with SessionEnd or TaskManager).
    virtual void SetMainForm(Form* form) = 0;
    /// Runs the event loop until EndProgram; returns the exit code.
    virtual int Run() = 0;
    /// Ends the program at once with the exit code, whatever windows are open.
    virtual void EndProgram(int exitCode) = 0;
};

}  // namespace talvex::platform
