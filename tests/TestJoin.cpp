// Joining hand-made sets in-process: which files are asked for, what is created, and how damaged,
// incomplete or hostile sets end.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>

#include "engine/UnitChunkler.h"
#include "support/ScriptedHooks.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

std::string Record(const std::string& Name, char Kind, int64_t Size,
                   const std::string& Time = "20030517140309250") {
    return "\t" + Name + "\t" + Kind + "\t" + std::to_string(Size) + "\t" + Time;
}

// Docs\a.bin spans the three parts, Docs\empty.txt needs no data, Docs\Sub\b.bin comes from the last.
const std::string DocsHeader = "ChKl40" + Record("Docs", 'D', 0) + Record("Docs\\a.bin", 'F', 300000) +
                               Record("Docs\\empty.txt", 'F', 0, "19991231235959999") +
                               Record("Docs\\Sub", 'D', 0) +
                               Record("Docs\\Sub\\b.bin", 'F', 1000, "20240229120000001") + "\t\t";

std::vector<TTreeEntry> DocsTree() {
    return {{"Docs\\", "", {}},
            {"Docs\\a.bin", PatternBytes(300000, 7), MakeFileTime(2003, 5, 17, 14, 3, 9, 250)},
            {"Docs\\empty.txt", "", MakeFileTime(1999, 12, 31, 23, 59, 59, 999)},
            {"Docs\\Sub\\", "", {}},
            {"Docs\\Sub\\b.bin", PatternBytes(1000, 8), MakeFileTime(2024, 2, 29, 12, 0, 0, 1)}};
}

// A set named Docs: Data in parts of 128000 bytes, Header in header files of 100 bytes.
struct TJoin {
    TTempDir Dir{"join"};
    std::string Parts = Dir / "parts", Out = Dir / "out";
    TScriptedHooks Hooks;

    explicit TJoin(const std::string& Header = DocsHeader,
                   const std::string& Data = PatternBytes(300000, 7) + PatternBytes(1000, 8)) {
        CreateDirectoryA(Parts.c_str(), nullptr);
        CreateDirectoryA(Out.c_str(), nullptr);
        for (size_t pos = 0; pos < Data.size(); pos += 128000)
            WriteFileBytes(Part(static_cast<int>(pos / 128000) + 1), Data.substr(pos, 128000));
        for (size_t pos = 0; pos < Header.size(); pos += 100)
            WriteFileBytes(Part(static_cast<int>(pos / 100) + 1, "h"), Header.substr(pos, 100));
    }
    std::string Part(int Number, const std::string& Infix = "") const {
        return Parts + "\\Docs." + Infix + std::to_string(1000 + Number).substr(1);
    }
    TChunklerResult Run(const std::string& From, bool Silent, bool NoHeader = false) {
        TChunklerStartParams params{
            .SourcePath = From, .OutputDir = Out, .Silent = Silent, .Unsplit = true, .NoHeader = NoHeader};
        return TChunkler(&Hooks).Execute(params);
    }
    // The texts of the boxes after the join question.
    std::vector<std::string> Boxes() const {
        std::vector<std::string> out;
        for (const auto& m : Hooks.Messages)
            if (!m.Text.starts_with("The parts will be rejoined."))
                out.push_back(m.Text);
        return out;
    }
};

} // namespace

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
        const auto boxes = f.Boxes();
        ASSERT_EQ(boxes.size(), silent ? 0u : 2u) << f.Hooks.Dump();
        const std::string name = "\"Docs.00" + std::to_string(c.Missing) + "\"";
        if (!silent) {
            EXPECT_TRUE(boxes[0].starts_with("The file " + name + " is required.")) << boxes[0];
            EXPECT_EQ(boxes[1], "File " + name + " missed!");
        }
        EXPECT_EQ(f.Hooks.DialogPresets.size(), c.Dialog.size());
        EXPECT_EQ(FileSize(f.Out + "\\Docs\\a.bin"), c.SizeOfA) << "what was written stays";
        if (c.SizeOfA < 0) {
            EXPECT_TRUE(ListTree(f.Out).empty());
        }
    }
}

