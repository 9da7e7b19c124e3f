#include "tests/linux/GnomeSession.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/linux/DbusConnection.h"
#include "tests/linux/GnomeExtension.h"
#include "tests/linux/LinuxTestSupport.h"

namespace talvex::testing {

namespace fs = std::filesystem;

namespace {

constexpr const char* kTestExtension = "talvex-test@kessaly.org";
constexpr const char* kTestPath = "/org/kessaly/TalvexTest";
constexpr const char* kTestInterface = "org.kessaly.TalvexTest";
constexpr uid_t kNobody = 65534;
constexpr int kStartMs = 20000;

// The tests' own extension: activates a process's window as the shell's switcher does,
// tells whether the shell manages a window of a process, and takes a screenshot.
constexpr const char* kTestExtensionJs = R"js(/* exported init */
const {Gio, GLib, Shell} = imports.gi;
const Main = imports.ui.main;

const TEST_INTERFACE = `
<node>
  <interface name="org.kessaly.TalvexTest">
    <method name="Ready">
      <arg type="b" direction="out" name="ready"/>
    </method>
    <method name="Activate">
      <arg type="i" direction="in" name="pid"/>
      <arg type="b" direction="out" name="focused"/>
    </method>
    <method name="Shows">
      <arg type="i" direction="in" name="pid"/>
      <arg type="b" direction="out" name="shown"/>
    </method>
    <method name="Screenshot">
      <arg type="s" direction="in" name="path"/>
      <arg type="b" direction="out" name="done"/>
    </method>
  </interface>
</node>`;

function windowOf(pid) {
    const actor = global.get_window_actors().find(a => a.meta_window.get_pid() === pid);
    return actor ? actor.meta_window : null;
}

class TalvexTest {
    enable() {
        this._object = Gio.DBusExportedObject.wrapJSObject(TEST_INTERFACE, this);
        this._object.export(Gio.DBus.session, '/org/kessaly/TalvexTest');
        // The shell starts in the overview, which holds the keyboard: the desktop first.
        if (Main.layoutManager._startingUp) {
            this._started = Main.layoutManager.connect('startup-complete',
                () => Main.overview.hide());
        } else {
            Main.overview.hide();
        }
    }

    disable() {
        if (this._started)
            Main.layoutManager.disconnect(this._started);
        this._object.unexport();
        this._object = null;
    }

    Ready() {
        return !Main.layoutManager._startingUp && !Main.overview.visible;
    }

    // Replies once the window has the focus: a window the shell has just mapped may not
    // take it yet, so the activation is asked again each 20 ms, for 3 s at most.
    ActivateAsync([pid], invocation) {
        let tries = 0;
        const attempt = () => {
            const window = windowOf(pid);
            if (window && global.display.focus_window !== window)
                Main.activateWindow(window, global.display.get_current_time_roundtrip());
            const focused = window !== null && global.display.focus_window === window;
            tries++;
            if (!focused && window && tries < 150)
                return GLib.SOURCE_CONTINUE;
            log(`talvex-test activate ${pid}: ${focused} after ${tries}`);
            invocation.return_value(new GLib.Variant('(b)', [focused]));
            return GLib.SOURCE_REMOVE;
        };
        if (attempt() === GLib.SOURCE_CONTINUE)
            GLib.timeout_add(GLib.PRIORITY_DEFAULT, 20, attempt);
    }

    Shows(pid) {
        return windowOf(pid) !== null;
    }

    ScreenshotAsync([path], invocation) {
        const shooter = new Shell.Screenshot();
        const file = Gio.File.new_for_path(path);
        const stream = file.replace(null, false, Gio.FileCreateFlags.NONE, null);
        shooter.screenshot(false, stream, (source, result) => {
            let done = false;
            try {
                const answer = shooter.screenshot_finish(result);
                done = Array.isArray(answer) ? answer[0] : !!answer;
            } catch (e) {
                logError(e, 'Talvex test screenshot');
            }
            stream.close(null);
            invocation.return_value(new GLib.Variant('(b)', [done]));
        });
    }
}

function init() {
    return new TalvexTest();
}
)js";

constexpr const char* kTestMetadata = R"json({
  "uuid": "talvex-test@kessaly.org",
  "name": "Talvex tests",
  "description": "Activates windows for Talvex's tests.",
  "shell-version": ["43", "44"]
})json";

// A bus for the session alone: anyone may connect (as root, the shell runs as nobody
// while the test connects as root), nothing is started on demand.
std::string BusConfig(const std::string& socket) {
    return "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
           "<busconfig>\n  <type>session</type>\n  <listen>unix:path=" +
           socket +
           "</listen>\n  <auth>EXTERNAL</auth>\n"
           "  <policy context=\"default\">\n    <allow user=\"*\"/>\n"
           "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
           "    <allow eavesdrop=\"true\"/>\n    <allow own=\"*\"/>\n  </policy>\n"
           "</busconfig>\n";
}

