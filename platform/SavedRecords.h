#pragma once
// The saved records of copies of Talvex, one file a copy, and the undo of those whose
// copy ended without undoing its changes (a crash, a kill, a shutdown that ran out of
// time). What is the same on every system lives here: the files' names, which tell a
// record whose copy still runs from one whose copy ended, and the order of the undo.
// Each system lists, reads and writes the folder through IRecordFolder.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ChangeRecord.h"

namespace talvex::platform {

/// The name of the record of the copy with process id `pid` and start time `start`.
std::string RecordFileName(std::int32_t pid, std::uint64_t start);

/// The pid and start time a record's name holds; nullopt for any other name (a
/// temporary file of a save among them).
struct RecordOwner {
    std::int32_t pid = 0;
    std::uint64_t start = 0;
};
std::optional<RecordOwner> ParseRecordFileName(std::string_view name);

/// The folder that holds the records, as each system reaches it.
class IRecordFolder {
  public:
    virtual ~IRecordFolder() = default;
    /// The names of the entries in the folder.
    virtual std::vector<std::string> Names() = 0;
    /// The text of record `name`; nullopt when it cannot be read, is not a plain file, or
    /// is larger than any record (kMaxSavedRecordBytes).
    virtual std::optional<std::string> Read(const std::string& name) = 0;
    /// Replaces record `name` with `text` in one step.
    virtual bool Replace(const std::string& name, const std::string& text) = 0;
    virtual void Remove(const std::string& name) = 0;
};

/// What the undo of earlier runs' records did.
struct EarlierRunsUndo {
    bool folder = false;               // the record folder was there to read
    std::vector<HeldChange> restored;  // what was put back
    bool complete = false;             // nothing is left that could not be put back
};

/// How the undo of the records in a folder runs on one system.
struct EarlierRunsPolicy {
    /// Whether the copy that `owner` names still runs: its record is its own to undo.
    std::function<bool(const RecordOwner& owner)> stillRuns;
    /// Where the system turns a write away for a moment: how many times what is left
    /// is tried again, and the wait before each try.
    int retries = 0;
    std::function<void()> waitBeforeRetry;
};

/// Undoes the records in `folder` whose copies ended (ChangeRecord::UndoSavedRecord,
/// so the text is read as untrusted), removes each one that is fully undone and keeps
/// what is left of the others. A record that cannot be read, or whose writes the system
/// refused, leaves the answer incomplete. `folder` of the answer is set.
EarlierRunsUndo UndoRecordsIn(IRecordFolder& folder, std::string_view bootId, ILeverAccess& levers,
                              const EarlierRunsPolicy& policy);

/// One line for a change put back: what, its process, the lever and the value.
std::string DescribeRestored(const HeldChange& change);

}  // namespace talvex::platform
