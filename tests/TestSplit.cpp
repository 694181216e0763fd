// Splitting: part and header files compared whole, GNU split as an independent cut, the batch file run
// by the command interpreter, the program copy and the window-mode questions.
#include <gtest/gtest.h>

#include <cstdlib>
#include <numeric>

#include "engine/UnitChunkler.h"
#include "support/ScriptedHooks.h"
#include "support/TestSupport.h"
#include "support/UnitLanguage.h"
#include "support/UnixTools.h"

using namespace testsupport;

namespace {

// Silent without a scripted user; the result box follows as in the program.
TChunklerResult RunJob(TChunklerStartParams Params, TScriptedHooks* Hooks = nullptr) {
    Params.Silent = Params.Silent || !Hooks;
    TChunkler engine(Hooks);
    const TChunklerResult r = engine.Execute(Params);
    engine.ShowResult(r);
    return r;
}

// The sizes of files Base.001... (or .h001...), which together must be exactly Content.
std::vector<size_t> CutSizes(const std::string& Base, bool IsHeader, const std::string& Content) {
    std::string all;
    std::vector<size_t> sizes;
    for (int n = 1;; ++n) {
        const std::string path = Base + (IsHeader ? ".h" : ".") + IntToStrZeroPad(n, 3);
        if (!FileExists(path))
            break;
        sizes.push_back(size_t(FileSize(path)));
        all += ReadFileBytes(path);
    }
    EXPECT_TRUE(all == Content) << Base << (IsHeader ? " header" : " parts") << " differ";
    return sizes;
}

} // namespace

TEST(Split, PartAndHeaderFilesComparedWhole) {
    const std::string big = PatternBytes(3000000), two = PatternBytes(200000, 2),
                      small = PatternBytes(250, 3);
    const struct {
        const char* Title;
        std::vector<TTreeEntry> Tree; // the first entry is split; its files' contents in order are the data
        int64_t PartSize;
        std::vector<size_t> Parts;
        std::vector<size_t> HeaderCut;
    } cases[] = {
        {"3,000,000 bytes", {{"report.doc", big}}, 1453568, {1453568, 1453568, 92864}, {47}},
        {"exactly two part sizes", {{"data.bin", two}}, 100000, {100000, 100000, 0}, {44}},
        {"empty file", {{"empty.txt", ""}}, 1000, {0}, {40}},
        {"tree without files", {{"Tree\\", ""}, {"Tree\\Sub\\", ""}}, 1000, {0}, {66}},
        // 70 header bytes after 10 bytes in part 9: 20 fill that disk, 30 the next, 20 the last.
        {"header spill",
         {{"Docs\\", ""}, {"Docs\\a.bin", small}},
         30,
         {30, 30, 30, 30, 30, 30, 30, 30, 10},
         {20, 30, 20}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Title);
        TTempDir src("src"), out("out");
        BuildTree(src.Path(), c.Tree);
        std::string content, header = "ChKl40";
        for (const auto& e : c.Tree) {
            const bool folder = e.Name.back() == '\\';
            const std::string name = folder ? e.Name.substr(0, e.Name.size() - 1) : e.Name;
            SetLastWriteTime(src / name, MakeFileTime(2001, 2, 3, 4, 5, 6, 789));
            header += "\t" + name + (folder ? "\tD\t0" : "\tF\t" + std::to_string(e.Content.size())) +
                      "\t20010203040506789";
            content += e.Content;
        }
        const std::string name = c.Tree[0].Name.substr(0, c.Tree[0].Name.find('\\'));
        ASSERT_EQ(RunJob({.SourcePath = src / name, .OutputDir = out.Path(), .PartSize = c.PartSize}), crOk);
        EXPECT_EQ(CutSizes(out / name, false, content), c.Parts);
        EXPECT_EQ(CutSizes(out / name, true, header + "\t\t"), c.HeaderCut);
    }
}

