// Splits and joins that meet a fault: full and read-only disks, writes that fall short, files held open
// by others, an output folder or a source file that vanishes, a source that changes during the copy.
// Each case proves the result code, the text shown, the source untouched, every file written before
// the fault intact, and nothing created outside the output folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>

#include "engine/UnitChunkler.h"
#include "support/FaultSupport.h"
#include "support/ScriptedHooks.h"
#include "support/TestSupport.h"
#include "support/UnitFileStream.h"

using namespace testsupport;

namespace {

const std::string DiskFullText = "Disk full.\r\n";
const std::string WriteErrorText = "Error writing to file!";

// Docs holds a small file, a large one, an empty one and one in a subfolder. Sorted, the stream of the
// parts is a.bin, b.bin, sub\c.bin.
struct TSource {
    std::string A = PatternBytes(1000, 1), B, C;
    explicit TSource(size_t BSize = 700000, size_t CSize = 600000)
        : B(PatternBytes(BSize, 2)), C(PatternBytes(CSize, 3)) {}
    void Build(const std::string& Root) const {
        BuildTree(Root, {{"Docs\\", "", {}},
                         {"Docs\\a.bin", A, MakeFileTime(2001, 2, 3, 4, 5, 6, 7)},
                         {"Docs\\b.bin", B, MakeFileTime(2002, 3, 4, 5, 6, 7, 8)},
                         {"Docs\\empty.txt", "", MakeFileTime(2003, 4, 5, 6, 7, 8, 9)},
                         {"Docs\\sub\\", "", {}},
                         {"Docs\\sub\\c.bin", C, MakeFileTime(2004, 5, 6, 7, 8, 9, 10)}});
    }
    std::string Stream() const { return A + B + C; }
};

bool SameTime(const FILETIME& A, const FILETIME& B) { return CompareFileTime(&A, &B) == 0; }

// Wine's start /wait may return before the Unix program has done its work.
bool WaitFor(const std::function<bool()>& Done) {
    for (int i = 0; i < 100; ++i) {
        if (Done()) return true;
        Sleep(50);
    }
    return false;
}

// What a job sees, and how it ended.
struct TJob {
    TChunklerStartParams Params;
    TScriptedHooks Hooks;
    TChunklerResult Result = crOk;
    std::vector<TMessageRecord> Errors() const { return Hooks.WithIcon(MB_ICONERROR); }
};

// A window-mode job through the scripted user (boxes recorded), or a silent one.
TChunklerResult RunJob(TJob& Job, bool Silent) {
    Job.Params.Silent = Silent;
    Job.Params.CopyProgram = false;
    TChunkler engine(Silent ? nullptr : &Job.Hooks);
    Job.Result = engine.Execute(Job.Params);
    engine.ShowResult(Job.Result);
    return Job.Result;
}

void Prepare(TJob& Job, bool Unsplit, const std::string& Source, const std::string& Output, int64_t PartSize) {
    Job.Params.Unsplit = Unsplit;
    Job.Params.SourcePath = Source;
    Job.Params.OutputDir = Output;
    Job.Params.PartSize = PartSize;
}

// The data parts that exist, concatenated; every one but the last found must be full.
std::string CollectParts(const std::string& Out, const std::string& Name, int64_t PartSize, int& Count) {
    std::string all;
    Count = 0;
    for (int n = 1;; ++n) {
        char num[16];
        snprintf(num, sizeof num, ".%03d", n);
        std::string path = Out + "\\" + Name + num;
        if (!FileExists(path)) break;
        if (Count > 0) {
            EXPECT_EQ(static_cast<int64_t>(all.size()), PartSize * Count) << "part before " << path;
        }
        all += ReadFileBytes(path);
        ++Count;
    }
    return all;
}

// The parts written before a fault: at least MinFull full ones, all a prefix of Stream.
void ExpectPartsPrefix(const std::string& Out, const std::string& Name, const std::string& Stream,
                       int64_t PartSize, int MinFull) {
    int count = 0;
    std::string all = CollectParts(Out, Name, PartSize, count);
    EXPECT_GE(static_cast<int64_t>(all.size()), PartSize * MinFull) << "parts written before the fault lost";
    ASSERT_LE(all.size(), Stream.size());
    EXPECT_TRUE(all == Stream.substr(0, all.size())) << "parts do not hold the start of the content";
}

// A restored file is complete, or (at most one, the one at the fault) a prefix, or absent.
void ExpectRestoredPrefix(const std::string& Path, const std::string& Content, bool MustBeComplete) {
    if (!FileExists(Path)) {
        EXPECT_FALSE(MustBeComplete) << Path << " missing";
        return;
    }
    std::string got = ReadFileBytes(Path);
    if (MustBeComplete) {
        EXPECT_TRUE(got == Content) << Path << " not restored completely";
    } else {
        EXPECT_TRUE(Content.compare(0, got.size(), got) == 0) << Path << " holds other bytes";
    }
}

// Before/after: the source tree, the folder around the output folder and the current directory.
class TSideEffects {
public:
    TSideEffects(std::string SourceRoot, std::string Around)
        : FSource(std::move(SourceRoot)), FAround(std::move(Around)), FSourceList(ListTree(FSource)),
          FAroundList(ListNames(FAround)), FCwdList(ListNames(".")) {}
    void ExpectUnchanged(bool SourceToo = true) const {
        if (SourceToo) {
            EXPECT_TRUE(ListTree(FSource) == FSourceList) << "the source was touched";
        }
        EXPECT_EQ(ListNames(FAround), FAroundList) << "something appeared beside the output folder";
        EXPECT_EQ(ListNames("."), FCwdList) << "something appeared in the current directory";
    }

private:
    std::string FSource, FAround;
    std::vector<TTreeItem> FSourceList;
    std::vector<std::string> FAroundList, FCwdList;
};

// One error box, of the job's caption, with one of the allowed texts.
void ExpectOneErrorBox(const TJob& Job, const std::vector<std::string>& Texts) {
    auto errors = Job.Errors();
    ASSERT_EQ(errors.size(), 1u) << Job.Hooks.Dump();
    EXPECT_NE(std::find(Texts.begin(), Texts.end(), errors[0].Text), Texts.end()) << Job.Hooks.Dump();
    EXPECT_EQ(errors[0].Owner, Job.Hooks.Owner);
    EXPECT_EQ(errors[0].Caption, Job.Params.Unsplit ? "Join" : "Split");
}

// The 1 MiB tmpfs drive of this suite; empty at the start and end of every test that uses it.
class TFullDisk : public ::testing::Test {
protected:
    const std::string Root = TestDriveRoot('Y');
    void SetUp() override {
        int64_t total = FreeBytesOf(Root);
        if (total < 0 || total > 2 * 1024 * 1024)
            GTEST_SKIP() << "Y: is not a 1 MiB tmpfs (mounting needs root); full-disk cases skipped";
        ClearFolder(Root);
    }
    void TearDown() override { ClearFolder(Root); }
};

TEST_F(TFullDisk, SplitDataPartsEndWithTheSystemsTextAndKeepEarlierParts) {
    for (bool silentExe : {false, true}) {
        SCOPED_TRACE(silentExe ? "silent program" : "window mode in process");
        ClearFolder(Root);
        TTempDir tmp("fd");
        TSource src;
        src.Build(tmp / "src");
        CreateDirectoryA((Root + "out").c_str(), nullptr);
        TSideEffects side(tmp / "src", Root);
        if (silentExe) {
            EXPECT_EQ(RunChunkler("/SILENT \"" + tmp / "src\\Docs" + "\" " + Root + "out /SIZE300000"), 9u);
        } else {
            TJob job;
            Prepare(job, false, tmp / "src\\Docs", Root + "out", 300000);
            EXPECT_EQ(RunJob(job, false), crFileError);
            ExpectOneErrorBox(job, {DiskFullText, WriteErrorText});
        }
        ExpectPartsPrefix(Root + "out", "Docs", src.Stream(), 300000, 3);
        EXPECT_FALSE(FileExists(Root + "out\\Docs.h001")) << "a header after a failed copy";
        side.ExpectUnchanged();
    }
}

TEST_F(TFullDisk, SplitHeaderOnAFullDiskEndsWithoutEndlessHeaderFiles) {
    TTempDir tmp("fh");
    const std::string data = PatternBytes(409600, 9);
    BuildTree(tmp / "src", {{"one.bin", data, MakeFileTime(2010, 1, 1, 0, 0, 0, 0)}});
    CreateDirectoryA((Root + "out").c_str(), nullptr);
    ASSERT_EQ(FillDrive(Root, 409600), 409600) << "cannot leave exactly the data's room on Y:";
    TSideEffects side(tmp / "src", Root);
    TJob job;
    Prepare(job, false, tmp / "src\\one.bin", Root + "out", 204800);
    EXPECT_EQ(RunJob(job, false), crFileError);
    ExpectOneErrorBox(job, {DiskFullText, WriteErrorText});
    int count = 0;
    EXPECT_TRUE(CollectParts(Root + "out", "one.bin", 204800, count) == data);
    EXPECT_EQ(count, 3) << "two full parts and the empty one at the boundary";
    EXPECT_FALSE(FileExists(Root + "out\\one.bin.h002")) << "header files go on after the disk is full";
    side.ExpectUnchanged();
}

TEST_F(TFullDisk, JoinKeepsTheFilesRestoredBeforeTheDiskFilledUp) {
    TTempDir tmp("fj");
    TSource src;
    src.Build(tmp / "src");
    CreateDirectoryA((tmp / "parts").c_str(), nullptr);
    TJob split;
    Prepare(split, false, tmp / "src\\Docs", tmp / "parts", 300000);
    ASSERT_EQ(RunJob(split, true), crOk);
    CreateDirectoryA((Root + "out").c_str(), nullptr);
    TSideEffects side(tmp / "parts", Root);

    TJob job;
    Prepare(job, true, tmp / "parts\\Docs.002", Root + "out", 0);
    EXPECT_EQ(RunJob(job, false), crFileError);
    ExpectOneErrorBox(job, {DiskFullText, WriteErrorText});
    ExpectRestoredPrefix(Root + "out\\Docs\\a.bin", src.A, true);
    ExpectRestoredPrefix(Root + "out\\Docs\\b.bin", src.B, true);
    ExpectRestoredPrefix(Root + "out\\Docs\\sub\\c.bin", src.C, false);
    EXPECT_TRUE(SameTime(GetLastWriteTime(Root + "out\\Docs\\b.bin"), MakeFileTime(2002, 3, 4, 5, 6, 7, 8)));
    side.ExpectUnchanged();
}

// The disk that is always full: a part, header or restored file that is a link to /dev/full.
TEST(DevFull, EveryPhaseEndsWithDiskFull) {
    struct TCase {
        const char* Name;
        bool Join;
        const char* Link; // below the output folder
        int PartsBefore;  // full data parts that must be intact
    };
    const TCase cases[] = {
        {"data part 2", false, "Docs.002", 1},
        {"header file", false, "Docs.h001", 5},
        {"restored file", true, "Docs\\b.bin", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TTempDir tmp("df");
        TSource src(300000, 200000);
        src.Build(tmp / "src");
        CreateDirectoryA((tmp / "parts").c_str(), nullptr);
        CreateDirectoryA((tmp / "out").c_str(), nullptr);
        CreateDirectoryA((tmp / "out\\Docs").c_str(), nullptr);
        if (c.Join) {
            TJob split;
            Prepare(split, false, tmp / "src\\Docs", tmp / "parts", 100000);
            ASSERT_EQ(RunJob(split, true), crOk);
        }
        std::string link = (c.Join ? tmp / "out\\" : tmp / "parts\\") + c.Link;
        ASSERT_TRUE(RunUnix({"/bin/ln", "-s", "/dev/full", WinToUnixPath(link)}));
        // Wine lists the link but cannot query or delete it as a file: look at the listing, remove it through Unix.
        const std::string unixLink = WinToUnixPath(link);
        ASSERT_TRUE(WaitFor([&] {
            auto n = ListNames(GetParentFolder(link));
            return std::find(n.begin(), n.end(), GetFileNamePart(link)) != n.end();
        })) << "no link to /dev/full at " << unixLink;
        struct TUnlink {
            std::string WinPath, UnixPath;
            ~TUnlink() {
                RunUnix({"/bin/rm", "-f", UnixPath});
                WaitFor([&] {
                    auto n = ListNames(GetParentFolder(WinPath));
                    return std::find(n.begin(), n.end(), GetFileNamePart(WinPath)) == n.end();
                });
            }
        } unlinkAtEnd{link, unixLink};
        TSideEffects side(tmp / "src", tmp.Path());
        TJob job;
        if (c.Join) Prepare(job, true, tmp / "parts\\Docs.h001", tmp / "out", 0);
        else Prepare(job, false, tmp / "src\\Docs", tmp / "parts", 100000);
        EXPECT_EQ(RunJob(job, false), crFileError);
        ExpectOneErrorBox(job, {DiskFullText});
        if (c.Join) {
            ExpectRestoredPrefix(tmp / "out\\Docs\\a.bin", src.A, true);
            EXPECT_FALSE(FileExists(tmp / "out\\Docs\\sub\\c.bin"));
        } else {
            ExpectPartsPrefix(tmp / "parts", "Docs", src.Stream(), 100000, c.PartsBefore);
        }
        side.ExpectUnchanged();
    }
}

// Writes that report success with fewer bytes than asked, in each phase: the job ends with the fixed
// text, and the loop that would wait for the rest never runs away.
TEST(ShortWrite, EndsWithErrorWritingToFileInEveryPhase) {
    struct TCase {
        const char* Name;
        bool Join;
        const char* Target; // end of the name of the file whose writes fall short
        TWriteFaultInjector::TMode Mode;
    };
    const TCase cases[] = {
        {"data part, nothing taken", false, ".002", TWriteFaultInjector::wfZeroBytes},
        {"data part, half taken", false, ".002", TWriteFaultInjector::wfHalf},
        {"header file, nothing taken", false, ".h001", TWriteFaultInjector::wfZeroBytes},
        {"restored file, nothing taken", true, "b.bin", TWriteFaultInjector::wfZeroBytes},
        {"restored file, half taken", true, "b.bin", TWriteFaultInjector::wfHalf},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TTempDir tmp("sw");
        TSource src(300000, 200000);
        src.Build(tmp / "src");
        CreateDirectoryA((tmp / "parts").c_str(), nullptr);
        CreateDirectoryA((tmp / "out").c_str(), nullptr);
        if (c.Join) {
            TJob split;
            Prepare(split, false, tmp / "src\\Docs", tmp / "parts", 100000);
            ASSERT_EQ(RunJob(split, true), crOk);
        }
        TSideEffects side(tmp / "src", tmp.Path());
        TJob job;
        if (c.Join) Prepare(job, true, tmp / "parts\\Docs.001", tmp / "out", 0);
        else Prepare(job, false, tmp / "src\\Docs", tmp / "parts", 100000);
        int injected = 0;
        {
            std::string target = c.Target;
            TWriteFaultInjector faults([target](const std::string& n) { return EndsWithNoCase(n, target); }, c.Mode);
            RunJob(job, false);
            injected = faults.Injected();
        }
        EXPECT_EQ(job.Result, crFileError);
        EXPECT_LT(injected, TWriteFaultInjector::Budget) << "the job kept writing into a disk that takes nothing";
        ExpectOneErrorBox(job, {WriteErrorText});
        if (c.Join) {
            ExpectRestoredPrefix(tmp / "out\\Docs\\a.bin", src.A, true);
            EXPECT_FALSE(FileExists(tmp / "out\\Docs\\sub\\c.bin"));
        } else {
            ExpectPartsPrefix(tmp / "parts", "Docs", src.Stream(), 100000, 1);
            EXPECT_FALSE(FileExists(tmp / "parts\\Docs.h002"));
        }
        side.ExpectUnchanged();
    }
}

// Every header file short by half: the text may go on in the next header file, but the job ends, and
// when it reports success the set joins back completely.
TEST(ShortWrite, HeaderWrittenInHalvesNeverLoops) {
    TTempDir tmp("sh");
    TSource src(3000, 2000);
    src.Build(tmp / "src");
    CreateDirectoryA((tmp / "parts").c_str(), nullptr);
    CreateDirectoryA((tmp / "out").c_str(), nullptr);
    TJob job;
    Prepare(job, false, tmp / "src\\Docs", tmp / "parts", 100000);
    int injected = 0;
    {
        TWriteFaultInjector faults([](const std::string& n) { return n.find(".h0") != std::string::npos; },
                                   TWriteFaultInjector::wfHalf);
        RunJob(job, false);
        injected = faults.Injected();
    }
    EXPECT_LT(injected, 64);
    if (job.Result == crOk) {
        TJob join;
        Prepare(join, true, tmp / "parts\\Docs.001", tmp / "out", 0);
        EXPECT_EQ(RunJob(join, true), crOk);
        EXPECT_EQ(CompareTrees(tmp / "src", tmp / "out"), "");
    } else {
        EXPECT_EQ(job.Result, crFileError);
        ExpectOneErrorBox(job, {WriteErrorText});
    }
}

// Q: is mounted read-only (root ignores the read-only attribute of a folder, a read-only mount it cannot).
TEST(ReadOnlyOutput, SplitAndJoinEndWithTheSystemsTextAndWriteNothing) {
    const std::string root = TestDriveRoot('Q');
    if (FreeBytesOf(root) < 0 || WinToUnixPath(root).empty()) GTEST_SKIP() << "Q: is not mounted";
    if (CreateDirectoryA((root + "probe").c_str(), nullptr)) {
        RemoveDirectoryA((root + "probe").c_str());
        GTEST_SKIP() << "Q: is writable (the read-only mount needs root)";
    }
    TTempDir tmp("ro");
    TSource src(3000, 2000);
    src.Build(tmp / "src");
    CreateDirectoryA((tmp / "parts").c_str(), nullptr);
    TJob split;
    Prepare(split, false, tmp / "src\\Docs", tmp / "parts", 2500);
    ASSERT_EQ(RunJob(split, true), crOk);
    const auto before = ListTree(root);
    for (bool join : {false, true}) {
        SCOPED_TRACE(join ? "join" : "split");
        TSideEffects side(join ? tmp / "parts" : tmp / "src", tmp.Path());
        TJob job;
        if (join) Prepare(job, true, tmp / "parts\\Docs.h001", root, 0);
        else Prepare(job, false, tmp / "src\\Docs", root, 2500);
        EXPECT_EQ(RunJob(job, false), crFileError);
        auto errors = job.Errors();
        ASSERT_EQ(errors.size(), 1u) << job.Hooks.Dump();
        // A join's folders cannot be made either (that failure is ignored), so its first file misses its path.
        EXPECT_TRUE(errors[0].Text == SystemErrorText(ERROR_ACCESS_DENIED) ||
                    errors[0].Text == SystemErrorText(ERROR_WRITE_PROTECT) ||
                    (join && errors[0].Text == SystemErrorText(ERROR_PATH_NOT_FOUND)))
            << errors[0].Text;
        side.ExpectUnchanged();
        EXPECT_EQ(RunChunkler(std::string("/SILENT ") + (join ? "/UNSPLIT \"" + tmp / "parts\\Docs.001" + "\" "
                                                              : "\"" + tmp / "src\\Docs" + "\" /SIZE2500 ") +
                              root),
                  9u);
        EXPECT_TRUE(ListTree(root) == before);
    }
}

// Something else changes the files while the job runs: the output folder vanishes after the check, a
// part is held open by another program, a source file is deleted or locked after the listing.
TEST(OthersInterfere, EachEndsWithTheSystemsTextAndKeepsWhatWasWritten) {
    struct TCase {
        const char* Name;
        bool Join;
        std::string Text;
        // Runs when the job's confirmation question is answered (window mode): the moment after the
        // checks and the listing, before the first byte is copied.
        std::function<void(TTempDir&, std::optional<TExclusiveOpen>&)> OnConfirm;
        std::function<void(TTempDir&, std::optional<TExclusiveOpen>&)> Before;
        int PartsBefore;      // split: full data parts that must be intact
        bool SourceUnchanged; // the source tree is left as it was (not when the case itself changes it)
        bool OutputRemoved = false;
    };
    auto none = [](TTempDir&, std::optional<TExclusiveOpen>&) {};
    const TCase cases[] = {
        {"split: output folder removed", false, SystemErrorText(ERROR_PATH_NOT_FOUND),
         [](TTempDir& t, std::optional<TExclusiveOpen>&) { RemoveTree(t / "parts"); }, none, 0, true, true},
        {"join: output folder removed", true, SystemErrorText(ERROR_PATH_NOT_FOUND),
         [](TTempDir& t, std::optional<TExclusiveOpen>&) { RemoveTree(t / "out"); }, none, 0, true, true},
        {"split: part 3 held open", false, SystemErrorText(ERROR_SHARING_VIOLATION), none,
         [](TTempDir& t, std::optional<TExclusiveOpen>& h) { h.emplace(t / "parts\\Docs.003"); }, 2, true},
        {"join: part 3 held open", true, SystemErrorText(ERROR_SHARING_VIOLATION), none,
         [](TTempDir& t, std::optional<TExclusiveOpen>& h) { h.emplace(t / "parts\\Docs.003"); }, 0, true},
        {"join: restored file held open", true, SystemErrorText(ERROR_SHARING_VIOLATION), none,
         [](TTempDir& t, std::optional<TExclusiveOpen>& h) {
             CreateDirectoryA((t / "out\\Docs").c_str(), nullptr);
             h.emplace(t / "out\\Docs\\b.bin");
         },
         0, true},
        {"split: source file deleted after the listing", false, SystemErrorText(ERROR_FILE_NOT_FOUND),
         [](TTempDir& t, std::optional<TExclusiveOpen>&) { DeleteFileA((t / "src\\Docs\\b.bin").c_str()); }, none,
         0, false},
        {"split: source file locked after the listing", false, SystemErrorText(ERROR_SHARING_VIOLATION),
         [](TTempDir& t, std::optional<TExclusiveOpen>& h) { h.emplace(t / "src\\Docs\\b.bin", GENERIC_WRITE); },
         none, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TTempDir tmp("oi");
        TSource src(300000, 200000);
        src.Build(tmp / "src");
        CreateDirectoryA((tmp / "parts").c_str(), nullptr);
        CreateDirectoryA((tmp / "out").c_str(), nullptr);
        if (c.Join) {
            TJob split;
            Prepare(split, false, tmp / "src\\Docs", tmp / "parts", 100000);
            ASSERT_EQ(RunJob(split, true), crOk);
        }
        const auto partsBefore = ListTree(tmp / "parts");
        std::optional<TExclusiveOpen> held;
        c.Before(tmp, held);
        TSideEffects side(tmp / "src", tmp.Path());
        TJob job;
        if (c.Join) Prepare(job, true, tmp / "parts\\Docs.001", tmp / "out", 0);
        else Prepare(job, false, tmp / "src\\Docs", tmp / "parts", 100000);
        job.Hooks.OnMessage = [&](const TMessageRecord& m) {
            if ((m.Type & MB_TYPEMASK) == MB_YESNO && (m.Type & MB_ICONMASK) == MB_ICONINFORMATION)
                c.OnConfirm(tmp, held);
        };
        EXPECT_EQ(RunJob(job, false), crFileError);
        held.reset();
        ExpectOneErrorBox(job, {c.Text});
        if (c.Join) {
            EXPECT_TRUE(ListTree(tmp / "parts") == partsBefore) << "the parts were touched";
            EXPECT_FALSE(FileExists(tmp / "out\\Docs\\sub\\c.bin"));
            if (FileExists(tmp / "out\\Docs\\a.bin")) ExpectRestoredPrefix(tmp / "out\\Docs\\a.bin", src.A, true);
        } else {
            ExpectPartsPrefix(tmp / "parts", "Docs", src.Stream(), 100000, c.PartsBefore);
            EXPECT_FALSE(FileExists(tmp / "parts\\Docs.h001"));
        }
        if (c.OutputRemoved) {
            // The vanished folder is not made again, nor anything in its place.
            auto names = ListNames(tmp.Path());
            EXPECT_EQ(names, (c.Join ? std::vector<std::string>{"parts", "src"}
                                     : std::vector<std::string>{"out", "src"}));
        } else {
            side.ExpectUnchanged(c.SourceUnchanged);
        }
    }
}

// The same interference through the real program: a part held open gives exit code 9.
TEST(OthersInterfere, SilentProgramEndsWithNineWhenAPartIsHeldOpen) {
    TTempDir tmp("os");
    TSource src(300000, 200000);
    src.Build(tmp / "src");
    CreateDirectoryA((tmp / "parts").c_str(), nullptr);
    TSideEffects side(tmp / "src", tmp.Path());
    {
        TExclusiveOpen held(tmp / "parts\\Docs.002");
        ASSERT_TRUE(held.IsOpen());
        EXPECT_EQ(RunChunkler("/SILENT \"" + tmp / "src\\Docs" + "\" \"" + tmp / "parts" + "\" /SIZE100000"), 9u);
    }
    ExpectPartsPrefix(tmp / "parts", "Docs", src.Stream(), 100000, 1);
    side.ExpectUnchanged();
}

// A source file that another program grows or shrinks while it is being copied (through Unix, which
// Wine's share modes do not bind). The header must describe exactly the bytes that went into the parts,
// so the join gives every file back as it was copied and the later files are not shifted.
TEST(SourceChangesDuringCopy, HeaderMatchesTheCopiedBytes) {
    struct TCase {
        const char* Name;
        int64_t NewSize; // of b.bin, set after its first block was copied
        size_t Expected; // bytes of b.bin that reach the parts: b is cut at its size when opened
    };
    const TCase cases[] = {
        {"grows", 500000, 300000},
        {"shrinks below the copied block", 50000, 99000},
        {"shrinks to 200000", 200000, 200000},
        {"shrinks to nothing", 0, 99000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TTempDir tmp("sc");
        TSource src(300000, 200000);
        src.Build(tmp / "src");
        CreateDirectoryA((tmp / "parts").c_str(), nullptr);
        CreateDirectoryA((tmp / "out").c_str(), nullptr);
        TJob job;
        Prepare(job, false, tmp / "src\\Docs", tmp / "parts", 100000);
        bool changed = false;
        const std::string unixB = WinToUnixPath(tmp / "src\\Docs\\b.bin");
        job.Hooks.OnPoll = [&](int) {
            // a.bin (1000 bytes) and one block of b.bin are in the parts
            if (changed || job.Hooks.Progress < 1000 + 99000) return;
            changed = true;
            ASSERT_TRUE(RunUnix({"/usr/bin/truncate", "-s", std::to_string(c.NewSize), unixB}));
            ASSERT_TRUE(WaitFor([&] { return FileSize(tmp / "src\\Docs\\b.bin") == c.NewSize; }));
        };
        ASSERT_EQ(RunJob(job, false), crOk) << job.Hooks.Dump();
        ASSERT_TRUE(changed);
        TJob join;
        Prepare(join, true, tmp / "parts\\Docs.001", tmp / "out", 0);
        ASSERT_EQ(RunJob(join, true), crOk);
        std::string wentIn = src.B.substr(0, std::min(c.Expected, src.B.size()));
        wentIn.resize(c.Expected, '\0');
        EXPECT_TRUE(ReadFileBytes(tmp / "out\\Docs\\a.bin") == src.A);
        EXPECT_EQ(FileSize(tmp / "out\\Docs\\b.bin"), static_cast<int64_t>(c.Expected));
        EXPECT_TRUE(ReadFileBytes(tmp / "out\\Docs\\b.bin") == wentIn) << "b.bin differs from what was copied";
        EXPECT_TRUE(ReadFileBytes(tmp / "out\\Docs\\sub\\c.bin") == src.C) << "a later file was shifted";
        EXPECT_TRUE(SameTime(GetLastWriteTime(tmp / "out\\Docs\\sub\\c.bin"), MakeFileTime(2004, 5, 6, 7, 8, 9, 10)));
    }
}

} // namespace
