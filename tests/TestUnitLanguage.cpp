// The catalogue's placeholder rule and its German table, chosen by the locale; other tests compare the texts.
#include <gtest/gtest.h>

#include "support/UnitLanguage.h"

// The English run pins LC_ALL=en_US.UTF-8; the German runs use de_DE and de_CH.
TEST(LanguageEnglish, LocaleSelectsTheFirstTableAndArgumentsFillThePlaceholdersInTurn) {
    EXPECT_EQ(UserLanguage, "EN");
    // A "#" brought in by an argument is the next placeholder; arguments beyond the placeholders are dropped.
    EXPECT_EQ(FormatMsg(MsgConfirmPartCount, {"#1", "x", "y"}),
              "There are x1 parts to create. y Do you want to continue?");
    EXPECT_EQ(FormatMsg(MsgCount), "");
}

TEST(LanguageGerman, LocaleSelectsTheSecondTableInWindows1252) {
    EXPECT_EQ(UserLanguage, "DE");
    EXPECT_EQ(FormatMsg(MsgSizeLabel) + FormatMsg(MsgFileMissing, {"x.002"}),
              "Gr\xF6sseDatei \"x.002\" fehlt!");
    EXPECT_NE(FormatMsg(MsgInsertNextDisk).find("ben\xF6tigt.\r\nBitte"), std::string::npos);
}
