#pragma once
// Language files: which file a language code selects, where the program finds it, and
// loading it into the string table.

#include <filesystem>
#include <string>
#include <string_view>

#include "i18n/StringTable.h"

namespace talvex::modLang {

/// "Deutsch.lng" for "DE", "Francais.lng" for "FR", "English.lng" for any other code.
/// The codes are compared with case: "de" selects English.
std::string LanguageFileName(std::string_view sLanguage);

/// The folder the installed program keeps its language files in.
std::filesystem::path InstalledLanguageFolder();

/// Full name of a language file: the one beside the program when it is there, else the
/// one of an installation around the program (bin/../share/talvex/lang), else the one in
/// the installed data folder (which may be missing too; loading then yields an empty
/// table). Empty when neither folder is given.
std::filesystem::path FindLanguageFile(std::string_view sFileName,
                                       const std::filesystem::path& programFolder,
                                       const std::filesystem::path& dataFolder);

/// Replaces the whole table by the texts of the file. A missing, unreadable or empty
/// file leaves an empty table (one element holding no text). Never fails.
void LoadLanguageFile(StringTable& table, const std::filesystem::path& sFile);

/// The same from a file's contents: UTF-8 with or without a byte-order mark (text that
/// is not UTF-8 is read as Windows-1252); lines end with CR LF, CR or LF.
void LoadLanguageText(StringTable& table, std::string_view sContents);

}  // namespace talvex::modLang
