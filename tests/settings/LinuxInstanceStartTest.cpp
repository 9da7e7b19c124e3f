// Starting several real copies of the program: the question of a second copy, its
// answers, and the lock of the first copy until it ends or is killed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "tests/settings/SettingsTestSupport.h"

namespace talvex {
namespace {

using testing::TempFolder;

// One started copy; its output is read up to "running" or "ended".
class Copy {
  public:
    Copy(const TempFolder& temp, const char* answer) {
        int in[2], out[2];
        // Close-on-exec, so that no later copy inherits the ends of this one's pipes.
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return;
        m_pid = fork();
        if (m_pid == 0) {
            dup2(in[0], STDIN_FILENO);
            dup2(out[1], STDOUT_FILENO);
            close(in[1]);
            close(out[0]);
            const std::string run = temp / "run", config = temp / "config";
            execl(TALVEX_INSTANCE_PROBE, TALVEX_INSTANCE_PROBE, run.c_str(), config.c_str(), answer,
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        m_stdin = in[1];
        m_stdout = out[0];
        ReadUntilSettled();
    }
    ~Copy() {
        if (m_stdin >= 0) close(m_stdin);
        if (m_pid > 0) Kill();
        if (m_stdout >= 0) close(m_stdout);
    }
    Copy(const Copy&) = delete;
    Copy& operator=(const Copy&) = delete;

    bool Asked() const { return m_output.find("asked\n") != std::string::npos; }
    bool Running() const { return m_output.find("running\n") != std::string::npos; }
    bool Ended() const { return m_output.find("ended\n") != std::string::npos; }
    const std::string& Output() const { return m_output; }

    /// Ends the copy through its own shutdown; its exit status.
    int End() {
        close(m_stdin);
        m_stdin = -1;
        ReadUntilSettled();
        return Wait();
    }
    int Wait() {
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = 0;
        return status;
    }
    void Kill() {
        kill(m_pid, SIGKILL);
        Wait();
    }

  private:
    void ReadUntilSettled() {
        char buffer[256];
        while (!Ended() && !(Running() && m_stdin >= 0)) {
            const ssize_t got = read(m_stdout, buffer, sizeof buffer);
            if (got <= 0) return;
            m_output.append(buffer, static_cast<std::size_t>(got));
        }
    }

    pid_t m_pid = -1;
    int m_stdin = -1;
    int m_stdout = -1;
    std::string m_output;
};

class LinuxInstanceStartTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(mkdir((temp / "run").c_str(), 0700), 0); }
    TempFolder temp;
};

TEST_F(LinuxInstanceStartTest, SecondCopyAsksNoEndsItYesRunsOnAndTheFirstKeepsTheLock) {
    Copy first(temp, "no");
    ASSERT_TRUE(first.Running()) << first.Output();
    EXPECT_FALSE(first.Asked());

    Copy declined(temp, "no");
    EXPECT_TRUE(declined.Asked());
    EXPECT_TRUE(declined.Ended()) << declined.Output();
    const int status = declined.Wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    Copy accepted(temp, "yes");
    EXPECT_TRUE(accepted.Asked());
    EXPECT_TRUE(accepted.Running()) << accepted.Output();
    // The copy that runs on holds nothing: a third still finds the first's lock.
    Copy third(temp, "no");
    EXPECT_TRUE(third.Asked());
    EXPECT_TRUE(third.Ended());

    const int firstStatus = first.End();
    EXPECT_TRUE(WIFEXITED(firstStatus) && WEXITSTATUS(firstStatus) == 0);
    Copy next(temp, "no");
    EXPECT_FALSE(next.Asked());
    EXPECT_TRUE(next.Running()) << next.Output();
}

TEST_F(LinuxInstanceStartTest, KilledFirstCopyLeavesNoLockBehind) {
    Copy first(temp, "no");
    ASSERT_TRUE(first.Running());
    first.Kill();
    Copy next(temp, "no");
    EXPECT_FALSE(next.Asked());
    EXPECT_TRUE(next.Running()) << next.Output();
}

}  // namespace
}  // namespace talvex
