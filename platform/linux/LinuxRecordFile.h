#pragma once
// The record of changes as a file: one file a running copy of Talvex, in a folder only
// the user can write into, and the undo of what copies that ended left on record.

#include <string>

#include "platform/ChangeRecord.h"

namespace talvex::platform {

class LinuxLevers;

/// The record of one running copy of Talvex, as a file in a private folder: named
/// after the copy's pid and start time, so that a later start can tell a record
/// whose copy still runs from one whose copy ended without undoing its changes.
class LinuxRecordFile final : public IRecordFile {
  public:
    explicit LinuxRecordFile(std::string folder);
    bool Save(const std::string& text) override;
    void Remove() override;
    const std::string& Path() const { return m_path; }

  private:
    std::string m_path;
};

/// Undoes what copies of Talvex that ended without undoing (a crash, a kill, a
/// shutdown that ran out of time) left on record in `folder`, waiting out the kernel's
/// rate limit for a moment. Records of copies still running are left alone. True when
/// nothing is left; what is left stays on record for the next start.
bool UndoEarlierRuns(const std::string& folder, LinuxLevers& levers);

/// The folder for the record: $XDG_RUNTIME_DIR, else a private folder under /tmp.
std::string RecordFolder();

}  // namespace talvex::platform
