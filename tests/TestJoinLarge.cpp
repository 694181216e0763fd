// Round trips at scale: a file beyond every 32-bit boundary, and a real tree of thousands of files
// that nobody here wrote.
#include <gtest/gtest.h>

#include "support/JoinSets.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

std::string Quoted(const std::string& Path) {
    return "\"" + Path + "\"";
}

// Mostly a hole, so it costs no disk; marked bytes at the start, around 4 GiB and at the end.
void MakeSparseFile(const std::string& Path, int64_t Size) {
    HANDLE h = CreateFileA(Path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    const std::string mark = PatternBytes(4096, 42);
    for (int64_t at : {int64_t{0}, (int64_t{1} << 32) - 1000, Size - 4096}) {
        LARGE_INTEGER pos;
        pos.QuadPart = at;
        DWORD n = 0;
        SetFilePointerEx(h, pos, nullptr, FILE_BEGIN);
        WriteFile(h, mark.data(), static_cast<DWORD>(mark.size()), &n, nullptr);
    }
    CloseHandle(h);
    SetLastWriteTime(Path, MakeFileTime(2010, 6, 15, 8, 30, 0, 500));
}

} // namespace

TEST(JoinLarge, FileOfFiveGiBComesBackByHash) {
    TTempDir dir("big");
    const std::string src = dir / "src", parts = dir / "parts", out = dir / "out";
    for (const auto& d : {src, parts, out})
        CreateDirectoryA(d.c_str(), nullptr);
    const int64_t size = 5 * (int64_t{1} << 30) + 12345;
    MakeSparseFile(src + "\\big.bin", size);
    ASSERT_EQ(FileSize(src + "\\big.bin"), size);
    ASSERT_EQ(RunChunkler("/SILENT " + Quoted(src + "\\big.bin") + " " + Quoted(parts) + " /SIZE1073741824",
                          "", 900000),
              0u);
    ASSERT_EQ(CountSetFiles(parts, "big.bin", ""), 6);
    EXPECT_EQ(
        RunChunkler("/SILENT /UNSPLIT " + Quoted(parts + "\\big.bin.h001") + " " + Quoted(out), "", 900000),
        0u);
    EXPECT_EQ(CompareTrees(src, out), "");
}

TEST(JoinLarge, SystemDocumentationTreeComesBack) {
    // Thousands of files in hundreds of folders, some reached through links, with times that carry
    // fractions of a millisecond: the header keeps milliseconds, so that is what comes back.
    const std::string doc = UnixToWinPath("/usr/share/doc");
    if (ListTree(doc).size() < 2000)
        GTEST_SKIP() << doc << " holds too little here";
    TTempDir dir("doc");
    const std::string parts = dir / "parts", out = dir / "out";
    CreateDirectoryA(parts.c_str(), nullptr);
    CreateDirectoryA(out.c_str(), nullptr);
    ASSERT_EQ(RunChunkler("/SILENT " + Quoted(doc) + " " + Quoted(parts) + " /SIZE1000000", "", 900000), 0u);
    ASSERT_GE(CountSetFiles(parts, "doc", ""), 50);
    EXPECT_EQ(RunChunkler("/SILENT /UNSPLIT " + Quoted(parts + "\\doc.007") + " " + Quoted(out), "", 900000),
              0u);
    EXPECT_EQ(CompareTreesToMillisecond(doc, out + "\\doc"), "");
}
