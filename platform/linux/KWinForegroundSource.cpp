#include "platform/linux/KWinForegroundSource.h"

#include <systemd/sd-bus.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <functional>

#include "platform/linux/AtomicFile.h"

namespace talvex::platform {

namespace {

// A call to KWin's scripting object; false when it failed.
bool CallKWin(sd_bus* bus, const char* path, const char* interface, const char* method,
              sd_bus_message** reply, const char* types, const std::string* a = nullptr,
              const std::string* b = nullptr) {
    sd_bus_error error{};  // SD_BUS_ERROR_NULL, which is a C compound literal
    int r = 0;
    if (a && b) {
        r = sd_bus_call_method(bus, "org.kde.KWin", path, interface, method, &error, reply, types,
                               a->c_str(), b->c_str());
    } else if (a) {
        r = sd_bus_call_method(bus, "org.kde.KWin", path, interface, method, &error, reply, types,
                               a->c_str());
    } else {
        r = sd_bus_call_method(bus, "org.kde.KWin", path, interface, method, &error, reply,
                               nullptr);
    }
    sd_bus_error_free(&error);
    return r >= 0;
}

}  // namespace

KWinForegroundSource::KWinForegroundSource(std::string busAddress, std::string scriptFolder,
                                           CompositorWindowApi& windows, int reportWaitMs)
    : m_address(std::move(busAddress)),
      m_scriptPath(std::move(scriptFolder) + "/talvex-foreground.js"),
      m_windows(windows),
      m_reportWaitMs(reportWaitMs) {}

KWinForegroundSource::~KWinForegroundSource() {
    Stop();
}

std::string KWinForegroundSource::ScriptText(const std::string& busName) {
    // Plasma 6 says windowActivated and activeWindow, Plasma 5 clientActivated and
    // activeClient; the window's internalId tells windows of one program apart.
    return "// Written by Talvex: tells it which window is active.\n"
           "function talvexReport(window) {\n"
           "    callDBus(\"" +
           busName + "\", \"" + kPath + "\", \"" + kInterface +
           "\", \"Activated\",\n"
           "             window ? window.pid : 0, window ? String(window.caption) : \"\",\n"
           "             window ? String(window.internalId) : \"\");\n"
           "}\n"
           "// The active window's caption is followed as it changes.\n"
           "var talvexWatched = null;\n"
           "function talvexCaptionChanged() {\n"
           "    talvexReport(talvexWatched);\n"
           "}\n"
           "function talvexFollow(window) {\n"
           "    if (talvexWatched) {\n"
           "        try {\n"
           "            talvexWatched.captionChanged.disconnect(talvexCaptionChanged);\n"
           "        } catch (e) {\n"
           "        }\n"
           "    }\n"
           "    talvexWatched = window;\n"
           "    if (window) window.captionChanged.connect(talvexCaptionChanged);\n"
           "    talvexReport(window);\n"
           "}\n"
           "if (workspace.windowActivated) {\n"
           "    workspace.windowActivated.connect(talvexFollow);\n"
           "    talvexFollow(workspace.activeWindow);\n"
           "} else {\n"
           "    workspace.clientActivated.connect(talvexFollow);\n"
           "    talvexFollow(workspace.activeClient);\n"
           "}\n";
}

bool KWinForegroundSource::Start(IUiServices& ui, OnChange onChange) {
    Stop();
    m_bus = std::make_unique<DbusConnection>(m_address);
    // A restarted KWin is a new connection, which knows nothing of the script.
    m_kwin = m_bus->TrackOwner("org.kde.KWin", [this](const std::string& owner) {
        m_kwin = owner;
        if (!owner.empty() && m_listening) m_reload = true;
    });
    if (!m_bus->Connected() || m_kwin.empty() ||
        sd_bus_add_object(m_bus->Bus(), &m_object, kPath, &KWinForegroundSource::OnActivated,
                          this) < 0 ||
        !LoadScript() || !ScriptReports()) {
        Stop();
        return false;
    }
    m_onChange = std::move(onChange);
    m_listening = m_bus->Watch(
        ui, [this] { Announce(); }, [this] { Broken(); });
    if (!m_listening) Stop();
    return m_listening;
}

bool KWinForegroundSource::LoadScript() {
    if (!ReplaceFileContentsUntilRestart(m_scriptPath, ScriptText(m_bus->UniqueName()), 0600)) {
        return false;
    }
    sd_bus* bus = m_bus->Bus();
    const std::string plugin = kPluginName;
    if (!UnloadEarlierScript()) return false;
    sd_bus_message* reply = nullptr;
    int id = -1;
    if (!CallKWin(bus, "/Scripting", "org.kde.kwin.Scripting", "loadScript", &reply, "ss",
                  &m_scriptPath, &plugin) ||
        sd_bus_message_read(reply, "i", &id) < 0 || id < 0) {
        sd_bus_message_unref(reply);
        return false;
    }
    sd_bus_message_unref(reply);
    m_loaded = true;
    // Plasma 6 keeps a loaded script at /Scripting/ScriptN, Plasma 5 at /N.
    const std::string plasma6 = "/Scripting/Script" + std::to_string(id);
    const std::string plasma5 = "/" + std::to_string(id);
    return CallKWin(bus, plasma6.c_str(), "org.kde.kwin.Script", "run", nullptr, "") ||
           CallKWin(bus, plasma5.c_str(), "org.kde.kwin.Script", "run", nullptr, "") ||
           CallKWin(bus, "/Scripting", "org.kde.kwin.Scripting", "start", nullptr, "");
}

// A script of an earlier run under the same name would keep the new one out: it is
// unloaded first. A KWin that has just taken its name on the bus (a restarted one) makes
// its scripting object a moment later, and calls to it fail as calls to an object that
// is not there: the call is made again until it is there, for at most kScriptingWaitMs.
bool KWinForegroundSource::UnloadEarlierScript() {
    using Clock = std::chrono::steady_clock;
    sd_bus* bus = m_bus->Bus();
    const auto until = Clock::now() + std::chrono::milliseconds(kScriptingWaitMs);
    for (;;) {
        sd_bus_error error{};  // SD_BUS_ERROR_NULL, which is a C compound literal
        const int r =
            sd_bus_call_method(bus, "org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting",
                               "unloadScript", &error, nullptr, "s", kPluginName);
        const bool notYet =
            r < 0 && (sd_bus_error_has_name(&error, SD_BUS_ERROR_UNKNOWN_OBJECT) ||
                      sd_bus_error_has_name(&error, SD_BUS_ERROR_UNKNOWN_METHOD) ||
                      sd_bus_error_has_name(&error, SD_BUS_ERROR_UNKNOWN_INTERFACE));
        sd_bus_error_free(&error);
        if (!notYet) return true;
        const auto left =
            std::chrono::duration_cast<std::chrono::microseconds>(until - Clock::now()).count();
        if (left <= 0) return false;
        // What came meanwhile is handled: a KWin that went again ends the wait.
        while (sd_bus_process(bus, nullptr) > 0) {
        }
        if (m_kwin.empty()) return false;
        sd_bus_wait(bus,
                    static_cast<std::uint64_t>(std::min<std::int64_t>(left, kScriptingStepUs)));
    }
}

// KWin numbers a new script by how many are loaded, so after another script was
// unloaded the id (and `run`) may name a different script, and `run` succeeds while
// Talvex's never runs. The script reports the active window as soon as it runs: without
// that report, start() runs whatever is loaded and not yet running.
bool KWinForegroundSource::ScriptReports() {
    m_reported = false;
    if (WaitForReport()) return true;
    CallKWin(m_bus->Bus(), "/Scripting", "org.kde.kwin.Scripting", "start", nullptr, "");
    return WaitForReport();
}

// Handles the messages that come until the script has reported, at most m_reportWaitMs.
bool KWinForegroundSource::WaitForReport() {
    using Clock = std::chrono::steady_clock;
    sd_bus* bus = m_bus->Bus();
    const auto until = Clock::now() + std::chrono::milliseconds(m_reportWaitMs);
    for (;;) {
        int r = 0;
        while (!m_reported && (r = sd_bus_process(bus, nullptr)) > 0) {
        }
        if (m_reported) return true;
        const auto left =
            std::chrono::duration_cast<std::chrono::microseconds>(until - Clock::now()).count();
        if (r < 0 || left <= 0) return false;
        if (sd_bus_wait(bus, static_cast<std::uint64_t>(left)) < 0) return false;
    }
}

void KWinForegroundSource::Stop() {
    // A script loaded by a start that failed later is unloaded too.
    if (m_bus && m_loaded) {
        const std::string plugin = kPluginName;
        CallKWin(m_bus->Bus(), "/Scripting", "org.kde.kwin.Scripting", "unloadScript", nullptr, "s",
                 &plugin);
    }
    m_listening = false;
    m_loaded = false;
    m_reload = false;
    if (m_object) sd_bus_slot_unref(m_object);
    m_object = nullptr;
    m_bus.reset();
    ::unlink(m_scriptPath.c_str());
}

void KWinForegroundSource::Broken() {
    m_listening = false;
    if (m_object) sd_bus_slot_unref(m_object);
    m_object = nullptr;
    m_windows.Clear();
    if (m_onChange) m_onChange({});
}

int KWinForegroundSource::OnActivated(sd_bus_message* message, void* self, sd_bus_error* error) {
    auto& source = *static_cast<KWinForegroundSource*>(self);
    const char* sender = sd_bus_message_get_sender(message);
    if (!sd_bus_message_is_method_call(message, kInterface, "Activated")) return 0;
    if (!sender || sender != source.m_kwin) {
        return sd_bus_error_set(error, SD_BUS_ERROR_ACCESS_DENIED, "only KWin tells Talvex");
    }
    std::int32_t pid = 0;
    const char* caption = nullptr;
    const char* id = nullptr;
    if (sd_bus_message_read(message, "iss", &pid, &caption, &id) < 0) {
        return sd_bus_error_set(error, SD_BUS_ERROR_INVALID_ARGS, "expected pid, caption, id");
    }
    ForegroundChange front;
    if (id && *id)
        front = {source.m_windows.HandleFor(id), pid > 0 ? pid : 0, caption ? caption : ""};
    source.m_windows.SetFront(front);
    source.m_changed = true;
    source.m_reported = true;
    const int r = sd_bus_reply_method_return(message, "");
    return r < 0 ? r : 1;
}

// Once every message waiting was read: a new KWin is given the script; only the newest
// front counts.
void KWinForegroundSource::Announce() {
    if (m_reload) {
        m_reload = false;
        if (!LoadScript() || !ScriptReports()) {
            m_listening = false;
            m_windows.Clear();
            if (m_onChange) m_onChange({});
            return;
        }
    }
    if (!m_changed) return;
    m_changed = false;
    if (m_onChange) m_onChange(FrontNow(m_windows));
}

}  // namespace talvex::platform
