#pragma once
// The hang-up warning as the engine sees it: one call that shows the message, waits
// until the user confirms, and hands back the two answers.

#include <string>

namespace talvex {

class IWarningDialog {
  public:
    virtual ~IWarningDialog() = default;

    /// Shows sMsg and waits for OK while the rest of the program keeps running (timer
    /// ticks and rule edits may happen before it returns). bNoBoost comes back true when
    /// "do not check this app again" was ticked, whatever it held before; the result is
    /// true when "do not display this message again" was ticked.
    virtual bool Display(const std::string& sMsg, bool& bNoBoost) = 0;
};

}  // namespace talvex
