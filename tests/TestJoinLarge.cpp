// Round trips at scale: a file beyond every 32-bit boundary, and a real tree that nobody here wrote.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/TestSupport.h"
#include "support/UnixTools.h"

using namespace testsupport;

namespace {

// Splits Source into Dir\parts at PartSize and joins the set back from JoinFrom into Dir\out, silently.
void RoundTrip(const std::string& Source, const TTempDir& Dir, int64_t PartSize,
               const std::string& JoinFrom) {
    const std::string parts = Dir / "parts", out = Dir / "out";
    CreateDirectoryA(parts.c_str(), nullptr);
    CreateDirectoryA(out.c_str(), nullptr);
    const std::string split = "/SILENT \"" + Source + "\" \"" + parts + "\" /SIZE" + std::to_string(PartSize);
    ASSERT_EQ(RunChunkler(split, "", 900000), 0u);
    EXPECT_EQ(RunChunkler("/SILENT /UNSPLIT \"" + parts + "\\" + JoinFrom + "\" \"" + out + "\"", "", 900000),
              0u);
}

// Every folder, and every file with its size and last-write time cut to the millisecond (what a header
// keeps), below Root + Rel. Contents are compared apart, natively: reading them here costs far more.
void ListToMillisecond(const std::string& Root, const std::string& Rel, std::vector<std::string>& Out) {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((Root + Rel + "\\*").c_str(), &fd);
    for (bool more = h != INVALID_HANDLE_VALUE; more; more = FindNextFileA(h, &fd)) {
        const std::string name = Rel + "\\" + fd.cFileName;
        const FILETIME& t = fd.ftLastWriteTime;
        if (std::string(fd.cFileName) == "." || std::string(fd.cFileName) == "..")
            continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            Out.push_back(name + "\\");
            ListToMillisecond(Root, name, Out);
        } else {
            const uint64_t time = (uint64_t{t.dwHighDateTime} << 32 | t.dwLowDateTime) / 10000;
            Out.push_back(name + " " + std::to_string(fd.nFileSizeLow) + " " + std::to_string(time));
        }
    }
    FindClose(h);
}

} // namespace

TEST(JoinLarge, FileOfFiveGiBComesBackByHash) {
    TTempDir dir("big");
    const std::string src = dir / "src";
    CreateDirectoryA(src.c_str(), nullptr);
    const int64_t size = 5 * (int64_t{1} << 30) + 12345;
    {
        // Mostly a hole, so it costs no disk; marked bytes at the start, around 4 GiB and at the end.
        HANDLE h =
            CreateFileA((src + "\\big.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        const std::string mark = PatternBytes(4096, 42);
        for (int64_t at : {int64_t{0}, (int64_t{1} << 32) - 1000, size - 4096}) {
            DWORD n = 0;
            SetFilePointerEx(h, LARGE_INTEGER{.QuadPart = at}, nullptr, FILE_BEGIN);
            WriteFile(h, mark.data(), static_cast<DWORD>(mark.size()), &n, nullptr);
        }
        CloseHandle(h);
    }
    SetLastWriteTime(src + "\\big.bin", MakeFileTime(2010, 6, 15, 8, 30, 0, 500));
    ASSERT_EQ(FileSize(src + "\\big.bin"), size);
    RoundTrip(src + "\\big.bin", dir, int64_t{1} << 30, "big.bin.h001");
    EXPECT_TRUE(FileExists(dir / "parts\\big.bin.006") && !FileExists(dir / "parts\\big.bin.007"));
    EXPECT_EQ(CompareTrees(src, dir / "out"), "");
}

TEST(JoinLarge, SystemDocumentationTreeComesBackToTheMillisecond) {
    // The first few hundred folders of the system documentation: thousands of files, some reached
    // through links, with times that carry fractions of a millisecond.
    TTempDir dir("doc");
    const std::string src = dir / "doc", out = dir / "out\\doc";
    CreateDirectoryA(src.c_str(), nullptr);
    RunUnixShell("cd /usr/share/doc && ls -1 | LC_ALL=C sort | head -n 300 | xargs -d '\\n' cp -rL "
                 "--preserve=timestamps -t " +
                 ShellQuote(UnixPathOf(src)));
    std::vector<std::string> want, got;
    ListToMillisecond(src, "", want);
    if (want.size() < 1000)
        GTEST_SKIP() << "/usr/share/doc holds too little here";
    RoundTrip(src, dir, 1000000, "doc.007");
    ListToMillisecond(out, "", got);
    const auto [w, g] = std::mismatch(want.begin(), want.end(), got.begin(), got.end());
    EXPECT_TRUE(w == want.end() && g == got.end())
        << "first difference at " << (w != want.end() ? *w : *g) << " of " << want.size();
    EXPECT_EQ(RunUnixShell("diff -r " + ShellQuote(UnixPathOf(src)) + " " + ShellQuote(UnixPathOf(out))), 0u);
}
