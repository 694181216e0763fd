// The catalogue's bytes, the placeholder rule and the language chosen by the locale.
#include <gtest/gtest.h>

#include "support/UnitLanguage.h"

TEST(FormatMsg, TablesAndPlaceholders) {
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
        // Only the exact language "DE" selects the second table, whose letters are Windows-1252 bytes.
        {"DE", MsgFileMissing, {"x"}, "Datei \"x\" fehlt!"},
        {"DE", MsgSizeLabel, {}, "Gr\xF6sse"},
        {"de", MsgSplit, {}, "Split"},
    };
    const std::string saved = UserLanguage;
    for (const auto& c : cases) {
        UserLanguage = c.Language;
        EXPECT_EQ(FormatMsg(c.Index, c.Args), c.Expected) << c.Language;
    }
    UserLanguage = saved;
    EXPECT_NE(std::string(MsgCatalogDe[MsgInsertNextDisk]).find("ben\xF6tigt.\r\nBitte"), std::string::npos);
    EXPECT_EQ(UpperCaseStr(std::string("a\xE4\0z", 4)), std::string("A\xC4\0Z", 4));
}

// The English run pins LC_ALL=en_US.UTF-8; the German runs use de_DE and de_CH.
TEST(LanguageEnglish, LocaleSelectsTheFirstTable) {
    EXPECT_EQ(UserLanguage, "EN");
}

TEST(LanguageGerman, LocaleSelectsTheSecondTable) {
    EXPECT_EQ(UserLanguage, "DE");
    EXPECT_EQ(FormatMsg(MsgFileMissing, {"x.002"}), "Datei \"x.002\" fehlt!");
}
