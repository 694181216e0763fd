// Joins of missing, damaged and hostile sets over existing files; random trees that must come back exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <random>

#include "support/UnitCopyBlock.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

// Docs\a.bin spans the three parts, Docs\empty.txt needs no data, Docs\Sub\b.bin comes from the last.
const std::string DocsHeader = "ChKl40" + Record("Docs", "D", "0") + Record("Docs\\a.bin", "F", "300000") +
                               Record("Docs\\empty.txt", "F", "0") + Record("Docs\\Sub", "D", "0") +
                               Record("Docs\\Sub\\b.bin", "F", "1000", "20240229120000001") + "\t\t";
const std::string A = PatternBytes(300000, 7), B = PatternBytes(1000, 8);

// A set named Docs in Dir\parts: Data in parts of 128000 bytes, Header in header files of 100 bytes.
struct TJoin {
    TTempDir Dir;
    std::string Parts = Dir / "parts", Out = Dir / "out";
    TScriptedHooks Hooks;

    explicit TJoin(const std::string& Header, const std::string& Data = A + B) {
        BuildTree(Dir.Path(), {{"parts\\", ""}, {"out\\", ""}});
        for (const auto& [bytes, size, infix] : {std::tuple{Data, 128000, ""}, {Header, 100, "h"}})
            for (size_t pos = 0; pos < bytes.size(); pos += size)
                WriteFileBytes(Part(int(pos / size) + 1, infix), bytes.substr(pos, size));
    }
    std::string Part(int Number, const std::string& Infix = "") const {
        return Parts + "\\Docs." + Infix + std::to_string(1000 + Number).substr(1);
    }
    // The job, and the box of its result, as the window shows it.
    TChunklerResult Run(bool Silent, bool NoHeader = false) {
        TChunklerStartParams p{
            .SourcePath = Part(1, NoHeader ? "" : "h"), .OutputDir = Out, .Silent = Silent};
        p.Unsplit = true, p.NoHeader = NoHeader;
        TChunkler engine(&Hooks);
        const TChunklerResult result = engine.Execute(p);
        engine.ShowResult(result);
        return result;
    }
    // "restored" when File holds Content and the time of the header, "missing", or what it holds.
    std::string State(const std::string& File, const std::string& Content, const FILETIME& Time) const {
        const std::string bytes = ReadFileBytes(Out + "\\Docs\\" + File);
        return bytes == Content && GetLastWriteTime(Out + "\\Docs\\" + File) == Time ? "restored" : bytes;
    }
};

using TSetup = std::function<void(TJoin&)>;
TSetup Change(int Number, const char* Infix, std::function<std::string(std::string)> Fn) {
    return [=](TJoin& f) { WriteFileBytes(f.Part(Number, Infix), Fn(ReadFileBytes(f.Part(Number, Infix)))); };
}
TSetup Delete(int Number, std::vector<std::string> Dialog = {}) {
    return [=](TJoin& f) {
        DeleteFileA(f.Part(Number).c_str());
        for (const auto& d : Dialog)
            f.Hooks.DialogAnswers.push_back(d.empty() ? d : f.Parts + "\\" + d);
    };
}
TSetup Both(TSetup First, TSetup Second) {
    return [=](TJoin& f) { First(f), Second(f); };
}
// Fn applied to every recovery file of the set.
TSetup EachPar2(std::function<std::string(std::string)> Fn) {
    return [=](TJoin& f) {
        for (const auto& name : ListNames(f.Parts))
            if (name.ends_with(".par2"))
                WriteFileBytes(f.Parts + "\\" + name, Fn(ReadFileBytes(f.Parts + "\\" + name)));
    };
}

} // namespace

