// Splitting: part and header files compared whole, the batch file run by the command interpreter,
// GNU split as an independent cut, the window-mode questions and the failures of a copy.
#include <gtest/gtest.h>

#include <functional>

#include "engine/UnitChunkler.h"
#include "support/ScriptedHooks.h"
#include "support/TestSupport.h"
#include "support/UnitLanguage.h"
#include "support/UnixTools.h"

using namespace testsupport;

// Reaches the engine's write seam: part and header data go through a function of the test's choosing.
struct TChunklerSplitSeam {
    using TWriter = uint32_t (*)(TFileStreamLite&, const void*, uint32_t);
    explicit TChunklerSplitSeam(TWriter Writer) { TChunkler::PartDataWriter = Writer; }
    ~TChunklerSplitSeam() { TChunkler::PartDataWriter = nullptr; }
};

namespace {

TChunklerStartParams SplitParams(const std::string& Source, const std::string& Output, int64_t PartSize,
                                 bool Silent = true) {
    TChunklerStartParams p;
    p.SourcePath = Source;
    p.OutputDir = Output;
    p.PartSize = PartSize;
    p.Silent = Silent;
    return p;
}

TChunklerResult RunJob(TChunklerStartParams& Params, TScriptedHooks* Hooks = nullptr) {
    TChunkler engine(Hooks);
    const TChunklerResult r = engine.Execute(Params);
    engine.ShowResult(r);
    return r;
}

std::string TimeField(const std::string& Path) {
    const FILETIME t = GetLastWriteTime(Path);
    SYSTEMTIME s{};
    FileTimeToSystemTime(&t, &s);
    char out[18];
    snprintf(out, sizeof out, "%04u%02u%02u%02u%02u%02u%03u", s.wYear, s.wMonth, s.wDay, s.wHour, s.wMinute,
             s.wSecond, s.wMilliseconds);
    return out;
}

std::string PartPath(const std::string& Base, bool IsHeader, int N) {
    return Base + (IsHeader ? ".h" : ".") + IntToStrZeroPad(N, 3);
}

// Checks that files Base.001... (or .h001...) are exactly the given slices of Content, and no more.
void ExpectCut(const std::string& Base, bool IsHeader, const std::string& Content,
               const std::vector<size_t>& Sizes) {
    size_t at = 0;
    for (size_t i = 0; i < Sizes.size(); ++i) {
        const std::string path = PartPath(Base, IsHeader, int(i) + 1);
        EXPECT_EQ(ReadFileBytes(path), Content.substr(at, Sizes[i])) << path;
        at += Sizes[i];
    }
    EXPECT_EQ(at, Content.size()) << Base;
    EXPECT_FALSE(FileExists(PartPath(Base, IsHeader, int(Sizes.size()) + 1))) << Base << " one file too many";
}

const char* const EscHint = "You can press the <ESC> key to interrupt the job.";

} // namespace

