#include "platform/SavedRecords.h"

#include <charconv>

#include "base/Trace.h"

namespace talvex::platform {

namespace {

constexpr std::string_view kRecordPrefix = "TalvexChanges-";

template <typename T>
bool WholeNumber(std::string_view text, T& value) {
    if (text.empty() || text.front() < '0' || text.front() > '9') return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

// Undoes one record; true when nothing of it is left to put back.
bool UndoRecord(IRecordFolder& folder, const std::string& name, std::string_view bootId,
                ILeverAccess& levers, const EarlierRunsPolicy& policy,
                std::vector<HeldChange>& restored) {
    const auto text = folder.Read(name);
    if (!text) {
        trace::Write(trace::Level::Warning, "UndoEarlierRuns", "cannot read the record " + name);
        return false;  // not read at all: it stays as it is
    }
    auto undo = ChangeRecord::UndoSavedRecord(*text, bootId, levers);
    if (undo.refused) return false;
    bool refused = undo.refusedWrites > 0;
    restored.insert(restored.end(), undo.restored.begin(), undo.restored.end());
    for (int attempt = 0; attempt < policy.retries && !undo.left.empty(); ++attempt) {
        if (policy.waitBeforeRetry) policy.waitBeforeRetry();
        undo = ChangeRecord::UndoSavedRecord(undo.left, bootId, levers);
        refused = refused || undo.refusedWrites > 0;
        restored.insert(restored.end(), undo.restored.begin(), undo.restored.end());
    }
    if (undo.left.empty()) {
        folder.Remove(name);
    } else if (!folder.Replace(name, undo.left)) {
        trace::Write(trace::Level::Warning, "UndoEarlierRuns",
                     "cannot keep what is left of " + name);
    }
    return undo.left.empty() && !refused;
}

}  // namespace

std::string RecordFileName(std::int32_t pid, std::uint64_t start) {
    return std::string(kRecordPrefix) + std::to_string(pid) + "-" + std::to_string(start);
}

std::optional<RecordOwner> ParseRecordFileName(std::string_view name) {
    if (!name.starts_with(kRecordPrefix)) return std::nullopt;
    name.remove_prefix(kRecordPrefix.size());
    const auto dash = name.find('-');
    if (dash == std::string_view::npos) return std::nullopt;
    RecordOwner owner;
    if (!WholeNumber(name.substr(0, dash), owner.pid) ||
        !WholeNumber(name.substr(dash + 1), owner.start)) {
        return std::nullopt;
    }
    return owner;
}

EarlierRunsUndo UndoRecordsIn(IRecordFolder& folder, std::string_view bootId, ILeverAccess& levers,
                              const EarlierRunsPolicy& policy) {
    EarlierRunsUndo result;
    result.folder = true;
    result.complete = true;
    for (const std::string& name : folder.Names()) {
        const auto owner = ParseRecordFileName(name);
        if (!owner) continue;
        // The record of a copy that still runs is that copy's to undo.
        if (policy.stillRuns && policy.stillRuns(*owner)) continue;
        if (!UndoRecord(folder, name, bootId, levers, policy, result.restored)) {
            result.complete = false;
        }
    }
    return result;
}

std::string DescribeRestored(const HeldChange& change) {
    const LeverTarget& t = change.target;
    const std::string value = std::to_string(change.before);
    std::string what;
    switch (t.lever) {
        case Lever::ThreadNice:
            what = "thread " + std::to_string(t.id) + " nice " + value;
            break;
        case Lever::ThreadResetOnFork:
            what = "thread " + std::to_string(t.id) + " reset-on-fork " + value;
            break;
        case Lever::GroupNice:
            what = "session group " + std::to_string(t.id) + " nice " + value;
            break;
        case Lever::GroupWeight:
            what = "CPU group " + std::to_string(t.id) + " weight " + value;
            break;
        case Lever::PriorityClass:
            what = "priority class " + value;
            break;
    }
    return "put back: pid " + std::to_string(t.pid) + " " + what;
}

}  // namespace talvex::platform
