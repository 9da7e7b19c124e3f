#pragma once
// The record of changes as a file: one file a running copy of Talvex, in a folder only
// the user can write into, and the undo of what copies that ended left on record.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ChangeRecord.h"
#include "platform/SavedRecords.h"

namespace talvex::platform {

class LinuxLevers;

/// The record of one running copy of Talvex, as a file in a private folder: named
/// after the copy's pid and start time, so that a later start can tell a record
/// whose copy still runs from one whose copy ended without undoing its changes. With
/// no folder (none could be made safe) every save fails, so no change is made.
class LinuxRecordFile final : public IRecordFile {
  public:
    explicit LinuxRecordFile(std::string folder);
    bool Save(const std::string& text) override;
    void Remove() override;
    const std::string& Path() const { return m_path; }

  private:
    std::string m_path;  // empty without a folder
};

/// Undoes what copies of Talvex that ended without undoing (a crash, a kill, a
/// shutdown that ran out of time) left on record in `folder`, waiting out the kernel's
/// rate limit for a moment. Records of copies still running are left alone; what is
/// left stays on record for the next start. The records are the user's own files and
/// read as untrusted text (see ChangeRecord::UndoSavedRecord); a session group is put
/// back only while it is still the process's and its session the user's.
EarlierRunsUndo UndoEarlierRuns(const std::string& folder, LinuxLevers& levers, std::uint32_t uid);

/// The folder for the record (xdg::PrivateFolder); empty when there is none. Says in
/// the trace, and in `why` when given, which folder it is or why there is none.
std::string RecordFolder(std::string* why = nullptr);

}  // namespace talvex::platform
