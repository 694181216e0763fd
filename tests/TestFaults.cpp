// Splits and joins that meet a fault: a full or read-only disk, writes that fall short, files held open
// or removed by another program, a source that changes during the copy, damaged and hostile sets.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
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

constexpr int64_t PartSize = 262144; // 64 pages: four parts of the content just fill a 1 MiB disk

// What a fault leaves in Out. A split: at least Complete full parts, together the start of the content.
// A join: the first Complete files whole, the others the start of theirs or absent.
void ExpectKept(const TScene& S, const std::string& Out, int Complete) {
    std::string parts;
    for (int n = 1; !S.Join && FileExists(Out + "\\Docs." + std::to_string(1000 + n).substr(1)); ++n)
        parts += ReadFileBytes(Out + "\\Docs." + std::to_string(1000 + n).substr(1));
    EXPECT_GE(static_cast<int64_t>(parts.size()), S.Join ? 0 : PartSize * Complete) << "earlier parts lost";
    EXPECT_TRUE((S.Files[0] + S.Files[1] + S.Files[2]).compare(0, parts.size(), parts) == 0);
    for (int i = 0; S.Join && i < 3; ++i) {
        const std::string path = Out + "\\Docs\\" + Names[i];
        const std::string got = FileExists(path) ? ReadFileBytes(path) : "";
        EXPECT_TRUE(i < Complete ? got == S.Files[i] : S.Files[i].compare(0, got.size(), got) == 0) << path;
    }
}

// Y: must be a 1 MiB tmpfs, Q: a read-only one; mounting them needs root.
bool DriveAsExpected(char Drive) {
    const std::string root = TestDriveRoot(Drive);
    ULARGE_INTEGER free{}, total{}, totalFree{};
    if (!GetDiskFreeSpaceExA(root.c_str(), &free, &total, &totalFree) || total.QuadPart > 2 * 1024 * 1024)
        return false;
    const bool writable = CreateDirectoryA((root + "probe").c_str(), nullptr);
    RemoveDirectoryA((root + "probe").c_str());
    return writable == (Drive == 'Y');
}

THandle HoldExclusive(const std::string& Path, DWORD Access) {
    return THandle(CreateFileA(Path.c_str(), Access, 0, nullptr, OPEN_ALWAYS, 0, nullptr), &CloseHandle);
}

