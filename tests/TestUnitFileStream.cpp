// The file stream: system error texts (English run), truncation, reads at the end, 64-bit sizes.
#include <gtest/gtest.h>

#include "support/TestSupport.h"
#include "support/UnitFileStream.h"

using namespace testsupport;

namespace {

std::string OpenFailure(bool ForWrite, const std::string& Path) {
    try {
        ForWrite ? TFileStreamLite::CreateWrite(Path) : TFileStreamLite::CreateRead(Path);
    } catch (const EExceptionLite& e) {
        return e.Message;
    }
    return "<opened>";
}

} // namespace

TEST(FileStreamOpen, FailuresRaiseTheSystemText) {
    TTempDir dir;
    WriteFileBytes(dir / "held", "data");
    EXPECT_EQ(OpenFailure(false, dir / "missing"), "File not found.\r\n");
    {
        auto writer = TFileStreamLite::CreateWrite(dir / "held");
        EXPECT_EQ(OpenFailure(false, dir / "held"), "Sharing violation.\r\n");
    }
    // The failed opens left no handle behind.
    EXPECT_EQ(OpenFailure(true, dir / "held"), "<opened>");
}

TEST(FileStreamReadWrite, CreateWriteTruncatesAndReadStopsAtTheEnd) {
    TTempDir dir;
    const std::string path = dir / "f";
    WriteFileBytes(path, "0123456789");
    const std::string data = PatternBytes(140);
    {
        auto out = TFileStreamLite::CreateWrite(path);
        EXPECT_EQ(FileSize(path), 0);
        EXPECT_EQ(out->Write(data.data(), 140), 140u);
    }
    auto in = TFileStreamLite::CreateRead(path);
    std::string buffer(100, '\0');
    EXPECT_EQ(in->Read(buffer.data(), 100), 100u);
    EXPECT_EQ(in->Read(buffer.data(), 100), 40u);
    EXPECT_EQ(buffer.substr(0, 40), data.substr(100));
    EXPECT_EQ(in->Read(buffer.data(), 100), 0u);
    EXPECT_THROW(in->Write("x", 1), EExceptionLite);
}

TEST(FileStreamSeek, SizeOfA5GiBSparseFileLeavesThePosition) {
    TTempDir dir;
    const std::string path = dir / "big";
    {
        auto f = TFileStreamLite::CreateWrite(path);
        // A position whose low half is all ones must not be taken for a failure.
        EXPECT_EQ(f->Seek(0xFFFFFFFF, 0), 0xFFFFFFFF);
        EXPECT_EQ(f->Seek(5368709120, 0), 5368709120);
        ASSERT_TRUE(SetEndOfFile(f->Handle));
        EXPECT_THROW(f->Seek(-1, 0), EExceptionLite);
    }
    auto f = TFileStreamLite::CreateRead(path);
    EXPECT_EQ(f->Seek(4294967295, 0), 4294967295);
    EXPECT_EQ(f->GetSize(), 5368709120);
    EXPECT_EQ(f->Seek(0, 1), 4294967295);
    EXPECT_EQ(f->Seek(-16, 2), 5368709104);
    char tail[32];
    EXPECT_EQ(f->Read(tail, 32), 16u);
}
