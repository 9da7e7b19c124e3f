// The floor the cost benchmark measures Talvex against, and the idle processes it
// watches:
//   poll MS        samples every process's CPU times the cheapest way procfs allows:
//                  one pread per process and tick on a kept /proc/PID/stat descriptor,
//                  a rescan of /proc (with an ownership check for new processes) every
//                  17th tick, ticks MS milliseconds apart; runs until it is killed
//   idle N         forks N children that wait, writes "ready" once all are there, and
//                  waits; the children die with it

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <unordered_map>

namespace {

struct Watched {
    int fd = -1;
    unsigned long long cpu = 0;  // utime + stime at the last sample
    bool seen = false;
};

// utime + stime from a stat line: fields 14 and 15, counted after the command name.
unsigned long long CpuTicks(const char* text, std::size_t size) {
    const char* p = static_cast<const char*>(memrchr(text, ')', size));
    if (!p) return 0;
    const char* end = text + size;
    int field = 2;
    unsigned long long sum = 0;
    for (++p; p < end && field < 15; ++p) {
        if (*p != ' ') continue;
        ++field;
        if (field == 14 || field == 15) {
            unsigned long long value = 0;
            std::from_chars(p + 1, end, value);
            sum += value;
        }
    }
    return sum;
}

void Rescan(std::unordered_map<int, Watched>& watched) {
    for (auto& [pid, w] : watched) w.seen = false;
    DIR* proc = ::opendir("/proc");
    if (!proc) return;
    const uid_t uid = ::geteuid();
    while (const dirent* entry = ::readdir(proc)) {
        int pid = 0;
        const char* end = entry->d_name + std::strlen(entry->d_name);
        if (std::from_chars(entry->d_name, end, pid).ptr != end || pid <= 0) continue;
        auto [it, isNew] = watched.try_emplace(pid);
        it->second.seen = true;
        if (!isNew) continue;
        const std::string path = "/proc/" + std::to_string(pid) + "/stat";
        it->second.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat info {};
        // Once per process: whose it is.
        if (it->second.fd >= 0 && (::fstat(it->second.fd, &info) != 0 || info.st_uid != uid)) {
            ::close(it->second.fd);
            it->second.fd = -1;
        }
    }
    ::closedir(proc);
    std::erase_if(watched, [](const auto& item) {
        if (item.second.seen) return false;
        if (item.second.fd >= 0) ::close(item.second.fd);
        return true;
    });
}

[[noreturn]] void Poll(long intervalMs) {
    std::unordered_map<int, Watched> watched;
    char buffer[1024];
    for (unsigned tick = 0;; ++tick) {
        if (tick % 17 == 0) {
            Rescan(watched);
        } else {
            for (auto& [pid, w] : watched) {
                if (w.fd < 0) continue;
                const ssize_t n = ::pread(w.fd, buffer, sizeof buffer, 0);
                if (n > 0) w.cpu = CpuTicks(buffer, static_cast<std::size_t>(n));
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(intervalMs));
    }
}

[[noreturn]] void Idle(int count) {
    for (int i = 0; i < count; ++i) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            for (;;) ::pause();
        }
        if (pid < 0) {
            std::perror("fork");
            std::exit(1);
        }
    }
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;) ::pause();
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "poll" && argc > 2) Poll(std::atol(argv[2]));
    if (mode == "idle" && argc > 2) Idle(std::atoi(argv[2]));
    std::fprintf(stderr, "usage: %s poll MS | idle N\n", argv[0]);
    return 2;
}