// A failing join keeps the files completed before and those it was to replace, leaves nothing half-made. A
// window asks for a missing part, then to pick it (only its name will do); every part but the last is full.
TEST(Join, MissingDamagedAndExistingFiles) {
    // The user's own files; one stands under the temporary name of a.bin.
    const TSetup existing = [](TJoin& f) {
        // clang-format off
        BuildTree(f.Out, {{"Docs\\", ""}, {"Docs\\a.bin", "old a"}, {"Docs\\empty.txt", "old"}, {"Docs\\a.bin.~chunkler", "mine"}});
        // clang-format on
        f.Hooks.Answers = {IDYES, IDNO}; // the join question, then the first overwrite question
    };
    // Output folders whose files have full paths of 255 characters: with ".~chunkler" they would not fit.
    const TSetup longPath = [&](TJoin& f) {
        f.Out = f.Dir / std::string(255 - f.Dir.Path().size() - 1 - std::string("\\Docs\\a.bin").size(), 'o');
        BuildTree(f.Out, {{"Docs\\", ""}, {"Docs\\a.bin", "old a"}, {"Docs\\a.bi~", "mine"}}); // so "a.~2~"
    };
    const auto cut = [](size_t Size) { return [=](std::string b) { return b.substr(0, Size); }; };
    const auto flip = [](size_t At) { return [=](std::string b) { return b[At] ^= 0x20, b; }; };
    std::string tooLarge = DocsHeader, sizedFolder = DocsHeader;
    tooLarge.replace(tooLarge.find("\t300000\t"), 8, "\t1000000\t");
    sizedFolder.replace(sizedFolder.find("\tD\t0\t"), 5, "\tD\t4096\t");
    struct {
        const char* Name;
        TSetup Setup;
        bool Silent;
        TChunklerResult Result;
        const char *A, *B; // a.bin and b.bin afterwards: "restored", "<missing>" or what they hold
        bool Docs;         // the folder Docs was made
        std::vector<std::string> Boxes; // every box, the result's among them
        std::string Header = DocsHeader;
        const char* Par2 = ""; // recovery files made by par2cmdline with these options before Setup
    } cases[] = {
        // clang-format off
        {.Name = "silent: part 2 missing", .Setup = Delete(2), .Silent = true, .Result = crSourceNotFound,
         .A = "<missing>", .B = "<missing>", .Docs = true, .Boxes = {}},
        {.Name = "part 1 missing, dialog cancelled", .Setup = Delete(1, {""}), .Silent = false,
         .Result = crCancelled, .A = "<missing>", .B = "<missing>", .Docs = false,
         .Boxes = text::Missing("Docs.001")},
        {.Name = "part 3 missing, another file picked", .Setup = Delete(3, {"Docs.001", ""}), .Silent = false,
         .Result = crCancelled, .A = "<missing>", .B = "<missing>", .Docs = true,
         .Boxes = text::Missing("Docs.003")},
        {.Name = "part 3 missing, found in another folder",
         .Setup = Both(Delete(3, {"..\\elsewhere\\Docs.003"}), [](TJoin& f) {
             BuildTree(f.Dir / "elsewhere", {{"Docs.003", (A + B).substr(256000)}}); }),
         .Silent = false, .Result = crOk, .A = "restored", .B = "restored", .Docs = true,
         .Boxes = {text::AskJoin, text::Missing("Docs.003")[1]}},
        {.Name = "silent: existing files replaced", .Setup = existing, .Silent = true, .Result = crOk,
         .A = "restored", .B = "restored", .Docs = true, .Boxes = {}},
        {.Name = "silent: existing files kept by a failed join", .Setup = Both(existing, Delete(2)), .Silent = true,
         .Result = crSourceNotFound, .A = "old a", .B = "<missing>", .Docs = true, .Boxes = {}},
        {.Name = "a file where a folder must go", .Setup = [](TJoin& f) { WriteFileBytes(f.Out + "\\Docs", "x"); },
         .Silent = true, .Result = crFileError, .A = "<missing>", .B = "<missing>", .Docs = false, .Boxes = {}},
        {.Name = "existing file kept", .Setup = existing, .Silent = false, .Result = crCancelled, .A = "old a",
         .B = "<missing>", .Docs = true, .Boxes = {text::AskJoin, text::Overwrite("<out>\\Docs\\a.bin")}},
        {.Name = "silent: a byte lost inside a middle part replaces nothing",
         .Setup = Both(existing, Change(2, "", [](std::string b) { return b.erase(500, 1); })), .Silent = true,
         .Result = crInvalidHeader, .A = "old a", .B = "<missing>", .Docs = true, .Boxes = {}},
        {.Name = "part 1 a byte short is named before its bytes are used",
         .Setup = Both(existing, Change(1, "", cut(127999))), .Silent = false, .Result = crInvalidHeader,
         .A = "old a", .B = "<missing>", .Docs = true, .Boxes = {text::AskJoin, text::WrongSize("Docs.001")}},
        {.Name = "last part cut short", .Setup = Change(3, "", cut(44500)), .Silent = false,
         .Result = crInvalidHeader, .A = "<missing>", .B = "<missing>", .Docs = true,
         .Boxes = {text::AskJoin, text::WrongSize("Docs.003")}},
        {.Name = "escape", .Setup = [](TJoin& f) { f.Hooks.CancelAtPoll = 1; }, .Silent = false,
         .Result = crCancelled, .A = "<missing>", .B = "<missing>", .Docs = true, .Boxes = {text::AskJoin}},
        {.Name = "wrong magic", .Setup = Change(1, "h", [](std::string h) { return "ChKl41" + h.substr(6); }),
         .Silent = false, .Result = crCancelled, .A = "<missing>", .B = "<missing>", .Docs = false,
         .Boxes = text::Missing("Docs.h003")},
        {.Name = "bytes after the closing TABs", .Setup = nullptr, .Silent = false, .Result = crInvalidHeader,
         .A = "<missing>", .B = "<missing>", .Docs = false,
         .Boxes = {text::AskJoin, text::InvalidHeader}, .Header = DocsHeader + "junk\t\t"},
        {.Name = "size larger than the parts hold", .Setup = nullptr, .Silent = true, .Result = crInvalidHeader,
         .A = "<missing>", .B = "<missing>", .Docs = true, .Boxes = {}, .Header = tooLarge},
        {.Name = "middle part longer than the first",
         .Setup = Change(2, "", [](std::string b) { return b + "tail"; }), .Silent = true, .Result = crInvalidHeader,
         .A = "<missing>", .B = "<missing>", .Docs = true, .Boxes = {}},
        {.Name = "a folder's size means nothing", .Setup = nullptr, .Silent = true, .Result = crOk, .A = "restored",
         .B = "restored", .Docs = true, .Boxes = {}, .Header = sizedFolder},
        {.Name = "silent: a path of 255 characters replaces a file", .Setup = longPath, .Silent = true,
         .Result = crOk, .A = "restored", .B = "restored", .Docs = true, .Boxes = {}},
        {.Name = "recovery files: part 2 missing is rebuilt without asking", .Setup = Delete(2), .Silent = false,
         .Result = crOk, .A = "restored", .B = "restored", .Docs = true, .Boxes = {text::AskJoin},
         .Par2 = "-s4096 -c40"},
        {.Name = "recovery files: part 3 cut and a header file gone",
         .Setup = Both(Change(3, "", cut(100)), [](TJoin& f) { DeleteFileA(f.Part(2, "h").c_str()); }),
         .Silent = true, .Result = crOk, .A = "restored", .B = "restored", .Docs = true, .Boxes = {},
         .Par2 = "-s100000 -c4"},
        {.Name = "recovery files: a changed byte of part 1", .Setup = Change(1, "", flip(7)), .Silent = true,
         .Result = crOk, .A = "restored", .B = "restored", .Docs = true, .Boxes = {}, .Par2 = "-s4096 -c1"},
        {.Name = "too few recovery files: a missing part is asked for", .Setup = Both(Delete(2, {""}), Delete(3)),
         .Silent = false, .Result = crCancelled, .A = "<missing>", .B = "<missing>", .Docs = true,
         .Boxes = text::Missing("Docs.002"), .Par2 = "-s100000 -c1"},
        {.Name = "too few recovery files: a changed byte is named",
         .Setup = Both(Change(1, "", flip(7)), Change(2, "", flip(7))), .Silent = false, .Result = crChecksumError,
         .A = "<missing>", .B = "<missing>", .Docs = false, .Boxes = {text::AskJoin, text::Damaged("Docs.001")},
         .Par2 = "-s100000 -c1"},
        {.Name = "garbled recovery files: an intact set joins",
         .Setup = EachPar2([](std::string b) { for (size_t i = 0; i < b.size(); i += 97) { b[i] ^= 1; } return b; }),
         .Silent = true, .Result = crOk, .A = "restored", .B = "restored", .Docs = true, .Boxes = {},
         .Par2 = "-s4096 -c10"},
        {.Name = "cut recovery files: a missing part as without them",
         .Setup = Both(Delete(2), EachPar2([](std::string b) { return b.substr(0, b.size() / 2); })), .Silent = true,
         .Result = crSourceNotFound, .A = "<missing>", .B = "<missing>", .Docs = true, .Boxes = {},
         .Par2 = "-s4096 -c40"},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TJoin f(c.Header);
        ASSERT_EQ(*c.Par2 ? RunUnixShell("cd " + UnixPath(f.Parts) + " && par2 create -q -q " + c.Par2 +
                                         " Docs.par2 Docs.0* Docs.h* >/dev/null")
                          : 0u,
                  0u);
        if (c.Setup)
            c.Setup(f);
        const auto parts = ListTree(f.Parts);
        EXPECT_EQ(f.Run(c.Silent), c.Result);
        EXPECT_EQ(f.Hooks.Texts(f.Out), c.Boxes);
        EXPECT_EQ(f.State("a.bin", A, MakeFileTime(2003, 5, 17, 14, 3, 9, 250)), c.A);
        EXPECT_EQ(f.State("Sub\\b.bin", B, MakeFileTime(2024, 2, 29, 12, 0, 0, 1)), c.B);
        EXPECT_EQ(FileExists(f.Out + "\\Docs", true), c.Docs);
        EXPECT_EQ(ListTree(f.Parts), parts) << "the set was touched";
        for (const auto& name : ListNames(f.Out + "\\Docs")) // no half-restored file stays
            EXPECT_TRUE(name.find('~') == std::string::npos ||
                        ReadFileBytes(f.Out + "\\Docs\\" + name) == "mine")
                << name;
    }
    // A restored file that would overwrite a part still to be read is refused; nothing is made.
    TJoin f("ChKl40" + Record("Docs.003", "F", "301000") + "\t\t");
    const auto parts = ListTree(f.Parts);
    f.Out = f.Parts;
    EXPECT_EQ(f.Run(false), crFileError);
    EXPECT_EQ(f.Hooks.Texts(f.Out),
              (std::vector<std::string>{text::AskJoin, "\"<out>\\Docs.003\" would overwrite a "
                                                       "file of the set that is still to be read. Please "
                                                       "join into another folder!"}));
    EXPECT_EQ(ListTree(f.Parts), parts);
}