TEST(Split, PartAndHeaderFilesComparedWhole) {
    const std::string big = PatternBytes(3000000), two = PatternBytes(200000, 2),
                      small = PatternBytes(250, 3);
    const struct {
        const char* Title;
        std::vector<TTreeEntry> Tree;
        const char* Source;
        int64_t PartSize;
        std::string Content;
        std::vector<size_t> Parts;
        std::vector<std::pair<const char*, int64_t>> Records; // name, size (-1: folder)
        std::vector<size_t> HeaderCut;                        // 0 for the last: the rest
    } cases[] = {
        {"3,000,000 bytes on 1.44 MB disks",
         {{"report.doc", big}},
         "report.doc",
         1453568,
         big,
         {1453568, 1453568, 92864},
         {{"report.doc", 3000000}},
         {0}},
        {"exactly two part sizes",
         {{"data.bin", two}},
         "data.bin",
         100000,
         two,
         {100000, 100000, 0},
         {{"data.bin", 200000}},
         {0}},
        {"empty file", {{"empty.txt", ""}}, "empty.txt", 1000, "", {0}, {{"empty.txt", 0}}, {0}},
        {"tree without files",
         {{"Tree\\", ""}, {"Tree\\Sub\\", ""}},
         "Tree",
         1000,
         "",
         {0},
         {{"Tree", -1}, {"Tree\\Sub", -1}},
         {0}},
        // 70 header bytes after 10 bytes in part 9: 20 fill that disk, 30 the next, 20 the last.
        {"header over three files",
         {{"Docs\\", ""}, {"Docs\\a.bin", small}},
         "Docs",
         30,
         small,
         {30, 30, 30, 30, 30, 30, 30, 30, 10},
         {{"Docs", -1}, {"Docs\\a.bin", 250}},
         {20, 30, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Title);
        TTempDir src("src"), out("out");
        BuildTree(src.Path(), c.Tree);
        std::string header = "ChKl40";
        for (const auto& [name, size] : c.Records)
            header += std::string("\t") + name +
                      (size < 0 ? "\tD\t0\t" : "\tF\t" + std::to_string(size) + "\t") + TimeField(src / name);
        header += "\t\t";
        std::vector<size_t> cut = c.HeaderCut;
        size_t before = 0;
        for (size_t i = 0; i + 1 < cut.size(); ++i)
            before += cut[i];
        cut.back() = header.size() - before;

        auto p = SplitParams(src / c.Source, out.Path(), c.PartSize);
        ASSERT_EQ(RunJob(p), crOk);
        const std::string base = out / c.Tree[0].Name.substr(0, c.Tree[0].Name.find('\\'));
        ExpectCut(base, false, c.Content, c.Parts);
        ExpectCut(base, true, header, cut);
    }
}

// The same cut as GNU split, and cat of the parts is the original.
TEST(Split, PartsMatchGnuSplitAndConcatenateToTheOriginal) {
    const struct {
        size_t Bytes;
        int64_t PartSize;
    } cases[] = {{3000000, 1453568}, {200000, 100000}, {500000, 131072}, {500000, 131071}, {1, 1000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.Bytes) + " at " + std::to_string(c.PartSize));
        TTempDir src("src"), out("out");
        WriteFileBytes(src / "f.bin", PatternBytes(c.Bytes, 7));
        CreateDirectoryA((src / "gnu").c_str(), nullptr);
        const std::string s = UnixPathOf(src.Path()), o = UnixPathOf(out.Path());
        ASSERT_EQ(RunUnixShell("cd " + ShellQuote(s) + " && split -b " + std::to_string(c.PartSize) +
                               " -d -a 3 --numeric-suffixes=1 f.bin gnu/f.bin."),
                  0u);
        auto p = SplitParams(src / "f.bin", out.Path(), c.PartSize);
        ASSERT_EQ(RunJob(p), crOk);
        int n = 1;
        for (; FileExists(PartPath(src / "gnu\\f.bin", false, n)); ++n) {
            EXPECT_EQ(ReadFileBytes(PartPath(out / "f.bin", false, n)),
                      ReadFileBytes(PartPath(src / "gnu\\f.bin", false, n)))
                << n;
        }
        // Content that ends on a part boundary leaves one more, empty part.
        if (c.Bytes % c.PartSize == 0) {
            EXPECT_EQ(FileSize(PartPath(out / "f.bin", false, n++)), 0);
        }
        EXPECT_FALSE(FileExists(PartPath(out / "f.bin", false, n)));
        EXPECT_EQ(RunUnixShell("cd " + ShellQuote(o) + " && cat f.bin.[0-9][0-9][0-9] | cmp -s - " +
                               ShellQuote(s + "/f.bin")),
                  0u);
    }
}

// Exact bytes in the OEM code page (0xE4 becomes 0x84), an old batch file replaced without a question,
// and the command interpreter rebuilding the file from the parts.
TEST(Split, BatchFileRebuildsTheFileWithCopyB) {
    const struct {
        const char* Name;
        const char* BatName;
        const char* OemName;
        size_t Bytes;
        int Parts;
    } cases[] = {
        {"B\xE4r.txt", "B\xE4r.bat", "B\x84r.txt", 250000, 3},
        {"data", "data.bat", "data", 200000, 3},
        {"archive.tar.gz", "archive.tar.bat", "archive.tar.gz", 10, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TTempDir src("src"), out("out");
        const std::string content = PatternBytes(c.Bytes, 5);
        WriteFileBytes(src / c.Name, content);
        WriteFileBytes(out / c.BatName, "old batch file, longer than the new one would be? no matter");
        TScriptedHooks hooks;
        auto p = SplitParams(src / c.Name, out.Path(), 100000, false);
        p.CreateBatch = true;
        ASSERT_EQ(RunJob(p, &hooks), crOk);
        EXPECT_EQ(hooks.Messages.size(), 2u) << "part count and summary only\n" << hooks.Dump();

        const std::string name = c.OemName;
        std::string expected = "copy /b \"" + name + ".001\" \"" + name + "\"\r\n";
        for (int n = 2; n <= c.Parts; ++n)
            expected += "copy /b \"" + name + "\" + \"" + name + "." + IntToStrZeroPad(n, 3) + "\"\r\n";
        EXPECT_EQ(ReadFileBytes(out / c.BatName), expected);

        std::string cmd = std::string("cmd.exe /c \"") + c.BatName + "\"";
        STARTUPINFOA si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        ASSERT_TRUE(CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                                   out.Path().c_str(), &si, &pi));
        EXPECT_EQ(WaitForSingleObject(pi.hProcess, 60000), WAIT_OBJECT_0);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        EXPECT_TRUE(ReadFileBytes(out / c.Name) == content) << "rebuilt file differs";
    }
}

