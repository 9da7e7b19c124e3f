#include "tests/linux/LinuxTestSupport.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>

#include "platform/linux/ProcStat.h"
#include "platform/linux/SwayForegroundSource.h"

extern char** environ;

namespace talvex::testing {

namespace {

// One line from a child's pipe, waiting at most `ms` milliseconds.
std::optional<std::string> ReadLine(int fd, int ms) {
    std::string line;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
            return std::nullopt;
        }
        char c = 0;
        if (::read(fd, &c, 1) != 1) return std::nullopt;
        if (c == '\n') return line;
        line += c;
    }
}

std::optional<std::string> ReadFile(const std::string& path) {
    std::ifstream in(path);
    if (!in) return std::nullopt;
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

std::string ChildProgram() {
    const char* fromEnv = std::getenv("TALVEX_TEST_CHILD");
    return fromEnv ? fromEnv : TALVEX_TEST_CHILD_PATH;
}

std::string WaylandClientProgram() {
    const char* fromEnv = std::getenv("TALVEX_TEST_WAYLAND_CLIENT");
    return fromEnv ? fromEnv : TALVEX_WAYLAND_CLIENT_PATH;
}

pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& env, int* out,
            const std::string& log) {
    // The entries given come first, so they win over inherited ones of the same name.
    std::vector<std::string> envText(env.begin(), env.end());
    for (char** e = environ; *e; ++e) envText.emplace_back(*e);
    std::vector<char*> argv, envp;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    for (const auto& e : envText) envp.push_back(const_cast<char*>(e.c_str()));
    argv.push_back(nullptr);
    envp.push_back(nullptr);

    int pipeFds[2] = {-1, -1};
    posix_spawn_file_actions_t actions;
    if (out && ::pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
    posix_spawn_file_actions_init(&actions);
    if (!log.empty()) {
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, log.c_str(),
                                         O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (!out) posix_spawn_file_actions_adddup2(&actions, STDERR_FILENO, STDOUT_FILENO);
    }
    if (out) posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (out) {
        ::close(pipeFds[1]);
        *out = pipeFds[0];
    }
    return rc == 0 ? pid : -1;
}

void KillAndReap(pid_t pid) {
    if (pid <= 0) return;
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
}

Child::Child(const std::vector<std::string>& args, const std::string& display,
             const std::string& program) {
    std::vector<std::string> env;
    if (!display.empty()) env.push_back("DISPLAY=" + display);
    Launch(args, env, program);
}

std::unique_ptr<Child> Child::WithEnvironment(const std::vector<std::string>& args,
                                              const std::vector<std::string>& env,
                                              const std::string& program) {
    std::unique_ptr<Child> child(new Child());
    child->Launch(args, env, program);
    return child;
}

void Child::Launch(const std::vector<std::string>& args, const std::vector<std::string>& env,
                   const std::string& program) {
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), args.begin(), args.end());
    int out = -1;
    m_pid = Spawn(argv, env, &out);
    if (m_pid <= 0) return;
    const auto line = ReadLine(out, 10000);
    ::close(out);
    if (line && line->starts_with("ready")) {
        m_ready = true;
        if (line->size() > 6) m_window = std::stoul(line->substr(6));
    }
}

Child::~Child() {
    End();
}

void Child::End() {
    KillAndReap(m_pid);
    m_pid = -1;
}

