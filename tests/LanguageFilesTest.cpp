// The three language files against the program: the table of text ids lists every id
// once, by name; every file has a text for every id in it and no id beyond it; the
// defaults and the files agree on placeholders and on the blanks that glue texts together.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "i18n/TextIds.h"
#include "i18n/TranslateTable.h"
#include "i18n/Utf8Path.h"

namespace talvex {
namespace {

namespace fs = std::filesystem;
// The clone may lie in a folder whose name is not in the system's code page.
const fs::path kSourceDir = Utf8ToPath(TALVEX_SOURCE_DIR);
const char* const kLanguageFiles[] = {"English.lng", "Francais.lng", "Deutsch.lng"};

std::string ReadFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool AllDigits(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c));
    });
}

// The ids of the table of text ids.
std::set<std::int16_t> TableIds() {
    std::set<std::int16_t> ids;
    for (const TextIdEntry& entry : kTextIds) ids.insert(TextNumber(entry.id));
    return ids;
}

struct LanguageFile {
    std::map<std::int16_t, std::string> texts;
    std::vector<std::string> problems;
};

// Reads a language file strictly: every line must be a comment, empty, the translator
// line or a well-formed entry, each id once.
LanguageFile ReadLanguageFile(const std::string& name) {
    LanguageFile file;
    std::istringstream in(ReadFile(kSourceDir / "lang" / name));
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const std::string where = name + ":" + std::to_string(number) + ": ";
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line.front() == '#') continue;
        if (line.rfind("[Translation By: ", 0) == 0 && line.back() == ']' &&
            line.find('=') == std::string::npos) {
            continue;
        }
        const std::size_t equals = line.find('=');
        const std::string id = line.substr(0, equals);
        if (equals == std::string::npos || !AllDigits(id) || id.size() > 5) {
            file.problems.push_back(where + "not an entry: " + line);
        } else if (!file.texts.emplace(std::stoi(id), line.substr(equals + 1)).second) {
            file.problems.push_back(where + "id given twice: " + id);
        } else if (equals + 1 == line.size()) {
            file.problems.push_back(where + "empty text");
        }
    }
    if (file.texts.empty()) file.problems.push_back(name + ": no texts");
    return file;
}

// The placeholders "%1", "%2", ... of a text, as FormatMsg sees them.
std::multiset<std::string> Placeholders(std::string_view text) {
    std::multiset<std::string> found;
    for (std::size_t pos = text.find('%'); pos != std::string::npos;
         pos = text.find('%', pos + 1)) {
        std::size_t end = pos + 1;
        while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
        if (end > pos + 1 && text[pos + 1] != '0')
            found.insert(std::string(text.substr(pos, end - pos)));
    }
    return found;
}

TEST(LanguageFilesTest, TheTableListsEachIdOnceWithItsName) {
    std::set<std::int16_t> ids;
    std::set<std::string_view> names;
    for (const TextIdEntry& entry : kTextIds) {
        SCOPED_TRACE(entry.sName);
        EXPECT_GT(TextNumber(entry.id), 0);
        EXPECT_TRUE(ids.insert(TextNumber(entry.id)).second) << "id listed twice";
        EXPECT_TRUE(names.insert(entry.sName).second) << "name listed twice";
        EXPECT_FALSE(entry.sName.empty());
        EXPECT_EQ(DefaultText(entry.id), entry.sDefault);
    }
    // The translation of the main window looks up ids of the table only.
    for (const std::int16_t id : TranslateTextIds()) {
        EXPECT_TRUE(ids.count(id)) << "Translate looks up id " << id << ", not in the table";
    }
    // Ids 0, 1 and 27 are not in use.
    EXPECT_FALSE(ids.count(0) || ids.count(1) || ids.count(27));
}

TEST(LanguageFilesTest, EveryFileHasExactlyTheIdsOfTheTable) {
    const std::set<std::int16_t> used = TableIds();
    for (const char* name : kLanguageFiles) {
        SCOPED_TRACE(name);
        const LanguageFile file = ReadLanguageFile(name);
        EXPECT_TRUE(file.problems.empty()) << ::testing::PrintToString(file.problems);
        for (std::int16_t id : used) EXPECT_TRUE(file.texts.count(id)) << "no text for id " << id;
        for (const auto& [id, text] : file.texts) {
            EXPECT_TRUE(used.count(id)) << "id " << id << " is not in the table: " << text;
        }
    }
}

// A default stands in for a missing text: it fills the same placeholders.
TEST(LanguageFilesTest, DefaultsKeepTheEnglishPlaceholders) {
    const LanguageFile english = ReadLanguageFile("English.lng");
    for (const TextIdEntry& entry : kTextIds) {
        if (entry.sDefault.empty()) continue;
        SCOPED_TRACE(entry.sName);
        const auto it = english.texts.find(TextNumber(entry.id));
        ASSERT_NE(it, english.texts.end());
        EXPECT_EQ(Placeholders(entry.sDefault), Placeholders(it->second));
    }
}

TEST(LanguageFilesTest, TranslationsKeepPlaceholdersAndGluingBlanks) {
    const LanguageFile english = ReadLanguageFile("English.lng");
    for (const char* name : {"Francais.lng", "Deutsch.lng"}) {
        SCOPED_TRACE(name);
        for (const auto& [id, text] : ReadLanguageFile(name).texts) {
            const auto it = english.texts.find(id);
            if (it == english.texts.end()) continue;  // reported by the test above
            EXPECT_EQ(Placeholders(text), Placeholders(it->second)) << "id " << id;
            // Texts that are joined to a value rely on their leading or trailing blank.
            EXPECT_EQ(text.front() == ' ', it->second.front() == ' ') << "id " << id;
            EXPECT_EQ(text.back() == ' ', it->second.back() == ' ') << "id " << id;
        }
    }
}

}  // namespace
}  // namespace talvex
