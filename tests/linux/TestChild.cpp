// A small program the Linux integration tests and benchmarks start as a child:
//   sleep                     waits until it is killed
//   threads N                 starts N extra threads, then waits
//   spin MS                   burns MS milliseconds of CPU time, then waits
//   window TITLE [PID]        opens a window titled TITLE (_NET_WM_NAME and WM_NAME),
//                             _NET_WM_PID set to PID (default: its own pid), then waits
//   latin1-window TITLE       opens a window with only a Latin-1 WM_NAME
//   session                   starts a session (and so a session group) of its own
//   busy N                    keeps N threads busy on the CPU until it is killed
//   busy-window TITLE N       opens a window like "window" and keeps N threads busy
//   session-window TITLE      opens a window like "window" in a session of its own
//   forks-after MS            MS milliseconds after it is ready, forks a child that
//                             sleeps (and dies with it)
//   leader-exits-after MS     starts a sleeping thread; MS milliseconds after it is
//                             ready its leader thread ends, the other one lives on
//   mixed-creds UID GID       started as root: one thread stays root, the leader
//                             thread (and so the process's owner) becomes UID and GID
//   realtime UID GID          started as root: one sleeping thread runs under
//                             SCHED_FIFO, then the whole process becomes UID and GID;
//                             another thread keeps the CPU busy from SIGUSR1 to SIGUSR2
// Once ready it writes "ready" (and for windows the window id) as one line to stdout.

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <grp.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

namespace {

[[noreturn]] void WaitForever() {
    for (;;) pause();
}

[[noreturn]] void SpinForever() {
    volatile unsigned long counter = 0;
    for (;;) counter = counter + 1;
}

std::vector<std::thread> StartBusyThreads(int count) {
    std::vector<std::thread> threads;
    for (; count > 0; --count) threads.emplace_back(SpinForever);
    return threads;
}

void Ready(unsigned long window = 0) {
    if (window) {
        std::printf("ready %lu\n", window);
    } else {
        std::printf("ready\n");
    }
    std::fflush(stdout);
}

int OpenWindow(const std::string& title, long netPid, bool latin1Only) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return 2;
    const Window window =
        XCreateSimpleWindow(display, DefaultRootWindow(display), 10, 10, 200, 100, 0, 0, 0xFFFFFF);
    if (latin1Only) {
        XChangeProperty(display, window, XA_WM_NAME, XA_STRING, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(title.data()),
                        static_cast<int>(title.size()));
    } else {
        const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
        XChangeProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False), utf8, 8,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(title.data()),
                        static_cast<int>(title.size()));
        XStoreName(display, window, "plain name");
    }
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_PID", False), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(&netPid), 1);
    XSelectInput(display, window, StructureNotifyMask);
    XMapWindow(display, window);
    for (XEvent event; XNextEvent(display, &event) == 0;) {
        if (event.type == MapNotify) break;
    }
    Ready(window);
    for (XEvent event;;) XNextEvent(display, &event);
}

volatile sig_atomic_t g_busy = 0;

// A real-time thread that sleeps (a spinning one would starve the machine), and a
// busy one that spins only while the test asks for it.
int RealtimeProcess(uid_t uid, gid_t gid) {
    std::thread rt([] {
        const sched_param fifo{1};
        if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &fifo) != 0) std::_Exit(4);
        WaitForever();
    });
    for (int policy = SCHED_OTHER; policy != SCHED_FIFO;) {
        sched_param param{};
        pthread_getschedparam(rt.native_handle(), &policy, &param);
    }
    signal(SIGUSR1, [](int) { g_busy = 1; });
    signal(SIGUSR2, [](int) { g_busy = 0; });
    // The C library's wrappers change every thread's credentials.
    if (setgroups(0, nullptr) != 0 || setresgid(gid, gid, gid) != 0 ||
        setresuid(uid, uid, uid) != 0) {
        return 3;
    }
    std::thread busy([] {
        volatile unsigned long counter = 0;
        for (;;) {
            if (g_busy) {
                counter = counter + 1;
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        }
    });
    Ready();
    WaitForever();
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "sleep";
    if (mode == "threads" && argc > 2) {
        std::vector<std::thread> threads;
        for (int i = std::atoi(argv[2]); i > 0; --i) threads.emplace_back(WaitForever);
        Ready();
        WaitForever();
    }
    if (mode == "spin" && argc > 2) {
        // CPU time, not wall time: on a busy machine the two differ.
        const long wantedNs = std::atol(argv[2]) * 1'000'000L;
        volatile unsigned long counter = 0;
        for (timespec used{}; clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used) == 0 &&
                              used.tv_sec * 1'000'000'000L + used.tv_nsec < wantedNs;) {
            for (int i = 0; i < 10000; ++i) counter = counter + 1;
        }
        Ready();
        WaitForever();
    }
    if (mode == "busy" && argc > 2) {
        const auto threads = StartBusyThreads(std::atoi(argv[2]));
        Ready();
        WaitForever();
    }
    if (mode == "busy-window" && argc > 3) {
        const auto threads = StartBusyThreads(std::atoi(argv[3]));
        return OpenWindow(argv[2], static_cast<long>(getpid()), false);
    }
    if ((mode == "window" || mode == "latin1-window") && argc > 2) {
        const long netPid = argc > 3 ? std::atol(argv[3]) : static_cast<long>(getpid());
        return OpenWindow(argv[2], netPid, mode == "latin1-window");
    }
    if (mode == "session-window" && argc > 2) {
        setsid();
        return OpenWindow(argv[2], static_cast<long>(getpid()), false);
    }
    if (mode == "forks-after" && argc > 2) {
        Ready();
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atol(argv[2])));
        if (fork() == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            WaitForever();
        }
        WaitForever();
    }
    if (mode == "leader-exits-after" && argc > 2) {
        std::thread(WaitForever).detach();
        Ready();
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atol(argv[2])));
        pthread_exit(nullptr);
    }
    if (mode == "mixed-creds" && argc > 3) {
        std::thread(WaitForever).detach();
        // The raw calls change the calling thread's credentials only (the C library's
        // wrappers would change every thread's).
        const long uid = std::atol(argv[2]), gid = std::atol(argv[3]);
        if (syscall(SYS_setresgid, gid, gid, gid) != 0 ||
            syscall(SYS_setresuid, uid, uid, uid) != 0) {
            return 3;
        }
        Ready();
        WaitForever();
    }
    if (mode == "realtime" && argc > 3) {
        return RealtimeProcess(static_cast<uid_t>(std::atol(argv[2])),
                               static_cast<gid_t>(std::atol(argv[3])));
    }
    if (mode == "session") setsid();
    Ready();
    WaitForever();
}
