#include "tests/linux/KWinSession.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/WaitFor.h"
#include "tests/linux/LinuxTestSupport.h"

extern char** environ;

namespace talvex::testing {

namespace {

namespace fs = std::filesystem;

constexpr const char* kAnswerPath = "/org/talvex/TestSession";
constexpr const char* kAnswerInterface = "org.talvex.TestSession";
constexpr const char* kDisplay = "wayland-talvex";
constexpr int kStartMs = 8000;

// Ends a process of the session's own: asked first, killed when it does not go.
void End(pid_t& pid) {
    if (pid <= 0) return;
    ::kill(pid, SIGTERM);
    int status = 0;
    if (!WaitFor([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, 3000)) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
    }
    pid = -1;
}

// The first line written to `fd`, waiting at most `ms` milliseconds.
std::string FirstLine(int fd, int ms) {
    std::string line;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              until - std::chrono::steady_clock::now())
                              .count();
        pollfd p{fd, POLLIN, 0};
        char c = 0;
        if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0 || ::read(fd, &c, 1) != 1) {
            return {};
        }
        if (c == '\n') return line;
        line += c;
    }
}

std::string Which(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::stringstream folders(path ? path : "/usr/bin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        const std::string candidate = folder + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return ::access(("/usr/bin/" + program).c_str(), X_OK) == 0 ? "/usr/bin/" + program : "";
}

// A number KWin passed from its script: JavaScript numbers come as integers or doubles.
std::optional<double> ReadNumber(sd_bus_message* message) {
    char type = 0;
    if (sd_bus_message_peek_type(message, &type, nullptr) <= 0) return std::nullopt;
    union {
        std::int32_t i;
        std::uint32_t u;
        std::int64_t x;
        std::uint64_t t;
        double d;
    } value{};
    if (sd_bus_message_read_basic(message, type, &value) < 0) return std::nullopt;
    switch (type) {
        case 'i':
            return value.i;
        case 'u':
            return value.u;
        case 'x':
            return static_cast<double>(value.x);
        case 't':
            return static_cast<double>(value.t);
        case 'd':
            return value.d;
        default:
            return std::nullopt;
    }
}

// The script that looks for the window of `pid` and, if asked, activates it, then says
// so and when on the bus (Plasma 6 names windows, Plasma 5 clients).
std::string ProbeScript(const std::string& busName, int number, pid_t pid, bool activate) {
    std::ostringstream text;
    text << "(function () {\n"
            "    var modern = !!workspace.windowList;\n"
            "    var windows = modern ? workspace.windowList() : workspace.clientList();\n"
            "    var found = null;\n"
            "    for (var i = 0; i < windows.length; ++i) {\n"
            "        if (windows[i].pid === "
         << pid
         << ") found = windows[i];\n"
            "    }\n"
            "    var stamp = Date.now();\n"
            "    if (found && "
         << (activate ? "true" : "false")
         << ") {\n"
            "        if (modern) workspace.activeWindow = found;\n"
            "        else workspace.activeClient = found;\n"
            "    }\n"
            "    callDBus(\""
         << busName << "\", \"" << kAnswerPath << "\", \"" << kAnswerInterface << "\", \"Answer\", "
         << number << ", found !== null, stamp);\n"
         << "})();\n";
    return text.str();
}

}  // namespace

KWinSession::KWinSession() {
    char folder[] = "/tmp/talvex-kwin.XXXXXX";
    if (!::mkdtemp(folder)) {
        m_why = "no private folder for KWin";
        return;
    }
    m_folder = folder;
    m_ready = StartBus() && StartKWin();
}

KWinSession::~KWinSession() {
    if (m_object) sd_bus_slot_unref(m_object);
    if (m_connection) sd_bus_flush_close_unref(m_connection);
    End(m_kwin);
    End(m_bus);
    if (!m_folder.empty()) fs::remove_all(m_folder);
}

