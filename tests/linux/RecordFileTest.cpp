// The record of changes on a real disk: a change whose record cannot be saved (a full
// or read-only folder) is not made to a real process.
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "base/Trace.h"
#include "platform/ChangeRecord.h"
#include "platform/linux/LinuxLevers.h"
#include "platform/linux/LinuxRecordFile.h"
#include "tests/TempFolder.h"

namespace talvex {
namespace {

using namespace platform;

// What the check in a child process found; its exit code.
enum Outcome : int {
    kNoChange = 0,     // refused, nothing changed, and the trace said why
    kChanged = 1,      // the change was made although nothing was saved
    kNotRefused = 2,   // Change() said it was done
    kNoTrace = 3,      // no trace line
    kSkip = 77,        // the folder could not be made full or read-only here
    kSetupFailed = 4,  // the control change in a writable folder failed
};

// A process of our own that waits until it is killed.
pid_t StartSleeper() {
    const pid_t pid = fork();
    if (pid == 0) {
        for (;;) pause();
    }
    return pid;
}

int NiceOf(pid_t pid) {
    errno = 0;
    return getpriority(PRIO_PROCESS, static_cast<id_t>(pid));
}

// Lowers `sleeper` from nice `from` to `to` through a record kept in `folder`: true
// when it was made.
bool LowerThrough(const std::string& folder, pid_t sleeper, int from, int to, std::string* traced) {
    LinuxLevers levers(static_cast<std::uint32_t>(geteuid()));
    LinuxRecordFile file(folder);
    ChangeRecord record(levers, LinuxLevers::BootId(), &file);
    const auto start = LinuxLevers::StartTimeOf(sleeper);
    if (!start) return false;
    trace::SetLevel(trace::Level::Error);
    trace::SetSink([&](std::string_view line) { *traced += line; });
    const bool done = record.Change({{{sleeper, *start, sleeper, Lever::ThreadNice}, from, to}});
    trace::SetSink({});
    trace::SetLevel(trace::Level::Off);
    return done;
}

// Fills `folder` so that nothing more can be written: a 4 KiB tmpfs of its own (as root,
// in a mount namespace of this process only), else the folder made read-only.
bool MakeFull(const std::string& folder) {
    if (geteuid() == 0) {
        if (unshare(CLONE_NEWNS) != 0 ||
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=4k,mode=0700") != 0) {
            return false;
        }
        FILE* filler = std::fopen((folder + "/filler").c_str(), "w");
        if (!filler) return false;
        while (std::fputc('x', filler) != EOF && std::fflush(filler) == 0) {
        }
        std::fclose(filler);
        return true;
    }
    return chmod(folder.c_str(), 0500) == 0;
}

int CheckInChild(const std::string& writable, const std::string& full) {
    const pid_t sleeper = StartSleeper();
    std::string traced;
    // The control: with room for the record the same kind of change is made.
    const bool control = LowerThrough(writable, sleeper, 0, 5, &traced) && NiceOf(sleeper) == 5;
    int outcome = kSetupFailed;
    if (control) {
        if (!MakeFull(full)) {
            outcome = kSkip;
        } else {
            traced.clear();
            const bool done = LowerThrough(full, sleeper, 5, 10, &traced);
            if (NiceOf(sleeper) != 5) {
                outcome = kChanged;
            } else if (done) {
                outcome = kNotRefused;
            } else {
                outcome =
                    traced.find("could not be saved") == std::string::npos ? kNoTrace : kNoChange;
            }
        }
    }
    kill(sleeper, SIGKILL);
    waitpid(sleeper, nullptr, 0);
    return outcome;
}

TEST(ChangeRecordOnDisk, NoChangeIsMadeWhenTheRecordFolderIsFull) {
    testing::TempFolder temp;
    const std::string writable = temp / "writable";
    const std::string full = temp / "full";
    std::filesystem::create_directory(writable);
    std::filesystem::create_directory(full);
    const pid_t child = fork();
    if (child == 0) _exit(CheckInChild(writable, full));
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == kSkip) GTEST_SKIP() << "no full or read-only folder here";
    EXPECT_EQ(WEXITSTATUS(status), kNoChange)
        << "1: changed anyway, 2: reported as done, 3: no trace, 4: the control failed";
}

}  // namespace
}  // namespace talvex
