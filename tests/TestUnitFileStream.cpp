// The file stream: the system's error texts, reads at the end, and 64-bit positions and sizes.
#include <gtest/gtest.h>

#include "support/TestSupport.h"
#include "support/UnitFileStream.h"

using namespace testsupport;

TEST(FileStream, FailuresRaiseTheSystemTextAndPositionsAre64Bit) {
    TTempDir dir;
    const auto openFailure = [](const std::string& Path) {
        try {
            TFileStreamLite::CreateRead(Path);
        } catch (const EExceptionLite& e) {
            return e.Message;
        }
        return std::string("<opened>");
    };
    EXPECT_EQ(openFailure(dir / "missing"), "File not found.\r\n");
    {
        auto f = TFileStreamLite::CreateWrite(dir / "big");
        EXPECT_EQ(openFailure(dir / "big"), "Sharing violation.\r\n");
        // A position whose low half is all ones must not be taken for a failure.
        EXPECT_EQ(f->Seek(0xFFFFFFFF, FILE_BEGIN), 0xFFFFFFFF);
        EXPECT_EQ(f->Seek(5368709120, FILE_BEGIN), 5368709120);
        ASSERT_TRUE(SetEndOfFile(f->Handle));
        EXPECT_THROW(f->Read(nullptr, 1), EExceptionLite);
    }
    auto f = TFileStreamLite::CreateRead(dir / "big");
    EXPECT_EQ(f->Seek(-20, FILE_END), 5368709100);
    EXPECT_EQ(f->GetSize(), 5368709120);
    char tail[32];
    EXPECT_EQ(f->Read(tail, 32), 20u);
    EXPECT_EQ(f->Read(tail, 32), 0u);
    EXPECT_THROW(f->Write("x", 1), EExceptionLite);
}