bool Write(const fs::path& path, const std::string& text) {
    std::error_code error;
    fs::create_directories(path.parent_path(), error);
    std::ofstream out(path);
    out << text;
    return static_cast<bool>(out);
}

// One line from a pipe, waiting at most `ms` milliseconds.
std::string ReadLineFrom(int fd, int ms) {
    std::string line;
    char c = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        if (::read(fd, &c, 1) != 1 || c == '\n') break;
        line += c;
    }
    return line;
}

bool OnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::istringstream folders(path ? path : "/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        if (::access((folder + "/" + program).c_str(), X_OK) == 0) return true;
    }
    return false;
}

// Where the machine's cgroup v2 hierarchy is mounted; empty when it has none.
std::string CgroupV2Mount() {
    std::ifstream mounts("/proc/self/mountinfo");
    std::string line;
    while (std::getline(mounts, line)) {
        const auto dash = line.find(" - ");
        if (dash == std::string::npos || line.compare(dash + 3, 8, "cgroup2 ") != 0) continue;
        std::istringstream fields(line);
        std::string id, parent, device, root, point;
        if (fields >> id >> parent >> device >> root >> point) return point;
    }
    return {};
}

void Own(const fs::path& path, uid_t uid, gid_t gid) {
    if (::chown(path.c_str(), uid, gid) != 0) return;
    std::error_code error;
    if (!fs::is_directory(path, error)) return;
    for (const auto& entry : fs::recursive_directory_iterator(path, error)) {
        if (::chown(entry.path().c_str(), uid, gid) != 0) return;
    }
}

}  // namespace

GnomeSession::GnomeSession(Options options) {
    m_ready = Prepare(options) && StartBus("session", m_sessionBus, m_sessionPid) &&
              StartBus("system", m_systemBus, m_systemPid) &&
              (!options.appScopes || PrepareCgroups()) && StartShell();
    if (!m_ready) return;
    // Ready once the tests' extension answers (the shell enables every extension at
    // once, Talvex's too; whether Talvex's works is for the tests to see).
    m_bus = std::make_unique<platform::DbusConnection>(m_sessionBus);
    if (m_bus->Connected()) sd_bus_set_method_call_timeout(m_bus->Bus(), 5'000'000);
    m_ready = WaitUntilAnswering();
    if (!m_ready) {
        m_why = "gnome-shell started but the tests' extension did not answer (log: " + m_folder +
                "/shell.log)";
    }
}

bool GnomeSession::WaitUntilAnswering() {
    return m_bus->Connected() && WaitFor([&] { return Ask("Ready", "", nullptr) == 1; }, kStartMs);
}

bool GnomeSession::RestartShell() {
    KillAndReap(m_shellPid);
    m_shellPid = -1;
    // The killed shell left its socket: the new one is to make it afresh.
    std::error_code error;
    fs::remove(m_folder + "/run/wayland-0", error);
    fs::remove(m_folder + "/run/wayland-0.lock", error);
    return StartShell() && WaitUntilAnswering();
}

GnomeSession::~GnomeSession() {
    m_bus.reset();
    KillAndReap(m_shellPid);
    KillAndReap(m_sessionPid);
    KillAndReap(m_systemPid);
    RemoveCgroups();
    // A failed start keeps its folder, so that the shell's log can be read; so does every
    // session with TALVEX_KEEP set.
    if (!m_folder.empty() && m_ready && !std::getenv("TALVEX_KEEP")) fs::remove_all(m_folder);
}

