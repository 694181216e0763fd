// The file stream: the system's error texts and 64-bit positions and sizes.
#include <gtest/gtest.h>

#include "support/TestSupport.h"

using namespace testsupport;

TEST(FileStream, FailuresRaiseTheSystemTextAndPositionsAre64Bit) {
    TTempDir dir;
    EXPECT_THROW(
        try { TFileStreamLite::CreateRead(dir / "missing"); } catch (const EExceptionLite& e) {
            EXPECT_EQ(e.Message, "File not found.\r\n");
            throw;
        },
        EExceptionLite);
    {
        auto f = TFileStreamLite::CreateWrite(dir / "big");
        // A position whose low half is all ones must not be taken for a failure.
        EXPECT_EQ(f->Seek(0xFFFFFFFF, FILE_BEGIN), 0xFFFFFFFF);
        EXPECT_EQ(f->Seek(5368709120, FILE_BEGIN), 5368709120);
        ASSERT_TRUE(SetEndOfFile(f->Handle));
    }
    auto f = TFileStreamLite::CreateRead(dir / "big");
    EXPECT_EQ(f->Seek(-20, FILE_END), 5368709100);
    EXPECT_EQ(f->GetSize(), 5368709120);
    char tail[32];
    EXPECT_EQ(f->Read(tail, 32), 20u);
    EXPECT_EQ(f->Read(tail, 32), 0u);
    EXPECT_THROW(f->WriteAll("x", 1), EExceptionLite);
}
