#pragma once
// A headless GNOME Shell of the tests' own: its own session bus and system bus
// (dbus-daemon, ended by pid), its own folders for settings and extensions, and a private
// mount namespace in which /run/systemd is empty, so the shell neither asks logind for a
// seat nor finds the machine's sessions. Run as root, the shell runs as nobody; else as
// the user running the tests, in a user namespace of its own.
//
// The shell carries a small extension of the tests' own that activates a process's window
// the way the shell's own switcher does, and, if asked, Talvex's extension. With app
// scopes (root only), the shell also gets a cgroup v2 tree of its own with the user
// manager's app.slice, into which the test windows' processes are put, as a GNOME session
// started by systemd has it.

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

namespace talvex::platform {
class DbusConnection;
}

namespace talvex::testing {

class Child;

class GnomeSession {
  public:
    struct Options {
        bool talvexExtension = true;  // enable Talvex's extension
        bool appScopes = false;       // a cgroup tree with app.slice of its own (root only)
    };
    explicit GnomeSession(Options options);
    GnomeSession() : GnomeSession(Options{}) {}
    ~GnomeSession();
    GnomeSession(const GnomeSession&) = delete;
    GnomeSession& operator=(const GnomeSession&) = delete;

    bool Ready() const { return m_ready; }
    /// Why the shell is not there, for the message of a skipped test.
    const std::string& Why() const { return m_why; }
    const std::string& BusAddress() const { return m_sessionBus; }
    /// The user the shell (and the app scopes) belong to.
    uid_t User() const { return m_uid; }
    /// The environment of a Wayland client of this shell.
    std::vector<std::string> ClientEnvironment() const;
    /// Starts the Wayland test client titled `title`; with app scopes, in a scope of its
    /// own named after `appId` (app-gnome-APPID-N.scope), before it has a window.
    std::unique_ptr<Child> StartClient(const std::string& title, const std::string& appId = {});
    /// Kills the shell and starts it again on the same buses, as after a crash; true once
    /// the new shell's extensions answer. Its windows are gone with the old shell.
    bool RestartShell();
    /// Activates the window of process `pid` as the shell's switcher does; true once the
    /// shell has given it the focus.
    bool Activate(pid_t pid);
    /// Whether the shell manages a window of process `pid`.
    bool Shows(pid_t pid);
    /// Writes a PNG of the screen to `path` (a folder the shell may write to).
    bool Screenshot(const std::string& path);
    /// A root for GnomeAppMarkSource that shows the session's cgroup tree at
    /// /sys/fs/cgroup and the machine's /proc; empty without app scopes.
    const std::string& MarkRoot() const { return m_markRoot; }
    /// The scope folder (outside the shell's namespace) of the client started with `appId`.
    std::string ScopeOf(const std::string& appId) const;

  private:
    bool Prepare(const Options& options);
    bool StartBus(const std::string& name, std::string& address, pid_t& pid);
    bool PrepareCgroups();
    bool StartShell();
    /// Waits until the tests' extension answers.
    bool WaitUntilAnswering();
    /// Calls a method of the tests' extension: 1 or 0 as it answered, -1 without answer.
    int Ask(const char* method, const char* types, const void* argument);
    void RemoveCgroups();

    std::string m_folder, m_why, m_sessionBus, m_systemBus, m_cgroup, m_markRoot;
    std::vector<std::string> m_asUser;  // the prefix that runs a command as the user
    uid_t m_uid = 0;
    gid_t m_gid = 0;
    pid_t m_sessionPid = -1, m_systemPid = -1, m_shellPid = -1;
    bool m_ready = false;
    std::unique_ptr<platform::DbusConnection> m_bus;
};

}  // namespace talvex::testing
