// The file stream: open modes, system error texts, reads at the end, 64-bit positions and times.
// The texts compared here are those of an English locale, which the English run pins.
#include <gtest/gtest.h>

#include "support/TestSupport.h"
#include "support/UnitFileStream.h"

using namespace testsupport;

namespace {

std::string OpenFailure(bool ForWrite, const std::string& Path) {
    try {
        if (ForWrite)
            TFileStreamLite::CreateWrite(Path);
        else
            TFileStreamLite::CreateRead(Path);
    } catch (const EExceptionLite& e) {
        return e.Message;
    }
    return "<opened>";
}

uint64_t AsNumber(const FILETIME& Time) {
    return (static_cast<uint64_t>(Time.dwHighDateTime) << 32) | Time.dwLowDateTime;
}

void GetTimes(const std::string& Path, FILETIME& Created, FILETIME& Accessed, FILETIME& Written) {
    HANDLE h = CreateFileA(Path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(GetFileTime(h, &Created, &Accessed, &Written));
    CloseHandle(h);
}

} // namespace

TEST(SystemErrorText, SystemTextUnchangedOrEmpty) {
    const std::pair<DWORD, std::string> cases[] = {
        {0, ""},
        {ERROR_FILE_NOT_FOUND, "File not found.\r\n"},
        {ERROR_ACCESS_DENIED, "Access denied.\r\n"},
        {ERROR_SHARING_VIOLATION, "Sharing violation.\r\n"},
        {ERROR_DISK_FULL, "Disk full.\r\n"},
        {0x2000FFFF, ""}, // no system text for a customer code
    };
    for (const auto& [code, text] : cases)
        EXPECT_EQ(SystemErrorText(code), text) << code;
}

TEST(FileStreamOpen, FailuresRaiseTheSystemText) {
    TTempDir dir;
    WriteFileBytes(dir / "held", "data");
    EXPECT_EQ(OpenFailure(false, dir / "missing"), "File not found.\r\n");
    EXPECT_EQ(OpenFailure(false, dir / "nodir\\file"), "Path not found.\r\n");
    EXPECT_EQ(OpenFailure(true, dir / "nodir\\file"), "Path not found.\r\n");
    EXPECT_EQ(OpenFailure(true, dir.Path()), "Access denied.\r\n");
    {
        auto writer = TFileStreamLite::CreateWrite(dir / "held");
        EXPECT_EQ(OpenFailure(false, dir / "held"), "Sharing violation.\r\n");
        EXPECT_EQ(OpenFailure(true, dir / "held"), "Sharing violation.\r\n");
    }
    {
        // Readers share with readers but keep writers out.
        auto reader = TFileStreamLite::CreateRead(dir / "held");
        EXPECT_EQ(OpenFailure(false, dir / "held"), "<opened>");
        EXPECT_EQ(OpenFailure(true, dir / "held"), "Sharing violation.\r\n");
    }
    // None of the failed opens left a handle behind that would still block the file.
    EXPECT_EQ(OpenFailure(true, dir / "held"), "<opened>");
}

TEST(FileStreamReadWrite, TruncatesAndReadsToTheEnd) {
    TTempDir dir;
    const std::string path = dir / "f";
    WriteFileBytes(path, "0123456789");
    {
        auto out = TFileStreamLite::CreateWrite(path);
        EXPECT_EQ(FileSize(path), 0) << "emptied before anything is written";
        EXPECT_EQ(out->Seek(0, 1), 0);
        const std::string data = PatternBytes(140);
        EXPECT_EQ(out->Write(data.data(), 140), 140u);
        char dummy[4];
        EXPECT_THROW(out->Read(dummy, 4), EExceptionLite) << "a writer cannot read";
    }
    auto in = TFileStreamLite::CreateRead(path);
    EXPECT_EQ(in->Seek(0, 1), 0);
    std::string buffer(100, '\0');
    EXPECT_EQ(in->Read(buffer.data(), 100), 100u);
    EXPECT_EQ(buffer, PatternBytes(140).substr(0, 100));
    EXPECT_EQ(in->Read(buffer.data(), 100), 40u);
    EXPECT_EQ(buffer.substr(0, 40), PatternBytes(140).substr(100));
    EXPECT_EQ(in->Read(buffer.data(), 100), 0u);
    EXPECT_EQ(in->Read(buffer.data(), 0), 0u);
    try {
        in->Write("x", 1);
        ADD_FAILURE() << "a reader cannot write";
    } catch (const EExceptionLite& e) {
        EXPECT_EQ(e.Message, "Access denied.\r\n");
    }
}

TEST(FileStreamSeek, PositionsBeyond32Bits) {
    TTempDir dir;
    auto f = TFileStreamLite::CreateWrite(dir / "empty");
    EXPECT_EQ(f->Seek(0, 2), 0);
    EXPECT_EQ(f->GetSize(), 0);
    // A position whose low half is all ones is legal and must not be mistaken for a failure.
    const int64_t cases[] = {0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0x100000000, 5368709120};
    for (int64_t pos : cases) {
        EXPECT_EQ(f->Seek(pos, 0), pos);
        EXPECT_EQ(f->Seek(0, 1), pos);
    }
    EXPECT_EQ(f->Seek(-5368709120 + 10, 1), 10);
    EXPECT_THROW(f->Seek(-1, 0), EExceptionLite);
    EXPECT_EQ(f->GetSize(), 0) << "seeking alone does not grow the file";
}

TEST(FileStreamSeek, SizeOfA5GiBFileLeavesThePosition) {
    TTempDir dir;
    const std::string path = dir / "big";
    {
        // Sparse on the usual Linux file systems: no 5 GiB are written.
        auto f = TFileStreamLite::CreateWrite(path);
        LARGE_INTEGER end;
        end.QuadPart = 5368709120;
        ASSERT_TRUE(SetFilePointerEx(f->Handle, end, nullptr, FILE_BEGIN));
        ASSERT_TRUE(SetEndOfFile(f->Handle));
    }
    auto f = TFileStreamLite::CreateRead(path);
    EXPECT_EQ(f->GetSize(), 5368709120);
    EXPECT_EQ(f->Seek(0, 1), 0);
    EXPECT_EQ(f->Seek(4294967295, 0), 4294967295);
    EXPECT_EQ(f->GetSize(), 5368709120);
    EXPECT_EQ(f->Seek(0, 1), 4294967295);
    EXPECT_EQ(f->Seek(-16, 2), 5368709104);
    char tail[32];
    EXPECT_EQ(f->Read(tail, 32), 16u);
}

TEST(FileStreamTimes, LastWriteTimeLeavesTheAccessTime) {
    TTempDir dir;
    const std::string path = dir / "timed";
    const FILETIME accessed = MakeFileTime(2002, 3, 4, 5, 6, 7, 0);
    const FILETIME written = MakeFileTime(1999, 12, 31, 23, 59, 58, 120);
    WriteFileBytes(path, "x");
    FILETIME c0{}, a0{}, w0{};
    {
        HANDLE h = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        EXPECT_TRUE(SetFileTime(h, nullptr, &accessed, nullptr));
        CloseHandle(h);
    }
    GetTimes(path, c0, a0, w0);
    ASSERT_EQ(AsNumber(a0), AsNumber(accessed));
    {
        auto f = TFileStreamLite::CreateRead(path);
        f->SetLastWriteTime(written);
    }
    FILETIME c{}, a{}, w{};
    GetTimes(path, c, a, w);
    EXPECT_EQ(AsNumber(w), AsNumber(written));
    // Wine on Linux derives the creation time from the write time, so only the access time can show
    // that nothing but the write time was handed to the system.
    EXPECT_EQ(AsNumber(a), AsNumber(accessed));
}
