#include "platform/linux/ProcStat.h"

#include <fcntl.h>
#include <unistd.h>

#include <charconv>

#include "platform/IProcessApi.h"

namespace talvex::platform::linux_proc {

namespace {
constexpr std::uint32_t kPfKthread = 0x00200000;

// Splits off the next space-separated field of `rest`.
std::string_view NextField(std::string_view& rest) {
    const auto start = rest.find_first_not_of(' ');
    if (start == std::string_view::npos) {
        rest = {};
        return {};
    }
    rest.remove_prefix(start);
    const auto end = rest.find_first_of(" \n");
    const std::string_view field = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end);
    return field;
}

template <typename T>
bool ToNumber(std::string_view text, T& out) {
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && ptr == text.data() + text.size();
}
}  // namespace

std::optional<std::string> ReadProcText(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string text;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, buffer + n);
    ::close(fd);
    if (n < 0) return std::nullopt;
    return text;
}

std::optional<ProcStat> ParseProcStat(std::string_view text) {
    const auto close = text.rfind(')');
    if (close == std::string_view::npos) return std::nullopt;
    std::string_view rest = text.substr(close + 1);
    ProcStat stat;
    // Field numbers as in proc(5); field 3 is the first after the command name.
    bool ok = true;
    for (int field = 3; field <= 22 && ok; ++field) {
        const std::string_view value = NextField(rest);
        if (value.empty()) return std::nullopt;
        switch (field) {
            case 3:
                stat.state = value[0];
                break;
            case 6:
                ok = ToNumber(value, stat.session);
                break;
            case 9:
                ok = ToNumber(value, stat.flags);
                break;
            case 14:
                ok = ToNumber(value, stat.utime);
                break;
            case 15:
                ok = ToNumber(value, stat.stime);
                break;
            case 19:
                ok = ToNumber(value, stat.nice);
                break;
            case 22:
                ok = ToNumber(value, stat.starttime);
                break;
            default:
                break;
        }
    }
    if (!ok) return std::nullopt;
    return stat;
}

bool IsKernelThread(const ProcStat& stat) {
    return (stat.flags & kPfKthread) != 0;
}

bool HasEnded(const ProcStat& stat) {
    return stat.state == 'Z' || stat.state == 'X' || stat.state == 'x';
}

std::optional<int> NiceForClass(std::int32_t priorityClass) {
    switch (priorityClass) {
        case IDLE_PRIORITY_CLASS:
            return 19;
        case BELOW_NORMAL_PRIORITY_CLASS:
            return 10;
        case NORMAL_PRIORITY_CLASS:
            return 0;
        case ABOVE_NORMAL_PRIORITY_CLASS:
            return -5;
        case HIGH_PRIORITY_CLASS:
            return -10;
        case REALTIME_PRIORITY_CLASS:
            return -20;
        default:
            return std::nullopt;
    }
}

std::optional<StatusUids> ParseStatusUids(std::string_view text) {
    constexpr std::string_view kKey = "\nUid:";
    const auto at = text.find(kKey);
    if (at == std::string_view::npos) return std::nullopt;
    std::string_view rest = text.substr(at + kKey.size());
    rest = rest.substr(0, rest.find('\n'));
    StatusUids uids;
    std::uint32_t* const slots[] = {&uids.real, &uids.effective, &uids.saved};
    for (std::uint32_t* slot : slots) {
        std::string_view field = rest;
        const auto start = field.find_first_not_of(" \t");
        if (start == std::string_view::npos) return std::nullopt;
        field.remove_prefix(start);
        const auto end = field.find_first_of(" \t");
        if (!ToNumber(field.substr(0, end), *slot)) return std::nullopt;
        rest = end == std::string_view::npos ? std::string_view{} : field.substr(end);
    }
    return uids;
}

std::optional<CpuTotals> ParseCpuTotals(std::string_view text) {
    // "cpu  user nice system idle iowait irq softirq steal guest guest_nice": guest time
    // is already counted in user and nice, so the first eight fields are the whole.
    if (!text.starts_with("cpu ")) return std::nullopt;
    std::string_view rest = text.substr(4);
    rest = rest.substr(0, rest.find('\n'));
    CpuTotals totals;
    for (int field = 0; field < 8; ++field) {
        std::uint64_t value = 0;
        const std::string_view word = NextField(rest);
        // Old kernels end the line early: the fields they do not have count as zero.
        if (word.empty() && field >= 4) break;
        if (!ToNumber(word, value)) return std::nullopt;
        const bool idle = field == 3 || field == 4;
        if (!idle) totals.busy += value;
        totals.total += value;
    }
    return totals;
}

std::optional<std::uint64_t> ParseSchedstatWait(std::string_view text) {
    // "time on a processor, time waiting on a run queue, slices run", in nanoseconds.
    std::uint64_t run = 0, wait = 0;
    if (!ToNumber(NextField(text), run) || !ToNumber(NextField(text), wait)) return std::nullopt;
    return wait;
}

}  // namespace talvex::platform::linux_proc
