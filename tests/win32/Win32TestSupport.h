#pragma once
// What the Win32 tests share: a scratch folder with a non-ASCII name, registry access
// as an earlier installation or the user would have it, and child programs.

#include <filesystem>
#include <string>

#include "i18n/Utf8Path.h"
#include "platform/win32/Win32Api.h"

namespace talvex::testing {

/// A fresh folder under the temporary folder whose name holds characters of several
/// scripts; removed with everything in it.
class Utf8Folder {
  public:
    Utf8Folder() {
        static int counter = 0;
        m_utf8 = PathToUtf8(std::filesystem::temp_directory_path()) + "Talvex Zürich Ωμέγα 日本 " +
                 std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
        std::filesystem::create_directories(Path());
    }
    ~Utf8Folder() {
        std::error_code ignored;
        std::filesystem::remove_all(Path(), ignored);
    }
    Utf8Folder(const Utf8Folder&) = delete;
    Utf8Folder& operator=(const Utf8Folder&) = delete;

    std::filesystem::path Path() const { return Utf8ToPath(m_utf8); }
    const std::string& Utf8() const { return m_utf8; }

  private:
    std::string m_utf8;
};

/// A child program (the test child beside the test program), ended with the object.
class Child {
  public:
    /// Starts the child from `folder` (a copy of it), or from beside the test program;
    /// with a title it shows a window of that title.
    explicit Child(const std::wstring& title = {}, const std::filesystem::path& folder = {});
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    DWORD Pid() const { return m_info.dwProcessId; }
    const std::filesystem::path& Exe() const { return m_exe; }
    /// Ends the child and waits until it is gone.
    void End();
    /// The child's top-level window, once it has one (waits up to five seconds).
    HWND Window() const;

  private:
    std::filesystem::path m_exe;
    PROCESS_INFORMATION m_info{};
};

}  // namespace talvex::testing