// Also the program copy that goes along with the parts.
TEST(Split, PartsMatchGnuSplitAndCatGivesTheOriginal) {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    for (auto [bytes, partSize] : {std::pair<size_t, int64_t>{3000000, 1453568}, {500000, 131071}}) {
        SCOPED_TRACE(bytes);
        TTempDir src("src"), out("out");
        WriteFileBytes(src / "f.bin", PatternBytes(bytes, 7));
        const std::string s = ShellQuote(UnixPathOf(src.Path())), o = ShellQuote(UnixPathOf(out.Path()));
        ASSERT_EQ(RunUnixShell("mkdir " + s + "/gnu && cd " + s + "/gnu && split -b " +
                               std::to_string(partSize) + " -d -a 3 --numeric-suffixes=1 ../f.bin f.bin."),
                  0u);
        TChunklerStartParams p{
            .SourcePath = src / "f.bin", .OutputDir = out.Path(), .CopyProgram = true, .PartSize = partSize};
        ASSERT_EQ(RunJob(p), crOk);
        EXPECT_TRUE(ReadFileBytes(out / "Chunkler.exe") == ReadFileBytes(self));
        EXPECT_EQ(RunUnixShell("diff -r -x 'f.bin.h*' -x Chunkler.exe " + s + "/gnu " + o + " && cat " + o +
                               "/f.bin.[0-9][0-9][0-9] | cmp -s - " + s + "/f.bin"),
                  0u);
    }
}

// Exact bytes in the OEM code page (0xE4 becomes 0x84), an old batch file replaced without a question,
// the command interpreter rebuilding the file from the parts, and an existing Chunkler.exe left alone.
TEST(Split, BatchFileRebuildsTheFileWithCopyB) {
    TTempDir src("src"), out("out");
    const std::string content = PatternBytes(250000, 5);
    WriteFileBytes(src / "B\xE4r.txt", content);
    WriteFileBytes(out / "B\xE4r.bat", "an old batch file, longer than the new one");
    WriteFileBytes(out / "Chunkler.exe", "keep me");
    TScriptedHooks hooks;
    TChunklerStartParams p{.SourcePath = src / "B\xE4r.txt", .OutputDir = out.Path(), .PartSize = 100000};
    p.CopyProgram = p.CreateBatch = true;
    ASSERT_EQ(RunJob(p, &hooks), crOk);
    EXPECT_EQ(hooks.Messages.size(), 2u) << "part count and summary only\n" << hooks.Dump();
    EXPECT_EQ(ReadFileBytes(out / "B\xE4r.bat"), "copy /b \"B\x84r.txt.001\" \"B\x84r.txt\"\r\n"
                                                 "copy /b \"B\x84r.txt\" + \"B\x84r.txt.002\"\r\n"
                                                 "copy /b \"B\x84r.txt\" + \"B\x84r.txt.003\"\r\n");
    EXPECT_EQ(std::system(("cd /d \"" + out.Path() + "\" && \"B\xE4r.bat\"").c_str()), 0);
    EXPECT_TRUE(ReadFileBytes(out / "B\xE4r.txt") == content) << "rebuilt file differs";
    EXPECT_EQ(ReadFileBytes(out / "Chunkler.exe"), "keep me");
}