bool GnomeSession::Prepare(const Options& options) {
    if (!OnPath("gnome-shell") || !OnPath("dbus-daemon") || !OnPath("unshare")) {
        m_why =
            "gnome-shell, dbus-daemon or unshare is not installed (apt-get install gnome-shell)";
        return false;
    }
    if (options.appScopes && ::geteuid() != 0) {
        m_why = "a cgroup tree of the session's own needs root";
        return false;
    }
    char folder[] = "/tmp/talvex-gnome.XXXXXX";
    if (!::mkdtemp(folder)) return false;
    m_folder = folder;
    ::chmod(folder, 0755);
    if (::geteuid() == 0) {
        m_uid = kNobody;
        m_gid = kNobody;
        m_asUser = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    } else {
        m_uid = ::getuid();
        m_gid = ::getgid();
    }
    const fs::path data = m_folder + "/data/gnome-shell/extensions";
    const fs::path talvex = data / "talvex-focus@kessaly.org";
    const fs::path test = data / kTestExtension;
    std::string enabled = std::string("'") + kTestExtension + "'";
    if (options.talvexExtension) enabled += ", 'talvex-focus@kessaly.org'";
    const bool written =
        Write(test / "extension.js", kTestExtensionJs) &&
        Write(test / "metadata.json", kTestMetadata) &&
        Write(talvex / "extension.js", kTalvexExtensionJs) &&
        Write(talvex / "metadata.json", kTalvexExtensionMetadata) &&
        // Settings come from a key file of the session's own, read before the shell starts.
        Write(m_folder + "/config/glib-2.0/settings/keyfile",
              "[org/gnome/shell]\nenabled-extensions=[" + enabled +
                  "]\nwelcome-dialog-last-shown-version='999'\n\n"
                  "[org/gnome/desktop/interface]\nenable-animations=false\n") &&
        Write(m_folder + "/session.conf", BusConfig(m_folder + "/run/bus")) &&
        Write(m_folder + "/system.conf", BusConfig(m_folder + "/run/system_bus_socket"));
    std::error_code error;
    fs::create_directories(m_folder + "/run", error);
    fs::create_directories(m_folder + "/home", error);
    ::chmod((m_folder + "/run").c_str(), 0700);
    if (::geteuid() == 0) Own(m_folder, m_uid, m_gid);
    return written;
}

bool GnomeSession::StartBus(const std::string& name, std::string& address, pid_t& pid) {
    std::vector<std::string> args = m_asUser;
    args.insert(args.end(), {"dbus-daemon", "--config-file=" + m_folder + "/" + name + ".conf",
                             "--nofork", "--nopidfile", "--print-address=1"});
    int out = -1;
    pid = Spawn(args, {}, &out);
    if (pid > 0) address = ReadLineFrom(out, 10000);
    if (out >= 0) ::close(out);
    if (address.empty()) m_why = "the session's " + name + " bus did not start";
    return !address.empty();
}

// A group of the session's own in the machine's cgroup v2 tree becomes the root of the
// shell's cgroup namespace; in it, user@UID.service and its app.slice are the user's, as
// the user manager has them delegated.
bool GnomeSession::PrepareCgroups() {
    const std::string v2 = CgroupV2Mount();
    if (v2.empty()) {
        m_why = "this machine has no cgroup v2 tree";
        return false;
    }
    m_cgroup = v2 + "/talvex-gnome-" + std::to_string(::getpid());
    const std::string user = std::to_string(m_uid);
    const std::string service =
        m_cgroup + "/user.slice/user-" + user + ".slice/user@" + user + ".service";
    std::error_code error;
    if (::mkdir(m_cgroup.c_str(), 0755) != 0 ||
        !fs::create_directories(service + "/app.slice", error)) {
        m_why = "no group could be made in " + v2;
        return false;
    }
    Own(service, m_uid, m_gid);
    const fs::path root = m_folder + "/root";
    fs::create_directories(root / "sys/fs", error);
    fs::create_directory_symlink("/proc", root / "proc", error);
    fs::create_directory_symlink(m_cgroup, root / "sys/fs/cgroup", error);
    m_markRoot = root.string();
    return !error;
}

bool GnomeSession::StartShell() {
    const std::string log = m_folder + "/shell.log";
    const std::string shell =
        "gnome-shell --headless --wayland --no-x11 --virtual-monitor 1280x800 >\"$TALVEX_LOG\" "
        "2>&1";
    const std::string emptySystemd = "[ ! -d /run/systemd ] || mount -t tmpfs tmpfs /run/systemd";
    std::vector<std::string> args;
    if (::geteuid() == 0) {
        std::string inner = emptySystemd + " && ";
        if (!m_cgroup.empty()) inner += "mount -t cgroup2 cgroup2 /sys/fs/cgroup && ";
        inner += "exec setpriv --reuid=" + std::to_string(m_uid) +
                 " --regid=" + std::to_string(m_gid) + " --clear-groups " + shell;
        if (m_cgroup.empty()) {
            args = {"unshare", "-m", "sh", "-c", inner};
        } else {
            // The shell joins the session's group first, which then is its namespace's root.
            args = {"sh", "-c", "echo $$ >\"$0/cgroup.procs\" && exec unshare -m -C sh -c \"$1\"",
                    m_cgroup, inner};
        }
    } else {
        // A user namespace whose root may mount; the shell itself runs as the user again.
        args = {"unshare",
                "-r",
                "-m",
                "sh",
                "-c",
                emptySystemd + " && exec unshare --map-user=" + std::to_string(m_uid) +
                    " --map-group=" + std::to_string(m_gid) + " " + shell};
    }
    m_shellPid = Spawn(
        args, {"TALVEX_LOG=" + log, "XDG_RUNTIME_DIR=" + m_folder + "/run",
               "XDG_DATA_HOME=" + m_folder + "/data", "XDG_CONFIG_HOME=" + m_folder + "/config",
               "XDG_CACHE_HOME=" + m_folder + "/home/.cache", "HOME=" + m_folder + "/home",
               "DBUS_SESSION_BUS_ADDRESS=" + m_sessionBus, "DBUS_SYSTEM_BUS_ADDRESS=" + m_systemBus,
               "GSETTINGS_BACKEND=keyfile", "XDG_CURRENT_DESKTOP=GNOME", "XDG_SESSION_TYPE=wayland",
               "NO_AT_BRIDGE=1", "WAYLAND_DISPLAY=", "DISPLAY="});
    const std::string socket = m_folder + "/run/wayland-0";
    const bool up = m_shellPid > 0 &&
                    WaitFor(
                        [&] {
                            int status = 0;
                            return ::access(socket.c_str(), F_OK) == 0 ||
                                   ::waitpid(m_shellPid, &status, WNOHANG) == m_shellPid;
                        },
                        kStartMs) &&
                    ::access(socket.c_str(), F_OK) == 0;
    if (!up) m_why = "gnome-shell did not start (log: " + log + ")";
    return up;
}

