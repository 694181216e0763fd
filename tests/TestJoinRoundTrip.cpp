// Split and join back, through the program and in-process: every byte, folder and last-write time
// must come back, also for a file beyond every 32-bit boundary and for a real tree nobody here wrote.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/UnitChunkler.h"
#include "support/ScriptedHooks.h"
#include "support/TestSupport.h"
#include "support/UnixTools.h"

using namespace testsupport;

namespace {

FILETIME Time(int Index) {
    return MakeFileTime(1998 + Index % 30, 1 + Index % 12, 1 + Index % 28, Index % 24, Index % 60,
                        (Index * 7) % 60, (Index * 37) % 1000);
}

// Six levels deep, empty folders at several depths, empty files, files of exactly one part, and
// enough long names that the header spreads over several header files.
std::vector<TTreeEntry> DeepTree() {
    std::vector<TTreeEntry> tree{{"Docs\\", "", {}}, {"Docs\\Empty\\", "", {}}};
    std::string folder = "Docs";
    for (int level = 1; level <= 6; ++level) {
        folder += "\\Level " + std::to_string(level);
        tree.push_back({folder + "\\", "", {}});
        tree.push_back({folder + "\\empty.txt", "", Time(level * 3)});
        tree.push_back(
            {folder + "\\one part.bin", PatternBytes(7000, static_cast<uint32_t>(level)), Time(level)});
        tree.push_back(
            {folder + "\\odd.bin", PatternBytes(static_cast<size_t>(level) * 5431), Time(level + 9)});
        if (level % 2)
            tree.push_back({folder + "\\Nothing here\\", "", {}});
    }
    for (int i = 0; i < 100; ++i)
        tree.push_back(
            {"Docs\\Level 1\\a rather long name to make the header big " + std::to_string(i) + ".txt",
             PatternBytes(static_cast<size_t>(i), static_cast<uint32_t>(i)), Time(i)});
    return tree;
}

// Splits Source into Dir\parts and joins the set back from JoinFrom into Dir\out: silently through the
// program, or in window mode through the test interface, which answers Yes and OK to everything.
void RoundTrip(const std::string& Source, const TTempDir& Dir, int64_t PartSize, const std::string& JoinFrom,
               bool ViaProgram = true) {
    const std::string parts = Dir / "parts", out = Dir / "out";
    CreateDirectoryA(parts.c_str(), nullptr);
    CreateDirectoryA(out.c_str(), nullptr);
    if (ViaProgram) {
        const std::string split =
            "/SILENT \"" + Source + "\" \"" + parts + "\" /SIZE" + std::to_string(PartSize);
        ASSERT_EQ(RunChunkler(split, "", 900000), 0u);
        EXPECT_EQ(
            RunChunkler("/SILENT /UNSPLIT \"" + parts + "\\" + JoinFrom + "\" \"" + out + "\"", "", 900000),
            0u);
        return;
    }
    TScriptedHooks hooks;
    TChunklerStartParams split{.SourcePath = Source, .OutputDir = parts, .PartSize = PartSize};
    ASSERT_EQ(TChunkler(&hooks).Execute(split), crOk);
    TChunklerStartParams join{.SourcePath = parts + "\\" + JoinFrom, .OutputDir = out, .Unsplit = true};
    EXPECT_EQ(TChunkler(&hooks).Execute(join), crOk);
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

TEST(JoinRoundTrip, FilesTreesAndDriveRootsComeBackUnchanged) {
    const std::vector<TTreeEntry> oneFile{{"report.doc", PatternBytes(3000001, 5), Time(1)}};
    // The set of a drive root is named after its first entry.
    const std::vector<TTreeEntry> driveRoot{{"a.txt", "top", Time(1)},
                                            {"empty.bin", "", Time(2)},
                                            {"folder\\", "", {}},
                                            {"folder\\inner.bin", PatternBytes(50000), Time(3)},
                                            {"folder\\void\\", "", {}}};
    const struct {
        char Drive;         // the tree is built in this test drive's root instead of a folder
        const char* Source; // below the tree's root
        int64_t PartSize;
        const char* JoinFrom; // which file of the set is picked
        bool ViaProgram;
        std::vector<TTreeEntry> Tree;
    } cases[] = {
        {0, "report.doc", 1000000, "report.doc.002", true, oneFile},
        {0, "Docs", 7000, "Docs.h002", true, DeepTree()},
        {0, "Docs", 7000, "Docs.h001", false, DeepTree()},
        {'V', "", 20000, "a.txt.002", true, driveRoot},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.JoinFrom) + (c.ViaProgram ? " program" : " in-process"));
        TTempDir dir("rt");
        const std::string root = c.Drive ? TestDriveRoot(c.Drive) : dir / "src";
        const std::string source = c.Drive ? root : root + "\\" + c.Source;
        ClearFolder(root);
        BuildTree(root, c.Tree);
        RoundTrip(source, dir, c.PartSize, c.JoinFrom, c.ViaProgram);
        EXPECT_EQ(CompareTrees(root, dir / "out"), "");
        if (c.Drive)
            ClearFolder(root);
    }
}

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
