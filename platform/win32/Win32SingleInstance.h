#pragma once
// The single-instance lock as a named mutex in the session's namespace. Windows drops
// it when the program ends in any way.

#include "platform/ISingleInstance.h"

namespace talvex::platform {

class Win32SingleInstance final : public ISingleInstance {
  public:
    Win32SingleInstance() = default;
    ~Win32SingleInstance() override;
    Win32SingleInstance(const Win32SingleInstance&) = delete;
    Win32SingleInstance& operator=(const Win32SingleInstance&) = delete;

    MutexResult CreateMutexA(const std::string& sName) override;
    void ReleaseMutex() override;
    bool HoldsMutex() const override { return m_mutex != nullptr; }

  private:
    void* m_mutex = nullptr;
};

}  // namespace talvex::platform
