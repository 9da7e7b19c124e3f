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

    FakeUi ui;
    CompositorWindowApi windows;
    GnomeAppMarkSource source(session.MarkRoot(), session.User(), windows);
    std::vector<ForegroundChange> changes;
    ASSERT_TRUE(
        source.Start(ui, [&](const ForegroundChange& change) { changes.push_back(change); }))
        << "no app.slice under " << session.MarkRoot();
    // The front at the start is the scope marked then: the window the shell focused last.
    const std::int32_t first = windows.GetWindowThreadProcessId(windows.GetForegroundWindow());
    ASSERT_TRUE(first == clients[0]->Pid() || first == clients[1]->Pid()) << first;
    // Always to the window not in front, so that every switch moves the mark.
    const std::size_t back = first == clients[0]->Pid() ? 1 : 0;
    for (const std::size_t index : {back, 1 - back, back}) {
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
        // The other scope had the focus or never had it: a time, or no mark yet.
        const auto backMark = GnomeAppMarkSource::ReadMark(back);
        EXPECT_TRUE(!backMark || IsTime(backMark)) << *backMark;
        ASSERT_FALSE(changes.empty());
        EXPECT_EQ(changes.back().pid, clients[index]->Pid());
        // The title comes from the scope's name, as no window title is known.
        EXPECT_EQ(changes.back().title, apps[index]);
        EXPECT_EQ(source.FrontUnit().substr(source.FrontUnit().rfind('/')),
                  front.substr(front.rfind('/')));
    }
    // The scope that lost the focus last has the time of it.
    EXPECT_TRUE(IsTime(GnomeAppMarkSource::ReadMark(session.ScopeOf(apps[1 - back]))));
    source.Stop();
}

}  // namespace
}  // namespace talvex