// Window-mode jobs on 3,000,000 bytes: every box in order, the result, the parts left and the header.
// The diskette note follows the summary only for the two disk sizes.
TEST(Split, WindowModeQuestionsAndSummary) {
    const std::string content = PatternBytes(3000000, 9);
    // # stands for the part count or the path.
    const std::string ask = "There are # parts to create. You can press the <ESC> key to interrupt the job. "
                            "Do you want to continue?";
    const std::string done = "Chunkler has succesfully created # partfile(s) and 1 headerfile(s). The last "
                             "partfile and the first headerfile fit on the same disk.";
    const std::string note = done + "\r\n" + MsgCatalogEn[MsgDiskNote];
    const std::string old = "File \"#\" already exists. Always overwrite existing files?";
    const struct {
        const char* Title;
        int64_t PartSize;
        std::vector<int> Answers; // a second answer is for the overwrite question on .002
        int CancelAtPoll;
        TChunklerResult Expected;
        std::vector<std::string> Boxes;
        std::vector<size_t> Parts;
    } cases[] = {
        {"No to the part count", 1453568, {IDNO}, 0, crCancelled, {ask}, {}},
        {"1.44 MB disks", 1453568, {}, 0, crOk, {ask, note}, {1453568, 1453568, 92864}},
        {"720 KB disks", 726016, {}, 0, crOk, {ask, note}, {726016, 726016, 726016, 726016, 95936}},
        {"ending on a boundary", 1000000, {}, 0, crOk, {ask, done}, {1000000, 1000000, 1000000, 0}},
        {"Yes to overwrite", 1453568, {IDYES, IDYES}, 0, crOk, {ask, old, note}, {1453568, 1453568, 92864}},
        {"No to overwrite", 1453568, {IDYES, IDNO}, 0, crCancelled, {ask, old}, {1453568}},
        // Part 1 takes 12 blocks, so two blocks of part 2 are written before Escape.
        {"Escape mid-copy", 1453568, {}, 14, crCancelled, {ask}, {1453568, 2 * 131072}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Title);
        TTempDir src("src"), out("out");
        WriteFileBytes(src / "report.doc", content);
        const bool oldFiles = c.Answers.size() > 1;
        if (oldFiles) {
            WriteFileBytes(out / "report.doc.002", "old");
            WriteFileBytes(out / "report.doc.h001", "old");
        }
        TScriptedHooks hooks;
        hooks.Answers.assign(c.Answers.begin(), c.Answers.end());
        hooks.CancelAtPoll = c.CancelAtPoll;
        TChunklerStartParams p{
            .SourcePath = src / "report.doc", .OutputDir = out.Path(), .PartSize = c.PartSize};
        EXPECT_EQ(RunJob(p, &hooks), c.Expected);
        ASSERT_EQ(hooks.Messages.size(), c.Boxes.size()) << hooks.Dump();
        const size_t parts = (content.size() + size_t(c.PartSize) - 1) / size_t(c.PartSize);
        for (size_t i = 0; i < c.Boxes.size(); ++i) {
            const auto& box = c.Boxes[i];
            std::string text = box;
            text.replace(text.find('#'), 1, box == old ? out / "report.doc.002" : std::to_string(parts));
            EXPECT_EQ(hooks.Messages[i].Text, text);
            EXPECT_EQ(hooks.Messages[i].Type, box == ask   ? UINT(MB_YESNO | MB_ICONINFORMATION)
                                              : box == old ? UINT(MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2)
                                                           : UINT(MB_OK | MB_ICONINFORMATION));
            EXPECT_EQ(hooks.Messages[i].Caption, "Split");
            EXPECT_EQ(hooks.Messages[i].Owner, hooks.Owner);
        }
        EXPECT_EQ(hooks.WaitCursorHides, hooks.WaitCursorShows);
        EXPECT_EQ(hooks.ProgressMaxCalls.back(), 0);
        const size_t written = std::accumulate(c.Parts.begin(), c.Parts.end(), size_t{0});
        if (oldFiles && c.Expected == crCancelled) {
            EXPECT_EQ(ReadFileBytes(out / "report.doc.002") + ReadFileBytes(out / "report.doc.h001"),
                      "oldold");
            EXPECT_EQ(ReadFileBytes(out / "report.doc.001"), content.substr(0, written));
            continue;
        }
        EXPECT_EQ(CutSizes(out / "report.doc", false, content.substr(0, written)), c.Parts);
        EXPECT_EQ(FileExists(out / "report.doc.h001"), c.Expected == crOk);
        EXPECT_NE(ReadFileBytes(out / "report.doc.h001"), "old");
    }
}

TEST(Split, FullOutputDiskShowsTheSystemsTextAndGives9) {
    ULARGE_INTEGER total{};
    if (!GetDiskFreeSpaceExA("W:\\", nullptr, &total, nullptr) || total.QuadPart > 4u << 20)
        GTEST_SKIP() << "W: is not the 1 MiB full-disk drive (needs root to mount)";
    ClearFolder("W:\\");
    TTempDir src("src");
    WriteFileBytes(src / "report.doc", PatternBytes(3000000, 3));
    TScriptedHooks hooks;
    EXPECT_EQ(RunJob({.SourcePath = src / "report.doc", .OutputDir = "W:\\", .PartSize = 400000}, &hooks),
              crFileError);
    ASSERT_EQ(hooks.Messages.size(), 2u) << "no result box after the error box\n" << hooks.Dump();
    EXPECT_EQ(hooks.Messages[1].Text, "Disk full.\r\n");
    EXPECT_EQ(hooks.Messages[1].Type, UINT(MB_OK | MB_ICONERROR));
    EXPECT_EQ(hooks.Messages[1].Caption, "Split");
    EXPECT_FALSE(FileExists("W:\\report.doc.h001"));
    ClearFolder("W:\\");
}
