// The flock-based single-instance lock between real processes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <string_view>

#include "platform/linux/LinuxSingleInstance.h"
#include "settings/modInstance.h"
#include "tests/settings/SettingsTestSupport.h"

namespace talvex {
using namespace modInstance;
namespace {

using namespace platform;
using testing::TempFolder;

// A copy of the program in a child process: it takes the lock, reports whether it got
// it, and then waits until it is killed or told to end.
class ChildCopy {
  public:
    explicit ChildCopy(const std::string& dir, bool releaseFirst = false) {
        int toParent[2], toChild[2];
        if (pipe(toParent) != 0 || pipe(toChild) != 0) return;
        m_pid = fork();
        if (m_pid == 0) {
            close(toParent[0]);
            close(toChild[1]);
            LinuxSingleInstance lock(dir);
            const char first = IsFirstInstance(lock) ? 'F' : 'S';
            if (write(toParent[1], &first, 1) != 1) _exit(2);
            char ignored = 0;
            if (read(toChild[0], &ignored, 1) < 0) _exit(2);
            if (releaseFirst) ReleaseInstanceMutex(lock);
            _exit(0);  // ends without releasing: the kernel must drop the lock
        }
        close(toParent[1]);
        close(toChild[0]);
        m_toChild = toChild[1];
        if (read(toParent[0], &m_answer, 1) != 1) m_answer = '?';
        close(toParent[0]);
    }
    ~ChildCopy() {
        if (m_pid > 0) Kill();
        if (m_toChild >= 0) close(m_toChild);
    }
    ChildCopy(const ChildCopy&) = delete;
    ChildCopy& operator=(const ChildCopy&) = delete;

    bool WasFirst() const { return m_answer == 'F'; }
    void Kill() {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
        m_pid = 0;
    }
    void End() {
        const char go = 'x';
        if (write(m_toChild, &go, 1) != 1) return;
        waitpid(m_pid, nullptr, 0);
        m_pid = 0;
    }

