// Joining hand-made sets in process: which files are asked for, what is created, and how missing,
// damaged or hostile sets end.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>

#include "support/TestSupport.h"

using namespace testsupport;

namespace {

std::string Record(const std::string& Name, char Kind, int64_t Size, const std::string& Time = "20030517140309250") {
    return "\t" + Name + "\t" + Kind + "\t" + std::to_string(Size) + "\t" + Time;
}

// Docs\a.bin spans the three parts, Docs\empty.txt needs no data, Docs\Sub\b.bin comes from the last.
const std::string DocsHeader = "ChKl40" + Record("Docs", 'D', 0) + Record("Docs\\a.bin", 'F', 300000) +
                               Record("Docs\\empty.txt", 'F', 0, "19991231235959999") + Record("Docs\\Sub", 'D', 0) +
                               Record("Docs\\Sub\\b.bin", 'F', 1000, "20240229120000001") + "\t\t";
const std::string A = PatternBytes(300000, 7), B = PatternBytes(1000, 8);

// A set named Docs in Dir\parts: Data in parts of 128000 bytes, Header in header files of 100 bytes.
struct TJoin {
    TTempDir Dir{"join"};
    std::string Parts = Dir / "parts", Out = Dir / "out";
    TScriptedHooks Hooks;

    explicit TJoin(const std::string& Header = DocsHeader, const std::string& Data = A + B) {
        BuildTree(Dir.Path(), {{"parts\\", ""}, {"out\\", ""}});
        for (size_t pos = 0; pos < Data.size(); pos += 128000)
            WriteFileBytes(Part(static_cast<int>(pos / 128000) + 1), Data.substr(pos, 128000));
        for (size_t pos = 0; pos < Header.size(); pos += 100)
            WriteFileBytes(Part(static_cast<int>(pos / 100) + 1, "h"), Header.substr(pos, 100));
    }
    std::string Part(int Number, const std::string& Infix = "") const {
        return Parts + "\\Docs." + Infix + std::to_string(1000 + Number).substr(1);
    }
    TChunklerResult Run(const std::string& From, bool Silent, bool NoHeader = false) {
        TChunklerStartParams p{.SourcePath = From, .OutputDir = Out, .Silent = Silent, .Unsplit = true, .NoHeader = NoHeader};
        return TChunkler(&Hooks).Execute(p);
    }
    // The texts of the boxes after the join question.
    std::vector<std::string> Boxes() const {
        std::vector<std::string> out = Hooks.Texts();
        std::erase_if(out, [](const std::string& t) { return t.starts_with("The parts will be rejoined."); });
        return out;
    }
};

} // namespace

// Silent, a missing part ends the job; in window mode the user is asked to insert it, then to pick it.
TEST(Join, MissingPartsAreAskedForOrEndTheJob) {
    const struct {
        int Missing;
        std::vector<std::optional<std::string>> Dialog; // window mode unless empty; nullopt cancels
        int64_t SizeOfA;                                // -1: nothing created at all
    } cases[] = {
        {2, {}, 128000},
        {1, {std::nullopt}, -1},
        {3, {"Docs.001", std::nullopt}, 256000}, // a file of another name is no part, however it was picked
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Missing);
        TJoin f;
        const bool silent = c.Dialog.empty();
        ASSERT_TRUE(DeleteFileA(f.Part(c.Missing).c_str()));
        for (const auto& d : c.Dialog)
            f.Hooks.DialogAnswers.push_back(d ? std::optional(f.Parts + "\\" + *d) : d);
        EXPECT_EQ(f.Run(f.Part(1, "h"), silent), silent ? crSourceNotFound : crCancelled);
        const std::string name = "\"Docs.00" + std::to_string(c.Missing) + "\"";
        const std::vector<std::string> boxes{"The file " + name + " is required.\r\nPlease insert the next "
                                             "diskette and press OK. You can also press OK and browse for the file "
                                             "yourself.",
                                             "File " + name + " missed!"};
        EXPECT_EQ(f.Boxes(), silent ? std::vector<std::string>{} : boxes);
        EXPECT_TRUE(f.Hooks.DialogAnswers.empty());
        EXPECT_EQ(FileSize(f.Out + "\\Docs\\a.bin"), c.SizeOfA) << "what was written stays";
        EXPECT_TRUE(c.SizeOfA >= 0 || ListNames(f.Out).empty());
    }
}