TEST(Split, ProgramCopyLeavesAnExistingChunklerExeAlone) {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    for (bool existing : {false, true}) {
        TTempDir src("src"), out("out");
        WriteFileBytes(src / "f.bin", "x");
        if (existing)
            WriteFileBytes(out / "Chunkler.exe", "keep me");
        auto p = SplitParams(src / "f.bin", out.Path(), 100);
        p.CopyProgram = true;
        ASSERT_EQ(RunJob(p), crOk);
        EXPECT_TRUE(ReadFileBytes(out / "Chunkler.exe") ==
                    (existing ? std::string("keep me") : ReadFileBytes(self)))
            << "existing: " << existing;
    }
}

TEST(Split, WindowModeQuestionsAndSummary) {
    const std::string content = PatternBytes(3000000, 9);
    const std::string note = std::string("\r\n") + MsgCatalogEn[MsgDiskNote];
    const std::string done =
        "Chunkler has succesfully created # partfile(s) and 1 headerfile(s). The last partfile "
        "and the first headerfile fit on the same disk.";
    const struct {
        int64_t PartSize;
        int Parts;
        bool Note;
    } sizes[] = {{1453568, 3, true}, {726016, 5, true}, {1000000, 3, false}};
    for (const auto& c : sizes) {
        for (int answer : {IDNO, IDYES}) {
            TTempDir src("src"), out("out");
            WriteFileBytes(src / "report.doc", content);
            TScriptedHooks hooks;
            hooks.Answers = {answer};
            auto p = SplitParams(src / "report.doc", out.Path(), c.PartSize, false);
            p.CopyProgram = true;
            p.CreateBatch = true;
            EXPECT_EQ(RunJob(p, &hooks), answer == IDYES ? crOk : crCancelled);
            ASSERT_FALSE(hooks.Messages.empty());
            const auto& q = hooks.Messages[0];
            EXPECT_EQ(q.Text, "There are " + std::to_string(c.Parts) + " parts to create. " + EscHint +
                                  " Do you want to continue?");
            EXPECT_EQ(q.Type, UINT(MB_YESNO | MB_ICONINFORMATION));
            EXPECT_EQ(q.Caption, "Split");
            EXPECT_EQ(q.Owner, hooks.Owner);
            if (answer == IDNO) {
                EXPECT_EQ(hooks.Messages.size(), 1u) << hooks.Dump();
                EXPECT_TRUE(ListTree(out.Path()).empty()) << "nothing written after No";
                continue;
            }
            ASSERT_EQ(hooks.Messages.size(), 2u) << hooks.Dump();
            std::string summary = done;
            summary.replace(summary.find('#'), 1, std::to_string(c.Parts));
            EXPECT_EQ(hooks.Messages[1].Text, summary + (c.Note ? note : ""));
            EXPECT_EQ(hooks.Messages[1].Type, UINT(MB_OK | MB_ICONINFORMATION));
        }
    }
}

TEST(Split, OverwriteQuestionNamesTheFullPathAndCoversLaterFiles) {
    for (int answer : {IDYES, IDNO}) {
        TTempDir src("src"), out("out");
        const std::string content = PatternBytes(3000000, 4);
        WriteFileBytes(src / "report.doc", content);
        WriteFileBytes(out / "report.doc.001", "old");
        WriteFileBytes(out / "report.doc.003", "old");
        WriteFileBytes(out / "report.doc.h001", "old");
        TScriptedHooks hooks;
        hooks.Answers = {IDYES, answer};
        auto p = SplitParams(src / "report.doc", out.Path(), 1453568, false);
        EXPECT_EQ(RunJob(p, &hooks), answer == IDYES ? crOk : crCancelled);
        const auto questions = hooks.WithIcon(MB_ICONQUESTION);
        ASSERT_EQ(questions.size(), 1u) << hooks.Dump();
        EXPECT_EQ(questions[0].Text,
                  "File \"" + out / "report.doc.001" + "\" already exists. Always overwrite existing files?");
        EXPECT_EQ(questions[0].Type, UINT(MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2));
        if (answer == IDYES) {
            ExpectCut(out / "report.doc", false, content, {1453568, 1453568, 92864});
            EXPECT_NE(ReadFileBytes(out / "report.doc.h001"), "old");
        } else {
            EXPECT_EQ(hooks.Messages.size(), 2u) << "no further box\n" << hooks.Dump();
            EXPECT_EQ(ReadFileBytes(out / "report.doc.001"), "old");
            EXPECT_FALSE(FileExists(out / "report.doc.002"));
        }
    }
}

