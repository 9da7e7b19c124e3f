#pragma once
// The commands of the rule list panel: Remove, Add, Current, rename and the rule
// popup menu. They work on the rule list only; the window that shows the list asks
// the questions (through the input-box callback) and refills its list box when a
// command says so.
//
// The selected rule is always the rule that fFindInTalvexItems returns for the text of
// the selected line, so with the rules "pad.exe" and "notepad.exe" the line
// "notepad.exe" acts on "pad.exe".

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "i18n/StringTable.h"
#include "rules/TalvexItems.h"

namespace talvex {

/// Text of the selected line of the rule list; nullopt when no line is selected.
using SelectedLine = std::optional<std::string>;

/// The entries of the rule popup menu that carry a check mark or run a command.
enum class Pop2Item {
    AboveNormal,
    High,
    Realtime,
    NeverBoost,
    NoBkgObservation,
    HangUp,
    HangUpMsg,
    Delete,
};

/// Check marks of the rule popup menu for one rule.
struct Pop2Marks {
    bool bAboveNormal = false;
    bool bHigh = false;
    bool bRealtime = false;
    bool bNeverBoost = false;
    bool bNoBkgObservation = false;
    bool bHangUp = false;
    bool bHangUpMsg = false;
    bool operator==(const Pop2Marks&) const = default;
};

class RuleCommands {
  public:
    /// Shows a modal input box with a prompt and a default text; returns the answer,
    /// the empty text when the user cancels.
    using InputBoxFn =
        std::function<std::string(const std::string& sPrompt, const std::string& sDefault)>;

    static constexpr const char* kAddDefaultAnswer = "example.exe";

    /// sAddExample is the name Add suggests, and refuses when left unchanged: an example
    /// in the form of this system's program names.
    RuleCommands(TalvexItems& items, const StringTable& strings, InputBoxFn inputBox,
                 std::string sAddExample = kAddDefaultAnswer)
        : m_items(items),
          m_strings(strings),
          m_inputBox(std::move(inputBox)),
          m_sAddExample(std::move(sAddExample)) {}

    /// The lines of the rule list: every rule's name, in list order.
    static std::vector<std::string> fRefreshList(const TalvexItems& items);

    /// A rule name can be kept only if the settings store can write and read it back:
    /// the store separates a rule's fields with "|".
    static bool IsStorableName(std::string_view sName);
    /// Number of characters (not bytes) of a UTF-8 text.
    static std::size_t CharCount(std::string_view sText);

    // Each command returns true when the list box must be refilled.

    /// Remove: deletes the selected line's rule.
    bool Command1_Click(const SelectedLine& selected);
    /// Add: asks for a program name and adds a rule for it with the global level.
    bool Command2_Click();
    /// Current: adds a rule for the program that was in front before this window.
    /// ownExePath is this program's executable path (empty when it cannot be read).
    bool Command3_Click(const std::string& m_sForegroundExe, const std::string& m_sPreviousExe,
                        const std::string& ownExePath);
    /// Add for a given program: asks for the name with the program's path filled in, and
    /// adds a rule with the global level unless a rule already covers the answer.
    bool AddFor(const std::string& sPath);
    /// Rename on double click: asks for the selected rule's new name.
    bool List1_DblClick(const SelectedLine& selected);

    /// Check marks for the popup menu of the selected rule; nullopt when there is no
    /// selected rule (the menu is then not shown).
    std::optional<Pop2Marks> Pop2MarksFor(const SelectedLine& selected) const;
    /// A command of the popup menu on the selected rule.
    bool Pop2Click(Pop2Item item, const SelectedLine& selected);

  private:
    /// Index of the selected rule, or nullopt.
    std::optional<std::size_t> SelectedRule(const SelectedLine& selected) const;
    bool AddRule(const std::string& sItem);

    TalvexItems& m_items;
    const StringTable& m_strings;
    InputBoxFn m_inputBox;
    std::string m_sAddExample;
};

}  // namespace talvex
