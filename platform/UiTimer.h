#pragma once
// A timer that fires on the user-interface thread every Interval milliseconds while
// it is enabled.

#include <cstdint>
#include <functional>
#include <memory>

namespace talvex::platform {

class ITimerView {
  public:
    virtual ~ITimerView() = default;
    /// The interval or the enabled state changed.
    virtual void Update() = 0;
};

class Timer {
  public:
    Timer() = default;
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    std::int32_t Interval() const { return m_interval; }
    /// Milliseconds between ticks; values below 1 count as 1.
    void SetInterval(std::int32_t ms) {
        m_interval = ms < 1 ? 1 : ms;
        if (m_view) m_view->Update();
    }
    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool enabled) {
        if (m_enabled == enabled) return;
        m_enabled = enabled;
        if (m_view) m_view->Update();
    }

    /// The tick handler. Must not throw.
    std::function<void()> OnTimer;
    /// One tick, as the backend delivers it; nothing while the timer is off.
    void Fire() {
        if (m_enabled && OnTimer) OnTimer();
    }

    void AttachView(std::unique_ptr<ITimerView> view) {
        m_view = std::move(view);
        if (m_view) m_view->Update();
    }

  private:
    std::int32_t m_interval = 1000;
    bool m_enabled = false;
    std::unique_ptr<ITimerView> m_view;
};

}  // namespace talvex::platform
