#include "platform/fake/FakeSingleInstance.h"

namespace talvex::platform {

MutexResult FakeSingleInstance::CreateMutexA(const std::string& sName) {
    if (m_names.m_createFails || sName.empty()) return MutexResult::Failed;
    // A lock this object holds already counts as existing, as a second CreateMutexA
    // in the same program would find it; nothing changes then.
    if (HoldsMutex() || m_names.IsHeld(sName)) return MutexResult::AlreadyExists;
    m_names.m_held.insert(sName);
    m_name = sName;
    return MutexResult::Created;
}

void FakeSingleInstance::ReleaseMutex() {
    if (!HoldsMutex()) return;
    m_names.m_held.erase(m_name);
    m_name.clear();
    ++m_releases;
}

}  // namespace talvex::platform