// A session bus of the session's own that starts no services: nothing but KWin and the
// test ever runs on it.
bool KWinSession::StartBus() {
    const std::string config = m_folder + "/bus.conf";
    std::ofstream(config)
        << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
           "<busconfig>\n  <type>session</type>\n  <listen>unix:path="
        << m_folder
        << "/bus</listen>\n  <auth>EXTERNAL</auth>\n"
           "  <policy context=\"default\">\n    <allow send_destination=\"*\" "
           "eavesdrop=\"true\"/>\n"
           "    <allow eavesdrop=\"true\"/>\n    <allow own=\"*\"/>\n  </policy>\n</busconfig>\n";
    int out = -1;
    m_bus = Spawn({"dbus-daemon", "--config-file=" + config, "--nofork", "--print-address=1"}, {},
                  &out, m_folder + "/bus.log");
    if (m_bus <= 0) {
        m_why = "dbus-daemon could not be started";
        return false;
    }
    m_address = FirstLine(out, kStartMs);
    ::close(out);
    if (m_address.empty() || sd_bus_new(&m_connection) < 0 ||
        sd_bus_set_address(m_connection, m_address.c_str()) < 0 ||
        sd_bus_set_bus_client(m_connection, 1) < 0 || sd_bus_start(m_connection) < 0 ||
        sd_bus_add_object(m_connection, &m_object, kAnswerPath, &KWinSession::OnAnswer, this) < 0) {
        m_why = "the private session bus did not take a connection";
        return false;
    }
    return true;
}

bool KWinSession::StartKWin(const std::function<void()>& meanwhile) {
    const std::string installed = Which("kwin_wayland");
    if (installed.empty()) {
        m_why = "kwin_wayland is not installed (apt-get install kwin-wayland)";
        return false;
    }
    // The package gives kwin_wayland cap_sys_resource, which a container's bounding set
    // may lack: executing it then fails even for root. A copy carries no capability.
    const std::string copy = m_folder + "/kwin_wayland";
    std::error_code error;
    if (!fs::exists(copy) && !fs::copy_file(installed, copy, error)) {
        m_why = "kwin_wayland could not be copied: " + error.message();
        return false;
    }
    m_kwin = Spawn({copy, "--virtual", "--width", "1280", "--height", "800", "--socket", kDisplay},
                   {"XDG_RUNTIME_DIR=" + m_folder, "XDG_CONFIG_HOME=" + m_folder + "/config",
                    "XDG_DATA_HOME=" + m_folder + "/data", "XDG_CACHE_HOME=" + m_folder + "/cache",
                    "DBUS_SESSION_BUS_ADDRESS=" + m_address, "DISPLAY=", "WAYLAND_DISPLAY=",
                    "KWIN_COMPOSE=Q", "KWIN_SCREENSHOT_NO_PERMISSION_CHECKS=1"},
                   nullptr, m_folder + "/kwin.log");
    if (m_kwin <= 0) {
        m_why = "kwin_wayland could not be started";
        return false;
    }
    bool gone = false;
    const bool up = WaitFor(
        [&] {
            int status = 0;
            if (meanwhile) meanwhile();
            gone = ::waitpid(m_kwin, &status, WNOHANG) == m_kwin;
            return gone || Up();
        },
        kStartMs);
    if (gone) m_kwin = -1;
    if (!up || gone) {
        m_why = "kwin_wayland did not start: " + LogTail();
        return false;
    }
    m_display = kDisplay;
    return true;
}

bool KWinSession::Restart(const std::function<void()>& meanwhile) {
    End(m_kwin);
    // The socket of the KWin that went is not the new one's.
    fs::remove(m_folder + "/" + kDisplay);
    fs::remove(m_folder + "/" + kDisplay + ".lock");
    m_ready = m_ready && StartKWin(meanwhile);
    return m_ready;
}

// Up once its Wayland socket is there and its scripting object answers.
bool KWinSession::Up() {
    if (!fs::exists(m_folder + "/" + kDisplay)) return false;
    return Call("/Scripting", "org.kde.kwin.Scripting", "isScriptLoaded", nullptr, "s", &m_folder);
}

std::string KWinSession::LogTail() const {
    std::ifstream in(m_folder + "/kwin.log");
    std::string line, last;
    while (std::getline(in, line)) {
        if (!line.empty()) last = line;
    }
    return last.empty() ? "(no output)" : last;
}

std::vector<std::string> KWinSession::ClientEnvironment() const {
    return {"XDG_RUNTIME_DIR=" + m_folder, "WAYLAND_DISPLAY=" + m_display,
            "QT_QPA_PLATFORM=wayland", "DISPLAY=", "DBUS_SESSION_BUS_ADDRESS=" + m_address};
}