bool XServer::Start(bool withWindowManager, const std::string& display) {
    Stop();
    int out = -1;
    // -noreset: the server would otherwise reset whenever its last client leaves.
    std::vector<std::string> args{"Xvfb",    "-noreset", "-nolisten", "tcp",
                                  "-screen", "0",        "800x600x24"};
    if (display.empty()) {
        args.insert(args.end(), {"-displayfd", "1"});
    } else {
        args.insert(args.begin() + 1, display);
    }
    m_xvfb = Spawn(args, {}, display.empty() ? &out : nullptr);
    if (m_xvfb <= 0) return false;
    if (display.empty()) {
        const auto number = ReadLine(out, 15000);
        ::close(out);
        if (!number) return false;
        m_display = ":" + *number;
    } else {
        m_display = display;
        const bool listening = WaitFor(
            [&] {
                ::Display* probe = XOpenDisplay(m_display.c_str());
                if (probe) XCloseDisplay(probe);
                return probe != nullptr;
            },
            15000);
        if (!listening) return false;
    }
    if (!withWindowManager) return true;
    m_wm = Spawn({"openbox", "--sm-disable"}, {"DISPLAY=" + m_display});
    if (m_wm <= 0) return false;
    // openbox is up once it manages a window: map probe windows until one is reparented
    // (its announcement on the root window comes before it is ready for new windows).
    ::Display* x = XOpenDisplay(m_display.c_str());
    if (!x) return false;
    const bool up = WaitFor(
        [&] {
            const Window probe =
                XCreateSimpleWindow(x, DefaultRootWindow(x), 0, 0, 10, 10, 0, 0, 0);
            XSelectInput(x, probe, StructureNotifyMask);
            XMapWindow(x, probe);
            XFlush(x);
            XEvent event{};
            const bool managed = WaitFor(
                [&] { return XCheckTypedWindowEvent(x, probe, ReparentNotify, &event) == True; },
                1000);
            XDestroyWindow(x, probe);
            XSync(x, True);
            return managed;
        },
        15000);
    XCloseDisplay(x);
    return up;
}

void XServer::Stop() {
    if (m_wm > 0) KillAndReap(m_wm);
    m_wm = -1;
    if (m_xvfb > 0) {
        ::kill(m_xvfb, SIGTERM);
        int status = 0;
        ::waitpid(m_xvfb, &status, 0);
        // Xvfb may leave its lock file behind, which would keep the display from reuse.
        const std::string lock = "/tmp/.X" + m_display.substr(1) + "-lock";
        const auto owner = ReadFile(lock);
        if (owner && std::atoi(owner->c_str()) == m_xvfb) ::unlink(lock.c_str());
    }
    m_xvfb = -1;
}

TestDisplay::TestDisplay() {
    if (m_server.Start(true)) m_connection = XOpenDisplay(m_server.DisplayName().c_str());
}

TestDisplay::~TestDisplay() {
    if (m_connection) XCloseDisplay(m_connection);
}

