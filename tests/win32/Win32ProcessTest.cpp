// Processes and windows of a child program through the Win32 backends: priority
// classes across processes, times, paths and the enumeration, the window in front.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

#include "platform/win32/Win32ProcessApi.h"
#include "platform/win32/Win32RecordFile.h"
#include "platform/win32/Win32WindowApi.h"
#include "tests/win32/Win32TestSupport.h"

namespace talvex {

namespace testing {

Child::Child(const std::wstring& title, const std::filesystem::path& folder) {
    wchar_t own[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, own, MAX_PATH);
    m_exe = std::filesystem::path(own).parent_path() / TALVEX_TEST_CHILD;
    if (!folder.empty()) {
        const auto copy = folder / m_exe.filename();
        std::filesystem::copy_file(m_exe, copy, std::filesystem::copy_options::overwrite_existing);
        m_exe = copy;
    }
    std::wstring commandLine = L"\"" + m_exe.wstring() + L"\" \"" + title + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessW(m_exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &m_info)) {
        ADD_FAILURE() << "the child did not start: " << GetLastError();
    }
}

Child::~Child() {
    End();
    if (!m_info.hProcess) return;
    CloseHandle(m_info.hThread);
    CloseHandle(m_info.hProcess);
}

void Child::End() {
    if (!m_info.hProcess) return;
    TerminateProcess(m_info.hProcess, 0);
    WaitForSingleObject(m_info.hProcess, 5000);
}

HWND Child::Window() const {
    struct Search {
        DWORD pid;
        HWND found;
    } search{Pid(), nullptr};
    for (int round = 0; round < 100 && !search.found; ++round) {
        EnumWindows(
            [](HWND window, LPARAM data) -> BOOL {
                auto& s = *reinterpret_cast<Search*>(data);
                DWORD pid = 0;
                GetWindowThreadProcessId(window, &pid);
                if (pid != s.pid || !IsWindowVisible(window)) return TRUE;
                s.found = window;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&search));
        if (!search.found) Sleep(50);
    }
    return search.found;
}

}  // namespace testing

