#include "levers/LeverRules.h"

#include <sched.h>

#include <algorithm>
#include <charconv>

namespace talvex::levers {

namespace {

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

template <typename T>
bool ToNumber(std::string_view text, T& out, int base = 10) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out, base);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

// Splits off the next field of `rest`, fields being separated by spaces or tabs.
std::string_view NextField(std::string_view& rest) {
    const auto start = rest.find_first_not_of(" \t");
    if (start == std::string_view::npos) {
        rest = {};
        return {};
    }
    rest.remove_prefix(start);
    const auto end = rest.find_first_of(" \t\n");
    const std::string_view field = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end);
    return field;
}

// The rest of the first line that starts with `key`.
std::optional<std::string_view> LineAfter(std::string_view text, std::string_view key) {
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        if (line.starts_with(key)) return line.substr(key.size());
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return std::nullopt;
}

bool IsThreadLever(Kind kind) {
    return kind == Kind::ThreadNice || kind == Kind::ResetOnFork;
}

bool AllUidsAre(const TaskCredentials& credentials, std::uint32_t uid) {
    return std::all_of(std::begin(credentials.uids), std::end(credentials.uids),
                       [uid](std::uint32_t each) { return each == uid; });
}

bool Ended(const TaskStat& stat) {
    return stat.state == 'Z' || stat.state == 'X' || stat.state == 'x';
}

}  // namespace

int ParseFloor(std::string_view text) {
    int floor = kDefaultFloor;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        line = line.substr(0, line.find('#'));
        const auto equals = line.find('=');
        if (equals == std::string_view::npos || Trim(line.substr(0, equals)) != "floor") continue;
        int value = 0;
        if (ToNumber(Trim(line.substr(equals + 1)), value)) floor = std::clamp(value, -20, 0);
    }
    return floor;
}

std::optional<TaskStat> ParseTaskStat(std::string_view text) {
    // The command name may hold anything, parentheses included: count from the last ')'.
    const auto close = text.rfind(')');
    if (close == std::string_view::npos) return std::nullopt;
    std::string_view rest = text.substr(close + 1);
    TaskStat stat;
    for (int field = 3; field <= 22; ++field) {
        const std::string_view value = NextField(rest);
        if (value.empty()) return std::nullopt;
        const bool ok = field == 3    ? (stat.state = value[0], value.size() == 1)
                        : field == 19 ? ToNumber(value, stat.nice)
                        : field == 22 ? ToNumber(value, stat.startTime)
                                      : true;
        if (!ok) return std::nullopt;
    }
    return stat;
}

std::optional<TaskCredentials> ParseTaskStatus(std::string_view text) {
    const auto uidLine = LineAfter(text, "Uid:");
    const auto prmLine = LineAfter(text, "CapPrm:");
    const auto effLine = LineAfter(text, "CapEff:");
    if (!uidLine || !prmLine || !effLine) return std::nullopt;
    TaskCredentials credentials;
    std::string_view rest = *uidLine;
    for (std::uint32_t& uid : credentials.uids) {
        if (!ToNumber(NextField(rest), uid)) return std::nullopt;
    }
    if (!Trim(rest).empty()) return std::nullopt;
    if (!ToNumber(Trim(*prmLine), credentials.capPrm, 16) ||
        !ToNumber(Trim(*effLine), credentials.capEff, 16)) {
        return std::nullopt;
    }
    return credentials;
}

std::optional<GroupState> ParseAutogroup(std::string_view text) {
    constexpr std::string_view kPrefix = "/autogroup-";
    if (!text.starts_with(kPrefix)) return std::nullopt;
    std::string_view rest = text.substr(kPrefix.size());
    rest = rest.substr(0, rest.find('\n'));
    GroupState group;
    const std::string_view id = NextField(rest);
    const std::string_view word = NextField(rest);
    const std::string_view nice = NextField(rest);
    if (!ToNumber(id, group.id) || word != "nice" || !ToNumber(nice, group.nice) ||
        !Trim(rest).empty()) {
        return std::nullopt;
    }
    return group;
}

Verdict Check(const Request& request, const Facts& facts, const Limits& limits) {
    // The process and thread (or group) must be the ones asked for.
    if (!facts.pinned || facts.processStart != request.processStart) return Verdict::Gone;
    const bool thread = IsThreadLever(request.kind);
    if (thread &&
        (!facts.thread || Ended(*facts.thread) || facts.thread->startTime != request.threadStart)) {
        return Verdict::Gone;
    }
    if (!thread && (!facts.group || facts.group->id != request.id)) return Verdict::Gone;
    // The caller's own, in every credential: a setuid program, one that holds a
    // capability, or a thread still running as another user is not.
    if (!facts.procOwner || *facts.procOwner != facts.caller || !facts.credentials ||
        !AllUidsAre(*facts.credentials, facts.caller) || facts.credentials->capPrm != 0 ||
        facts.credentials->capEff != 0) {
        return Verdict::Refused;
    }
    if (request.kind == Kind::ResetOnFork) {
        if (request.value != 0 && request.value != 1) return Verdict::OutOfRange;
        // Only time-sharing policies: their parameter is 0, so nothing else changes.
        const bool ordinary =
            facts.policy && (*facts.policy == SCHED_OTHER || *facts.policy == SCHED_BATCH ||
                             *facts.policy == SCHED_IDLE);
        return ordinary ? Verdict::Done : Verdict::Refused;
    }
    if (request.value < limits.floor || request.value > kHighestNice) return Verdict::OutOfRange;
    if (request.value < 0 && !limits.alreadyRaised && limits.raisedHeld >= limits.maxRaised) {
        return Verdict::TooMany;
    }
    return Verdict::Done;
}

bool SameTarget(const Request& request, const Facts& before, const Facts& after) {
    if (!after.pinned || !after.processStart || after.processStart != before.processStart) {
        return false;
    }
    if (IsThreadLever(request.kind)) {
        if (!after.thread || !before.thread || Ended(*after.thread) ||
            after.thread->startTime != before.thread->startTime) {
            return false;
        }
    } else if (!after.group || !before.group || after.group->id != before.group->id) {
        return false;
    }
    return after.credentials && AllUidsAre(*after.credentials, after.caller) &&
           after.procOwner == after.caller;
}

bool TokenBucket::Take(std::uint64_t nowNs) {
    if (m_tokens < 0) {
        m_tokens = m_burst;
    } else if (nowNs > m_lastNs) {
        m_tokens =
            std::min(m_burst, m_tokens + static_cast<double>(nowNs - m_lastNs) * m_rate / 1e9);
    }
    m_lastNs = std::max(m_lastNs, nowNs);
    if (m_tokens < 1) return false;
    m_tokens -= 1;
    return true;
}

}  // namespace talvex::levers
