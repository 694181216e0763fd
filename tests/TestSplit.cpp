// Splitting: part and header files compared whole, the window-mode questions, the batch file run by the
// command interpreter, and the program copy.
#include <gtest/gtest.h>

#include <numeric>

#include "support/TestSupport.h"
#include "support/UnitLanguage.h"

using namespace testsupport;

namespace {

// The sizes of files Base.001... (or .h001...), which together must be exactly Content.
std::vector<size_t> CutSizes(const std::string& Base, bool IsHeader, const std::string& Content) {
    std::string all;
    std::vector<size_t> sizes;
    for (int n = 1;; ++n) {
        const std::string path = Base + (IsHeader ? ".h" : ".") + IntToStrZeroPad(n, 3);
        if (!FileExists(path))
            break;
        sizes.push_back(static_cast<size_t>(FileSize(path)));
        all += ReadFileBytes(path);
    }
    EXPECT_TRUE(all == Content) << Base << (IsHeader ? " header" : " parts") << " differ";
    return sizes;
}

} // namespace

TEST(Split, PartAndHeaderFilesComparedWhole) {
    const std::string big = PatternBytes(3000000), two = PatternBytes(200000, 2), small = PatternBytes(250, 3);
    const struct {
        const char* Title;
        std::vector<TTreeEntry> Tree; // the first entry is split; its files' contents in order are the data
        int64_t PartSize;
        std::vector<size_t> Parts, HeaderCut;
    } cases[] = {
        {"3,000,000 bytes", {{"report.doc", big}}, 1453568, {1453568, 1453568, 92864}, {47}},
        {"exactly two part sizes", {{"data.bin", two}}, 100000, {100000, 100000, 0}, {44}},
        {"empty file", {{"empty.txt", ""}}, 1000, {0}, {40}},
        {"tree without files", {{"Tree\\", ""}, {"Tree\\Sub\\", ""}}, 1000, {0}, {66}},
        // 70 header bytes after 10 bytes in part 9: 20 fill that disk, 30 the next, 20 the last.
        {"header spill", {{"Docs\\", ""}, {"Docs\\a.bin", small}}, 30, {30, 30, 30, 30, 30, 30, 30, 30, 10}, {20, 30, 20}},
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
        ASSERT_EQ(RunJob(false, src / name, out.Path(), c.PartSize), crOk);
        EXPECT_EQ(CutSizes(out / name, false, content), c.Parts);
        EXPECT_EQ(CutSizes(out / name, true, header + "\t\t"), c.HeaderCut);
    }
}

// Window-mode jobs on 3,000,000 bytes: every box in order, the result, and the parts left. The diskette
// note follows the summary only for the two disk sizes.
TEST(Split, WindowModeQuestionsAndSummary) {
    const std::string content = PatternBytes(3000000, 9);
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
        if (c.Answers.size() > 1) {
            WriteFileBytes(out / "report.doc.002", "old");
            WriteFileBytes(out / "report.doc.h001", "old");
        }
        TScriptedHooks hooks;
        hooks.Answers.assign(c.Answers.begin(), c.Answers.end());
        hooks.CancelAtPoll = c.CancelAtPoll;
        EXPECT_EQ(RunJob(false, src / "report.doc", out.Path(), c.PartSize, &hooks), c.Expected);
        // Each box as "caption type text", # standing for the part count or the path.
        std::vector<std::string> want, got;
        for (std::string box : c.Boxes) {
            const UINT type = box == ask   ? MB_YESNO | MB_ICONINFORMATION
                              : box == old ? MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2
                                           : MB_OK | MB_ICONINFORMATION;
            const size_t parts = (content.size() + size_t(c.PartSize) - 1) / size_t(c.PartSize);
            box.replace(box.find('#'), 1, box == old ? out / "report.doc.002" : std::to_string(parts));
            want.push_back("Split " + std::to_string(type) + " " + box);
        }
        for (const auto& m : hooks.Messages)
            got.push_back(m.Caption + " " + std::to_string(m.Type) + " " + m.Text);
        EXPECT_EQ(got, want);
        const size_t written = std::accumulate(c.Parts.begin(), c.Parts.end(), size_t{0});
        if (c.Answers.size() > 1 && c.Expected == crCancelled) {
            EXPECT_EQ(ReadFileBytes(out / "report.doc.002") + ReadFileBytes(out / "report.doc.h001"), "oldold");
            continue;
        }
        EXPECT_EQ(CutSizes(out / "report.doc", false, content.substr(0, written)), c.Parts);
        EXPECT_EQ(FileExists(out / "report.doc.h001"), c.Expected == crOk);
    }
}

// Exact bytes in the OEM code page (0xE4 becomes 0x84), an old batch file replaced without a question, the
// command interpreter rebuilding the file from the parts, and the program copy, which never replaces one.
TEST(Split, BatchFileRebuildsTheFileAndTheProgramIsCopied) {
    TTempDir src("src"), out("out");
    const std::string content = PatternBytes(250000, 5);
    WriteFileBytes(src / "B\xE4r.txt", content);
    WriteFileBytes(out / "B\xE4r.bat", "an old batch file, longer than the new one");
    TScriptedHooks hooks;
    TChunklerStartParams p{.SourcePath = src / "B\xE4r.txt", .OutputDir = out.Path(), .CopyProgram = true,
                           .CreateBatch = true, .PartSize = 100000};
    ASSERT_EQ(TChunkler(&hooks).Execute(p), crOk);
    EXPECT_EQ(hooks.Messages.size(), 2u) << "part count and summary only";
    EXPECT_EQ(ReadFileBytes(out / "B\xE4r.bat"), "copy /b \"B\x84r.txt.001\" \"B\x84r.txt\"\r\n"
                                                 "copy /b \"B\x84r.txt\" + \"B\x84r.txt.002\"\r\n"
                                                 "copy /b \"B\x84r.txt\" + \"B\x84r.txt.003\"\r\n");
    EXPECT_EQ(RunProgram("cmd /c \"B\xE4r.bat\"", out.Path()), 0u);
    EXPECT_TRUE(ReadFileBytes(out / "B\xE4r.txt") == content) << "rebuilt file differs";
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    EXPECT_TRUE(ReadFileBytes(out / "Chunkler.exe") == ReadFileBytes(self));
    WriteFileBytes(out / "Chunkler.exe", "keep me");
    ASSERT_EQ(TChunkler(&hooks).Execute(p), crOk);
    EXPECT_EQ(ReadFileBytes(out / "Chunkler.exe"), "keep me");
}