// Names that would leave the output folder, address a device or a stream, or that Windows would silently
// change: each ends with 8 and creates nothing anywhere.
TEST(Join, HostileNamesEndWithInvalidHeaderAndCreateNothing) {
    // clang-format off
    const std::string names[] = {
        "..\\zz_esc", "C:\\zz_esc", "a\\..\\..\\zz_esc", "a\\..\\b", ".\\x", "a\\.\\b", "C:zz_esc", "\\zz_esc",
        "\\\\server\\share\\x", "\\\\?\\C:\\zz_esc", "\\\\.\\NUL", "x:stream", "x::$DATA", "NUL", "aux .txt",
        "Com1.tar.gz", "lpt9", "COM0", "CONIN$", "conout$.log", "a\\nul\\b", "dir\\LpT1\\f", "com\xB9", "x.", "x ",
        "a.\\b", "a \\b", ".. \\x", ".", "..", "a\x01" "b", "a/b", "a<b", "a>b", "a\"b", "a|b", "a?b", "a*b", "",
        "\\", "a\\\\b"};
    // clang-format on
    TTempDir tmp;
    BuildTree(tmp.Path(), {{"set\\", ""}, {"out\\", ""}, {"set\\h.001", "hello"}});
    const auto driveRoot = ListNames("C:\\");
    for (const auto& name : names) {
        SCOPED_TRACE("\"" + name + "\"");
        WriteFileBytes(tmp / "set\\h.h001", "ChKl40\t" + name + "\tF\t5\t20030517140309250\t\t");
        TScriptedHooks hooks;
        EXPECT_EQ(RunJob(true, tmp / "set\\h.001", tmp / "out", 0, &hooks), crInvalidHeader);
        EXPECT_EQ(hooks.Texts(), (std::vector{text::AskJoin, text::InvalidHeader}));
        EXPECT_TRUE(ListNames(tmp / "out").empty());
        EXPECT_EQ(ListNames(tmp / "set"), (std::vector<std::string>{"h.001", "h.h001"}));
    }
    EXPECT_FALSE(FileExists(tmp / "..\\zz_esc") || FileExists(tmp / "zz_esc"));
    EXPECT_EQ(ListNames("C:\\"), driveRoot);
}

