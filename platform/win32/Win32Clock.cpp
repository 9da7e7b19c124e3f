#include "platform/win32/Win32Clock.h"

#include "platform/win32/Win32Api.h"
#include "platform/win32/Win32Text.h"

namespace talvex::platform {

std::uint64_t Win32Clock::GetTickCount64() {
    return ::GetTickCount64();
}

std::string Win32Clock::LocalDateTimeText() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    wchar_t date[80] = {};
    wchar_t time[80] = {};
    if (GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &now, nullptr, date, 80,
                        nullptr) == 0 ||
        GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &now, nullptr, time, 80) == 0) {
        return {};
    }
    return win32::Narrow(date) + " " + win32::Narrow(time);
}

}  // namespace talvex::platform
