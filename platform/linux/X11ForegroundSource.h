#pragma once
// Foreground announcements of an X11 desktop: the window manager sets _NET_ACTIVE_WINDOW
// on the root window, and the server tells every client that asked with PropertyNotify.
// The source listens on a connection of its own, so the queries' connection never
// holds events nobody reads.

#include <memory>
#include <string>

#include "platform/IForegroundSource.h"
#include "platform/linux/X11WindowApi.h"

namespace talvex::platform {

class X11ForegroundSource final : public IForegroundSource {
  public:
    /// Listens on `displayName`, or on $DISPLAY when it is empty.
    explicit X11ForegroundSource(std::string displayName = {});
    ~X11ForegroundSource() override;
    X11ForegroundSource(const X11ForegroundSource&) = delete;
    X11ForegroundSource& operator=(const X11ForegroundSource&) = delete;

    bool Start(IUiServices& ui, OnChange onChange) override;
    bool Listening() const override { return m_watch != nullptr; }
    void Stop() override;
    std::string Name() const override { return "X11"; }
    std::string UnreachableDesktop() const override { return {}; }  // it follows its own

  private:
    void OnReadable();

    X11WindowApi m_windows;
    std::unique_ptr<DescriptorWatch> m_watch;
    OnChange m_onChange;
};

}  // namespace talvex::platform
