#pragma once
// A headless KWin of the tests' own: kwin_wayland on its virtual backend, with a private
// session bus, in a folder of its own, run as the user running the tests. Windows are
// found and activated by small KWin scripts of the tests' own, loaded over D-Bus as any
// KWin script is; each script answers by calling back on the bus. Everything started
// here is ended by its pid.

#include <sys/types.h>
#include <systemd/sd-bus.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace talvex::testing {

class KWinSession {
  public:
    /// What a script of the session's own answered.
    struct Answer {
        bool found = false;      // a window of the process was there
        double activatedMs = 0;  // when KWin was told to activate it (CLOCK_REALTIME, ms)
    };

    KWinSession();
    ~KWinSession();
    KWinSession(const KWinSession&) = delete;
    KWinSession& operator=(const KWinSession&) = delete;

    bool Ready() const { return m_ready; }
    /// Why the session is not there (for a skip message).
    const std::string& Why() const { return m_why; }
    /// The session bus KWin is on.
    const std::string& BusAddress() const { return m_address; }
    /// The session's private folder (its runtime folder).
    const std::string& Folder() const { return m_folder; }
    /// Ends KWin (its windows go with it) and starts a new one on the same bus and socket;
    /// `meanwhile` runs again and again while the new one comes up.
    bool Restart(const std::function<void()>& meanwhile);
    /// The environment of a Wayland client of this KWin.
    std::vector<std::string> ClientEnvironment() const;

    /// Activates the window of process `pid`, as a user's click or key binding would;
    /// true once KWin's script found it.
    bool Activate(pid_t pid);
    /// Whether KWin manages a window of process `pid` now.
    bool Shows(pid_t pid);
    /// Asks KWin to activate (or only look for) the window of `pid` and returns at once;
    /// the script's answer is taken with TakeAnswer().
    bool Ask(pid_t pid, bool activate);
    /// The answer to the last Ask, waiting at most `ms`; the script is unloaded then.
    std::optional<Answer> TakeAnswer(int ms = 5000);

    /// Loads a script file of `text` under `plugin` without running it; its id or -1.
    int LoadScript(const std::string& plugin, const std::string& text);
    bool UnloadScript(const std::string& plugin);
    /// Whether KWin holds a script named `plugin` (loaded, not yet unloaded).
    bool IsScriptLoaded(const std::string& plugin);
    /// Runs every script loaded and not yet running (KWin's own start).
    bool StartScripts();

  private:
    bool StartBus();
    bool StartKWin(const std::function<void()>& meanwhile = {});
    bool Up();
    bool Call(const char* path, const char* interface, const char* method, sd_bus_message** reply,
              const char* types, const std::string* a = nullptr, const std::string* b = nullptr);
    static int OnAnswer(sd_bus_message* message, void* self, sd_bus_error* error);
    std::string LogTail() const;

    std::string m_folder, m_address, m_display, m_why;
    pid_t m_bus = -1, m_kwin = -1;
    sd_bus* m_connection = nullptr;
    sd_bus_slot* m_object = nullptr;
    bool m_ready = false;
    int m_asked = 0;  // number of the last script asked
    std::optional<Answer> m_answer;
};

}  // namespace talvex::testing
