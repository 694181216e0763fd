// The catalogue's bytes, the placeholder rule, the language choice and the text and number helpers.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/UnitLanguage.h"

namespace {

// Switches the table for one test and puts the process's language back afterwards.
class TLanguageScope {
public:
    explicit TLanguageScope(const std::string& Language) : FSaved(UserLanguage) { UserLanguage = Language; }
    ~TLanguageScope() { UserLanguage = FSaved; }

private:
    std::string FSaved;
};

} // namespace

TEST(Catalogue, BothTablesPinnedAsWindows1252) {
    for (int i = 0; i < MsgCount; ++i) {
        const std::string en = MsgCatalogEn[i], de = MsgCatalogDe[i];
        EXPECT_FALSE(en.empty()) << i;
        EXPECT_EQ(std::count(en.begin(), en.end(), '#'), std::count(de.begin(), de.end(), '#')) << i;
        // Neither UTF-8 sequences (0xC3 lead bytes) nor a sharp s in the German texts.
        EXPECT_EQ(de.find_first_of("\xC3\xDF"), std::string::npos) << i;
    }
    const std::string size = MsgCatalogDe[MsgSizeLabel];
    ASSERT_EQ(size.size(), 6u);
    EXPECT_EQ(static_cast<unsigned char>(size[2]), 0xF6);
    EXPECT_STREQ(MsgCatalogEn[MsgSplit], "Split");
    EXPECT_STREQ(MsgCatalogDe[MsgSplit], "Splitten");
    EXPECT_STREQ(MsgCatalogDe[MsgInvalidHeader], "Ung\xFCltige Headerdatei!");
    // clang-format off
    EXPECT_STREQ(MsgCatalogDe[MsgConfirmOverwrite],
                 "Die Datei \"#\" existiert bereits. Existierende Dateien immer \xFC" "berschreiben?");
    EXPECT_NE(std::string(MsgCatalogDe[MsgDiskNote]).find("besch\xE4" "digte"), std::string::npos);
    // clang-format on
    EXPECT_STREQ(TextUnknownError, "An unknown error occured!");
    EXPECT_STREQ(TextWriteError, "Error writing to file!");
}

TEST(Catalogue, NextDiskTextBreaksItsLineWithCrLfInBothLanguages) {
    // clang-format off
    const std::pair<const char*, const char*> cases[] = {
        {MsgCatalogEn[MsgInsertNextDisk], "is required.\r\nPlease insert"},
        {MsgCatalogDe[MsgInsertNextDisk], "wird ben\xF6" "tigt.\r\nBitte legen"}};
    // clang-format on
    for (const auto& [text, around] : cases) {
        const std::string s = text;
        EXPECT_NE(s.find(around), std::string::npos) << s;
        EXPECT_EQ(std::count(s.begin(), s.end(), '\r'), 1);
        EXPECT_EQ(std::count(s.begin(), s.end(), '\n'), 1);
    }
}

