// The application id of a sandboxed process, from its info file or its cgroup.

#include <gtest/gtest.h>
#include <unistd.h>

#include <optional>
#include <string>

#include "platform/linux/FlatpakApp.h"

namespace talvex::platform {
namespace {

TEST(FlatpakAppTest, TheIdComesFromTheApplicationGroupOfTheInfoFile) {
    const struct {
        const char* text;
        std::optional<std::string> id;
    } cases[] = {
        {"[Application]\nname=org.example.Editor\nruntime=runtime/org.x.Platform/x86_64/1\n",
         "org.example.Editor"},
        {"[Instance]\nname=org.other.App\n[Application]\n  name = com.a-b.C_d  \r\n",
         "com.a-b.C_d"},
        {"[Runtime]\nname=org.x.Platform\n", std::nullopt},  // a runtime, no application
        {"[Application]\nnamex=org.example.Editor\n", std::nullopt},
        {"[Application]\nname=/app/bin/editor\n", std::nullopt},  // a path is no id
        {"[Application]\nname=editor\n", std::nullopt},
        {"[Application]\nname=org..example\n", std::nullopt},
        {"[Application]\nname=org.ex ample\n", std::nullopt},
        {"[Application]\nname=org.example.\x1b[31m\n", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AppIdFromFlatpakInfo(c.text), c.id) << c.text;
    }
    EXPECT_FALSE(AppIdFromFlatpakInfo("[Application]\nname=org." + std::string(300, 'a')));
}

TEST(FlatpakAppTest, TheIdComesFromTheApplicationsScope) {
    const struct {
        const char* text;
        std::optional<std::string> id;
    } cases[] = {
        {"0::/user.slice/user-1000.slice/user@1000.service/app.slice/"
         "app-flatpak-org.example.Editor-12345.scope\n",
         "org.example.Editor"},
        {"12:cpu:/x\n0::/user.slice/app-flatpak-com.a-b.C_d-7.scope/sub\n", "com.a-b.C_d"},
        {"0::/user.slice/app-gnome-org.example.Editor-12345.scope\n", std::nullopt},
        {"0::/user.slice/app-flatpak-org.example.Editor-12x.scope\n", std::nullopt},
        {"0::/user.slice/app-flatpak-org.example.Editor.scope\n", std::nullopt},
        {"0::/user.slice/xapp-flatpak-org.example.Editor-1.scope\n", std::nullopt},
        {"0::/user.slice/app-flatpak-editor-1.scope\n", std::nullopt},
        {"0::/\n", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AppIdFromCgroups(c.text), c.id) << c.text;
    }
}

TEST(FlatpakAppTest, AnOrdinaryProcessHasNoId) {
    EXPECT_EQ(FlatpakAppId(static_cast<std::int32_t>(::getpid())), "");
    EXPECT_EQ(FlatpakAppId(0), "");
}

}  // namespace
}  // namespace talvex::platform
