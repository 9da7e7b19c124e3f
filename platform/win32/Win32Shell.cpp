// Shell-open through ShellExecuteW, for web addresses only: whatever else a version
// file names (a program, a document, a share) is never started.
#include <cwctype>

#include "platform/win32/Win32Api.h"
#include "platform/win32/Win32Net.h"
#include "platform/win32/Win32Text.h"

namespace talvex::platform {

namespace {

bool IsWebAddress(const std::wstring& address) {
    std::wstring start = address.substr(0, 8);
    for (wchar_t& c : start) c = static_cast<wchar_t>(std::towlower(c));
    const bool web = start.rfind(L"http://", 0) == 0 || start.rfind(L"https://", 0) == 0;
    // Something must follow the scheme, and nothing may hide a second command line.
    return web && address.size() > (start[4] == L's' ? 8u : 7u) &&
           address.find_first_of(L"\"\r\n") == std::wstring::npos;
}

class Win32Shell final : public IShell {
  public:
    std::int32_t ShellExecute(const std::string& sVerb, const std::string& sFile,
                              const std::string& sParameters, const std::string& sDirectory,
                              std::int32_t nShowCmd) override {
        const std::wstring file = win32::Widen(sFile);
        if (!IsWebAddress(file)) return SE_ERR_FNF;
        const std::wstring verb = win32::Widen(sVerb);
        const std::wstring parameters = win32::Widen(sParameters);
        const std::wstring directory = win32::Widen(sDirectory);
        const auto result = reinterpret_cast<INT_PTR>(
            ShellExecuteW(nullptr, verb.empty() ? nullptr : verb.c_str(), file.c_str(),
                          parameters.empty() ? nullptr : parameters.c_str(),
                          directory.empty() ? nullptr : directory.c_str(), nShowCmd));
        return result > kShellMaxError ? kShellOk : static_cast<std::int32_t>(result);
    }
};

}  // namespace

std::unique_ptr<IShell> CreateWin32Shell() {
    return std::make_unique<Win32Shell>();
}

}  // namespace talvex::platform
