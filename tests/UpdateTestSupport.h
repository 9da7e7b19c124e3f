#pragma once
// What the update tests share: a prompt that records every message box and answers
// questions as told, and the check's texts.

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "i18n/StringTable.h"
#include "update/IUpdatePrompt.h"

namespace talvex::testing {

class RecordingPrompt final : public IUpdatePrompt {
  public:
    struct Shown {
        bool question = false;
        std::string text;
        PromptIcon icon = PromptIcon::Information;
        std::string title;
    };

    void Inform(const std::string& sText, PromptIcon icon, const std::string& sTitle) override {
        shown.push_back(Shown{false, sText, icon, sTitle});
    }
    bool Ask(const std::string& sText, const std::string& sTitle) override {
        shown.push_back(Shown{true, sText, PromptIcon::Information, sTitle});
        if (answers.empty()) return false;
        const bool yes = answers.front();
        answers.pop_front();
        return yes;
    }

    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const Shown& s : shown) texts.push_back(s.text);
        return texts;
    }

    std::vector<Shown> shown;
    std::deque<bool> answers;  // Yes (true) or No for the next questions; No when empty
};

/// The texts of the check in a string table, as a language file would give them.
inline StringTable UpdateTexts() {
    StringTable strings;
    strings.ClearStringTable();
    strings.Store(28, "New version: ");
    strings.Store(29, "Your version: ");
    strings.Store(30, "Update now?");
    strings.Store(31, "The download page opens.");
    strings.Store(32, "No update");
    strings.Store(33, "You have the newest version.");
    strings.Store(35, "No version information could be found.");
    return strings;
}

/// The same texts as the language file the main window loads at start-up, written into
/// `folder` under the name of every language (the first one follows the desktop's).
inline void WriteUpdateLanguageFile(const std::filesystem::path& folder) {
    const StringTable texts = UpdateTexts();
    for (const char* name : {"Deutsch.lng", "English.lng", "Francais.lng"}) {
        std::ofstream out(folder / name, std::ios::binary);
        for (std::int16_t id : {28, 29, 30, 31, 32, 33, 35}) {
            out << id << '=' << texts.Lang(id) << '\n';
        }
    }
}

inline const std::string kNoVersionData = "No version information could be found.";
inline const std::string kNoUpdate = "No update You have the newest version.";

}  // namespace talvex::testing
