#pragma once
// The modal message box and input box.

#include <cstdint>
#include <string>

#include "platform/UiTypes.h"

namespace talvex::platform::win32 {

/// MessageBoxW with the style's buttons and icon, above every other window.
MsgBoxResult ShowMessageBox(const std::string& text, std::int32_t style, const std::string& title);
/// A dialog with the prompt, a text field holding defaultText, and the buttons OK and
/// Cancel captioned `ok` and `cancel`; the empty text when it is cancelled.
std::string ShowInputBox(const std::string& prompt, const std::string& title,
                         const std::string& defaultText, const std::string& ok = "OK",
                         const std::string& cancel = "Cancel");

}  // namespace talvex::platform::win32