TEST(FormatMsg, FillsPlaceholdersFromTheStartOfTheText) {
    TLanguageScope english("EN");
    const std::string escHint = FormatMsg(MsgEscHint);
    struct TCase {
        int Index;
        std::initializer_list<std::string> Args;
        std::string Expected;
    };
    const TCase cases[] = {
        {MsgConfirmJoin,
         {escHint},
         "The parts will be rejoined. You can press the <ESC> key to interrupt the job. Do you want to "
         "continue?"},
        {MsgConfirmPartCount, {}, "There are # parts to create. # Do you want to continue?"},
        {MsgConfirmPartCount, {"3"}, "There are 3 parts to create. # Do you want to continue?"},
        {MsgFileMissing, {"a.001", "ignored"}, "File \"a.001\" missed!"},
        {MsgFileMissing, {""}, "File \"\" missed!"},
        // A "#" brought in by an argument is the next placeholder.
        {MsgConfirmPartCount, {"#1", "x"}, "There are x1 parts to create. # Do you want to continue?"},
        {MsgSplit, {"surplus"}, "Split"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(FormatMsg(c.Index, c.Args), c.Expected);
}

TEST(FormatMsg, OnlyTheExactLanguageDeSelectsTheSecondTable) {
    const std::pair<std::string, std::string> cases[] = {{"DE", "Splitten"}, {"EN", "Split"},
                                                         {"FR", "Split"},    {"", "Split"},
                                                         {"de", "Split"},    {"DEU", "Split"}};
    for (const auto& [language, expected] : cases) {
        TLanguageScope scope(language);
        EXPECT_EQ(FormatMsg(MsgSplit), expected) << language;
    }
    TLanguageScope german("DE");
    EXPECT_EQ(FormatMsg(MsgSplitDone, {"3", "1"}).substr(0, 44),
              "Chunkler hat 3 neue Teildatei(en) und 1 Head");
}

TEST(FormatMsg, IndexOutsideTheCatalogueGivesEmptyText) {
    EXPECT_EQ(FormatMsg(-1), "");
    EXPECT_EQ(FormatMsg(MsgCount), "");
}

TEST(TextHelpers, IntToStrZeroPad) {
    const struct {
        int64_t Value;
        int Width;
        const char* Expected;
    } cases[] = {{7, 3, "007"},
                 {1000, 3, "1000"},
                 {42, 0, "42"},
                 {0, 2, "00"},
                 {5, -3, "5"},
                 {2024, 4, "2024"},
                 {-12, 0, "-12"},
                 {INT64_MIN, 0, "-9223372036854775808"},
                 {5368709120, 12, "005368709120"}};
    for (const auto& c : cases)
        EXPECT_EQ(IntToStrZeroPad(c.Value, c.Width), c.Expected) << c.Value;
}

TEST(TextHelpers, UpperCaseStrUsesTheAnsiCodePageAndLeavesItsArgument) {
    const std::string lower = std::string("a\xE4"
                                          "b") +
                              '\0' + "\xE9z/1";
    const std::string upper = UpperCaseStr(lower);
    EXPECT_EQ(upper, std::string("A\xC4"
                                 "B") +
                         '\0' + "\xC9Z/1");
    EXPECT_EQ(lower[1], '\xE4');
    EXPECT_EQ(UpperCaseStr(""), "");
    EXPECT_EQ(UpperCaseStr("silent"), "SILENT");
}

TEST(TextHelpers, TryStrToInt64) {
    const std::pair<const char*, int64_t> valid[] = {{"726016", 726016},
                                                     {"  +42", 42},
                                                     {"-5", -5},
                                                     {"007", 7},
                                                     {"0", 0},
                                                     {"$100000", 1048576},
                                                     {"x10", 16},
                                                     {"X1f", 31},
                                                     {"0x10", 16},
                                                     {"0XaB", 171},
                                                     {"-$10", -16},
                                                     {"+0x10", 16},
                                                     {"9223372036854775807", INT64_MAX},
                                                     {"-9223372036854775808", INT64_MIN},
                                                     {"$7FFFFFFFFFFFFFFF", INT64_MAX},
                                                     {"-$8000000000000000", INT64_MIN}};
    for (const auto& [text, expected] : valid) {
        int64_t value = 12345;
        EXPECT_TRUE(TryStrToInt64(text, value)) << text;
        EXPECT_EQ(value, expected) << text;
    }
    const char* const invalid[] = {"9223372036854775808",
                                   "-9223372036854775809",
                                   "99999999999999999999",
                                   "$8000000000000000",
                                   "$FFFFFFFFFFFFFFFF",
                                   "$10000000000000000",
                                   "",
                                   "   ",
                                   "-",
                                   "+",
                                   "$",
                                   "0x",
                                   "-x",
                                   "=100",
                                   "100KB",
                                   "ABLE",
                                   "12 ",
                                   "1 2",
                                   "- 5",
                                   "+-5",
                                   "\t5",
                                   "$1G",
                                   "0x0x1",
                                   "1e3"};
    for (const char* text : invalid) {
        int64_t value = 0;
        EXPECT_FALSE(TryStrToInt64(text, value)) << '"' << text << '"';
    }
}

// The English run pins LC_ALL=en_US.UTF-8; the German runs use de_DE and de_CH (DEU and DES).
TEST(LanguageEnglish, EnglishLocaleSelectsTheEnglishTable) {
    EXPECT_EQ(UserLanguage, "EN");
    EXPECT_EQ(GetUserLanguage(), "EN");
    EXPECT_EQ(FormatMsg(MsgSplit), "Split");
}

TEST(LanguageGerman, GermanLocaleSelectsTheGermanTable) {
    EXPECT_EQ(UserLanguage, "DE");
    EXPECT_EQ(GetUserLanguage(), "DE");
    EXPECT_EQ(FormatMsg(MsgSplit), "Splitten");
    EXPECT_EQ(FormatMsg(MsgFileMissing, {"x.002"}), "Datei \"x.002\" fehlt!");
}
