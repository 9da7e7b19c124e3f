#pragma once
// The two message boxes the update check needs from the user interface. The main
// window adapts its own message box to this, so the check never sees a window.

#include <string>

namespace talvex {

enum class PromptIcon { Information, Error };

class IUpdatePrompt {
  public:
    virtual ~IUpdatePrompt() = default;

    /// Modal message with an OK button. An empty title means the program's title.
    virtual void Inform(const std::string& sText, PromptIcon icon, const std::string& sTitle) = 0;
    /// Modal question with Yes and No and the information icon; true for Yes.
    virtual bool Ask(const std::string& sText, const std::string& sTitle) = 0;
};

}  // namespace talvex