bool KWinSession::Call(const char* path, const char* interface, const char* method,
                       sd_bus_message** reply, const char* types, const std::string* a,
                       const std::string* b) {
    if (!m_connection) return false;
    sd_bus_error error{};  // SD_BUS_ERROR_NULL, which is a C compound literal
    int r = 0;
    if (b) {
        r = sd_bus_call_method(m_connection, "org.kde.KWin", path, interface, method, &error, reply,
                               types, a->c_str(), b->c_str());
    } else if (a) {
        r = sd_bus_call_method(m_connection, "org.kde.KWin", path, interface, method, &error, reply,
                               types, a->c_str());
    } else {
        r = sd_bus_call_method(m_connection, "org.kde.KWin", path, interface, method, &error, reply,
                               nullptr);
    }
    sd_bus_error_free(&error);
    return r >= 0;
}

int KWinSession::LoadScript(const std::string& plugin, const std::string& text) {
    const std::string path = m_folder + "/" + plugin + ".js";
    std::ofstream(path) << text;
    sd_bus_message* reply = nullptr;
    int id = -1;
    if (!Call("/Scripting", "org.kde.kwin.Scripting", "loadScript", &reply, "ss", &path, &plugin) ||
        sd_bus_message_read(reply, "i", &id) < 0) {
        id = -1;
    }
    sd_bus_message_unref(reply);
    return id;
}

bool KWinSession::UnloadScript(const std::string& plugin) {
    sd_bus_message* reply = nullptr;
    int unloaded = 0;
    const bool answered =
        Call("/Scripting", "org.kde.kwin.Scripting", "unloadScript", &reply, "s", &plugin) &&
        sd_bus_message_read(reply, "b", &unloaded) >= 0;
    sd_bus_message_unref(reply);
    return answered && unloaded;
}

bool KWinSession::IsScriptLoaded(const std::string& plugin) {
    sd_bus_message* reply = nullptr;
    int loaded = 0;
    const bool answered =
        Call("/Scripting", "org.kde.kwin.Scripting", "isScriptLoaded", &reply, "s", &plugin) &&
        sd_bus_message_read(reply, "b", &loaded) >= 0;
    sd_bus_message_unref(reply);
    return answered && loaded;
}

bool KWinSession::StartScripts() {
    return Call("/Scripting", "org.kde.kwin.Scripting", "start", nullptr, "");
}

// The tests' scripts are run by KWin's start, not by their ids: the ids KWin hands out
// may name another script (one of the cases the tests make on purpose).
bool KWinSession::Ask(pid_t pid, bool activate) {
    if (!m_ready) return false;
    ++m_asked;
    m_answer.reset();
    const char* name = nullptr;
    if (sd_bus_get_unique_name(m_connection, &name) < 0) return false;
    const std::string plugin = "talvex-test-" + std::to_string(m_asked);
    return LoadScript(plugin, ProbeScript(name, m_asked, pid, activate)) >= 0 && StartScripts();
}

std::optional<KWinSession::Answer> KWinSession::TakeAnswer(int ms) {
    using Clock = std::chrono::steady_clock;
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    while (!m_answer) {
        int r = 0;
        while (!m_answer && (r = sd_bus_process(m_connection, nullptr)) > 0) {
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::microseconds>(until - Clock::now()).count();
        if (m_answer || r < 0 || left <= 0) break;
        if (sd_bus_wait(m_connection, static_cast<std::uint64_t>(left)) < 0) break;
    }
    UnloadScript("talvex-test-" + std::to_string(m_asked));
    return m_answer;
}

bool KWinSession::Activate(pid_t pid) {
    if (!Ask(pid, true)) return false;
    const auto answer = TakeAnswer();
    return answer && answer->found;
}

bool KWinSession::Shows(pid_t pid) {
    if (!Ask(pid, false)) return false;
    const auto answer = TakeAnswer();
    return answer && answer->found;
}

int KWinSession::OnAnswer(sd_bus_message* message, void* self, sd_bus_error* error) {
    auto& session = *static_cast<KWinSession*>(self);
    if (!sd_bus_message_is_method_call(message, kAnswerInterface, "Answer")) return 0;
    const auto number = ReadNumber(message);
    int found = 0;
    if (!number || sd_bus_message_read_basic(message, 'b', &found) < 0) {
        return sd_bus_error_set(error, SD_BUS_ERROR_INVALID_ARGS, "expected number, found, time");
    }
    const auto stamp = ReadNumber(message);
    // An answer of an earlier script that came late is not this one's.
    if (static_cast<int>(*number) == session.m_asked) {
        session.m_answer = Answer{found != 0, stamp.value_or(0)};
    }
    const int r = sd_bus_reply_method_return(message, "");
    return r < 0 ? r : 1;
}

}  // namespace talvex::testing
