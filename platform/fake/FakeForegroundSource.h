#pragma once
// A foreground source for tests: announcements travel through a real pipe, so they
// reach the program through the UI's descriptor watch just as a desktop's do.

#include <deque>
#include <memory>

#include "platform/IForegroundSource.h"

namespace talvex::platform {

class FakeForegroundSource final : public IForegroundSource {
  public:
    FakeForegroundSource() = default;
    ~FakeForegroundSource() override;
    FakeForegroundSource(const FakeForegroundSource&) = delete;
    FakeForegroundSource& operator=(const FakeForegroundSource&) = delete;

    // ---- control interface for tests ----
    /// Whether Start succeeds (the desktop can be reached).
    void SetReachable(bool reachable) { m_reachable = reachable; }
    /// The desktop announces a change; it arrives once the event loop runs.
    void Announce(const ForegroundChange& change);
    /// The desktop's end of the connection goes away.
    void Break();
    /// The session's desktop whose foreground cannot be followed ("" for none).
    void SetUnreachableDesktop(const std::string& desktop) { m_unreachable = desktop; }
    int StartCalls() const { return m_startCalls; }
    int ChangesDelivered() const { return m_delivered; }

    // ---- IForegroundSource ----
    bool Start(IUiServices& ui, OnChange onChange) override;
    bool Listening() const override { return m_watch != nullptr; }
    void Stop() override;
    std::string Name() const override { return "fake"; }
    std::string UnreachableDesktop() const override { return m_unreachable; }

  private:
    void OnReadable();

    bool m_reachable = true;
    std::string m_unreachable;
    int m_fds[2] = {-1, -1};
    std::unique_ptr<DescriptorWatch> m_watch;
    OnChange m_onChange;
    std::deque<ForegroundChange> m_pending;
    int m_startCalls = 0;
    int m_delivered = 0;
};

}  // namespace talvex::platform
