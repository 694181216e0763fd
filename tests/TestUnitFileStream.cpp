// The file stream's 64-bit positions and sizes (its error texts: the fault suite).
#include <gtest/gtest.h>

#include "support/TestSupport.h"

using namespace testsupport;

TEST(FileStream, PositionsAndSizesAre64Bit) {
    TTempDir dir;
    {
        auto f = TFileStreamLite::CreateWrite(dir / "big");
        // A position whose low half is all ones must not be taken for a failure.
        EXPECT_EQ(f->Seek(0xFFFFFFFF, FILE_BEGIN), 0xFFFFFFFF);
        EXPECT_EQ(f->Seek(5368709120, FILE_BEGIN), 5368709120);
        ASSERT_TRUE(SetEndOfFile(f->Handle)); // left sparse by the file system
    }
    auto f = TFileStreamLite::CreateRead(dir / "big");
    EXPECT_EQ(f->Seek(-20, FILE_END), 5368709100);
    EXPECT_EQ(f->GetSize(), 5368709120);
    char tail[32];
    EXPECT_TRUE(f->Read(tail, 32) == 20 && f->Read(tail, 32) == 0);
}
