#pragma once
// Foreground announcements of GNOME without anything installed: Mutter (41 and later)
// marks the systemd cgroup of every application under the user manager's app.slice
// with the extended attribute user.xdg.inactive-since: "-1" while one of the
// application's windows has the focus, the time it lost the focus otherwise. inotify
// reports a change of the attribute (IN_ATTRIB on each unit's folder) and new units
// (IN_CREATE on app.slice and its sub-slices).
//
// The mark names an application, not a window: the front is the unit marked "-1",
// its program the unit's main process (the oldest one that is not a shell or a
// launcher helper), its title the application's desktop id from the unit's name, or
// the program's name. When two units claim the focus for a moment, the one that
// claimed it last wins. Units of other users, units without processes and damaged
// marks are ignored. Applications started outside app.slice carry no mark.

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/IForegroundSource.h"
#include "platform/linux/CompositorWindowApi.h"

namespace talvex::platform {

class GnomeAppMarkSource final : public IForegroundSource {
  public:
    /// Reads the mark of the cgroup folder `dir`; nullopt where there is none.
    using MarkReader = std::function<std::optional<std::string>(const std::string& dir)>;
    static constexpr const char* kMark = "user.xdg.inactive-since";

    /// `root` is prefixed to /proc and /sys/fs/cgroup ("" on a live system); `uid` is
    /// the user whose applications count.
    GnomeAppMarkSource(std::string root, uid_t uid, CompositorWindowApi& windows,
                       MarkReader readMark = ReadMark);
    ~GnomeAppMarkSource() override;
    GnomeAppMarkSource(const GnomeAppMarkSource&) = delete;
    GnomeAppMarkSource& operator=(const GnomeAppMarkSource&) = delete;

    /// The attribute as the file system holds it.
    static std::optional<std::string> ReadMark(const std::string& dir);
    /// The user manager's app.slice of user `uid` under `root`.
    static std::string AppSlice(const std::string& root, uid_t uid);
    /// The application's name from a unit's name ("app-gnome-org.gnome.TextEditor-1234.scope"
    /// gives "org.gnome.TextEditor"); "" for a unit that names none.
    static std::string AppIdOf(const std::string& unit);
    /// Whether `exe` (a name) is a shell or a launcher helper, never the application.
    static bool IsHelper(const std::string& exe);

    bool Start(IUiServices& ui, OnChange onChange) override;
    bool Listening() const override { return m_watch != nullptr; }
    void Stop() override;
    std::string Name() const override { return "GNOME"; }
    std::string UnreachableDesktop() const override { return {}; }  // it follows its own

    /// The folder of the unit in front now; "" for none.
    const std::string& FrontUnit() const { return m_front; }

  private:
    struct Unit {
        std::string dir;
        std::uint64_t claimedAt = 0;  // when its mark last turned to "-1"; 0: not marked
    };
    void OnReadable();
    bool WatchSlice(const std::string& dir, int depth);
    void WatchUnit(const std::string& dir);
    void ReadUnitMark(Unit& unit);
    /// Announces the unit in front when it changed; true when it did.
    bool Choose();
    ForegroundChange Describe(const std::string& dir);
    std::int32_t MainProcess(const std::string& dir, std::string& exe) const;

    std::string m_root;
    uid_t m_uid;
    CompositorWindowApi& m_windows;
    MarkReader m_readMark;
    int m_fd = -1;
    std::map<int, std::string> m_slices;  // by watch descriptor
    std::map<int, Unit> m_units;          // by watch descriptor
    std::uint64_t m_clock = 0;            // counts the claims seen
    std::string m_front;
    std::int32_t m_frontPid = 0;
    std::unique_ptr<DescriptorWatch> m_watch;
    OnChange m_onChange;
};

}  // namespace talvex::platform