// Every fault ends the job with 9 and one of its texts, keeps what was written before, leaves the source
// as the other program left it and creates nothing beside the output folder. Another program acts at the
// first box, the confirmation asked after the checks and the listing, and may hold a file open until the
// job ends. A short write reports success with half the bytes asked, as a nearly full disk may.
TEST(Faults, EveryFaultEndsWithItsTextAndKeepsWhatCameBefore) {
    using TAct = std::function<void(const TTempDir&, THandle&)>;
    const std::string writeError = "Error writing to file!";
    const std::vector<std::string> shortWrite{writeError},
        diskFull{SystemErrorText(ERROR_DISK_FULL), writeError}, noPath{SystemErrorText(ERROR_PATH_NOT_FOUND)},
        sharing{SystemErrorText(ERROR_SHARING_VIOLATION)}, noFile{SystemErrorText(ERROR_FILE_NOT_FOUND)},
        readOnly{SystemErrorText(ERROR_ACCESS_DENIED), SystemErrorText(ERROR_WRITE_PROTECT),
                 noPath[0]}; // a join cannot make its folders either
    const TAct removeOut = [](const TTempDir& t, THandle&) { RemoveTree(t / "out"); };
    const struct {
        const char* Name;
        bool Join;
        char Drive;            // output to the root of this drive, or to out in the scratch folder
        const char* ShortFile; // writes to files whose name holds it fall short
        TAct Act;
        std::vector<std::string> Texts;
        int Complete; // full parts or whole restored files
    } cases[] = {
        {"full disk: data parts", false, 'Y', "",
         [](const TTempDir&, THandle&) {
             WriteFileBytes(TestDriveRoot('Y') + "filler", PatternBytes(100000));
         },
         diskFull, 3},
        {"full disk: header file", false, 'Y', "", nullptr, diskFull, 4},
        {"full disk: join", true, 'Y', "", nullptr, diskFull, 2},
        {"read-only disk: split", false, 'Q', "", nullptr, readOnly, 0},
        {"read-only disk: join", true, 'Q', "", nullptr, readOnly, 0},
        {"short write: data part", false, 0, ".002", nullptr, shortWrite, 1},
        {"short write: header file", false, 0, ".h0", nullptr, shortWrite, 4},
        {"short write: restored file", true, 0, "b.bin", nullptr, shortWrite, 1},
        {"split: output folder removed", false, 0, "", removeOut, noPath, 0},
        {"join: output folder removed", true, 0, "", removeOut, noPath, 0},
        {"split: part 3 held open", false, 0, "",
         [](const TTempDir& t, THandle& h) {
             h = HoldExclusive(t / "out\\Docs.003", GENERIC_READ | GENERIC_WRITE);
         },
         sharing, 2},
        {"split: source file locked", false, 0, "",
         [](const TTempDir& t, THandle& h) { h = HoldExclusive(t / "src\\Docs\\b.bin", GENERIC_WRITE); },
         sharing, 0},
        {"split: source file deleted", false, 0, "",
         [](const TTempDir& t, THandle&) { DeleteFileA((t / "src\\Docs\\b.bin").c_str()); }, noFile, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string out = c.Drive ? TestDriveRoot(c.Drive) : "";
        if (c.Drive && !DriveAsExpected(c.Drive)) {
            std::cout << c.Name << ": skipped, " << out << " is not mounted as expected (needs root)\n";
            continue;
        }
        TScene s(c.Join, PartSize);
        if (c.Drive == 'Y')
            ClearFolder(out);
        auto source = ListTree(s.Source());
        std::optional<std::vector<std::string>> outside;
        THandle held(nullptr, &CloseHandle);
        TScriptedHooks hooks;
        hooks.OnMessage = [&](const TMessageRecord&) {
            if (outside)
                return;
            if (c.Act)
                c.Act(s.Tmp, held);
            if (!held) // what the other program left, unless it holds open a file that cannot be read then
                source = ListTree(s.Source());
            outside = ListOutside(s.Tmp.Path());
        };
        std::optional<TShortWrites> shortWrites;
        if (*c.ShortFile)
            shortWrites.emplace(c.ShortFile);
        EXPECT_EQ(RunJob(c.Join, s.Input(), c.Drive ? out : s.Tmp / "out", PartSize, &hooks), crFileError);
        EXPECT_LT(TShortWrites::Count(), TShortWrites::Budget) << "the job kept writing";
        shortWrites.reset();
        held.reset();
        const auto errors = hooks.WithIcon(MB_ICONERROR);
        EXPECT_TRUE(errors.size() == 1 && std::count(c.Texts.begin(), c.Texts.end(), errors[0].Text))
            << hooks.Dump();
        ExpectKept(s, c.Drive ? out : s.Tmp / "out", c.Complete);
        EXPECT_EQ(ListOutside(s.Tmp.Path()), outside) << "made again, or something created beside it";
        EXPECT_TRUE(ListTree(s.Source()) == source) << "the source was touched";
        if (c.Drive == 'Y')
            ClearFolder(out);
    }
}

// Another program grows or shrinks b.bin once a.bin and one block of it are in the parts. The header must
// record exactly the bytes the parts hold, so the join gives b.bin back as it was copied and c.bin is not
// shifted.
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
            ResizeThroughUnix(b, c.NewSize);
            changed = true;
            for (int i = 0; i < 100 && FileSize(b) != c.NewSize; ++i) // start /wait may return early
                Sleep(50);
        };
        EXPECT_EQ(RunJob(false, s.Input(), s.Tmp / "parts", 100000, &hooks), crOk) << hooks.Dump();
        EXPECT_TRUE(changed);
        EXPECT_EQ(RunJob(true, s.Tmp / "parts\\Docs.001", s.Tmp / "out"), crOk);
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
// restored before the damage, writes no more than the parts hold and nothing outside the output folder.
// Of the 11 parts, a.bin ends in the first and b.bin in the seventh; the header is one file.
TEST(Faults, DamagedSetsEndWithTheirCodeAndKeepWhatCameBefore) {
    const int anyFailure = -1; // no code is documented: only an inexact success is ruled out
    const std::string huge = "\t5000000000000000000\t";
    const struct {
        const char* Name;
        const char* File; // of the set, damaged by Change or, without one, deleted
        TChange Change;
        int Code;
        int Complete; // files restored whole, from the first
    } cases[] = {
        {"part cut short", "004", [](std::string b) { return b.substr(0, 900); }, crSourceNotFound, 1},
        {"middle part longer", "002", [](std::string b) { return b + "0123456789"; }, anyFailure, 1},
        {"middle part missing", "003", nullptr, crSourceNotFound, 1},
        {"header missing its second half", "h001", [](std::string h) { return h.substr(0, h.size() / 2); },
         crSourceNotFound, 0},
        {"size damaged", "h001", Replace("\t600000\t", "\t60a000\t"), crInvalidHeader, 0},
        {"time damaged", "h001", Replace("\t20020202020202002", "\t2002020202020x002"), crInvalidHeader, 0},
        {"bytes after the closing TABs", "h001", [](std::string h) { return h + "junk\t\t"; },
         crInvalidHeader, 0},
        {"wrong magic", "h001", Replace("ChKl40", "ChKl41"), crSourceNotFound, 0},
        {"size larger than the parts hold", "h001", Replace("\t600000\t", "\t1000000000000000\t"),
         crSourceNotFound, 1},
        {"size beyond 64 bits", "h001", Replace("\t600000\t", "\t9223372036854775808\t"), crInvalidHeader, 0},
        {"sizes adding up beyond 64 bits", "h001",
         [&](std::string h) { return Replace("\t447576\t", huge)(Replace("\t600000\t", huge)(h)); },
         crInvalidHeader, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TScene s(true, 100000);
        const std::string file = s.Tmp / "parts\\Docs." + c.File;
        if (c.Change)
            WriteFileBytes(file, c.Change(ReadFileBytes(file)));
        else
            DeleteFileA(file.c_str());
        const auto parts = ListTree(s.Source());
        const auto outside = ListOutside(s.Tmp.Path());
        const int result = RunJob(true, s.Tmp / "parts\\Docs.002", s.Tmp / "out");
        EXPECT_TRUE(c.Code == anyFailure || result == c.Code) << result;
        EXPECT_EQ(result == crOk ? CompareTrees(s.Tmp / "src", s.Tmp / "out") : "", "") << "inexact success";
        for (int i = 0; i < c.Complete; ++i)
            EXPECT_TRUE(ReadFileBytes(s.Tmp / "out\\Docs\\" + Names[i]) == s.Files[i]) << Names[i];
        EXPECT_TRUE(c.Complete > 0 || result == crOk || ListNames(s.Tmp / "out").empty());
        int64_t restored = 0;
        for (const auto& item : ListTree(s.Tmp / "out"))
            restored += item.Size;
        EXPECT_LE(restored, 1048576) << "more restored than the parts hold";
        EXPECT_TRUE(ListTree(s.Source()) == parts) << "the set was touched";
        EXPECT_EQ(ListOutside(s.Tmp.Path()), outside);
    }
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
    BuildTree(tmp.Path(), {{"set\\", "", {}}, {"out\\", "", {}}, {"set\\h.001", "hello", {}}});
    const auto outside = ListOutside(tmp.Path());
    const auto driveRoot = ListNames("C:\\");
    for (const auto& name : names) {
        SCOPED_TRACE("\"" + name + "\"");
        TScriptedHooks hooks;
        WriteFileBytes(tmp / "set\\h.h001", "ChKl40\t" + name + "\tF\t5\t20030517140309250\t\t");
        EXPECT_EQ(RunJob(true, tmp / "set\\h.001", tmp / "out", 0, &hooks), crInvalidHeader);
        // the join question, then the refusal
        EXPECT_EQ(hooks.Messages.size() == 2 ? hooks.Messages[1].Text : hooks.Dump(), "Invalid headerfile!");
        const std::string args = "/SILENT /UNSPLIT \"" + tmp / "set\\h.001" + "\" \"" + tmp / "out" + "\"";
        EXPECT_EQ(&name - names < 3 ? RunChunkler(args) : 8u, 8u); // a few through the real program too
        EXPECT_TRUE(ListNames(tmp / "out").empty());
        EXPECT_EQ(ListNames(tmp / "set"), (std::vector<std::string>{"h.001", "h.h001"}));
        EXPECT_EQ(ListOutside(tmp.Path()), outside);
        EXPECT_FALSE(FileExists(GetParentFolder(tmp.Path()) + "\\zz_esc") || FileExists("C:\\zz_esc"));
    }
    EXPECT_EQ(ListNames("C:\\"), driveRoot);
}

} // namespace
