#pragma once
// Named locks for tests. Several FakeSingleInstance objects that share one
// FakeLockNamespace behave like copies of the program under one user.

#include <set>
#include <string>

#include "platform/ISingleInstance.h"

namespace talvex::platform {

/// The names held by any copy; stands for the system's namespace of named objects.
class FakeLockNamespace {
  public:
    bool IsHeld(const std::string& name) const { return m_held.count(name) != 0; }
    /// While set, creating any lock fails outright.
    void SetCreateFails(bool fails) { m_createFails = fails; }

  private:
    friend class FakeSingleInstance;
    std::set<std::string> m_held;
    bool m_createFails = false;
};

class FakeSingleInstance final : public ISingleInstance {
  public:
    explicit FakeSingleInstance(FakeLockNamespace& names) : m_names(names) {}
    ~FakeSingleInstance() override { ReleaseMutex(); }  // the copy ended
    FakeSingleInstance(const FakeSingleInstance&) = delete;
    FakeSingleInstance& operator=(const FakeSingleInstance&) = delete;

    MutexResult CreateMutexA(const std::string& sName) override;
    void ReleaseMutex() override;
    bool HoldsMutex() const override { return !m_name.empty(); }

    /// How often ReleaseMutex let go of a lock that was held.
    int Releases() const { return m_releases; }

  private:
    FakeLockNamespace& m_names;
    std::string m_name;  // the lock held; empty when none
    int m_releases = 0;
};

}  // namespace talvex::platform
