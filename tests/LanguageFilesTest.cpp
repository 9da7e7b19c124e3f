// The three language files against the program: every text id the program looks up has
// a text in every file, no file carries an id nobody looks up, and the files agree on
// placeholders and on the blanks that glue texts together.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "i18n/TranslateTable.h"

namespace talvex {
namespace {

namespace fs = std::filesystem;
const fs::path kSourceDir = TALVEX_SOURCE_DIR;
const char* const kLanguageFiles[] = {"English.lng", "Francais.lng", "Deutsch.lng"};

std::string ReadFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Blanks out comments and the insides of string and character literals (raw strings
// included), keeping line breaks, so that only code is searched for lookups.
std::string CodeOnly(const std::string& src) {
    std::string out = src;
    auto blank = [&](std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to && i < out.size(); ++i) {
            if (out[i] != '\n') out[i] = ' ';
        }
    };
    std::size_t i = 0;
    while (i < src.size()) {
        if (src.compare(i, 2, "//") == 0) {
            const std::size_t end = std::min(src.find('\n', i), src.size());
            blank(i, end);
            i = end;
        } else if (src.compare(i, 2, "/*") == 0) {
            const std::size_t end = std::min(src.find("*/", i + 2), src.size() - 2) + 2;
            blank(i, end);
            i = end;
        } else if (src.compare(i, 2, "R\"") == 0 &&
                   (i == 0 ||
                    !(std::isalnum(static_cast<unsigned char>(src[i - 1])) || src[i - 1] == '_'))) {
            const std::size_t open = src.find('(', i);
            const std::string close = ")" + src.substr(i + 2, open - i - 2) + "\"";
            const std::size_t end = std::min(src.find(close, open), src.size()) + close.size();
            blank(i + 2, end - 1);
            i = end;
        } else if (src[i] == '"' || src[i] == '\'') {
            const char quote = src[i];
            std::size_t j = i + 1;
            while (j < src.size() && src[j] != quote && src[j] != '\n') j += src[j] == '\\' ? 2 : 1;
            blank(i + 1, j);
            i = j + 1;
        } else {
            ++i;
        }
    }
    return out;
}

struct LangCall {
    std::string file;  // relative to the source folder
    int line;
    std::string argument;  // the id argument as written
};

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

bool IsWordChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

bool AllDigits(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c));
    });
}

// Where `word` stands as a whole word in `code`.
std::vector<std::size_t> WordPositions(const std::string& code, const std::string& word) {
    std::vector<std::size_t> found;
    for (std::size_t pos = code.find(word); pos != std::string::npos;
         pos = code.find(word, pos + 1)) {
        const std::size_t end = pos + word.size();
        if ((pos == 0 || !IsWordChar(code[pos - 1])) &&
            (end == code.size() || !IsWordChar(code[end]))) {
            found.push_back(pos);
        }
    }
    return found;
}

struct SourceFile {
    std::string file;  // relative to the source folder
    std::string code;  // comments and literals blanked out
};

// The program's own sources: everything but tests, benchmarks, fuzz targets, data and
// build trees.
const std::vector<SourceFile>& ProgramSources() {
    static const std::vector<SourceFile> sources = [] {
        std::vector<SourceFile> found;
        const std::set<std::string> skipped = {"tests", "bench",   "fuzz",
                                               "lang",  "artwork", "scripts"};
        for (auto it = fs::recursive_directory_iterator(kSourceDir); it != fs::end(it); ++it) {
            const std::string name = it->path().filename().string();
            if (it->is_directory() &&
                (name.front() == '.' || name.rfind("build", 0) == 0 || skipped.count(name))) {
                it.disable_recursion_pending();
                continue;
            }
            const std::string ext = it->path().extension().string();
            if (!it->is_regular_file() || (ext != ".cpp" && ext != ".h" && ext != ".hpp")) {
                continue;
            }
            found.push_back({fs::relative(it->path(), kSourceDir).generic_string(),
                             CodeOnly(ReadFile(it->path()))});
        }
        return found;
    }();
    return sources;
}

// Every call (or declaration) of a function named Lang in the program's sources.
std::vector<LangCall> FindLangCalls() {
    std::vector<LangCall> calls;
    for (const SourceFile& source : ProgramSources()) {
        const std::string& code = source.code;
        for (const std::size_t at : WordPositions(code, "Lang")) {
            std::size_t pos = code.find_first_not_of(" \t\r\n", at + 4);
            if (pos == std::string::npos || code[pos] != '(') continue;
            int depth = 0;
            std::string argument;
            for (++pos; pos < code.size(); ++pos) {
                const char c = code[pos];
                if ((c == ',' || c == ')') && depth == 0) break;
                depth += (c == '(' || c == '<' || c == '[' || c == '{') ? 1 : 0;
                depth -= (c == ')' || c == '>' || c == ']' || c == '}') ? 1 : 0;
                argument += c;
            }
            const auto line = std::count(code.begin(), code.begin() + at, '\n') + 1;
            calls.push_back({source.file, static_cast<int>(line), Trim(argument)});
        }
    }
    return calls;
}

