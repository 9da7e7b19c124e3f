// Which desktop's announcements the program listens to, from the session's environment,
// and the fall-back to X11 when the compositor cannot be reached.
#include <gtest/gtest.h>

#include <map>

#include "platform/fake/FakeUi.h"
#include "platform/linux/LinuxForeground.h"
#include "platform/linux/SwayForegroundSource.h"
#include "tests/FakeSocketServer.h"
#include "tests/TempFolder.h"

namespace talvex {
namespace {

using namespace platform;

xdg::EnvLookup Env(std::map<std::string, std::string> values) {
    return [values = std::move(values)](const char* name) -> const char* {
        const auto it = values.find(name);
        return it == values.end() ? nullptr : it->second.c_str();
    };
}

TEST(ForegroundChoice, TheCompositorFollowsFromTheSessionsEnvironment) {
    struct Case {
        std::map<std::string, std::string> env;
        Compositor expected;
    };
    const std::vector<Case> cases = {
        {{{"DISPLAY", ":0"}}, Compositor::None},
        {{{"DISPLAY", ":0"}, {"SWAYSOCK", "/run/s"}, {"XDG_CURRENT_DESKTOP", "GNOME"}},
         Compositor::None},  // no Wayland display: an X11 session, whatever else is set
        {{{"WAYLAND_DISPLAY", "wayland-1"}, {"SWAYSOCK", "/run/s"}}, Compositor::Sway},
        {{{"WAYLAND_DISPLAY", "wayland-1"}, {"HYPRLAND_INSTANCE_SIGNATURE", "abc"}},
         Compositor::Hyprland},
        {{{"WAYLAND_DISPLAY", "wayland-0"}, {"XDG_CURRENT_DESKTOP", "KDE"}}, Compositor::KWin},
        {{{"WAYLAND_DISPLAY", "wayland-0"}, {"XDG_CURRENT_DESKTOP", "ubuntu:GNOME"}},
         Compositor::Gnome},
        {{{"WAYLAND_DISPLAY", "wayland-0"}, {"XDG_CURRENT_DESKTOP", "gnome-classic:GNOME"}},
         Compositor::Gnome},
        {{{"WAYLAND_DISPLAY", "wayland-0"}, {"XDG_CURRENT_DESKTOP", "GNOMEISH"}},
         Compositor::Other},
        {{{"WAYLAND_DISPLAY", "wayland-0"}, {"XDG_CURRENT_DESKTOP", "sway"}}, Compositor::Sway},
        {{{"WAYLAND_DISPLAY", "wayland-0"}}, Compositor::Other},
        {{{"WAYLAND_DISPLAY", ""}, {"SWAYSOCK", "/run/s"}}, Compositor::None},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(ChooseCompositor(Env(cases[i].env)), cases[i].expected) << "case " << i;
    }
}

TEST(ForegroundChoice, AnUnreachableCompositorLeavesX11AndIsNamedOnceReachableItIsUsed) {
    testing::TempFolder folder;
    const std::string socket = folder.Path().string() + "/sway-ipc.sock";
    FakeUi ui;
    const auto env = Env({{"WAYLAND_DISPLAY", "wayland-1"},
                          {"SWAYSOCK", socket},
                          {"DISPLAY", ":4711"},
                          {"XDG_CURRENT_DESKTOP", "sway"}});
    LinuxForeground foreground(env);
    EXPECT_FALSE(foreground.Start(ui, [](const ForegroundChange&) {}));
    EXPECT_EQ(foreground.UnreachableDesktop(), "sway");
    EXPECT_EQ(foreground.Name(), "X11");
    // Wayland keeps no window above the others, whichever source serves.
    EXPECT_EQ(foreground.TopmostUnavailableOn(), "sway");

    // Once sway answers, its windows are the ones the engine reads.
    testing::FakeSocketServer sway(socket, [](std::string& received) {
        std::string copy = received;
        const auto request = i3ipc::Take(copy);
        if (!request) return std::optional<testing::FakeSocketServer::Reply>{};
        received = copy;
        const std::string tree =
            R"({"id":1,"type":"root","nodes":[{"id":4,"type":"workspace","nodes":[)"
            R"({"id":9,"type":"con","focused":true,"pid":4242,"name":"Editor","nodes":[]}]}]})";
        return std::optional<testing::FakeSocketServer::Reply>{{i3ipc::Encode(
            request->type, request->type == i3ipc::kGetTree ? tree : R"({"success":true})")}};
    });
    EXPECT_TRUE(foreground.Start(ui, [](const ForegroundChange&) {}));
    EXPECT_EQ(foreground.Name(), "sway");
    EXPECT_EQ(foreground.UnreachableDesktop(), "");
    EXPECT_EQ(foreground.GetForegroundWindow(), 9u);
    EXPECT_EQ(foreground.GetWindowThreadProcessId(9), 4242);
    EXPECT_EQ(foreground.GetWindowTextA(9, 250), "Editor");

    // An X11 session is never named.
    LinuxForeground x11(Env({{"DISPLAY", ":4711"}}));
    EXPECT_FALSE(x11.Start(ui, [](const ForegroundChange&) {}));
    EXPECT_EQ(x11.UnreachableDesktop(), "");
    EXPECT_EQ(x11.TopmostUnavailableOn(), "");
}

}  // namespace
}  // namespace talvex