namespace {

using namespace platform;
using testing::Child;

TEST(Win32ProcessTest, PriorityClassesRoundTripOnAChildAndRefusalsReadAsFailures) {
    Child child;
    Win32ProcessApi api;
    const ProcessHandle handle =
        api.OpenProcess(PROCESS_SET_INFORMATION | PROCESS_QUERY_INFORMATION,
                        static_cast<std::int32_t>(child.Pid()));
    ASSERT_NE(handle, 0u);
    EXPECT_EQ(api.GetPriorityClass(handle), NORMAL_PRIORITY_CLASS);
    for (const std::int32_t priority :
         {IDLE_PRIORITY_CLASS, BELOW_NORMAL_PRIORITY_CLASS, ABOVE_NORMAL_PRIORITY_CLASS,
          HIGH_PRIORITY_CLASS, REALTIME_PRIORITY_CLASS, NORMAL_PRIORITY_CLASS}) {
        SCOPED_TRACE(priority);
        const bool set = api.SetPriorityClass(handle, priority);
        const std::int32_t now = api.GetPriorityClass(handle);
        // Success means the class is really there (Realtime may be refused as High).
        EXPECT_EQ(set, now == priority);
        EXPECT_EQ(::GetPriorityClass(reinterpret_cast<HANDLE>(handle)), static_cast<DWORD>(now));
        if (priority != REALTIME_PRIORITY_CLASS) {
            EXPECT_TRUE(set);
        }
    }
    EXPECT_FALSE(api.SetPriorityClass(handle, 12345));
    EXPECT_TRUE(api.CloseHandle(handle));
    EXPECT_FALSE(api.CloseHandle(0));

    // A handle opened for querying only cannot change the class.
    const ProcessHandle query =
        api.OpenProcess(PROCESS_QUERY_INFORMATION, static_cast<std::int32_t>(child.Pid()));
    ASSERT_NE(query, 0u);
    EXPECT_FALSE(api.SetPriorityClass(query, HIGH_PRIORITY_CLASS));
    EXPECT_EQ(api.GetPriorityClass(query), NORMAL_PRIORITY_CLASS);
    api.CloseHandle(query);
}

TEST(Win32ProcessTest, ChildInANonAsciiFolderIsListedWithItsPathAndTimes) {
    testing::Utf8Folder folder;
    Child child({}, folder.Path());
    Win32ProcessApi api;
    const auto pid = static_cast<std::int32_t>(child.Pid());
    const ProcessHandle handle = api.OpenProcess(PROCESS_ALL_ACCESS_LEGACY, pid);
    ASSERT_NE(handle, 0u);
    const std::string path = api.GetModuleFileNameExA(handle, 1024);
    EXPECT_EQ(Utf8ToPath(path), child.Exe()) << path;
    // At most the given number of characters, never half a character.
    EXPECT_EQ(api.GetModuleFileNameExA(handle, 8), path.substr(0, 8));

    const auto snapshot = api.CreateToolhelp32Snapshot();
    ASSERT_TRUE(snapshot.has_value());
    bool listed = false;
    for (const ProcessInfo& info : *snapshot) {
        if (info.pid == pid) listed = info.exeName == PathToUtf8(child.Exe().filename());
    }
    EXPECT_TRUE(listed);

    // The child's own times, not this program's: it started later and has used
    // little processor time.
    ProcessTimes times;
    ProcessTimes own;
    ASSERT_TRUE(api.GetProcessTimes(handle, times));
    const ProcessHandle self =
        api.OpenProcess(PROCESS_QUERY_INFORMATION, api.GetCurrentProcessId());
    ASSERT_TRUE(api.GetProcessTimes(self, own));
    EXPECT_GT(times.creation, own.creation);
    ProcessTimes again;
    ASSERT_TRUE(api.GetProcessTimes(handle, again));
    EXPECT_EQ(again.creation, times.creation);
    api.CloseHandle(self);

    // Once the child has ended, the handle reaches nothing and its id opens nothing.
    child.End();
    EXPECT_EQ(api.GetPriorityClass(handle), 0);
    EXPECT_FALSE(api.SetPriorityClass(handle, HIGH_PRIORITY_CLASS));
    EXPECT_FALSE(api.GetProcessTimes(handle, again));
    EXPECT_EQ(api.GetModuleFileNameExA(handle, 1024), "");
    api.CloseHandle(handle);
    EXPECT_EQ(api.OpenProcess(PROCESS_QUERY_INFORMATION, pid), 0u);
}

// A class change is on record in the folder (here one with a non-ASCII name) before it
// is made, and the record goes when everything is put back; without a folder that takes
// the record, no class is changed.
TEST(Win32ProcessTest, AClassChangeIsOnRecordOnDiskAndNoneIsMadeWithoutIt) {
    testing::Utf8Folder folder;
    Child child;
    const auto pid = static_cast<std::int32_t>(child.Pid());
    const auto self = static_cast<std::int32_t>(GetCurrentProcessId());
    const auto start = win32::CreationTimeOf(pid);
    const auto ownStart = win32::CreationTimeOf(self);
    ASSERT_TRUE(start && ownStart);
    const auto record = folder.Path() / Utf8ToPath(RecordFileName(self, *ownStart));
    const auto classOfChild = [&] {
        HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, child.Pid());
        const DWORD cls = GetPriorityClass(process);
        CloseHandle(process);
        return static_cast<std::int32_t>(cls);
    };
    constexpr DWORD kAccess = PROCESS_SET_INFORMATION | PROCESS_QUERY_INFORMATION;
    {
        Win32ProcessApi api(folder.Utf8());
        const ProcessHandle handle = api.OpenProcess(kAccess, pid);
        ASSERT_NE(handle, 0u);
        ASSERT_TRUE(api.SetPriorityClass(handle, HIGH_PRIORITY_CLASS));
        std::ifstream file(record, std::ios::binary);
        const std::string text{std::istreambuf_iterator<char>(file), {}};
        EXPECT_EQ(text, "talvex-changes 1 windows\n" + std::to_string(pid) + " " +
                            std::to_string(*start) + " 0 1 32 128\n");
        file.close();
        EXPECT_TRUE(api.UndoAllChanges(0));
        EXPECT_EQ(classOfChild(), NORMAL_PRIORITY_CLASS);
        EXPECT_FALSE(std::filesystem::exists(record));
        api.CloseHandle(handle);
    }
    for (const std::string& place : {folder.Utf8() + "\\missing", std::string()}) {
        Win32ProcessApi api(place);
        const ProcessHandle handle = api.OpenProcess(kAccess, pid);
        ASSERT_NE(handle, 0u);
        EXPECT_FALSE(api.SetPriorityClass(handle, HIGH_PRIORITY_CLASS)) << place;
        EXPECT_EQ(classOfChild(), NORMAL_PRIORITY_CLASS) << place;
        EXPECT_TRUE(api.Changes().Held().empty()) << place;
        api.CloseHandle(handle);
    }
}

TEST(Win32ProcessTest, ProcessesThatCannotBeOpenedReadAsNotOpened) {
    Win32ProcessApi api;
    for (const std::int32_t pid : {0, -1, 4, 0x7FFFFFF0}) {
        SCOPED_TRACE(pid);
        EXPECT_EQ(api.OpenProcess(PROCESS_QUERY_INFORMATION, pid), 0u);
    }
}

TEST(Win32WindowTest, TheWindowInFrontBelongsToTheChildThatShowedIt) {
    const std::wstring title = L"Talvex test Ωμέγα 日本";
    Child child(title);
    const HWND window = child.Window();
    ASSERT_NE(window, nullptr);
    Win32WindowApi api;
    const auto handle = static_cast<WindowHandle>(reinterpret_cast<std::uintptr_t>(window));
    WindowHandle front = 0;
    for (int round = 0; round < 100 && front != handle; ++round) {
        front = api.GetForegroundWindow();
        if (front != handle) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_EQ(front, handle);
    EXPECT_EQ(api.GetWindowThreadProcessId(front), static_cast<std::int32_t>(child.Pid()));
    EXPECT_EQ(api.GetWindowTextA(front, 250), "Talvex test Ωμέγα 日本");
    // maxChars - 1 characters at most.
    EXPECT_EQ(api.GetWindowTextA(front, 8), "Talvex ");
    EXPECT_EQ(api.GetWindowTextA(front, 1), "");

    api.SetWindowPos(front, true);
    EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    api.SetWindowPos(front, false);
    EXPECT_FALSE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST);

    DestroyWindow(window);  // (another process's window: refused, nothing happens)
    PostMessageW(window, WM_CLOSE, 0, 0);
    for (int round = 0; round < 100 && IsWindow(window); ++round) Sleep(50);
    EXPECT_EQ(api.GetWindowThreadProcessId(handle), 0);
    EXPECT_EQ(api.GetWindowTextA(handle, 250), "");
}

}  // namespace
}  // namespace talvex
