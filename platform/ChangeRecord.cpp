#include "platform/ChangeRecord.h"

#include <algorithm>
#include <charconv>

#include "base/Trace.h"
#include "platform/IProcessApi.h"

namespace talvex::platform {

namespace {

constexpr std::string_view kHeader = "talvex-changes 1 ";

bool IsGroupLever(Lever lever) {
    return lever == Lever::GroupNice || lever == Lever::GroupWeight;
}

bool ValidLever(unsigned value) {
    return value >= static_cast<unsigned>(Lever::PriorityClass) &&
           value <= static_cast<unsigned>(Lever::GroupWeight);
}

// Reads the next whitespace-separated number of `line`; false when there is none.
template <typename T>
bool NextNumber(std::string_view& line, T& value) {
    const auto start = line.find_first_not_of(' ');
    if (start == std::string_view::npos) return false;
    line.remove_prefix(start);
    const auto [end, ec] = std::from_chars(line.data(), line.data() + line.size(), value);
    if (ec != std::errc()) return false;
    line.remove_prefix(static_cast<std::size_t>(end - line.data()));
    return line.empty() || line.front() == ' ';
}

// The largest cgroup v1 share count; a v2 weight is at most 10000.
constexpr std::int64_t kMaxShares = 262144;
constexpr std::int64_t kMaxWeight = 10000;

// Holds a change read back from a saved record to what Talvex could have found and set
// itself; false when the line cannot be one of Talvex's changes, or is not to be undone.
// The undo still writes only where the lever has the value `set` now.
bool HoldToRange(HeldChange& change, std::int64_t niceFloor) {
    switch (change.target.lever) {
        case Lever::ThreadNice:
        case Lever::GroupNice:
            // Talvex never raises past the floor: a value before it lower than that was
            // not found by Talvex, and putting it "back" would lift the thread or group.
            if (change.set < -20 || change.set > 19) return false;
            change.before = std::clamp(change.before, niceFloor, std::int64_t{19});
            return true;
        case Lever::ThreadResetOnFork:
            // The flag only keeps a thread's children from inheriting its raise. Setting
            // it is always safe; clearing it is what only a privileged program may do,
            // and the text cannot tell a flag Talvex set from one the program chose. So a
            // saved record only ever sets the flag again: a flag Talvex set and a crash
            // left behind stays set, which costs at most a child's inherited raise.
            return (change.set == 0 || change.set == 1) && change.before == 1;
        case Lever::GroupWeight:
            if (change.set < 1 || change.set > kMaxShares) return false;
            change.before = std::clamp(change.before, std::int64_t{1}, kMaxWeight);
            return true;
        case Lever::PriorityClass:
            if (PriorityRank(change.before) < 0 || PriorityRank(change.set) < 0) return false;
            // Realtime is the class only an administrator's copy can give, and the text
            // is anybody's of the user's: it gets High back, the most any user may set.
            if (change.before == REALTIME_PRIORITY_CLASS) change.before = HIGH_PRIORITY_CLASS;
            return true;
    }
    return false;
}

std::optional<HeldChange> ParseLine(std::string_view line) {
    HeldChange change;
    unsigned lever = 0;
    if (!NextNumber(line, change.target.pid) || !NextNumber(line, change.target.startTime) ||
        !NextNumber(line, change.target.id) || !NextNumber(line, lever) ||
        !NextNumber(line, change.before) || !NextNumber(line, change.set) ||
        line.find_first_not_of(' ') != std::string_view::npos || !ValidLever(lever) ||
        change.target.pid <= 0) {
        return std::nullopt;
    }
    change.target.lever = static_cast<Lever>(lever);
    return change;
}

}  // namespace

bool LeverTarget::SameAs(const LeverTarget& other) const {
    if (lever != other.lever || id != other.id) return false;
    return IsGroupLever(lever) || (pid == other.pid && startTime == other.startTime);
}

ChangeRecord::ChangeRecord(ILeverAccess& levers, std::string bootId, IRecordFile* file)
    : m_levers(levers), m_bootId(std::move(bootId)), m_file(file) {}

HeldChange* ChangeRecord::Find(const LeverTarget& target) {
    for (HeldChange& change : m_held) {
        if (change.target.SameAs(target)) return &change;
    }
    return nullptr;
}

bool ChangeRecord::Change(const std::vector<Request>& requests) {
    struct Planned {
        std::size_t index;
        std::int64_t value;
        bool isNew;
        std::int64_t previousSet;
        LeverTarget previousTarget;
    };
    std::vector<Planned> planned;
    const std::size_t heldBefore = m_held.size();
    for (const Request& request : requests) {
        if (HeldChange* held = Find(request.target)) {
            // A group change is now held through the member it was made through last.
            planned.push_back({static_cast<std::size_t>(held - m_held.data()), request.value, false,
                               held->set, held->target});
            held->target = request.target;
            held->set = request.value;
        } else if (request.before != request.value) {
            m_held.push_back(
                HeldChange{request.target, request.before, request.value, HeldChange::Wait::Write});
            planned.push_back({m_held.size() - 1, request.value, true, request.value, {}});
        }
    }
    if (planned.empty()) return true;
    // Saved before the change, so that a crash from here on leaves it on record. What
    // cannot be put on record is not changed: after a crash it could not be put back.
    if (!Save()) {
        for (auto p = planned.rbegin(); p != planned.rend(); ++p) {
            if (p->isNew) continue;
            m_held[p->index].target = p->previousTarget;
            m_held[p->index].set = p->previousSet;
        }
        m_held.erase(m_held.begin() + static_cast<std::ptrdiff_t>(heldBefore), m_held.end());
        trace::Write(trace::Level::Error, "ChangeRecord",
                     "the record of changes could not be saved, so nothing was changed");
        return false;
    }

    bool allDone = true;
    std::vector<bool> drop(m_held.size(), false);
    for (const Planned& p : planned) {
        HeldChange& held = m_held[p.index];
        if (!Apply(held, p.value, p.isNew)) {
            allDone = false;
            if (p.isNew) {
                drop[p.index] = true;
            } else {
                held.set = p.previousSet;  // the lever still has the value set before
            }
        }
    }
    for (std::size_t i = m_held.size(); i-- > 0;) {
        if (drop[i]) m_held.erase(m_held.begin() + static_cast<std::ptrdiff_t>(i));
    }
    UpdateWaiting();
    Save();
    return allDone;
}

bool ChangeRecord::Apply(HeldChange& change, std::int64_t value, bool isNew) {
    if (!isNew) {
        const auto now = m_levers.ReadLever(change.target);
        if (!now) return false;
        if (*now == value) {
            change.wait = HeldChange::Wait::No;
            return true;
        }
    }
    switch (m_levers.WriteLever(change.target, value)) {
        case ILeverAccess::Write::Done:
            change.wait = HeldChange::Wait::No;
            return true;
        case ILeverAccess::Write::Busy:
            change.wait = HeldChange::Wait::Write;
            return true;
        case ILeverAccess::Write::Refused:
        case ILeverAccess::Write::Gone:
            change.wait = HeldChange::Wait::No;
            return false;
    }
    return false;
}

ChangeRecord::Undo ChangeRecord::UndoOne(HeldChange& change) {
    const auto now = m_levers.ReadLever(change.target);
    // Gone, or somebody else set another value since (or Talvex's write never took
    // effect): there is nothing of Talvex's left to undo.
    if (!now || *now != change.set) return Undo::Dropped;
    switch (m_levers.WriteLever(change.target, change.before)) {
        case ILeverAccess::Write::Done:
            return Undo::Done;
        case ILeverAccess::Write::Busy:
            change.wait = HeldChange::Wait::Undo;
            return Undo::Waits;
        case ILeverAccess::Write::Refused:
            return Undo::Refused;
        case ILeverAccess::Write::Gone:
            return Undo::Dropped;
    }
    return Undo::Dropped;
}

int ChangeRecord::UndoProcess(std::int32_t pid, std::optional<Lever> only) {
    if (!Holds(pid)) return 0;  // the common case, asked for every idle process
    int undone = 0;
    // Latest first: a thread's nice goes back before the flag set together with it.
    for (std::size_t i = m_held.size(); i-- > 0;) {
        const LeverTarget& target = m_held[i].target;
        if (target.pid != pid || (only && target.lever != *only)) continue;
        const Undo result = UndoOne(m_held[i]);
        if (result == Undo::Done || result == Undo::Waits) ++undone;
        if (result != Undo::Waits) m_held.erase(m_held.begin() + static_cast<std::ptrdiff_t>(i));
    }
    UpdateWaiting();
    Save();
    return undone;
}

bool ChangeRecord::UndoTarget(const LeverTarget& target) {
    HeldChange* held = Find(target);
    if (!held) return false;
    const Undo result = UndoOne(*held);
    if (result != Undo::Waits) m_held.erase(m_held.begin() + (held - m_held.data()));
    UpdateWaiting();
    Save();
    return result == Undo::Done || result == Undo::Waits;
}

bool ChangeRecord::UndoAll() {
    for (std::size_t i = m_held.size(); i-- > 0;) {
        if (UndoOne(m_held[i]) != Undo::Waits) {
            m_held.erase(m_held.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
    UpdateWaiting();
    Save();
    return m_held.empty();
}

bool ChangeRecord::Holds(std::int32_t pid) const {
    return std::any_of(m_held.begin(), m_held.end(),
                       [&](const HeldChange& c) { return c.target.pid == pid; });
}

void ChangeRecord::Retry() {
    for (std::size_t i = m_held.size(); i-- > 0;) {
        HeldChange& change = m_held[i];
        bool keep = true;
        if (change.wait == HeldChange::Wait::Undo) {
            keep = UndoOne(change) == Undo::Waits;
        } else if (change.wait == HeldChange::Wait::Write) {
            const auto now = m_levers.ReadLever(change.target);
            if (!now || (*now != change.before && *now != change.set)) {
                keep = false;  // gone, or somebody else's value by now
            } else if (*now == change.set) {
                change.wait = HeldChange::Wait::No;
            } else {
                keep = Apply(change, change.set, true);
            }
        }
        if (!keep) m_held.erase(m_held.begin() + static_cast<std::ptrdiff_t>(i));
    }
    UpdateWaiting();
    Save();
}

void ChangeRecord::ForgetGone() {
    const auto before = m_held.size();
    std::erase_if(m_held, [&](const HeldChange& c) { return !m_levers.ReadLever(c.target); });
    if (m_held.size() != before) {
        UpdateWaiting();
        Save();
    }
}

void ChangeRecord::UpdateWaiting() {
    m_waiting = std::any_of(m_held.begin(), m_held.end(),
                            [](const HeldChange& c) { return c.wait != HeldChange::Wait::No; });
}

std::string ChangeRecord::Text() const {
    std::string text = std::string(kHeader) + m_bootId + "\n";
    for (const HeldChange& c : m_held) {
        text += std::to_string(c.target.pid) + ' ' + std::to_string(c.target.startTime) + ' ' +
                std::to_string(c.target.id) + ' ' +
                std::to_string(static_cast<unsigned>(c.target.lever)) + ' ' +
                std::to_string(c.before) + ' ' + std::to_string(c.set) + '\n';
    }
    return text;
}

bool ChangeRecord::Save() {
    if (!m_file) return true;
    std::string text = Text();
    if (text == m_saved) return true;
    if (m_held.empty()) {
        m_file->Remove();
        m_saved = std::move(text);
        return true;
    }
    if (!m_file->Save(text)) {
        // The text saved before stays: it holds no less than what is changed now, since
        // an undo writes only where its value is still the one Talvex set.
        trace::Write(trace::Level::Warning, "ChangeRecord", "saving the record of changes failed");
        return false;
    }
    m_saved = std::move(text);
    return true;
}

ChangeRecord::SavedUndo ChangeRecord::UndoSavedRecord(std::string_view text,
                                                      std::string_view bootId, ILeverAccess& levers,
                                                      std::int64_t niceFloor) {
    SavedUndo result;
    if (text.size() > kMaxSavedRecordBytes) {
        trace::Write(trace::Level::Warning, "ChangeRecord",
                     "a saved record larger than any record was not read");
        result.refused = true;
        return result;
    }
    const auto lineEnd = text.find('\n');
    const std::string_view header = text.substr(0, lineEnd);
    // A record of another boot is void: every process it names is gone.
    if (!header.starts_with(kHeader) || header.substr(kHeader.size()) != bootId || bootId.empty() ||
        lineEnd == std::string_view::npos) {
        return result;
    }
    niceFloor = std::clamp(niceFloor, std::int64_t{-20}, std::int64_t{19});
    ChangeRecord record(levers, std::string(bootId));
    std::string_view rest = text.substr(lineEnd + 1);
    while (!rest.empty()) {
        const auto end = rest.find('\n');
        auto change = ParseLine(rest.substr(0, end));
        if (change && HoldToRange(*change, niceFloor)) {
            record.m_held.push_back(*change);
        } else if (end != 0) {
            ++result.skipped;
        }
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
    }
    if (result.skipped > 0) {
        trace::Write(trace::Level::Warning, "ChangeRecord",
                     std::to_string(result.skipped) + " line(s) of a saved record passed over");
    }
    // Latest first, as UndoAll: a thread's nice goes back before its flag.
    for (std::size_t i = record.m_held.size(); i-- > 0;) {
        const Undo undo = record.UndoOne(record.m_held[i]);
        if (undo == Undo::Done) result.restored.push_back(record.m_held[i]);
        if (undo == Undo::Refused) ++result.refusedWrites;
        if (undo != Undo::Waits) {
            record.m_held.erase(record.m_held.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
    if (!record.m_held.empty()) result.left = record.Text();
    return result;
}

}  // namespace talvex::platform
