#include "platform/linux/LeverPlan.h"

#include <algorithm>

#include "platform/linux/CpuTopology.h"

namespace talvex::platform::lever_plan {

std::vector<ChangeRecord::Request> Threads(std::int32_t pid, std::uint64_t start,
                                           const std::vector<ThreadFacts>& threads, int nice,
                                           const Rights& rights) {
    std::vector<ChangeRecord::Request> requests;
    const int lowest = rights.lowestThreadNice;
    for (const ThreadFacts& thread : threads) {
        // A thread running with other credentials (still as root during a start-up,
        // say) is not the user's to change, whatever its process is.
        if (!thread.ours) continue;
        // Lowering a thread that could not be raised back is a change without undo.
        if (nice > thread.nice && thread.nice < lowest) continue;
        // A raise goes as far as the route allows (Realtime stops at the floor).
        const int wanted = std::max(nice, std::min(lowest, thread.nice));
        if (wanted == thread.nice) continue;
        // Children of a raised thread start at the default priority instead of
        // inheriting the raise. Clearing the flag again needs the right (the helper).
        if (wanted < 0 && wanted < thread.nice && !thread.resetOnFork && thread.ordinaryPolicy &&
            rights.mayClearResetOnFork) {
            requests.push_back({{pid, start, thread.tid, Lever::ThreadResetOnFork}, 0, 1});
        }
        requests.push_back({{pid, start, thread.tid, Lever::ThreadNice}, thread.nice, wanted});
    }
    return requests;
}

std::optional<ChangeRecord::Request> Group(std::int32_t pid, std::uint64_t start,
                                           const GroupFacts& group, int nice,
                                           const Rights& rights) {
    // Only groups whose session leader is the user's, never this program's own group
    // (the desktop's programs often share it).
    if (nice == 0 || !group.id || group.ownId == group.id || !group.leaderIsUsers) {
        return std::nullopt;
    }
    const int wanted = std::max(nice, rights.lowestGroupNice);
    if (wanted == 0 || (wanted < 0 ? group.nice <= wanted : group.nice >= wanted)) {
        return std::nullopt;
    }
    if (wanted > 0) {
        // Never the group of the program in front nor one raised for it; only a session
        // that is all the user's; and only a group that could be raised back.
        if (group.frontShares || group.heldRaised || !group.sessionAllUsers ||
            group.nice < rights.lowestGroupNice) {
            return std::nullopt;
        }
    }
    return ChangeRecord::Request{{pid, start, *group.id, Lever::GroupNice}, group.nice, wanted};
}

std::optional<ChangeRecord::Request> Weight(std::int32_t pid, std::uint64_t start,
                                            const WeightFacts& group, int nice) {
    if (nice == 0 || !group.now) return std::nullopt;
    // Never lowered while the program in front shares it, nor while raised for it.
    if (nice > 0 && (group.frontShares || group.heldRaised)) return std::nullopt;
    const std::int64_t base = group.heldBefore.value_or(*group.now);
    return ChangeRecord::Request{{pid, start, group.id, Lever::GroupWeight},
                                 *group.now,
                                 CpuTopology::WeightForNice(base, nice, group.v1)};
}

}  // namespace talvex::platform::lever_plan