// Lookups whose id is not written as a number, and the ids they stand for. A new call
// of this kind makes the check fail until it is listed here.
struct IndirectLookup {
    const char* file;
    const char* argument;
    std::set<std::int16_t> ids;  // empty: the declaration or the definition itself
    bool translateTable;         // the ids are those of the translation table
};
const IndirectLookup kIndirectLookups[] = {
    {"i18n/StringTable.h", "std::int16_t iId", {}, false},
    {"i18n/StringTable.cpp", "std::int16_t iId", {}, false},
    {"i18n/TranslateTable.cpp", "item.iId", {}, true},
    {"i18n/TranslateTable.cpp", "entry.iId", {}, true},
    {"engine/BkgObservation.cpp", "nameId", {20, 21}, false},
};

struct ScanResult {
    std::set<std::int16_t> ids;
    std::vector<std::string> unresolved;
    bool sawDeclaration = false;
};

// The value of a named text id: a constant defined as "NAME = digits" somewhere in the
// program's sources (one definition only, or the name is not resolved).
std::optional<std::int16_t> NamedTextId(const std::string& name) {
    std::set<std::string> values;
    for (const SourceFile& source : ProgramSources()) {
        for (const std::size_t at : WordPositions(source.code, name)) {
            std::size_t pos = source.code.find_first_not_of(" \t", at + name.size());
            if (pos == std::string::npos || source.code[pos] != '=' ||
                source.code.compare(pos, 2, "==") == 0) {
                continue;
            }
            pos = source.code.find_first_not_of(" \t", pos + 1);
            const std::size_t end = source.code.find(';', pos);
            if (pos == std::string::npos || end == std::string::npos) continue;
            const std::string value = Trim(source.code.substr(pos, end - pos));
            if (AllDigits(value) && value.size() <= 5) values.insert(value);
        }
    }
    if (values.size() != 1) return std::nullopt;
    return static_cast<std::int16_t>(std::stoi(*values.begin()));
}

ScanResult ScanSources() {
    ScanResult result;
    for (const LangCall& call : FindLangCalls()) {
        if (AllDigits(call.argument)) {
            result.ids.insert(static_cast<std::int16_t>(std::stoi(call.argument)));
            continue;
        }
        if (const auto id = NamedTextId(call.argument)) {
            result.ids.insert(*id);
            continue;
        }
        const auto known = std::find_if(
            std::begin(kIndirectLookups), std::end(kIndirectLookups), [&](const auto& entry) {
                return call.file == entry.file && call.argument == entry.argument;
            });
        if (known == std::end(kIndirectLookups)) {
            result.unresolved.push_back(call.file + ":" + std::to_string(call.line) + ": Lang(" +
                                        call.argument + ", ...)");
            continue;
        }
        result.sawDeclaration |= known->ids.empty() && !known->translateTable;
        result.ids.insert(known->ids.begin(), known->ids.end());
        if (known->translateTable) {
            const auto table = TranslateTextIds();
            result.ids.insert(table.begin(), table.end());
        }
    }
    return result;
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
std::multiset<std::string> Placeholders(const std::string& text) {
    std::multiset<std::string> found;
    for (std::size_t pos = text.find('%'); pos != std::string::npos;
         pos = text.find('%', pos + 1)) {
        std::size_t end = pos + 1;
        while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
        if (end > pos + 1 && text[pos + 1] != '0') found.insert(text.substr(pos, end - pos));
    }
    return found;
}

TEST(LanguageFilesTest, SourceScanFindsEveryLookup) {
    const ScanResult scan = ScanSources();
    EXPECT_TRUE(scan.unresolved.empty()) << "These lookups do not show their text id; write the id "
                                            "as a number or a constant, or list the "
                                            "call in kIndirectLookups:\n"
                                         << ::testing::PrintToString(scan.unresolved);
    // The scan must see the lookups that are known to exist, or it checks nothing.
    EXPECT_TRUE(scan.sawDeclaration);
    EXPECT_TRUE(scan.ids.count(48));
    EXPECT_TRUE(scan.ids.count(59));
}

TEST(LanguageFilesTest, EveryFileHasExactlyTheIdsTheProgramLooksUp) {
    const std::set<std::int16_t> used = ScanSources().ids;
    for (const char* name : kLanguageFiles) {
        SCOPED_TRACE(name);
        const LanguageFile file = ReadLanguageFile(name);
        EXPECT_TRUE(file.problems.empty()) << ::testing::PrintToString(file.problems);
        for (std::int16_t id : used) EXPECT_TRUE(file.texts.count(id)) << "no text for id " << id;
        for (const auto& [id, text] : file.texts) {
            EXPECT_TRUE(used.count(id)) << "id " << id << " is never looked up: " << text;
        }
    }
    // Ids 0, 1 and 27 are not in use.
    EXPECT_FALSE(used.count(0) || used.count(1) || used.count(27));
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