// Without header files the numbered parts up to the last one are one file, with the first part's time. A gap
// before the last part (nothing, or a folder of a part's name) is a missing part.
TEST(Join, NoHeaderJoinsTheNumberedPartsIntoOneFile) {
    const struct {
        const char* Name;
        TSetup Setup;
        bool Silent;
        TChunklerResult Result;
        std::vector<std::string> Boxes;
    } cases[] = {
        // clang-format off
        {"one part is no set", Both(Delete(2), Delete(3)), true, crSourceNotFound, {}},
        {"a folder of a part's name after the last part", [](TJoin& f) { BuildTree(f.Parts, {{"Docs.004\\", ""}}); },
         false, crOk, {text::AskJoin}},
        {"silent: a folder of a part's name before the last is a missing part", Both(Delete(2), [](TJoin& f) {
             BuildTree(f.Parts, {{"Docs.002\\", ""}}); }), true, crSourceNotFound, {}},
        {"silent: a part missing before the last", Delete(2), true, crSourceNotFound, {}},
        {"a part missing before the last is asked for", Delete(2, {""}), false, crCancelled, text::Missing("Docs.002")},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TJoin f("", A);
        SetLastWriteTime(f.Part(1), MakeFileTime(2001, 9, 9, 1, 46, 40, 123));
        c.Setup(f);
        EXPECT_EQ(f.Run(c.Silent, true), c.Result);
        EXPECT_EQ(f.Hooks.Texts(), c.Boxes);
        EXPECT_EQ(ListNames(f.Out),
                  c.Result == crOk ? std::vector<std::string>{"Docs"} : std::vector<std::string>{});
        EXPECT_TRUE(c.Result != crOk ||
                    (ReadFileBytes(f.Out + "\\Docs") == A &&
                     GetLastWriteTime(f.Out + "\\Docs") == MakeFileTime(2001, 9, 9, 1, 46, 40, 123)));
    }
}

