// Splits and joins that meet a fault: a full or read-only disk, writes that fall short, files held open
// or removed by another program, a source that changes during the copy, damaged and hostile sets.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "support/FaultSupport.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

using THandle = std::unique_ptr<void, decltype(&CloseHandle)>;
const char* const Names[] = {"a.bin", "b.bin", "sub\\c.bin"};

// src\Docs holds a.bin, b.bin, empty.txt and sub\c.bin, 1 MiB together; the parts hold a.bin, b.bin and
// c.bin in this order. For a join the set is split into parts first. out is the empty output folder.
struct TScene {
    TTempDir Tmp{"flt"};
    bool Join;
    std::string Files[3] = {PatternBytes(1000, 1), PatternBytes(600000, 2), PatternBytes(447576, 3)};
    TScene(bool AJoin, int64_t PartSize) : Join(AJoin) {
        for (const char* folder : {"src", "src\\Docs", "src\\Docs\\sub", "parts", "out"})
            CreateDirectoryA((Tmp / folder).c_str(), nullptr);
        for (int i = 0; i < 3; ++i)
            WriteFileBytes(Tmp / "src\\Docs\\" + Names[i], Files[i]);
        WriteFileBytes(Tmp / "src\\Docs\\empty.txt", "");
        SetLastWriteTime(Tmp / "src\\Docs\\b.bin", MakeFileTime(2002, 2, 2, 2, 2, 2, 2));
        EXPECT_EQ(Join ? RunJob(false, Tmp / "src\\Docs", Tmp / "parts", PartSize) : crOk, crOk);
    }
    std::string Input() const { return Tmp / (Join ? "parts\\Docs.001" : "src\\Docs"); }
    std::string Source() const { return Tmp / (Join ? "parts" : "src"); }
};

// What a fault leaves in Out. A split: at least Complete full parts, together the start of the content,
// and no second header file. A join: the first Complete files whole, the others the start of theirs or
// absent.
void ExpectKept(const TScene& S, const std::string& Out, int64_t PartSize, int Complete) {
    std::string parts;
    for (int n = 1; !S.Join && FileExists(Out + "\\Docs." + std::to_string(1000 + n).substr(1)); ++n)
        parts += ReadFileBytes(Out + "\\Docs." + std::to_string(1000 + n).substr(1));
    EXPECT_GE(static_cast<int64_t>(parts.size()), S.Join ? 0 : PartSize * Complete) << "earlier parts lost";
    EXPECT_TRUE((S.Files[0] + S.Files[1] + S.Files[2]).compare(0, parts.size(), parts) == 0);
    EXPECT_FALSE(FileExists(Out + "\\Docs.h002"));
    for (int i = 0; S.Join && i < 3; ++i) {
        const std::string path = Out + "\\Docs\\" + Names[i];
        const std::string got = FileExists(path) ? ReadFileBytes(path) : "";
        EXPECT_TRUE(i < Complete ? got == S.Files[i] : S.Files[i].compare(0, got.size(), got) == 0) << path;
    }
}

// Runs the job of S into Out through the scripted user. Interfere runs at the first box, the confirmation
// asked after the checks and the listing, and may hold a file open until the job ends. The job must end
// with 9 and one of Texts, keep what came before, leave the source alone and create nothing beside Out.
void ExpectFault(
    const TScene& S, const std::string& Out, int64_t PartSize, const std::vector<std::string>& Texts,
    int Complete, const std::function<void(THandle&)>& Interfere = [](THandle&) {}, bool SourceKept = true) {
    const auto source = ListTree(S.Source());
    std::optional<std::vector<std::string>> outside;
    THandle held(nullptr, &CloseHandle);
    TScriptedHooks hooks;
    hooks.OnMessage = [&](const TMessageRecord&) {
        if (!outside) {
            Interfere(held);
            outside = ListOutside(S.Tmp.Path());
        }
    };
    EXPECT_EQ(RunJob(S.Join, S.Input(), Out, PartSize, &hooks), crFileError);
    held.reset();
    const auto errors = hooks.WithIcon(MB_ICONERROR);
    ASSERT_EQ(errors.size(), 1u) << hooks.Dump();
    EXPECT_NE(std::find(Texts.begin(), Texts.end(), errors[0].Text), Texts.end()) << hooks.Dump();
    ExpectKept(S, Out, PartSize, Complete);
    EXPECT_EQ(ListOutside(S.Tmp.Path()), outside) << "made again, or something created beside it";
    EXPECT_TRUE(!SourceKept || ListTree(S.Source()) == source) << "the source was touched";
}

