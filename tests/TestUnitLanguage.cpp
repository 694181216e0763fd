// The catalogue's bytes, the placeholder rule, the language choice and the number rule.
#include <gtest/gtest.h>

#include "support/UnitLanguage.h"

TEST(Catalogue, SecondTableIsWindows1252) {
    EXPECT_EQ(std::string(MsgCatalogDe[MsgSizeLabel]), "Gr\xF6sse");
    EXPECT_NE(std::string(MsgCatalogDe[MsgInsertNextDisk]).find("ben\xF6tigt.\r\nBitte"), std::string::npos);
}

TEST(FormatMsg, LanguageAndPlaceholders) {
    const struct {
        std::string Language;
        int Index;
        std::initializer_list<std::string> Args;
        std::string Expected;
    } cases[] = {
        {"EN", MsgConfirmPartCount, {"3"}, "There are 3 parts to create. # Do you want to continue?"},
        {"EN", MsgFileMissing, {"a.001", "ignored"}, "File \"a.001\" missed!"},
        // A "#" brought in by an argument is the next placeholder.
        {"EN", MsgConfirmPartCount, {"#1", "x"}, "There are x1 parts to create. # Do you want to continue?"},
        {"EN", MsgCount, {}, ""},
        // Only the exact language "DE" selects the second table.
        {"DE", MsgFileMissing, {"x"}, "Datei \"x\" fehlt!"},
        {"de", MsgSplit, {}, "Split"},
    };
    const std::string saved = UserLanguage;
    for (const auto& c : cases) {
        UserLanguage = c.Language;
        EXPECT_EQ(FormatMsg(c.Index, c.Args), c.Expected) << c.Language;
    }
    UserLanguage = saved;
}

TEST(TextHelpers, UpperCaseStrUsesTheCodePageAndKeepsZeroBytes) {
    EXPECT_EQ(UpperCaseStr(std::string("a\xE4\0z", 4)), std::string("A\xC4\0Z", 4));
}

TEST(TextHelpers, TryStrToInt64) {
    const std::pair<const char*, int64_t> valid[] = {{"  +42", 42},
                                                     {"$100000", 1048576},
                                                     {"0XaB", 171},
                                                     {"-x10", -16},
                                                     {"9223372036854775807", INT64_MAX},
                                                     {"-9223372036854775808", INT64_MIN},
                                                     {"-$8000000000000000", INT64_MIN}};
    for (const auto& [text, expected] : valid) {
        int64_t value = 0;
        EXPECT_TRUE(TryStrToInt64(text, value) && value == expected) << text;
    }
    for (const char* text : {"9223372036854775808", "-9223372036854775809", "99999999999999999999",
                             "$8000000000000000", "", "-", "0x", "12 ", "$1G"}) {
        int64_t value = 0;
        EXPECT_FALSE(TryStrToInt64(text, value)) << '"' << text << '"';
    }
}

// The English run pins LC_ALL=en_US.UTF-8; the other runs use de_DE and de_CH.
TEST(LanguageEnglish, LocaleSelectsTheFirstTable) {
    EXPECT_EQ(UserLanguage, "EN");
    EXPECT_EQ(FormatMsg(MsgSplit), "Split");
}

TEST(LanguageGerman, LocaleSelectsTheSecondTable) {
    EXPECT_EQ(UserLanguage, "DE");
    EXPECT_EQ(FormatMsg(MsgFileMissing, {"x.002"}), "Datei \"x.002\" fehlt!");
}