// A file that replaces another is flushed to the disk before the rename (a power cut must not leave an empty
// file where the good copy was); new files are not. strace counts the program's fsync calls.
TEST(Join, OnlyAReplacingFileIsFlushed) {
    if (RunUnixShell("strace -o /dev/null true") != 0)
        GTEST_SKIP() << "strace cannot trace programs here";
    TJoin f(DocsHeader);
    const auto fsyncs = [&] {
        const std::string log = UnixPath(f.Dir / "fsync.log");
        EXPECT_EQ(RunUnixShell("strace -f -qq -e trace=fsync,fdatasync -o " + log +
                               " wine \"$CHUNKLER_EXE\" " + "/SILENT /UNSPLIT '" + f.Part(1) + "' '" + f.Out +
                               "' && grep -c " + "sync " + log + " >" + UnixPath(f.Dir / "count") + "; true"),
                  0u);
        return ReadFileBytes(f.Dir / "count");
    };
    EXPECT_EQ(fsyncs(), "0\n") << "new files";
    EXPECT_EQ(fsyncs(), "3\n") << "a.bin, empty.txt and b.bin replaced";
    EXPECT_EQ(ListTree(f.Out).size(), 5u);
}

TEST(RoundTrip, RandomTreesComeBackExactly) {
    const char* seedText = std::getenv("CHUNKLER_SEED");
    const uint32_t seed = seedText ? uint32_t(std::strtoul(seedText, nullptr, 0)) : 1977;
    std::cout << "seed " << seed << " (set CHUNKLER_SEED to repeat)\n";
    std::mt19937 rng(seed);
    const auto pick = [&](int Lo, int Hi) { return std::uniform_int_distribution<int>(Lo, Hi)(rng); };
    // Blanks, dots and Windows-1252 letters inside; the number at the end keeps names apart ignoring case and
    // away from a trailing dot or blank, which Windows drops.
    int names = 0;
    const auto name = [&] {
        static const char letters[] = "abcXYZ019 _-.\xe4\xf6\xfc\xc4\xdf\xe9\xe8\xf1";
        std::string text(1, letters[pick(0, 8)]);
        for (int i = pick(0, 10); i > 0; --i)
            text += letters[pick(0, sizeof letters - 2)];
        return text + "_" + std::to_string(++names);
    };
    const int64_t partSizes[] = {
        1, 2, 7, 100, 4096, TCopyBlock::FirstSize - 1, TCopyBlock::FirstSize, TCopyBlock::FirstSize + 1};
    for (int round = 0; round < 15 && !HasFailure(); ++round) {
        const int64_t part = pick(0, 2) == 0 ? pick(1, 70000) : partSizes[pick(0, 7)];
        // At most 5 entries a folder, 3 levels deep, empty folders and files among them; sizes cluster at the
        // part and copy-block boundaries, where copy loops go wrong, and stay below 900 parts together.
        std::vector<TTreeEntry> tree{{"src\\", ""}, {"parts\\", ""}, {"out\\", ""}};
        int64_t total = 0;
        const auto addFolder = [&](auto& Self, const std::string& Folder, int Depth) -> void {
            tree.push_back({Folder + "\\", ""});
            for (int i = pick(0, 5); i > 0; --i) {
                if (Depth < 3 && pick(0, 3) == 0) {
                    Self(Self, Folder + "\\" + name(), Depth + 1);
                    continue;
                }
                const int64_t edge = pick(0, 1) ? part : TCopyBlock::FirstSize;
                int64_t size =
                    std::min<int64_t>(pick(0, 3) ? edge * pick(1, 2) + pick(-1, 1) : pick(0, 300000), 400000);
                size = total + size > 900 * part ? 0 : size;
                total += size;
                tree.push_back({Folder + "\\" + name(), PatternBytes(size_t(size), rng()),
                                MakeFileTime(pick(1981, 2037), pick(1, 12), pick(1, 28), pick(0, 23),
                                             pick(0, 59), pick(0, 59), pick(0, 999))});
            }
        };
        const std::string top = "T " + name();
        addFolder(addFolder, "src\\" + top, 0);
        TTempDir tmp;
        BuildTree(tmp.Path(), tree);
        // Half the rounds with recovery files for up to three lost files, where the parts can carry them.
        int recover = pick(0, 1) * pick(1, 3);
        TScriptedHooks hooks;
        SCOPED_TRACE("round " + std::to_string(round) + ", part size " + std::to_string(part));
        TChunklerResult result = RunJob(false, tmp / ("src\\" + top), tmp / "parts", part,
                                        pick(0, 1) ? &hooks : nullptr, nullptr, recover);
        if (result == crInvalidSize && recover > 0)
            recover = 0, result = RunJob(false, tmp / ("src\\" + top), tmp / "parts", part);
        ASSERT_EQ(result, crOk);
        // Up to that many files with content deleted, cut or changed in a byte must come back; one more may
        // end the join, but never with a wrong file kept.
        std::vector<std::string> files;
        for (const auto& file : ListNames(tmp / "parts"))
            if (!file.ends_with(".par2") && FileSize(tmp / ("parts\\" + file)) > 0)
                files.push_back(tmp / ("parts\\" + file));
        std::shuffle(files.begin(), files.end(), rng);
        const int damaged = std::min<int>(int(files.size()), recover > 0 ? pick(0, recover + 1) : 0);
        for (int d = 0; d < damaged; ++d) {
            std::string bytes = ReadFileBytes(files[d]);
            const size_t at = size_t(pick(0, int(bytes.size()) - 1));
            const int how = pick(0, 2);
            how == 0 ? (void)DeleteFileA(files[d].c_str())
                     : WriteFileBytes(files[d], how == 1 ? bytes.substr(0, at) : (bytes[at] ^= 1, bytes));
        }
        const auto left = ListNames(tmp / "parts");
        const std::string from = tmp / ("parts\\" + left[size_t(pick(0, int(left.size()) - 1))]);
        SCOPED_TRACE(std::to_string(damaged) + " of " + std::to_string(recover) + " damaged, from " + from);
        result = RunJob(true, from, tmp / "out", 0, pick(0, 1) ? &hooks : nullptr);
        const auto source = ListTree(tmp / "src"), joined = ListTree(tmp / "out");
        if (damaged <= recover || result == crOk) {
            EXPECT_EQ(result, crOk);
            EXPECT_EQ(source, joined);
        }
        for (const auto& entry : joined) // a folder's entry ends "\ time"
            EXPECT_TRUE(entry.find("\\ ") != std::string::npos ||
                        std::count(source.begin(), source.end(), entry))
                << entry;
    }
}
