// Round trips at scale: a file beyond every 32-bit boundary, and a real tree that nobody here wrote.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/TestSupport.h"
#include "support/UnixTools.h"

using namespace testsupport;

namespace {

std::string Quoted(const std::string& Path) {
    return "\"" + Path + "\"";
}

// Splits Source into Parts at PartSize, joins the set back from JoinFrom into Out, both silent.
void RoundTrip(const std::string& Source, const TTempDir& Dir, int64_t PartSize,
               const std::string& JoinFrom) {
    CreateDirectoryA((Dir / "parts").c_str(), nullptr);
    CreateDirectoryA((Dir / "out").c_str(), nullptr);
    ASSERT_EQ(RunChunkler("/SILENT " + Quoted(Source) + " " + Quoted(Dir / "parts") + " /SIZE" +
                              std::to_string(PartSize),
                          "", 900000),
              0u);
    EXPECT_EQ(
        RunChunkler("/SILENT /UNSPLIT " + Quoted(Dir / ("parts\\" + JoinFrom)) + " " + Quoted(Dir / "out"),
                    "", 900000),
        0u);
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
    const std::string src = dir / "doc";
    CreateDirectoryA(src.c_str(), nullptr);
    RunUnixShell("cd /usr/share/doc && ls -1 | LC_ALL=C sort | head -n 300 | xargs -d '\\n' cp -rL "
                 "--preserve=timestamps -t " +
                 ShellQuote(UnixPathOf(src)));
    auto want = ListTree(src);
    if (want.size() < 1000)
        GTEST_SKIP() << "/usr/share/doc holds too little here";
    RoundTrip(src, dir, 1000000, "doc.007");
    auto got = ListTree(dir / "out\\doc");
    // The header keeps milliseconds, so that is what comes back.
    for (auto* list : {&want, &got})
        for (auto& item : *list)
            item.Time /= 10000;
    const auto [w, g] = std::mismatch(want.begin(), want.end(), got.begin(), got.end());
    EXPECT_TRUE(w == want.end() && g == got.end())
        << "first difference at " << (w != want.end() ? w->Name : g->Name) << " of " << want.size();
}