TEST(Split, EscapeMidCopyKeepsThePartsSoFarAndWritesNoHeader) {
    TTempDir src("src"), out("out");
    const std::string content = PatternBytes(3000000, 6);
    WriteFileBytes(src / "report.doc", content);
    TScriptedHooks hooks;
    hooks.CancelAtPoll = 14; // part 1 takes 12 blocks, so two blocks of part 2 are written
    auto p = SplitParams(src / "report.doc", out.Path(), 1453568, false);
    EXPECT_EQ(RunJob(p, &hooks), crCancelled);
    EXPECT_EQ(hooks.Messages.size(), 1u) << hooks.Dump();
    EXPECT_EQ(ReadFileBytes(out / "report.doc.001"), content.substr(0, 1453568));
    EXPECT_EQ(ReadFileBytes(out / "report.doc.002"), content.substr(1453568, 2 * 131072));
    EXPECT_FALSE(FileExists(out / "report.doc.003"));
    EXPECT_FALSE(FileExists(out / "report.doc.h001"));
}

// A source that vanishes or is locked after the inventory, and writes that the disk cuts short or
// refuses while reporting success.
TEST(Split, FileErrorsShowTheTextWithTheErrorIconAndGive9) {
    static int calls;
    const struct {
        const char* Title;
        std::function<void(const std::string& Source, HANDLE& Lock)> Spoil;
        TChunklerSplitSeam::TWriter Writer;
        const char* Text;
    } cases[] = {
        {"source deleted", [](const std::string& f, HANDLE&) { DeleteFileA(f.c_str()); }, nullptr,
         "File not found.\r\n"},
        {"source locked",
         [](const std::string& f, HANDLE& h) {
             h = CreateFileA(f.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
         },
         nullptr, "Sharing violation.\r\n"},
        {"data write takes nothing", nullptr, [](TFileStreamLite&, const void*, uint32_t) { return 0u; },
         "Error writing to file!"},
        // The three data writes go through; the header write then takes nothing, which must not
        // create header files for ever (from the 50th call on it writes, to end a faulty engine).
        {"header write takes nothing", nullptr,
         [](TFileStreamLite& s, const void* b, uint32_t n) {
             return ++calls <= 3 || calls > 50 ? s.Write(b, n) : 0u;
         },
         "Error writing to file!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Title);
        calls = 0;
        TTempDir src("src"), out("out");
        WriteFileBytes(src / "report.doc", PatternBytes(300000));
        HANDLE lock = INVALID_HANDLE_VALUE;
        TScriptedHooks hooks;
        hooks.OnMessage = [&](const TMessageRecord& m) {
            if (c.Spoil && (m.Type & MB_TYPEMASK) == MB_YESNO)
                c.Spoil(src / "report.doc", lock);
        };
        TChunklerSplitSeam seam(c.Writer);
        auto p = SplitParams(src / "report.doc", out.Path(), 1000000, false);
        EXPECT_EQ(RunJob(p, &hooks), crFileError);
        if (lock != INVALID_HANDLE_VALUE)
            CloseHandle(lock);
        const auto errors = hooks.WithIcon(MB_ICONERROR);
        ASSERT_EQ(errors.size(), 1u) << hooks.Dump();
        EXPECT_EQ(errors[0].Text, c.Text);
        EXPECT_EQ(errors[0].Type, UINT(MB_OK | MB_ICONERROR));
        EXPECT_EQ(errors[0].Caption, "Split");
        EXPECT_EQ(errors[0].Owner, hooks.Owner);
        EXPECT_EQ(hooks.Messages.size(), 2u) << "no result box after the error box\n" << hooks.Dump();
        EXPECT_FALSE(FileExists(out / "report.doc.h002"));
    }
}

// Short writes that report success: a data part would no longer match the header, so the job ends;
// a header write that falls short continues in the next header file.
TEST(Split, ShortWritesEndTheDataButContinueTheHeader) {
    static int calls;
    const std::string content = PatternBytes(300000, 8);
    {
        calls = 0;
        TChunklerSplitSeam seam([](TFileStreamLite& s, const void* b, uint32_t n) { return s.Write(b, n / 2); });
        TTempDir src("src"), out("out");
        WriteFileBytes(src / "f.bin", content);
        TScriptedHooks hooks;
        auto p = SplitParams(src / "f.bin", out.Path(), 200000);
        p.Silent = false;
        ASSERT_EQ(RunJob(p, &hooks), crFileError);
        ASSERT_EQ(hooks.WithIcon(MB_ICONERROR).size(), 1u) << hooks.Dump();
        EXPECT_EQ(hooks.WithIcon(MB_ICONERROR)[0].Text, "Error writing to file!");
        EXPECT_FALSE(FileExists(out / "f.bin.h001"));
    }
    // The three data writes go through whole; every header write takes half.
    calls = 0;
    TChunklerSplitSeam seam([](TFileStreamLite& s, const void* b, uint32_t n) {
        return s.Write(b, ++calls <= 3 || n < 2 ? n : n / 2);
    });
    TTempDir src("src"), out("out");
    WriteFileBytes(src / "f.bin", content);
    auto p = SplitParams(src / "f.bin", out.Path(), 200000);
    ASSERT_EQ(RunJob(p), crOk);
    ExpectCut(out / "f.bin", false, content, {200000, 100000});
    std::string header;
    for (int n = 1; FileExists(PartPath(out / "f.bin", true, n)); ++n)
        header += ReadFileBytes(PartPath(out / "f.bin", true, n));
    EXPECT_EQ(header, "ChKl40\tf.bin\tF\t300000\t" + TimeField(src / "f.bin") + "\t\t");
    EXPECT_EQ(FileSize(out / "f.bin.h001"), 20) << "half of the 41 header bytes";
}

// A file that grows or shrinks while it is copied: the header records what went into the parts,
// so the next file is not shifted.
TEST(Split, FileChangedDuringTheCopyIsRecordedAsCopied) {
    for (const char* change : {"truncate -s 200000", "truncate -s 400000"}) {
        SCOPED_TRACE(change);
        TTempDir src("src"), out("out");
        const std::string a = PatternBytes(300000, 1), b = PatternBytes(1000, 2);
        BuildTree(src.Path(), {{"Docs\\", ""}, {"Docs\\a.bin", a}, {"Docs\\b.bin", b}});
        TScriptedHooks hooks;
        hooks.OnPoll = [&](int poll) {
            if (poll == 1)
                RunUnixShell(std::string(change) + " " + ShellQuote(UnixPathOf(src / "Docs\\a.bin")));
        };
        auto p = SplitParams(src / "Docs", out.Path(), 1000000, false);
        ASSERT_EQ(RunJob(p, &hooks), crOk);
        const size_t copied = std::string(change).find("200000") != std::string::npos ? 200000 : 300000;
        EXPECT_TRUE(ReadFileBytes(out / "Docs.001") == a.substr(0, copied) + b);
        EXPECT_NE(ReadFileBytes(out / "Docs.h001").find("\tDocs\\a.bin\tF\t" + std::to_string(copied) + "\t"),
                  std::string::npos);
    }
}

TEST(Split, FullOutputDiskEndsWith9AndKeepsThePartsWritten) {
    ULARGE_INTEGER total{};
    if (!GetDiskFreeSpaceExA("W:\\", nullptr, &total, nullptr) || total.QuadPart > 4u << 20)
        GTEST_SKIP() << "W: is not the 1 MiB full-disk drive (needs root to mount)";
    ClearFolder("W:\\");
    TTempDir src("src");
    const std::string content = PatternBytes(3000000, 3);
    WriteFileBytes(src / "report.doc", content);
    TScriptedHooks hooks;
    auto p = SplitParams(src / "report.doc", "W:\\", 400000, false);
    EXPECT_EQ(RunJob(p, &hooks), crFileError);
    const auto errors = hooks.WithIcon(MB_ICONERROR);
    ASSERT_EQ(errors.size(), 1u) << hooks.Dump();
    EXPECT_EQ(errors[0].Text, "Disk full.\r\n");
    EXPECT_EQ(ReadFileBytes("W:\\report.doc.001"), content.substr(0, 400000));
    EXPECT_EQ(ReadFileBytes("W:\\report.doc.002"), content.substr(400000, 400000));
    const std::string third = ReadFileBytes("W:\\report.doc.003");
    EXPECT_EQ(third, content.substr(800000, third.size()));
    EXPECT_FALSE(FileExists("W:\\report.doc.h001"));
    ClearFolder("W:\\");
}
