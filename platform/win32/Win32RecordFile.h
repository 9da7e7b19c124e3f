#pragma once
// The record of changes as a file on Windows: one file a running copy of Talvex in
// %LOCALAPPDATA%\Talvex, named after the copy's process id and creation time, and the
// undo of what copies that ended without undoing (a crash, a kill from the Task
// Manager, a shutdown that did not wait) left on record. Nothing here includes a
// Windows header.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ChangeRecord.h"
#include "platform/SavedRecords.h"

namespace talvex::platform::win32 {

/// What a Windows record names as its boot. A record is not tied to a boot here: a
/// process is pinned by its creation time, a point in time, which no process of another
/// boot has, so what a record of an earlier boot names is gone and is passed over.
inline constexpr std::string_view kWindowsBootId = "windows";

/// The record of this copy of Talvex as a file in `folder` (UTF-8). A save writes a
/// temporary file beside it and moves it over the record, so a crash leaves the old
/// record or the new one, whole. With no folder every save fails, so no change is made.
class Win32RecordFile final : public IRecordFile {
  public:
    explicit Win32RecordFile(const std::string& folder);
    bool Save(const std::string& text) override;
    void Remove() override;
    /// The record's path (UTF-8); empty without a folder.
    const std::string& Path() const { return m_path; }

  private:
    std::string m_path;
};

/// The creation time of process `pid` (GetProcessTimes, 100 ns since 1601), which
/// pins it against a later process with the same id; nullopt when it cannot be read.
std::optional<std::uint64_t> CreationTimeOf(std::int32_t pid);

/// %LOCALAPPDATA%\Talvex, made when missing (UTF-8); empty when there is none, or when
/// it is not a plain folder (a link or junction someone put in its place). Says in the
/// trace, and in `why` when given, which folder it is or why there is none.
std::string RecordFolder(std::string* why = nullptr);

/// Undoes what copies of Talvex that ended left on record in `folder`, through
/// `levers` (priority classes pinned by creation time, of the user's own processes).
/// Records of copies still running are left alone; what cannot be put back yet stays
/// on record. The records are read as untrusted text (ChangeRecord::UndoSavedRecord),
/// and Realtime is never set from them.
EarlierRunsUndo UndoEarlierRuns(const std::string& folder, ILeverAccess& levers);

}  // namespace talvex::platform::win32
