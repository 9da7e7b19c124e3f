// A helper of the end-to-end test, run inside Wine, that looks at and talks to other
// programs' windows the way Windows itself would:
//   probe priority TITLE      the priority class of the process that owns window TITLE
//   probe rect TITLE          outer position and size, and the client area's size
//   probe close TITLE         WM_CLOSE to window TITLE, as a program ending another does
//   probe endsession TITLE    WM_QUERYENDSESSION, then WM_ENDSESSION, to every top-level
//                             window of the process that owns window TITLE
//   probe identity TITLE      the process id and creation time (GetProcessTimes) of the
//                             process that owns window TITLE
//   probe terminate TITLE     ends the process that owns window TITLE at once
//                             (TerminateProcess, as the Task Manager does) and waits
// It prints its answer and exits 0, or exits 1 when there is no such window.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::vector<HWND> WindowsOf(DWORD pid) {
    struct Search {
        DWORD pid;
        std::vector<HWND> found;
    } search{pid, {}};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(data);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == s.pid) s.found.push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) return 2;
    const std::wstring command = argv[1];
    HWND window = FindWindowW(nullptr, argv[2]);
    if (!window) return 1;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (command == L"priority") {
        HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
        std::printf("%lu\n", process ? GetPriorityClass(process) : 0UL);
        if (process) CloseHandle(process);
        return 0;
    }
    if (command == L"rect") {
        RECT outer{}, client{};
        GetWindowRect(window, &outer);
        GetClientRect(window, &client);
        std::printf("%ld %ld %ld %ld client %ld %ld\n", outer.left, outer.top,
                    outer.right - outer.left, outer.bottom - outer.top, client.right,
                    client.bottom);
        return 0;
    }
    if (command == L"identity") {
        HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
        FILETIME creation{}, exit{}, kernel{}, user{};
        if (!process || !GetProcessTimes(process, &creation, &exit, &kernel, &user)) return 1;
        CloseHandle(process);
        const unsigned long long ticks =
            (static_cast<unsigned long long>(creation.dwHighDateTime) << 32) |
            creation.dwLowDateTime;
        std::printf("%lu %llu\n", pid, ticks);
        return 0;
    }
    if (command == L"terminate") {
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
        if (!process) return 1;
        const bool ended =
            TerminateProcess(process, 9) && WaitForSingleObject(process, 10000) == WAIT_OBJECT_0;
        CloseHandle(process);
        return ended ? 0 : 1;
    }
    DWORD_PTR result = 0;
    if (command == L"close") {
        SendMessageTimeoutW(window, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, 5000, &result);
        return 0;
    }
    if (command == L"endsession") {
        const std::vector<HWND> windows = WindowsOf(pid);
        for (HWND each : windows) {
            SendMessageTimeoutW(each, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG,
                                5000, &result);
        }
        for (HWND each : windows) {
            if (!IsWindow(each)) continue;
            SendMessageTimeoutW(each, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG,
                                5000, &result);
        }
        return 0;
    }
    return 2;
}
