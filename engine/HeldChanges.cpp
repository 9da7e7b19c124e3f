#include "engine/HeldChanges.h"

#include <algorithm>

#include "engine/modProcess.h"
#include "platform/IProcessApi.h"

namespace talvex {

using namespace platform;

namespace {

// Strength of a priority class, weakest first; a value that is no class counts as Normal.
int Rank(std::int64_t priorityClass) {
    const int rank = PriorityRank(priorityClass);
    return rank < 0 ? PriorityRank(NORMAL_PRIORITY_CLASS) : rank;
}

// How much stronger `now` is than `before`: above 0 raised, below 0 lowered.
std::int64_t Gain(Lever values, std::int64_t before, std::int64_t now) {
    if (values == Lever::PriorityClass) return Rank(now) - Rank(before);
    if (values == Lever::GroupWeight) return now - before;  // a heavier group runs more
    return before - now;                                    // a lower nice value runs sooner
}

std::string FileNameOf(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool HeldRow::Raised() const {
    return Gain(values, before, now) > 0;
}
bool HeldRow::Lowered() const {
    return Gain(values, before, now) < 0;
}

HeldCount CountHeld(const std::vector<HeldRow>& rows) {
    std::set<std::int32_t> boosted;
    std::set<std::int32_t> lowered;
    for (const HeldRow& row : rows) {
        // Left alone after another program's change: nothing of Talvex's is held.
        if (row.reason && row.reason->why == HeldWhy::ChangedByOther) continue;
        if (row.Raised()) boosted.insert(row.lPid);
        if (row.Lowered()) lowered.insert(row.lPid);
    }
    // A program with one lever up and another down (it cannot happen today) counts as
    // boosted: the raise is what the user would notice.
    for (const std::int32_t pid : boosted) lowered.erase(pid);
    return {static_cast<int>(boosted.size()), static_cast<int>(lowered.size())};
}

std::optional<ClassSet> ClassSetByTalvex(const ChangeRecord& record, std::int32_t lPid) {
    for (const HeldChange& change : record.Held()) {
        const LeverTarget& target = change.target;
        if (target.pid != lPid) continue;
        if (target.lever == Lever::PriorityClass) {
            return ClassSet{static_cast<std::int32_t>(change.before),
                            static_cast<std::int32_t>(change.set)};
        }
        // Nice is per thread; the main thread's speaks for the process, as its class
        // is read from it.
        if (target.lever == Lever::ThreadNice && target.id == lPid) {
            return ClassSet{ClassForNice(change.before), ClassForNice(change.set)};
        }
    }
    return std::nullopt;
}

void NameRow(HeldRow& row, const std::vector<ProcessEntry>& table, std::int32_t frontPid,
             const std::string& frontPath) {
    const auto entry = std::find_if(table.begin(), table.end(),
                                    [&](const ProcessEntry& e) { return e.lPid == row.lPid; });
    if (entry != table.end()) {
        row.sExeName = entry->sExeName;
        row.sExePath = entry->sExePath;
    } else if (row.lPid == frontPid) {
        row.sExePath = frontPath;
        row.sExeName = FileNameOf(frontPath);
    }
}

const HeldReason* HeldChanges::Find(std::int32_t lPid) const {
    const auto found = m_reasons.find(lPid);
    return found == m_reasons.end() ? nullptr : &found->second;
}

void HeldChanges::LeaveAloneAfterChange(HeldRow row) {
    const std::int32_t pid = row.lPid;
    m_reasons.erase(pid);
    m_leftAlone.insert(pid);
    m_changedByOthers[pid] = std::move(row);
}

void HeldChanges::KeepOnly(const std::vector<ProcessEntry>& table, std::int32_t lLastProcess) {
    std::set<std::int32_t> alive;
    const auto count = std::min<std::size_t>(
        table.size(), static_cast<std::size_t>(std::max(lLastProcess + 1, 0)));
    for (std::size_t i = 0; i < count; ++i) alive.insert(table[i].lPid);
    std::erase_if(m_reasons, [&](const auto& note) { return alive.count(note.first) == 0; });
    std::erase_if(m_leftAlone, [&](std::int32_t pid) { return alive.count(pid) == 0; });
    std::erase_if(m_changedByOthers, [&](const auto& row) { return alive.count(row.first) == 0; });
}

std::vector<HeldRow> HeldChanges::Rows(const ChangeRecord& record, std::int32_t ownPid,
                                       const std::vector<ProcessEntry>& table,
                                       std::int32_t frontPid, const std::string& frontPath) const {
    std::vector<HeldRow> rows;
    for (const HeldChange& change : record.Held()) {
        const LeverTarget& target = change.target;
        // The reset-on-fork flag only carries a raise over to new threads: the raise
        // itself is what the row shows.
        if (target.pid == ownPid || target.lever == Lever::ThreadResetOnFork) continue;
        const HeldLever lever = target.lever == Lever::GroupNice     ? HeldLever::SessionGroup
                                : target.lever == Lever::GroupWeight ? HeldLever::CpuGroup
                                                                     : HeldLever::Priority;
        auto row = std::find_if(rows.begin(), rows.end(), [&](const HeldRow& r) {
            return r.lPid == target.pid && r.lever == lever;
        });
        if (row != rows.end()) {
            // Nice is per thread; the process's main thread speaks for it.
            if (target.lever == Lever::ThreadNice && target.id == target.pid) {
                row->before = change.before;
                row->now = change.set;
            }
            continue;
        }
        HeldRow fresh;
        fresh.lPid = target.pid;
        fresh.lever = lever;
        fresh.values = target.lever;
        fresh.before = change.before;
        fresh.now = change.set;
        NameRow(fresh, table, frontPid, frontPath);
        if (const HeldReason* reason = Find(target.pid)) fresh.reason = *reason;
        rows.push_back(std::move(fresh));
    }
    // Left alone after another program's change: Talvex holds nothing of it any more,
    // and the row says why it keeps its hands off.
    for (const auto& [pid, row] : m_changedByOthers) {
        const bool listed = std::any_of(rows.begin(), rows.end(), [&](const HeldRow& r) {
            return r.lPid == pid && r.lever == HeldLever::Priority;
        });
        if (!listed) rows.push_back(row);
    }
    return rows;
}

}  // namespace talvex
