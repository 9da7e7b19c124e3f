// A headless GNOME Shell of the test's own without Talvex's extension, whose two Wayland
// windows run in scopes of their own under the user manager's app.slice of a cgroup v2
// tree of the session's own: Mutter marks the scope of the window in front with
// user.xdg.inactive-since "-1" and the others with the time they lost the focus, and
// GnomeAppMarkSource follows the mark. Root only (it makes the cgroup tree).

#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>

#include "platform/fake/FakeUi.h"
#include "platform/linux/CompositorWindowApi.h"
#include "platform/linux/GnomeAppMarkSource.h"
#include "tests/linux/GnomeSession.h"
#include "tests/linux/LinuxTestSupport.h"

namespace talvex {
namespace {

using namespace platform;
using testing::Child;
using testing::GnomeSession;
using testing::WaitFor;

// Mutter writes the time in microseconds of the monotonic clock, or "-1".
bool IsTime(const std::optional<std::string>& mark) {
    return mark && !mark->empty() && mark->find_first_not_of("0123456789") == std::string::npos;
}

TEST(GnomeMarkSession, MutterMarksTheScopeInFrontAndTheSourceFollowsIt) {
    if (::geteuid() != 0) GTEST_SKIP() << "the session's cgroup tree can be made by root only";
    if (testing::WaylandClientProgram().empty()) {
        GTEST_SKIP() << "the Wayland test client was not built";
    }
    GnomeSession session(GnomeSession::Options{.talvexExtension = false, .appScopes = true});
    if (!session.Ready()) GTEST_SKIP() << "no GNOME Shell session: " << session.Why();
    const std::vector<std::string> apps{"org.kessaly.TalvexTest.First",
                                        "org.kessaly.TalvexTest.Second"};
    std::vector<std::unique_ptr<Child>> clients;
    for (const std::string& app : apps) {
        clients.push_back(session.StartClient(app, app));
        ASSERT_TRUE(clients.back()->Ready()) << "the Wayland client did not show its window";
    }
    ASSERT_TRUE(WaitFor([&] {
        return session.Shows(clients[0]->Pid()) && session.Shows(clients[1]->Pid());
    })) << "the shell did not map the clients' windows";

    // The second window in front before the source starts: its scope is marked then.
    ASSERT_TRUE(session.Activate(clients[1]->Pid()));
    FakeUi ui;
    CompositorWindowApi windows;
    GnomeAppMarkSource source(session.MarkRoot(), session.User(), windows);
    std::vector<ForegroundChange> changes;
    ASSERT_TRUE(
        source.Start(ui, [&](const ForegroundChange& change) { changes.push_back(change); }))
        << "no app.slice under " << session.MarkRoot();
    EXPECT_EQ(windows.GetWindowThreadProcessId(windows.GetForegroundWindow()), clients[1]->Pid());
    for (const std::size_t index : {0U, 1U, 0U}) {
        const std::string front = session.ScopeOf(apps[index]);
        const std::string back = session.ScopeOf(apps[1 - index]);
        ASSERT_TRUE(session.Activate(clients[index]->Pid()));
        ASSERT_TRUE(WaitFor([&] {
            ui.DeliverReadable();
            return windows.GetWindowThreadProcessId(windows.GetForegroundWindow()) ==
                   clients[index]->Pid();
        })) << "the source did not follow to "
            << apps[index] << "; mark: " << GnomeAppMarkSource::ReadMark(front).value_or("(none)");
        EXPECT_EQ(GnomeAppMarkSource::ReadMark(front), "-1");
        // The other scope had the focus just before: the time it lost it.
        const auto backMark = GnomeAppMarkSource::ReadMark(back);
        EXPECT_TRUE(IsTime(backMark)) << backMark.value_or("(none)");
        ASSERT_FALSE(changes.empty());
        EXPECT_EQ(changes.back().pid, clients[index]->Pid());
        // The title comes from the scope's name, as no window title is known.
        EXPECT_EQ(changes.back().title, apps[index]);
        EXPECT_EQ(source.FrontUnit().substr(source.FrontUnit().rfind('/')),
                  front.substr(front.rfind('/')));
    }
    source.Stop();
}

}  // namespace
}  // namespace talvex
