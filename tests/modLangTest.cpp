// The language loader: line kinds, ids, texts, line ends, encodings and missing files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <future>
#include <string>

#include "TempFolder.h"
#include "i18n/StringTable.h"
#include "i18n/modLang.h"

namespace talvex {
namespace {

std::string Text(const StringTable& table, std::int16_t id) {
    return table.Lang(id, false, false, false, "<default>");
}

StringTable Loaded(std::string_view contents) {
    StringTable table;
    modLang::LoadLanguageText(table, contents);
    return table;
}

TEST(LoadLanguageTest, LineKindsOfTheFileFormat) {
    const StringTable table = Loaded(
        "# comment=with an equals sign\n"
        "20=Below Normal\n"
        "21=Idle\n"
        "[Translation By: Jane Roe]\n");
    EXPECT_EQ(Text(table, 20), "Below Normal");
    EXPECT_EQ(Text(table, 21), "Idle");
    EXPECT_EQ(Text(table, 22), "<default>");
    EXPECT_EQ(table.Size(), 23u);  // upper bound 22: one beyond the highest id
}

TEST(LoadLanguageTest, TextsAreTakenExactlyAsWritten) {
    const StringTable table = Loaded(
        "30=a=b\n"
        "31= spaced both sides \n"
        "50=\n"
        "60=old\n"
        "60=new\n"
        " 12 \t=blanks around the id\n"
        "+13=plus sign\n"
        "40=First|Second\n"
        "41=|\n");
    EXPECT_EQ(Text(table, 30), "a=b");
    EXPECT_EQ(Text(table, 31), " spaced both sides ");
    EXPECT_EQ(Text(table, 50), "");  // present and empty: the default is not used
    EXPECT_EQ(table.Lang(50, true, false, false, "x"), " ");
    EXPECT_EQ(Text(table, 51), "<default>");
    EXPECT_EQ(Text(table, 60), "new");
    EXPECT_EQ(Text(table, 12), "blanks around the id");
    EXPECT_EQ(Text(table, 13), "plus sign");
    EXPECT_EQ(Text(table, 40), "First\r\nSecond");
    EXPECT_EQ(Text(table, 41), "\r\n");
}

TEST(LoadLanguageTest, LinesWithoutAUsableIdChangeNothing) {
    const StringTable table = Loaded(
        "20=kept\n"
        "-5=negative\n"
        "#7=comment\n"
        "abc=letters\n"
        "=no id\n"
        "40000=beyond 16 bits\n"
        "-40000=beyond 16 bits\n"
        "32767=the highest 16-bit value\n"
        "2 0=two numbers\n"
        "[Translation By: A=B]\n"
        "no equals sign at all\n"
        "\n");
    // Such a line never lands under the id of the line before it.
    EXPECT_EQ(Text(table, 20), "kept");
    EXPECT_EQ(Text(table, 0), "<default>");
    EXPECT_EQ(Text(table, 7), "<default>");
    EXPECT_EQ(table.Size(), 22u);
}

TEST(LoadLanguageTest, HighestStorableIdAndIdZero) {
    const StringTable table = Loaded("0=zero\n32766=top\n");
    EXPECT_EQ(Text(table, 0), "zero");
    EXPECT_EQ(Text(table, 32766), "top");
    EXPECT_EQ(table.Size(), 32768u);
}

TEST(LoadLanguageTest, EveryLineEndFormGivesTheSameTable) {
    const std::string lines[] = {"# c", "2=Two", "", "3=Three", "[Translation By: X]", "4="};
    for (const char* end : {"\n", "\r\n", "\r"}) {
        std::string contents;
        for (const std::string& line : lines) contents += line + end;
        for (const bool finalEnd : {true, false}) {
            SCOPED_TRACE(::testing::Message() << "end " << static_cast<int>(end[0]) << "/" << end[1]
                                              << " final " << finalEnd);
            const std::string text =
                finalEnd ? contents : contents.substr(0, contents.size() - std::strlen(end));
            const StringTable table = Loaded(text);
            EXPECT_EQ(Text(table, 2), "Two");  // no stray CR at the end of a text
            EXPECT_EQ(Text(table, 3), "Three");
            EXPECT_EQ(Text(table, 4), "");
            EXPECT_EQ(table.Size(), 6u);
        }
    }
    // Mixed ends in one file; LF CR is two ends with an empty line between.
    const StringTable mixed = Loaded("2=a\r\n3=b\r4=c\n\r5=d");
    EXPECT_EQ(Text(mixed, 2), "a");
    EXPECT_EQ(Text(mixed, 3), "b");
    EXPECT_EQ(Text(mixed, 4), "c");
    EXPECT_EQ(Text(mixed, 5), "d");
}

TEST(LoadLanguageTest, ByteOrderMarkAndEightBitFiles) {
    const StringTable bom = Loaded(
        "\xEF\xBB\xBF"
        "2=Erweitert...\n5=H\xC3\xB6her\n");
    EXPECT_EQ(Text(bom, 2), "Erweitert...");
    EXPECT_EQ(Text(bom, 5), "H\xC3\xB6her");
    const StringTable bomComment = Loaded("\xEF\xBB\xBF#7=comment\n");
    EXPECT_EQ(Text(bomComment, 7), "<default>");
    // A file saved in the old 8-bit code page still shows its accents.
    const StringTable legacy = Loaded("5=Sup\xE9rieure\n6=\x80 \x93x\x94\n");
    EXPECT_EQ(Text(legacy, 5), "Sup\xC3\xA9rieure");
    EXPECT_EQ(Text(legacy, 6), "\xE2\x82\xAC \xE2\x80\x9Cx\xE2\x80\x9D");
}

TEST(LoadLanguageTest, MissingEmptyOrUnreadableFileLeavesAnEmptyTable) {
    testing::TempFolder folder;
    const auto full = folder.Write("Full.lng", "70=only here\n");
    const auto empty = folder.Write("Empty.lng", "");
    for (const std::filesystem::path& file :
         {folder.Path() / "Missing.lng", empty, folder.Path()}) {
        SCOPED_TRACE(file.string());
        StringTable table;
        modLang::LoadLanguageFile(table, full);
        ASSERT_EQ(Text(table, 70), "only here");
        modLang::LoadLanguageFile(table, file);
        EXPECT_EQ(table.Size(), 1u);
        EXPECT_EQ(Text(table, 70), "<default>");
        EXPECT_EQ(table.Lang(70, false, false, false, ""), "Translation Error!");
    }
}

#ifndef _WIN32  // pipes and device files of this kind are a POSIX matter
TEST(LoadLanguageTest, PipeDeviceOrHugeFileLoadsAsAnEmptyTableAtOnce) {
    testing::TempFolder folder;
    const auto pipe = folder.Path() / "Deutsch.lng";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    const auto huge = folder.Write("Francais.lng", "4=Actif\n");
    std::filesystem::resize_file(huge, 64u << 20);  // sparse: takes no room on the disk
    const auto device = folder.Path() / "English.lng";
    std::filesystem::create_symlink("/dev/zero", device);
    for (const std::filesystem::path& file : {pipe, huge, device}) {
        SCOPED_TRACE(file.string());
        StringTable table;
        // The data folder is the last place looked in, and its file is loaded unchecked.
        const auto found = modLang::FindLanguageFile(file.filename().string(), {}, folder.Path());
        auto load =
            std::async(std::launch::async, [&] { modLang::LoadLanguageFile(table, found); });
        if (load.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
            // Still waiting for a writer: let it go, or the test would hang as well.
            ::close(::open(pipe.c_str(), O_WRONLY | O_NONBLOCK));
            ADD_FAILURE() << "loading waited for a writer";
        }
        load.get();
        EXPECT_EQ(table.Size(), 1u);
    }
}
#endif

TEST(LoadLanguageTest, EachLoadStartsFromAnEmptyTable) {
    testing::TempFolder folder;
    const auto german = folder.Write("Deutsch.lng", "4=Aktiv\r\n");
    const auto english = folder.Write("English.lng", "4=Active\r\n45=Only in English\r\n");
    StringTable table;
    modLang::LoadLanguageFile(table, german);
    modLang::LoadLanguageFile(table, english);
    EXPECT_EQ(Text(table, 45), "Only in English");
    modLang::LoadLanguageFile(table, german);
    EXPECT_EQ(Text(table, 4), "Aktiv");
    EXPECT_EQ(Text(table, 45), "<default>");
    EXPECT_EQ(table.Size(), 6u);
}

TEST(LanguageFileTest, CodeSelectsTheFileWithCase) {
    EXPECT_EQ(modLang::LanguageFileName("DE"), "Deutsch.lng");
    EXPECT_EQ(modLang::LanguageFileName("FR"), "Francais.lng");
    EXPECT_EQ(modLang::LanguageFileName("EN"), "English.lng");
    EXPECT_EQ(modLang::LanguageFileName("de"), "English.lng");
    EXPECT_EQ(modLang::LanguageFileName("Fr"), "English.lng");
    EXPECT_EQ(modLang::LanguageFileName(""), "English.lng");
    EXPECT_EQ(modLang::LanguageFileName("DE "), "English.lng");
}

TEST(LanguageFileTest, ProgramFolderFirstThenDataFolder) {
    testing::TempFolder program;
    testing::TempFolder data;
    program.Write("Deutsch.lng", "4=Aktiv\n");
    data.Write("Deutsch.lng", "4=installed\n");
    data.Write("Francais.lng", "4=Actif\n");
    EXPECT_EQ(modLang::FindLanguageFile("Deutsch.lng", program.Path(), data.Path()),
              program.Path() / "Deutsch.lng");
    EXPECT_EQ(modLang::FindLanguageFile("Francais.lng", program.Path(), data.Path()),
              data.Path() / "Francais.lng");
    // Nowhere at all: the data folder's name, which then loads as an empty table.
    EXPECT_EQ(modLang::FindLanguageFile("English.lng", program.Path(), data.Path()),
              data.Path() / "English.lng");
    // A folder that happens to carry the file's name is no language file.
    std::filesystem::create_directory(program.Path() / "English.lng");
    data.Write("English.lng", "4=Active\n");
    EXPECT_EQ(modLang::FindLanguageFile("English.lng", program.Path(), data.Path()),
              data.Path() / "English.lng");
    EXPECT_EQ(modLang::FindLanguageFile("English.lng", {}, data.Path()),
              data.Path() / "English.lng");
    EXPECT_EQ(modLang::FindLanguageFile("English.lng", {}, {}), std::filesystem::path());
    // An installation under another prefix than the one built in: bin/ and share/.
    testing::TempFolder prefix;
    std::filesystem::create_directories(prefix.Path() / "bin");
    std::filesystem::create_directories(prefix.Path() / "share" / "talvex" / "lang");
    prefix.Write("share/talvex/lang/English.lng", "4=Active\n");
    EXPECT_EQ(modLang::FindLanguageFile("English.lng", prefix.Path() / "bin", data.Path()),
              prefix.Path() / "bin" / ".." / "share" / "talvex" / "lang" / "English.lng");
    EXPECT_FALSE(modLang::InstalledLanguageFolder().empty());
}

}  // namespace
}  // namespace talvex
