#pragma once
// Foreground announcements of KWin (Plasma 5 and 6): a small KWin script, loaded over
// D-Bus (org.kde.KWin /Scripting loadScript, then run), calls this connection on the
// session bus when it starts, whenever another window is activated and when the active
// window's caption changes, with the window's pid and caption. A script that never reports counts
// as not listening. Only calls from the connection that owns org.kde.KWin at the time are taken; a
// restarted KWin is given the script again.

#include <systemd/sd-bus.h>

#include <cstdint>
#include <memory>
#include <string>

#include "platform/IForegroundSource.h"
#include "platform/linux/CompositorWindowApi.h"
#include "platform/linux/DbusConnection.h"

namespace talvex::platform {

class KWinForegroundSource final : public IForegroundSource {
  public:
    /// Object path and interface the script calls, and the method's name.
    static constexpr const char* kPath = "/org/kessaly/Talvex";
    static constexpr const char* kInterface = "org.kessaly.Talvex.Foreground";
    static constexpr const char* kPluginName = "talvex-foreground";

    /// How long the script is given to report once it was run (and once more after
    /// start()).
    static constexpr int kReportWaitMs = 1000;
    /// How long a KWin that owns its name is given to make its scripting object, and
    /// how often it is asked meanwhile.
    static constexpr int kScriptingWaitMs = 3000;
    static constexpr std::int64_t kScriptingStepUs = 25000;

    /// `busAddress` empty: the session bus. `scriptFolder` receives the script file.
    KWinForegroundSource(std::string busAddress, std::string scriptFolder,
                         CompositorWindowApi& windows, int reportWaitMs = kReportWaitMs);
    ~KWinForegroundSource() override;
    KWinForegroundSource(const KWinForegroundSource&) = delete;
    KWinForegroundSource& operator=(const KWinForegroundSource&) = delete;

    /// The script's text for a connection named `busName`.
    static std::string ScriptText(const std::string& busName);

    bool Start(IUiServices& ui, OnChange onChange) override;
    bool Listening() const override { return m_listening; }
    void Stop() override;
    std::string Name() const override { return "KWin"; }
    std::string UnreachableDesktop() const override { return {}; }  // it follows its own

  private:
    void Announce();
    static int OnActivated(sd_bus_message* message, void* self, sd_bus_error* error);
    bool LoadScript();
    bool UnloadEarlierScript();
    bool ScriptReports();
    bool WaitForReport();
    void Broken();

    std::string m_address, m_scriptPath;
    CompositorWindowApi& m_windows;
    std::unique_ptr<DbusConnection> m_bus;
    sd_bus_slot* m_object = nullptr;
    std::string m_kwin;  // the connection that owns org.kde.KWin
    bool m_listening = false;
    bool m_loaded = false;  // KWin holds the script
    bool m_reload = false;  // KWin was restarted: the script is loaded again
    int m_reportWaitMs;
    bool m_changed = false;   // by the messages of the present dispatch
    bool m_reported = false;  // the script called since it was (re)loaded
    OnChange m_onChange;
};

}  // namespace talvex::platform