TEST(Join, DamagedSetsEndWithTheirCodeAndKeepWhatWasWritten) {
    const auto cut = [](int Number, size_t Size) {
        return
            [=](TJoin& f) { WriteFileBytes(f.Part(Number), ReadFileBytes(f.Part(Number)).substr(0, Size)); };
    };
    const struct {
        const char* Name;
        std::function<void(TJoin&)> Damage;
        TChunklerResult Result;   // window mode, a dialog for a missing file cancelled
        int64_t SizeOfA, SizeOfB; // -1: missing
        std::string Header = DocsHeader;
    } cases[] = {
        {"middle part cut short", cut(2, 1000), crCancelled, 174000, -1},
        {"last part cut short", cut(3, 44500), crCancelled, 300000, 500},
        {"part deleted mid-join",
         [](TJoin& f) {
             f.Hooks.OnPoll = [&f](int Poll) {
                 if (Poll == 1)
                     DeleteFileA(f.Part(2).c_str());
             };
         },
         crCancelled, 128000, -1},
        {"escape", [](TJoin& f) { f.Hooks.CancelAtPoll = 1; }, crCancelled, 128000, -1},
        {"header cut short", [](TJoin& f) { DeleteFileA(f.Part(2, "h").c_str()); }, crCancelled, -1, -1},
        {"bytes after the closing TABs", nullptr, crInvalidHeader, -1, -1, DocsHeader + "junk\t\t"},
        // Reading all of it would shift every later byte.
        {"middle part longer than the first",
         [](TJoin& f) { WriteFileBytes(f.Part(2), ReadFileBytes(f.Part(2)) + "tail"); }, crInvalidHeader,
         256004, -1},
        {"restored file would overwrite a part still to be read", [](TJoin& f) { f.Out = f.Parts; },
         crFileError, -1, -1, "ChKl40" + Record("Docs.003", 'F', 301000) + "\t\t"},
    };
    const auto docs = DocsTree();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TJoin f(c.Header);
        if (c.Damage)
            c.Damage(f);
        const auto partsBefore = ListTree(f.Parts);
        EXPECT_EQ(f.Run(f.Part(1), false), c.Result) << f.Hooks.Dump();
        EXPECT_EQ(FileSize(f.Out + "\\Docs\\a.bin"), c.SizeOfA);
        EXPECT_EQ(FileSize(f.Out + "\\Docs\\Sub\\b.bin"), c.SizeOfB);
        if (c.SizeOfA == 300000) {
            const FILETIME got = GetLastWriteTime(f.Out + "\\Docs\\a.bin");
            EXPECT_EQ(ReadFileBytes(f.Out + "\\Docs\\a.bin"), docs[1].Content);
            EXPECT_EQ(CompareFileTime(&docs[1].Time, &got), 0)
                << "a file completed before the failure has its time";
        }
        if (c.SizeOfA < 0) {
            EXPECT_FALSE(FolderExists(f.Out + "\\Docs"));
        }
        for (const auto& item : ListTree(f.Parts))
            EXPECT_NE(std::ranges::find(partsBefore, item), partsBefore.end()) << item.Name << " was written";
    }
}

TEST(Join, HostileNamesEndWithInvalidHeaderAndCreateNothing) {
    for (const char* name :
         {"..\\evil.txt", "C:\\chk_evil.txt", "\\\\server\\share\\evil.txt", "x:stream", "NUL"}) {
        SCOPED_TRACE(name);
        TJoin f("ChKl40" + Record("Docs", 'D', 0) + Record(name, 'F', 5) + "\t\t", "evil!");
        const auto before = ListTree(f.Dir.Path());
        EXPECT_EQ(RunChunkler("/SILENT /UNSPLIT \"" + f.Part(1) + "\" \"" + f.Out + "\""), 8u);
        EXPECT_EQ(ListTree(f.Dir.Path()), before);
        EXPECT_FALSE(FileExists(f.Dir / "..\\evil.txt") || FileExists("C:\\chk_evil.txt"));
    }
}

TEST(Join, NoHeaderJoinsTheNumberedPartsIntoOneFile) {
    TJoin single("", PatternBytes(1000));
    EXPECT_EQ(single.Run(single.Part(1), true, true), crSourceNotFound) << "one part is no set";
    EXPECT_TRUE(ListTree(single.Out).empty());

    const std::string data = PatternBytes(300000, 3);
    TJoin f("", data);
    WriteFileBytes(f.Part(5), "not after a gap");
    const FILETIME first = MakeFileTime(2001, 9, 9, 1, 46, 40, 123);
    SetLastWriteTime(f.Part(1), first);
    EXPECT_EQ(f.Run(f.Part(2), false, true), crOk) << f.Hooks.Dump();
    EXPECT_EQ(ReadFileBytes(f.Out + "\\Docs"), data);
    const FILETIME got = GetLastWriteTime(f.Out + "\\Docs");
    EXPECT_EQ(CompareFileTime(&first, &got), 0);
    EXPECT_EQ(ListTree(f.Out).size(), 1u);
}

TEST(Join, ExistingFilesAreOverwrittenOnlyWhenAllowed) {
    for (bool silent : {false, true}) {
        SCOPED_TRACE(silent ? "silent" : "window, answered No");
        TJoin f;
        BuildTree(f.Out, {{"Docs\\", "", {}}, {"Docs\\a.bin", "old a", {}}, {"Docs\\empty.txt", "old", {}}});
        f.Hooks.Answers = {IDYES, IDNO}; // the join question, then the first overwrite question
        EXPECT_EQ(f.Run(f.Part(1), silent), silent ? crOk : crCancelled);
        const auto boxes = f.Boxes();
        ASSERT_EQ(boxes.size(), silent ? 0u : 1u) << f.Hooks.Dump();
        if (silent) {
            const TTempDir want("want");
            BuildTree(want.Path(), DocsTree());
            EXPECT_EQ(CompareTrees(want.Path(), f.Out), "");
        } else {
            EXPECT_NE(boxes[0].find(f.Out + "\\Docs\\a.bin"), std::string::npos) << boxes[0];
            EXPECT_EQ(ReadFileBytes(f.Out + "\\Docs\\a.bin"), "old a");
        }
    }
}
