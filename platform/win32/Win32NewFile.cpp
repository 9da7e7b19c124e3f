#include "platform/NewFile.h"
#include "platform/win32/Win32Api.h"

namespace talvex::platform {

bool CreateNewFile(const std::filesystem::path& path) {
    // CREATE_NEW fails on any existing name, a link included.
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

}  // namespace talvex::platform