  private:
    pid_t m_pid = -1;
    int m_toChild = -1;
    char m_answer = '?';
};

TEST(LinuxSingleInstanceTest, LockOfARunningCopyIsFoundUntilItIsKilled) {
    TempFolder temp;
    ChildCopy first(temp.Path());
    ASSERT_TRUE(first.WasFirst());

    LinuxSingleInstance second(temp.Path());
    EXPECT_FALSE(IsFirstInstance(second));
    EXPECT_FALSE(second.HoldsMutex());
    ChildCopy third(temp.Path());
    EXPECT_FALSE(third.WasFirst());

    first.Kill();
    EXPECT_TRUE(IsFirstInstance(second));
    EXPECT_TRUE(second.HoldsMutex());
    ChildCopy fourth(temp.Path());
    EXPECT_FALSE(fourth.WasFirst());
    ReleaseInstanceMutex(second);
    ReleaseInstanceMutex(second);
    EXPECT_FALSE(second.HoldsMutex());
}

TEST(LinuxSingleInstanceTest, LockGoesWithTheCopyWhetherItReleasesOrJustEnds) {
    TempFolder temp;
    for (const bool release : {true, false}) {
        ChildCopy first(temp.Path(), release);
        ASSERT_TRUE(first.WasFirst());
        LinuxSingleInstance later(temp.Path());
        EXPECT_FALSE(IsFirstInstance(later));
        first.End();
        EXPECT_TRUE(IsFirstInstance(later)) << "released: " << release;
    }
}

TEST(LinuxSingleInstanceTest, ProgramStartedByACopyDoesNotKeepTheLockAfterTheCopyDies) {
    TempFolder temp;
    int toParent[2];
    ASSERT_EQ(pipe(toParent), 0);
    const pid_t copy = fork();
    if (copy == 0) {
        // The copy takes the lock, starts another program and dies without letting go.
        LinuxSingleInstance lock(temp.Path());
        if (!IsFirstInstance(lock)) _exit(1);
        const pid_t started = fork();
        if (started == 0) {
            execl("/bin/sleep", "sleep", "30", static_cast<char*>(nullptr));
            _exit(127);
        }
        if (write(toParent[1], &started, sizeof started) != sizeof started) _exit(2);
        _exit(0);
    }
    close(toParent[1]);
    pid_t started = 0;
    ASSERT_EQ(read(toParent[0], &started, sizeof started), static_cast<ssize_t>(sizeof started));
    close(toParent[0]);
    int status = 0;
    waitpid(copy, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    // Wait until the started program runs as itself. The kernel lets go of a lock a
    // moment after the last descriptor closes, so the next start may look a few times;
    // a descriptor kept by the started program would hold the lock for its whole 30 s.
    const std::string comm = "/proc/" + std::to_string(started) + "/comm";
    for (int i = 0; i < 200 && testing::ReadText(comm) != "sleep\n"; ++i) usleep(10 * 1000);
    ASSERT_EQ(testing::ReadText(comm), "sleep\n");

    bool first = false;
    for (int i = 0; i < 200 && !first; ++i) {
        LinuxSingleInstance next(temp.Path());
        first = IsFirstInstance(next);
        if (!first) usleep(10 * 1000);
    }
    EXPECT_TRUE(first);
    kill(started, SIGKILL);
}

TEST(LinuxSingleInstanceTest, MissingFolderCountsAsFirstCopyWithoutALock) {
    TempFolder temp;
    LinuxSingleInstance lock(temp / "no/such/folder");
    EXPECT_TRUE(IsFirstInstance(lock));
    EXPECT_FALSE(lock.HoldsMutex());
    LinuxSingleInstance unnamed("");
    EXPECT_EQ(unnamed.CreateMutexA("TalvexApp"), MutexResult::Failed);
}

TEST(LinuxSingleInstanceTest, LockFileOfAnotherUserInASharedFolderDoesNotLetTwoCopiesRun) {
    // A folder every user may write into, as a shared runtime folder or /tmp is.
    TempFolder temp;
    ASSERT_EQ(chmod(temp.Path().c_str(), 01777), 0);
    const std::string lockFile = temp / "TalvexApp";
    struct Setup {
        const char* what;
        bool needsRoot;
        std::function<void()> make;
    };
    const Setup setups[] = {
        // Made by another user's copy, readable by nobody else.
        {"unreadable", false,
         [&] {
             testing::WriteText(lockFile, "");
             chmod(lockFile.c_str(), geteuid() == 0 ? 0600 : 0);
         }},
        // Made by another user, open to all, held by that user's copy.
        {"held by another user", true,
         [&] {
             testing::WriteText(lockFile, "");
             chmod(lockFile.c_str(), 0666);
             if (chown(lockFile.c_str(), 12345, 12345) != 0) ADD_FAILURE() << "chown";
         }},
    };
    for (const Setup& setup : setups) {
        SCOPED_TRACE(setup.what);
        if (setup.needsRoot && geteuid() != 0) continue;
        unlink(lockFile.c_str());
        setup.make();
        const int theirs = open(lockFile.c_str(), O_RDWR);
        if (theirs >= 0) flock(theirs, LOCK_EX | LOCK_NB);
        const int status = testing::RunInChild([&] {
            if (!testing::DropRootRights()) return 3;
            LinuxSingleInstance first(temp.Path());
            LinuxSingleInstance second(temp.Path());
            if (!IsFirstInstance(first)) return 1;
            return IsFirstInstance(second) ? 2 : 0;
        });
        if (theirs >= 0) close(theirs);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the first copy was told another one runs, "
                                             "2: the second copy counted as the first";
    }
}

TEST(LinuxSingleInstanceTest, LockLivesInTheRuntimeFolderWhenThereIsOne) {
    TempFolder temp;
    const int status = testing::RunInChild([&] {
        setenv("XDG_RUNTIME_DIR", temp.Path().c_str(), 1);
        auto lock = LinuxSingleInstance::FromEnvironment();
        if (lock->LockDir() != temp.Path()) return 1;
        return IsFirstInstance(*lock) && access((temp / "TalvexApp").c_str(), F_OK) == 0 ? 0 : 2;
    });
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(LinuxSingleInstanceTest, WithoutARuntimeFolderTheLockIsInTheStateFolderAndNeverAnothers) {
    TempFolder temp;
    const std::string state = temp / "state";
    const std::string folder = state + "/talvex";
    const auto env = [&](const char* name) -> const char* {
        return std::string_view(name) == "XDG_STATE_HOME" ? state.c_str() : nullptr;
    };
    {
        auto lock = LinuxSingleInstance::FromEnvironment(env);
        EXPECT_EQ(lock->LockDir(), folder);
        EXPECT_TRUE(IsFirstInstance(*lock));
        EXPECT_TRUE(lock->HoldsMutex());
        auto second = LinuxSingleInstance::FromEnvironment(env);
        EXPECT_FALSE(IsFirstInstance(*second));
    }
    // Somebody put a link where the folder goes: no lock can be trusted there, and this
    // copy does not take itself for the first.
    ASSERT_EQ(rename(folder.c_str(), (temp / "theirs").c_str()), 0);
    ASSERT_EQ(symlink((temp / "theirs").c_str(), folder.c_str()), 0);
    auto lock = LinuxSingleInstance::FromEnvironment(env);
    EXPECT_EQ(lock->LockDir(), "");
    EXPECT_FALSE(IsFirstInstance(*lock));
    EXPECT_FALSE(lock->HoldsMutex());
}

}  // namespace
}  // namespace talvex