// A join that fails keeps the files completed before (with their times), writes no more than the parts
// hold, never touches the set and never restores inexactly.
TEST(Join, DamagedSetsEndWithTheirCodeAndKeepWhatWasWritten) {
    const auto change = [](int Number, const char* Infix, std::function<std::string(std::string)> Fn) {
        return [=](TJoin& f) { WriteFileBytes(f.Part(Number, Infix), Fn(ReadFileBytes(f.Part(Number, Infix)))); };
    };
    const auto header = [](std::string From, std::string To, std::string From2 = "\t1000\t", std::string To2 = "\t1000\t") {
        std::string h = DocsHeader;
        h.replace(h.find(From), From.size(), To);
        return h.replace(h.find(From2), From2.size(), To2);
    };
    const struct {
        const char* Name;
        std::function<void(TJoin&)> Damage;
        TChunklerResult Result;   // window mode; a dialog for a missing file is cancelled
        int64_t SizeOfA, SizeOfB; // -1: missing
        std::string Header = DocsHeader;
    } cases[] = {
        {"middle part cut short", change(2, "", [](std::string b) { return b.substr(0, 1000); }), crCancelled, 174000, -1},
        {"last part cut short", change(3, "", [](std::string b) { return b.substr(0, 44500); }), crCancelled, 300000, 500},
        {"part deleted mid-join", [](TJoin& f) { f.Hooks.OnPoll = [&f] { DeleteFileA(f.Part(2).c_str()); }; },
         crCancelled, 128000, -1},
        {"escape", [](TJoin& f) { f.Hooks.CancelAtPoll = 1; }, crCancelled, 128000, -1},
        {"header cut short", [](TJoin& f) { DeleteFileA(f.Part(2, "h").c_str()); }, crCancelled, -1, -1},
        {"wrong magic", change(1, "h", [](std::string h) { return "ChKl41" + h.substr(6); }), crCancelled, -1, -1},
        {"bytes after the closing TABs", nullptr, crInvalidHeader, -1, -1, DocsHeader + "junk\t\t"},
        {"size damaged", nullptr, crInvalidHeader, -1, -1, header("\t300000\t", "\t30a000\t")},
        {"time damaged", nullptr, crInvalidHeader, -1, -1, header("\t20240229120000001", "\t2024022912000x001")},
        {"sizes beyond 64 bits", nullptr, crInvalidHeader, -1, -1,
         header("\t300000\t", "\t9223372036854775000\t", "\t1000\t", "\t1000000\t")},
        {"size larger than the parts hold", nullptr, crCancelled, 301000, -1, header("\t300000\t", "\t1000000\t")},
        // Reading all of it would shift every later byte.
        {"middle part longer than the first", change(2, "", [](std::string b) { return b + "tail"; }),
         crInvalidHeader, 256004, -1},
        {"restored file would overwrite a part still to be read", [](TJoin& f) { f.Out = f.Parts; }, crFileError, -1,
         -1, "ChKl40" + Record("Docs.003", 'F', 301000) + "\t\t"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TJoin f(c.Header);
        if (c.Damage)
            c.Damage(f);
        const auto parts = ListTree(f.Parts);
        EXPECT_EQ(f.Run(f.Part(1), false), c.Result);
        EXPECT_EQ(FileSize(f.Out + "\\Docs\\a.bin"), c.SizeOfA);
        EXPECT_EQ(FileSize(f.Out + "\\Docs\\Sub\\b.bin"), c.SizeOfB);
        if (c.SizeOfA == 300000) {
            const FILETIME got = GetLastWriteTime(f.Out + "\\Docs\\a.bin"), want = MakeFileTime(2003, 5, 17, 14, 3, 9, 250);
            EXPECT_TRUE(ReadFileBytes(f.Out + "\\Docs\\a.bin") == A && CompareFileTime(&got, &want) == 0);
        }
        EXPECT_EQ(FolderExists(f.Out + "\\Docs"), c.SizeOfA >= 0);
        EXPECT_TRUE(f.Out == f.Parts || f.Hooks.OnPoll || ListTree(f.Parts) == parts) << "the set was touched";
    }
}

// Names that would leave the output folder, address a device or a stream, or that Windows would silently
// change: each ends with 8 and creates nothing anywhere, in process and (the first two) through the program.
TEST(Join, HostileNamesEndWithInvalidHeaderAndCreateNothing) {
    // clang-format off
    const std::string names[] = {
        "..\\zz_esc", "C:\\zz_esc", "a\\..\\..\\zz_esc", "a\\..\\b", ".\\x", "a\\.\\b", "C:zz_esc", "\\zz_esc",
        "\\\\server\\share\\x", "\\\\?\\C:\\zz_esc", "\\\\.\\NUL", "x:stream", "x::$DATA", "NUL", "aux .txt",
        "Com1.tar.gz", "lpt9", "COM0", "CONIN$", "conout$.log", "a\\nul\\b", "dir\\LpT1\\f", "com\xB9", "x.", "x ",
        "a.\\b", "a \\b", ".. \\x", ".", "..", "a\x01" "b", "a/b", "a<b", "a>b", "a\"b", "a|b", "a?b", "a*b", "",
        "\\", "a\\\\b"};
    // clang-format on
    TTempDir tmp("hh");
    BuildTree(tmp.Path(), {{"set\\", ""}, {"out\\", ""}, {"set\\h.001", "hello"}});
    const auto around = ListNames(GetParentFolder(tmp.Path())), driveRoot = ListNames("C:\\");
    for (const auto& name : names) {
        SCOPED_TRACE("\"" + name + "\"");
        TScriptedHooks hooks;
        WriteFileBytes(tmp / "set\\h.h001", "ChKl40\t" + name + "\tF\t5\t20030517140309250\t\t");
        EXPECT_EQ(RunJob(true, tmp / "set\\h.001", tmp / "out", 0, &hooks), crInvalidHeader);
        EXPECT_EQ(hooks.Texts().back(), "Invalid headerfile!");
        if (&name - names < 2) {
            EXPECT_EQ(RunChunkler("/SILENT /UNSPLIT \"" + tmp / "set\\h.001" + "\" \"" + tmp / "out" + "\""), 8u);
        }
        EXPECT_TRUE(ListNames(tmp / "out").empty());
        EXPECT_EQ(ListNames(tmp / "set"), (std::vector<std::string>{"h.001", "h.h001"}));
    }
    EXPECT_EQ(ListNames(GetParentFolder(tmp.Path())), around);
    EXPECT_EQ(ListNames("C:\\"), driveRoot);
}

TEST(Join, NoHeaderJoinsTheNumberedPartsIntoOneFile) {
    TJoin single("", PatternBytes(1000));
    EXPECT_EQ(single.Run(single.Part(1), true, true), crSourceNotFound) << "one part is no set";
    EXPECT_TRUE(ListNames(single.Out).empty());

    const std::string data = PatternBytes(300000, 3);
    TJoin f("", data);
    WriteFileBytes(f.Part(5), "not after a gap");
    const FILETIME first = MakeFileTime(2001, 9, 9, 1, 46, 40, 123);
    SetLastWriteTime(f.Part(1), first);
    EXPECT_EQ(f.Run(f.Part(2), false, true), crOk);
    EXPECT_EQ(ListNames(f.Out), std::vector<std::string>{"Docs"});
    EXPECT_TRUE(ReadFileBytes(f.Out + "\\Docs") == data);
    const FILETIME got = GetLastWriteTime(f.Out + "\\Docs");
    EXPECT_EQ(CompareFileTime(&first, &got), 0);
}

TEST(Join, ExistingFilesAreOverwrittenOnlyWhenAllowed) {
    for (bool silent : {false, true}) {
        SCOPED_TRACE(silent ? "silent" : "window, answered No");
        TJoin f;
        BuildTree(f.Out, {{"Docs\\", ""}, {"Docs\\a.bin", "old a"}, {"Docs\\empty.txt", "old"}});
        f.Hooks.Answers = {IDYES, IDNO}; // the join question, then the first overwrite question
        EXPECT_EQ(f.Run(f.Part(1), silent), silent ? crOk : crCancelled);
        EXPECT_EQ(f.Boxes(), silent ? std::vector<std::string>{}
                                    : std::vector<std::string>{"File \"" + f.Out + "\\Docs\\a.bin\" already exists. "
                                                                                   "Always overwrite existing files?"});
        EXPECT_TRUE(ReadFileBytes(f.Out + "\\Docs\\a.bin") == (silent ? A : "old a"));
        EXPECT_EQ(ReadFileBytes(f.Out + "\\Docs\\Sub\\b.bin") == B, silent);
    }
}