std::vector<std::string> GnomeSession::ClientEnvironment() const {
    return {"XDG_RUNTIME_DIR=" + m_folder + "/run", "WAYLAND_DISPLAY=wayland-0",
            "QT_QPA_PLATFORM=wayland", "DISPLAY="};
}

std::unique_ptr<Child> GnomeSession::StartClient(const std::string& title,
                                                 const std::string& appId) {
    const std::string client = WaylandClientProgram();
    if (m_cgroup.empty() || appId.empty()) {
        return Child::WithEnvironment({title}, ClientEnvironment(), client);
    }
    const std::string scope = ScopeOf(appId);
    std::error_code error;
    fs::create_directory(scope, error);
    Own(scope, m_uid, m_gid);
    // Into its scope first, then the window, as a launcher's scope is made before the
    // program runs; the client runs as the session's user.
    std::vector<std::string> args{"-c", "echo $$ >\"$0/cgroup.procs\" && exec \"$@\"", scope};
    args.insert(args.end(), m_asUser.begin(), m_asUser.end());
    args.insert(args.end(), {client, title});
    return Child::WithEnvironment(args, ClientEnvironment(), "/bin/sh");
}

std::string GnomeSession::ScopeOf(const std::string& appId) const {
    if (m_cgroup.empty()) return {};
    const std::string user = std::to_string(m_uid);
    return m_cgroup + "/user.slice/user-" + user + ".slice/user@" + user +
           ".service/app.slice/app-gnome-" + appId + "-" + std::to_string(getpid()) + ".scope";
}

int GnomeSession::Ask(const char* method, const char* types, const void* argument) {
    if (!m_bus || !m_bus->Connected()) return -1;
    sd_bus_message* reply = nullptr;
    sd_bus_error error{};
    int r = 0;
    if (types[0] == '\0') {
        r = sd_bus_call_method(m_bus->Bus(), "org.gnome.Shell", kTestPath, kTestInterface, method,
                               &error, &reply, "");
    } else if (types[0] == 'i') {
        r = sd_bus_call_method(m_bus->Bus(), "org.gnome.Shell", kTestPath, kTestInterface, method,
                               &error, &reply, "i", *static_cast<const pid_t*>(argument));
    } else {
        r = sd_bus_call_method(m_bus->Bus(), "org.gnome.Shell", kTestPath, kTestInterface, method,
                               &error, &reply, "s", static_cast<const char*>(argument));
    }
    int answer = 0;
    if (r >= 0 && sd_bus_message_read(reply, "b", &answer) < 0) r = -1;
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    return r < 0 ? -1 : (answer ? 1 : 0);
}

bool GnomeSession::Activate(pid_t pid) {
    return Ask("Activate", "i", &pid) == 1;
}

bool GnomeSession::Shows(pid_t pid) {
    return Ask("Shows", "i", &pid) == 1;
}

bool GnomeSession::Screenshot(const std::string& path) {
    return Ask("Screenshot", "s", path.c_str()) == 1;
}

// Deepest first; a group empties a moment after its last process was reaped.
void GnomeSession::RemoveCgroups() {
    if (m_cgroup.empty()) return;
    std::vector<std::string> groups;
    std::error_code error;
    for (const auto& entry : fs::recursive_directory_iterator(m_cgroup, error)) {
        if (entry.is_directory()) groups.push_back(entry.path());
    }
    std::sort(groups.rbegin(), groups.rend());
    groups.push_back(m_cgroup);
    for (const std::string& group : groups) {
        WaitFor([&] { return ::rmdir(group.c_str()) == 0 || errno != EBUSY; }, 3000);
    }
}

}  // namespace talvex::testing
