#pragma once
// Children, an X server of the tests' own and small /proc readers for the Linux
// integration tests. Everything started here is ended by its pid.

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/WaitFor.h"

struct _XDisplay;  // Xlib's Display

namespace talvex::testing {

/// Path of the test child program (tests/linux/TestChild.cpp).
std::string ChildProgram();
/// Path of the Wayland test client (tests/linux/WaylandClient.cpp); empty when not built.
std::string WaylandClientProgram();

/// Starts a program with extra environment entries ("NAME=value"); -1 on failure.
/// With `out` set, the child's stdout is a pipe whose reading end is stored there. With
/// `log` set, its stderr (and its stdout, when there is no `out`) is appended to that file.
pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& env,
            int* out = nullptr, const std::string& log = {});
/// Kills a child this process started and reaps it.
void KillAndReap(pid_t pid);

/// A child running the test program; killed when this object goes.
class Child {
  public:
    explicit Child(const std::vector<std::string>& args, const std::string& display = {},
                   const std::string& program = ChildProgram());
    /// Runs `program` with `args` and extra environment entries ("NAME=value").
    static std::unique_ptr<Child> WithEnvironment(const std::vector<std::string>& args,
                                                  const std::vector<std::string>& env,
                                                  const std::string& program);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool Ready() const { return m_ready; }
    pid_t Pid() const { return m_pid; }
    /// The window id the child reported (window modes only).
    unsigned long Window() const { return m_window; }
    /// Kills and reaps the child now.
    void End();

  private:
    Child() = default;
    void Launch(const std::vector<std::string>& args, const std::vector<std::string>& env,
                const std::string& program);

    pid_t m_pid = -1;
    bool m_ready = false;
    unsigned long m_window = 0;
};

/// Xvfb on a free display with openbox on it.
class XServer {
  public:
    XServer() = default;
    ~XServer() { Stop(); }
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    /// Starts Xvfb (on `display` like ":57", or a free one) and, if asked, openbox.
    bool Start(bool withWindowManager, const std::string& display = {});
    void Stop();
    const std::string& DisplayName() const { return m_display; }

  private:
    pid_t m_xvfb = -1;
    pid_t m_wm = -1;
    std::string m_display;
};

/// Xvfb with openbox and a connection of the tests' own to it, shared by a suite.
class TestDisplay {
  public:
    TestDisplay();
    ~TestDisplay();
    TestDisplay(const TestDisplay&) = delete;
    TestDisplay& operator=(const TestDisplay&) = delete;

    /// Whether the server, the window manager and the connection are there.
    bool Ready() const { return m_connection != nullptr; }
    const std::string& Name() const { return m_server.DisplayName(); }
    _XDisplay* Connection() const { return m_connection; }
    /// Asks the window manager to activate a window, the way a pager does.
    void RequestActivation(unsigned long window);

  private:
    XServer m_server;
    _XDisplay* m_connection = nullptr;
};

/// sway on the headless backend, in a runtime folder of its own; ended by its pid.
class HeadlessSway {
  public:
    HeadlessSway();
    ~HeadlessSway();
    HeadlessSway(const HeadlessSway&) = delete;
    HeadlessSway& operator=(const HeadlessSway&) = delete;

    bool Ready() const { return !m_socket.empty() && !m_display.empty(); }
    const std::string& Socket() const { return m_socket; }
    /// The environment of a Wayland client of this sway.
    std::vector<std::string> ClientEnvironment() const;
    /// Gives the focus to the window of process `pid` with swaymsg, as a user's key
    /// binding would.
    bool Focus(pid_t pid);
    /// The same over a connection kept open, so that only sway's own work is timed; the
    /// answer is read before the call returns.
    bool FocusNow(pid_t pid);
    /// Whether a window of process `pid` is in sway's tree (mapped) now.
    bool Shows(pid_t pid);

  private:
    bool Find();
    /// Sends one request over the kept connection; the answer's payload, or nullopt.
    std::optional<std::string> Ask(std::uint32_t type, const std::string& payload);

    std::string m_folder, m_socket, m_display;
    pid_t m_pid = -1;
    int m_command = -1;
};

/// Nice value of a thread or a process's main thread, read from /proc; nullopt when gone.
std::optional<int> NiceOf(pid_t pid, pid_t tid = 0);
/// A child of process `parent` (any one); nullopt when it has none.
std::optional<pid_t> ChildOf(pid_t parent);
/// Thread ids of a process.
std::vector<pid_t> ThreadsOf(pid_t pid);
/// Pid of a sleeping process of another user, prepared when the tests run as root.
std::optional<pid_t> OtherUserPid();
/// Pid of a process of the test user one of whose threads still runs as root.
std::optional<pid_t> MixedCredentialsPid();
/// Pid of a process of the test user with a SCHED_FIFO thread, prepared when the tests
/// run as root; SIGUSR1 makes another of its threads busy, SIGUSR2 quiet again.
std::optional<pid_t> RealtimePid();
/// Whether the tests run as the unprivileged test user with the capability granted.
bool RunsAsTestUser();

}  // namespace talvex::testing