void TestDisplay::RequestActivation(unsigned long window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(m_connection, "_NET_ACTIVE_WINDOW", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = 2;  // from a pager
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(m_connection, DefaultRootWindow(m_connection), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(m_connection);
}

HeadlessSway::HeadlessSway() {
    char folder[] = "/tmp/talvex-sway.XXXXXX";
    if (!::mkdtemp(folder)) return;
    m_folder = folder;
    std::ofstream(m_folder + "/config") << "xwayland disable\n";
    std::vector<std::string> args{"sway", "-c", m_folder + "/config"};
    // sway refuses to run as root: there it runs as nobody, in a folder of nobody's.
    if (::geteuid() == 0) {
        constexpr uid_t kNobody = 65534;
        if (::chown(folder, kNobody, kNobody) != 0) return;
        args.insert(args.begin(), {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    }
    m_pid =
        Spawn(args, {"XDG_RUNTIME_DIR=" + m_folder, "WLR_BACKENDS=headless", "WLR_RENDERER=pixman",
                     "WLR_LIBINPUT_NO_DEVICES=1", "WAYLAND_DISPLAY=", "DISPLAY=",
                     // sway makes its socket where SWAYSOCK says.
                     "SWAYSOCK=" + m_folder + "/sway-ipc.sock"});
    if (m_pid <= 0) return;
    WaitFor([&] { return Find(); }, 15000);
}

HeadlessSway::~HeadlessSway() {
    if (m_command >= 0) ::close(m_command);
    KillAndReap(m_pid);
    if (!m_folder.empty()) std::filesystem::remove_all(m_folder);
}

std::vector<std::string> HeadlessSway::ClientEnvironment() const {
    return {"XDG_RUNTIME_DIR=" + m_folder, "WAYLAND_DISPLAY=" + m_display,
            "QT_QPA_PLATFORM=wayland", "DISPLAY="};
}

bool HeadlessSway::Focus(pid_t pid) {
    const pid_t msg =
        Spawn({"swaymsg", "-q", "-s", m_socket, "[pid=" + std::to_string(pid) + "] focus"}, {});
    int status = 0;
    return msg > 0 && ::waitpid(msg, &status, 0) == msg && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

bool HeadlessSway::FocusNow(pid_t pid) {
    constexpr std::uint32_t kRunCommand = 0;
    return Ask(kRunCommand, "[pid=" + std::to_string(pid) + "] focus").has_value();
}

bool HeadlessSway::Shows(pid_t pid) {
    const auto tree = Ask(platform::i3ipc::kGetTree, "");
    if (!tree) return false;
    const std::function<bool(const nlohmann::json&)> holds = [&](const nlohmann::json& node) {
        if (!node.is_object()) return false;
        if (node.contains("pid") && node["pid"] == pid) return true;
        for (const char* children : {"nodes", "floating_nodes"}) {
            if (!node.contains(children)) continue;
            for (const auto& child : node[children]) {
                if (holds(child)) return true;
            }
        }
        return false;
    };
    return holds(nlohmann::json::parse(*tree, nullptr, false));
}

std::optional<std::string> HeadlessSway::Ask(std::uint32_t type, const std::string& payload) {
    if (m_command < 0) {
        m_command = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        m_socket.copy(address.sun_path, sizeof address.sun_path - 1);
        if (m_command < 0 || ::connect(m_command, reinterpret_cast<const sockaddr*>(&address),
                                       sizeof address) != 0) {
            return std::nullopt;
        }
    }
    const std::string message = platform::i3ipc::Encode(type, payload);
    if (::write(m_command, message.data(), message.size()) !=
        static_cast<ssize_t>(message.size())) {
        return std::nullopt;
    }
    std::string buffer;
    char chunk[4096];
    for (;;) {
        if (auto answer = platform::i3ipc::Take(buffer)) return std::move(answer->payload);
        const ssize_t got = ::read(m_command, chunk, sizeof chunk);
        if (got <= 0) return std::nullopt;
        buffer.append(chunk, static_cast<std::size_t>(got));
    }
}

bool HeadlessSway::Find() {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(m_folder, error)) {
        const std::string name = entry.path().filename();
        if (name.starts_with("sway-ipc.") && entry.is_socket()) m_socket = entry.path();
        if (name.starts_with("wayland-") && !name.ends_with(".lock")) m_display = name;
    }
    return Ready();
}

std::optional<int> NiceOf(pid_t pid, pid_t tid) {
    const std::string path =
        tid ? "/proc/" + std::to_string(pid) + "/task/" + std::to_string(tid) + "/stat"
            : "/proc/" + std::to_string(pid) + "/stat";
    const auto text = ReadFile(path);
    if (!text) return std::nullopt;
    const auto stat = platform::linux_proc::ParseProcStat(*text);
    if (!stat) return std::nullopt;
    return stat->nice;
}

std::vector<pid_t> ThreadsOf(pid_t pid) {
    std::vector<pid_t> tids;
    DIR* dir = ::opendir(("/proc/" + std::to_string(pid) + "/task").c_str());
    if (!dir) return tids;
    while (const dirent* e = ::readdir(dir)) {
        if (e->d_name[0] != '.') tids.push_back(std::atoi(e->d_name));
    }
    ::closedir(dir);
    return tids;
}

std::optional<pid_t> OtherUserPid() {
    const char* pid = std::getenv("TALVEX_TEST_OTHER_PID");
    if (!pid) return std::nullopt;
    return static_cast<pid_t>(std::atoi(pid));
}

std::optional<pid_t> ChildOf(pid_t parent) {
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        std::getline(stat, line);
        const auto close = line.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream fields(line.substr(close + 2));
        std::string state;
        pid_t ppid = 0;
        if (fields >> state >> ppid && ppid == parent) return static_cast<pid_t>(std::stoi(name));
    }
    return std::nullopt;
}

std::optional<pid_t> MixedCredentialsPid() {
    const char* pid = std::getenv("TALVEX_TEST_MIXED_PID");
    if (!pid) return std::nullopt;
    return static_cast<pid_t>(std::atoi(pid));
}

std::optional<pid_t> RealtimePid() {
    const char* pid = std::getenv("TALVEX_TEST_REALTIME_PID");
    if (!pid) return std::nullopt;
    return static_cast<pid_t>(std::atoi(pid));
}

bool RunsAsTestUser() {
    return std::getenv("TALVEX_TEST_AS_USER") != nullptr;
}

}  // namespace talvex::testing
