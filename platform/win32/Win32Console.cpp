#include "platform/win32/Win32Console.h"

#include <cstdio>

#include "platform/win32/Win32Api.h"
#include "platform/win32/Win32Text.h"

namespace talvex::platform::win32 {

std::vector<std::string> ProgramArguments() {
    int count = 0;
    wchar_t** arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<std::string> result;
    if (arguments == nullptr) return result;
    for (int i = 1; i < count; ++i) result.push_back(Narrow(arguments[i]));
    ::LocalFree(arguments);
    return result;
}

void AnswerOnParentConsole() {
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (out != nullptr && out != INVALID_HANDLE_VALUE) return;
    if (!::AttachConsole(ATTACH_PARENT_PROCESS)) return;
    [[maybe_unused]] std::FILE* output = std::freopen("CONOUT$", "w", stdout);
    [[maybe_unused]] std::FILE* error = std::freopen("CONOUT$", "w", stderr);
}

}  // namespace talvex::platform::win32