// Y: must be a 1 MiB tmpfs that the content just overfills, Q: a read-only one; mounting them needs root.
bool DriveAsExpected(char Drive) {
    const std::string root = TestDriveRoot(Drive);
    ULARGE_INTEGER free{}, total{}, totalFree{};
    if (!GetDiskFreeSpaceExA(root.c_str(), &free, &total, &totalFree) || total.QuadPart > 2 * 1024 * 1024)
        return false;
    const bool writable = CreateDirectoryA((root + "probe").c_str(), nullptr);
    RemoveDirectoryA((root + "probe").c_str());
    return writable == (Drive == 'Y');
}

// A short write reports success with fewer bytes than asked, or none, as a nearly full disk may.
TEST(Faults, WritesFailingOrFallingShortEndWithTheirTextAndKeepEarlierFiles) {
    const std::string writeError = "Error writing to file!";
    const std::map<char, std::vector<std::string>> texts = {
        {'Y', {SystemErrorText(ERROR_DISK_FULL), writeError}},
        {'Q',
         {SystemErrorText(ERROR_ACCESS_DENIED), SystemErrorText(ERROR_WRITE_PROTECT),
          SystemErrorText(ERROR_PATH_NOT_FOUND)}}, // a join cannot make its folders either
        {0, {writeError}}};
    const struct {
        const char* Name;
        bool Join;
        int64_t PartSize;
        int Complete;          // full parts or whole restored files
        char Drive;            // the output drive, 0 for the scratch folder and short writes
        const char* ShortFile; // the end of its name
        bool Half;             // half the bytes taken, or none
    } cases[] = {
        {"full disk: data parts", false, 300000, 3, 'Y', "", false},
        {"full disk: header file", false, 262144, 4, 'Y', "", false}, // four parts of 64 pages each
        {"full disk: join", true, 300000, 2, 'Y', "", false},
        {"read-only disk: split", false, 300000, 0, 'Q', "", false},
        {"read-only disk: join", true, 300000, 0, 'Q', "", false},
        {"short write: data part, nothing", false, 300000, 1, 0, ".002", false},
        {"short write: data part, half", false, 300000, 1, 0, ".002", true},
        {"short write: header file", false, 300000, 1, 0, ".h001", false},
        {"short write: restored file, nothing", true, 300000, 1, 0, "b.bin", false},
        {"short write: restored file, half", true, 300000, 1, 0, "b.bin", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string root = c.Drive ? TestDriveRoot(c.Drive) : "";
        if (c.Drive && !DriveAsExpected(c.Drive)) {
            std::cout << c.Name << ": skipped, " << root << " is not mounted as expected (needs root)\n";
            continue;
        }
        TScene s(c.Join, c.PartSize);
        if (c.Drive == 'Y')
            ClearFolder(root);
        std::optional<TShortWrites> shortWrites;
        if (!c.Drive)
            shortWrites.emplace(c.ShortFile, c.Half);
        ExpectFault(s, c.Drive ? root : s.Tmp / "out", c.PartSize, texts.at(c.Drive), c.Complete);
        EXPECT_LT(TShortWrites::Count(), TShortWrites::Budget) << "the job kept writing";
        if (c.Drive == 'Y')
            ClearFolder(root);
    }
}

THandle HoldExclusive(const std::string& Path, DWORD Access) {
    return THandle(CreateFileA(Path.c_str(), Access, 0, nullptr, OPEN_ALWAYS, 0, nullptr), &CloseHandle);
}

TEST(Faults, OthersInterferingEndWithTheSystemsTextAndKeepEarlierFiles) {
    const struct {
        const char* Name;
        bool Join;
        DWORD Error;
        int Complete;
        std::function<void(const TTempDir&, THandle&)> Act;
    } cases[] = {
        {"split: output folder removed", false, ERROR_PATH_NOT_FOUND, 0,
         [](const TTempDir& t, THandle&) { RemoveTree(t / "out"); }},
        {"join: output folder removed", true, ERROR_PATH_NOT_FOUND, 0,
         [](const TTempDir& t, THandle&) { RemoveTree(t / "out"); }},
        {"split: part 3 held open", false, ERROR_SHARING_VIOLATION, 2,
         [](const TTempDir& t, THandle& h) {
             h = HoldExclusive(t / "out\\Docs.003", GENERIC_READ | GENERIC_WRITE);
         }},
        {"split: source file locked", false, ERROR_SHARING_VIOLATION, 0,
         [](const TTempDir& t, THandle& h) { h = HoldExclusive(t / "src\\Docs\\b.bin", GENERIC_WRITE); }},
        {"split: source file deleted", false, ERROR_FILE_NOT_FOUND, 0,
         [](const TTempDir& t, THandle&) { DeleteFileA((t / "src\\Docs\\b.bin").c_str()); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TScene s(c.Join, 300000);
        ExpectFault(
            s, s.Tmp / "out", 300000, {SystemErrorText(c.Error)}, c.Complete,
            [&](THandle& held) { c.Act(s.Tmp, held); }, c.Error != ERROR_FILE_NOT_FOUND);
    }
}

// Another program grows or shrinks b.bin once a.bin and one block of it are in the parts (through Unix,
// which Wine's share modes do not bind). The header must record exactly the bytes the parts hold, so the
// join gives b.bin back as it was copied and c.bin is not shifted.
TEST(Faults, SourceChangingDuringTheCopyIsRecordedAsCopied) {
    const struct {
        const char* Name;
        int64_t NewSize;
        size_t Copied; // b.bin is cut at its size when opened
    } cases[] = {
        {"grows", 800000, 600000},
        {"shrinks below the copied block", 50000, 99000},
        {"shrinks to 200000", 200000, 200000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TScene s(false, 0);
        const std::string b = s.Tmp / "src\\Docs\\b.bin";
        TScriptedHooks hooks;
        bool changed = false;
        hooks.OnPoll = [&](int) {
            if (changed || hooks.Progress < 1000 + 99000)
                return;
            changed = RunUnix({"/usr/bin/truncate", "-s", std::to_string(c.NewSize), WinToUnixPath(b)});
            for (int i = 0; i < 100 && FileSize(b) != c.NewSize; ++i) // start /wait may return early
                Sleep(50);
        };
        ASSERT_EQ(RunJob(false, s.Input(), s.Tmp / "parts", 100000, &hooks), crOk) << hooks.Dump();
        ASSERT_TRUE(changed);
        ASSERT_EQ(RunJob(true, s.Tmp / "parts\\Docs.001", s.Tmp / "out"), crOk);
        EXPECT_TRUE(ReadFileBytes(s.Tmp / "out\\Docs\\a.bin") == s.Files[0]);
        EXPECT_TRUE(ReadFileBytes(s.Tmp / "out\\Docs\\b.bin") == s.Files[1].substr(0, c.Copied));
        EXPECT_TRUE(ReadFileBytes(s.Tmp / "out\\Docs\\sub\\c.bin") == s.Files[2])
            << "a later file was shifted";
    }
}

using TChange = std::function<std::string(std::string)>;

TChange Replace(const std::string& From, const std::string& To) {
    return [=](std::string Bytes) { return Bytes.replace(Bytes.find(From), From.size(), To); };
}

// A join that reports success must have restored exactly; any other end has its code, keeps the files
// restored before the damage and writes nothing outside the output folder. Of the 11 parts, a.bin ends
// in the first and b.bin in the seventh; the header is one file.
TEST(Faults, DamagedSetsEndWithTheirCodeAndKeepWhatCameBefore) {
    const int anyFailure = -1; // no code is documented: only an inexact success is ruled out
    const std::string invalid = "Invalid headerfile!";
    const struct {
        const char* Name;
        const char* File; // of the set, damaged by Change or, without one, deleted
        TChange Change;
        int Code;        // silent; a window job cancels the dialog for a missing file and gets 11
        std::string Box; // shown by a window job
        int Complete;    // files restored whole, from the first
    } cases[] = {
        {"part cut short", "004", [](std::string b) { return b.substr(0, 900); }, crSourceNotFound,
         "File \"Docs.012\" missed!", 1},
        {"middle part longer", "002", [](std::string b) { return b + "0123456789"; }, anyFailure, "", 1},
        {"middle part missing", "003", nullptr, crSourceNotFound, "File \"Docs.003\" missed!", 1},
        {"header missing its second half", "h001", [](std::string h) { return h.substr(0, h.size() / 2); },
         crSourceNotFound, "File \"Docs.h002\" missed!", 0},
        {"size damaged", "h001", Replace("\t600000\t", "\t60a000\t"), crInvalidHeader, invalid, 0},
        {"time damaged", "h001", Replace("\t20020202020202002", "\t2002020202020x002"), crInvalidHeader,
         invalid, 0},
        {"bytes after the closing TABs", "h001", [](std::string h) { return h + "junk\t\t"; },
         crInvalidHeader, invalid, 0},
        {"wrong magic", "h001", Replace("ChKl40", "ChKl41"), crSourceNotFound, "File \"Docs.h002\" missed!",
         0},
    };
    for (const auto& c : cases) {
        for (bool silent : {true, false}) {
            SCOPED_TRACE(std::string(c.Name) + (silent ? ", silent" : ", window"));
            TScene s(true, 100000);
            const std::string file = s.Tmp / "parts\\Docs." + c.File;
            if (c.Change)
                WriteFileBytes(file, c.Change(ReadFileBytes(file)));
            else
                DeleteFileA(file.c_str());
            const auto parts = ListTree(s.Source());
            const auto outside = ListOutside(s.Tmp.Path());
            TScriptedHooks hooks;
            const int result =
                RunJob(true, s.Tmp / "parts\\Docs.002", s.Tmp / "out", 0, silent ? nullptr : &hooks);
            EXPECT_TRUE(c.Code == anyFailure ||
                        result == (silent || c.Code != crSourceNotFound ? c.Code : crCancelled))
                << result << hooks.Dump();
            EXPECT_TRUE(silent || c.Box.empty() ||
                        std::any_of(hooks.Messages.begin(), hooks.Messages.end(),
                                    [&](auto& m) { return m.Text == c.Box; }))
                << hooks.Dump();
            EXPECT_EQ(result == crOk ? CompareTrees(s.Tmp / "src", s.Tmp / "out") : "", "")
                << "inexact success";
            for (int i = 0; i < c.Complete; ++i)
                EXPECT_TRUE(ReadFileBytes(s.Tmp / "out\\Docs\\" + Names[i]) == s.Files[i]) << Names[i];
            EXPECT_TRUE(c.Complete > 0 || result == crOk || ListNames(s.Tmp / "out").empty());
            EXPECT_TRUE(ListTree(s.Source()) == parts) << "the set was touched";
            EXPECT_EQ(ListOutside(s.Tmp.Path()), outside);
        }
    }
}

// A hand-made set: Records behind the magic, and one part holding "hello".
int JoinHandMade(const TTempDir& Tmp, const std::string& Records, TScriptedHooks* Hooks) {
    BuildTree(Tmp.Path(), {{"set\\", "", {}}, {"out\\", "", {}}, {"set\\h.001", "hello", {}}});
    WriteFileBytes(Tmp / "set\\h.h001", "ChKl40" + Records + "\t\t");
    return RunJob(true, Tmp / "set\\h.001", Tmp / "out", 0, Hooks);
}

// Names that would leave the output folder, address a device or a stream, or that Windows would silently
// change: each ends with 8 and creates nothing anywhere.
TEST(Faults, HostileNamesInAHeaderEndWithInvalidHeaderAndCreateNothing) {
    // clang-format off
    const std::string names[] = {
        "..\\zz_esc", "a\\..\\..\\zz_esc", "a\\..\\b", ".\\x", "C:\\zz_esc", "C:zz_esc", "\\zz_esc",
        "\\\\server\\share\\x", "\\\\?\\C:\\zz_esc", "\\\\.\\NUL", "x:stream", "x::$DATA", "NUL", "aux .txt",
        "Com1.tar.gz", "lpt9", "CONIN$", "a\\nul\\b", "x.", "x ", "a.\\b", ".. \\x", ".", "..", "a\x01" "b",
        "a/b", "a<b", "a\"b", "a|b", "a?b", "a*b", "", "\\", "a\\\\b"};
    // clang-format on
    TTempDir tmp("hh");
    BuildTree(tmp.Path(), {{"set\\", "", {}}, {"out\\", "", {}}});
    const auto outside = ListOutside(tmp.Path());
    const auto driveRoot = ListNames("C:\\");
    for (const auto& name : names) {
        SCOPED_TRACE("\"" + name + "\"");
        TScriptedHooks hooks;
        EXPECT_EQ(JoinHandMade(tmp, "\t" + name + "\tF\t5\t20030517140309250", &hooks), crInvalidHeader);
        ASSERT_EQ(hooks.Messages.size(), 2u) << hooks.Dump(); // the join question, then the refusal
        EXPECT_EQ(hooks.Messages[1].Text, "Invalid headerfile!");
        const std::string args = "/SILENT /UNSPLIT \"" + tmp / "set\\h.001" + "\" \"" + tmp / "out" + "\"";
        EXPECT_EQ(&name - names < 3 ? RunChunkler(args) : 8u, 8u); // a few through the real program too
        EXPECT_TRUE(ListNames(tmp / "out").empty());
        EXPECT_EQ(ListNames(tmp / "set"), (std::vector<std::string>{"h.001", "h.h001"}));
        EXPECT_EQ(ListOutside(tmp.Path()), outside);
        EXPECT_FALSE(FileExists(GetParentFolder(tmp.Path()) + "\\zz_esc") || FileExists("C:\\zz_esc"));
    }
    EXPECT_EQ(ListNames("C:\\"), driveRoot);
}

// Sizes that the parts cannot hold: the join restores what is there, then misses the next part; sizes
// whose sum leaves the 64-bit range are refused before anything is created.
TEST(Faults, SizesBeyondThePartsNeverWriteMoreThanThePartsHold) {
    const std::string f = "\tF\t", t = "\t20030517140309250";
    const struct {
        std::string Records;
        TChunklerResult Code;
        int64_t Size; // of big.bin afterwards, -1 when it must not exist
    } cases[] = {
        {"\tbig.bin" + f + "1000000000000000" + t, crSourceNotFound, 5},
        {"\tbig.bin" + f + "9223372036854775808" + t, crInvalidHeader, -1},
        {"\tbig.bin" + f + "5000000000000000000" + t + "\tbig2.bin" + f + "5000000000000000000" + t,
         crInvalidHeader, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Records);
        TTempDir tmp("hz");
        EXPECT_EQ(JoinHandMade(tmp, c.Records, nullptr), c.Code);
        EXPECT_EQ(FileSize(tmp / "out\\big.bin"), c.Size);
        EXPECT_EQ(ListNames(tmp / "out").size(), c.Size < 0 ? 0u : 1u);
    }
}

} // namespace
