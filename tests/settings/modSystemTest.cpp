// Autostart and the single-instance check on the in-memory backends.
#include <gtest/gtest.h>

#include "platform/fake/FakeAutostart.h"
#include "platform/fake/FakeSingleInstance.h"
#include "settings/modAutostart.h"
#include "settings/modInstance.h"

namespace talvex {
using namespace modInstance;
using namespace modAutostart;
namespace {

using namespace platform;

TEST(modAutostartTest, EntryIsWrittenReadRemovedAndRewrittenWithTheCurrentPath) {
    FakeAutostart autostart("/opt/talvex/talvex");
    EXPECT_FALSE(IsAutostartSet(autostart));
    EXPECT_TRUE(SetAutostart(autostart, true));
    EXPECT_EQ(autostart.Entries(),
              (std::map<std::string, std::string>{{"Talvex", "/opt/talvex/talvex"}}));
    EXPECT_TRUE(IsAutostartSet(autostart));

    // An entry left by a copy in another folder counts as set; writing it again makes
    // it point at the running copy.
    autostart.SetProgramPath("/home/ann/bin/talvex");
    EXPECT_TRUE(IsAutostartSet(autostart));
    EXPECT_TRUE(SetAutostart(autostart, true));
    EXPECT_EQ(autostart.Entries()["Talvex"], "/home/ann/bin/talvex");

    EXPECT_TRUE(SetAutostart(autostart, false));
    EXPECT_TRUE(autostart.Entries().empty());
    EXPECT_FALSE(IsAutostartSet(autostart));
    EXPECT_TRUE(SetAutostart(autostart, false));  // removing nothing is no failure
}

TEST(modAutostartTest, UnreachableListChangesNothingAndReadsAsNotSet) {
    FakeAutostart autostart;
    autostart.Entries()["Talvex"] = "/usr/bin/talvex";
    autostart.SetReachable(false);
    EXPECT_FALSE(IsAutostartSet(autostart));
    EXPECT_FALSE(SetAutostart(autostart, false));
    EXPECT_FALSE(SetAutostart(autostart, true));
    autostart.SetReachable(true);
    EXPECT_EQ(autostart.Entries()["Talvex"], "/usr/bin/talvex");
}

TEST(modInstanceTest, SecondCopyFindsTheFirstUntilTheFirstLetsGo) {
    FakeLockNamespace names;
    FakeSingleInstance first(names), second(names), third(names);
    EXPECT_TRUE(IsFirstInstance(first));
    EXPECT_TRUE(first.HoldsMutex());
    EXPECT_TRUE(names.IsHeld(kInstanceMutexName));

    // The second copy holds nothing, and releasing at its shutdown does no harm.
    EXPECT_FALSE(IsFirstInstance(second));
    EXPECT_FALSE(second.HoldsMutex());
    ReleaseInstanceMutex(second);
    EXPECT_TRUE(names.IsHeld(kInstanceMutexName));
    EXPECT_FALSE(IsFirstInstance(third));

    // Asking again keeps the first copy's lock.
    EXPECT_TRUE(IsFirstInstance(first));
    EXPECT_TRUE(first.HoldsMutex());

    ReleaseInstanceMutex(first);
    ReleaseInstanceMutex(first);
    EXPECT_EQ(first.Releases(), 1);
    EXPECT_TRUE(IsFirstInstance(third));
}

TEST(modInstanceTest, LockThatCannotBeMadeCountsAsFirstCopy) {
    FakeLockNamespace names;
    names.SetCreateFails(true);
    FakeSingleInstance only(names);
    EXPECT_TRUE(IsFirstInstance(only));
    EXPECT_FALSE(only.HoldsMutex());
}

}  // namespace
}  // namespace talvex
