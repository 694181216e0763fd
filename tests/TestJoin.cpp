// Joining hand-made sets in-process: which files are asked for, what is created, and how damaged,
// incomplete or hostile sets end.
#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "engine/UnitChunkler.h"
#include "support/JoinSets.h"
#include "support/ScriptedHooks.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

const std::string TimeA = "20030517140309250", TimeEmpty = "19991231235959999", TimeB = "20240229120000001";

// Docs\a.bin spans three parts of 128000 bytes, so it is written in several blocks after it was
// created; Docs\empty.txt needs no data; Docs\Sub\b.bin comes from the last part.
struct TDocsSet {
    std::string A = PatternBytes(300000, 7), B = PatternBytes(1000, 8);
    std::vector<std::string> Records{
        HeaderRecord("Docs", 'D', 0, "20000101000000000"),  HeaderRecord("Docs\\a.bin", 'F', 300000, TimeA),
        HeaderRecord("Docs\\empty.txt", 'F', 0, TimeEmpty), HeaderRecord("Docs\\Sub", 'D', 0),
        HeaderRecord("Docs\\Sub\\b.bin", 'F', 1000, TimeB),
    };
    std::string Header() const { return HeaderText(Records); }

    std::vector<TTreeEntry> Expected() const {
        return {{"Docs\\", "", {}},
                {"Docs\\a.bin", A, MakeFileTime(2003, 5, 17, 14, 3, 9, 250)},
                {"Docs\\empty.txt", "", MakeFileTime(1999, 12, 31, 23, 59, 59, 999)},
                {"Docs\\Sub\\", "", {}},
                {"Docs\\Sub\\b.bin", B, MakeFileTime(2024, 2, 29, 12, 0, 0, 1)}};
    }
};

struct TJoinFolders {
    TTempDir Dir{"join"};
    std::string Parts = Dir / "parts", Out = Dir / "out", Want = Dir / "want";
    TScriptedHooks Hooks;

    TJoinFolders() {
        CreateDirectoryA(Parts.c_str(), nullptr);
        CreateDirectoryA(Out.c_str(), nullptr);
    }
    void WriteDocs(const TDocsSet& Set, const std::string& Header, size_t HeaderSlice = 0) {
        WriteSet(Parts, "Docs", Set.A + Set.B, 128000, Header, HeaderSlice);
        BuildTree(Want, Set.Expected());
    }
    TChunklerResult Join(const std::string& FromName, bool Silent, bool NoHeader = false) {
        TChunklerStartParams params;
        params.SourcePath = Parts + "\\" + FromName;
        params.OutputDir = Out;
        params.Unsplit = true;
        params.Silent = Silent;
        params.NoHeader = NoHeader;
        TChunkler engine(&Hooks);
        return engine.Execute(params);
    }
    // The boxes after the join question, as "icon|text".
    std::vector<std::string> Boxes() const {
        std::vector<std::string> out;
        for (const auto& m : Hooks.Messages)
            if (m.Text.rfind("The parts will be rejoined.", 0) != 0)
                out.push_back(std::to_string(m.Type) + "|" + m.Text);
        return out;
    }
};

// Extends a file with a hole: no disk space, and no TAB in the added bytes.
void GrowFile(const std::string& Path, int64_t Size) {
    HANDLE h = CreateFileA(Path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    LARGE_INTEGER pos;
    pos.QuadPart = Size;
    EXPECT_TRUE(SetFilePointerEx(h, pos, nullptr, FILE_BEGIN) && SetEndOfFile(h));
    CloseHandle(h);
}

std::string InsertBox(const std::string& Name) {
    return std::to_string(MB_ICONINFORMATION | MB_OK) + "|The file \"" + Name +
           "\" is required.\r\nPlease insert the next diskette and press OK. You can also press OK and "
           "browse "
           "for the file yourself.";
}
std::string MissedBox(const std::string& Name) {
    return std::to_string(MB_ICONWARNING | MB_OK) + "|File \"" + Name + "\" missed!";
}

} // namespace

TEST(Join, AnyFileOfTheSetRestoresFoldersFilesAndTimes) {
    const struct {
        const char* From;
        size_t HeaderSlice;
        bool Silent;
    } cases[] = {
        {"Docs.001", 0, true},   {"Docs.003", 0, false}, {"Docs.h001", 0, true},
        {"docs.H001", 0, true},  // names of the set are found whatever case the picked file has
        {"Docs.002", 50, false}, // header spread over several header files
        {"Docs.h004", 50, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.From) + (c.Silent ? " silent" : " window"));
        TJoinFolders f;
        TDocsSet set;
        f.WriteDocs(set, set.Header(), c.HeaderSlice);
        if (c.HeaderSlice) {
            ASSERT_GE(CountSetFiles(f.Parts, "Docs", "h"), 4);
        }
        EXPECT_EQ(f.Join(c.From, c.Silent), crOk) << f.Hooks.Dump();
        EXPECT_EQ(CompareTrees(f.Want, f.Out), "");
        EXPECT_TRUE(f.Boxes().empty()) << f.Hooks.Dump();
        if (!c.Silent) {
            EXPECT_EQ(f.Hooks.ProgressMaxCalls, (std::vector<int64_t>{301000, 0}));
            EXPECT_EQ(f.Hooks.Progress, 301000);
        }
    }
}

TEST(Join, MissingFilesAreAskedForOrEndTheJob) {
    const struct {
        const char* Name;
        std::vector<std::string> Remove;
        bool Silent;
        std::vector<std::optional<std::string>> Dialog; // relative to the test folder
        TChunklerResult Result;
        std::vector<std::string> Boxes;
        int64_t SizeOfA; // -1: nothing at all created
    } cases[] = {
        {"silent, part 2", {"Docs.002"}, true, {}, crSourceNotFound, {}, 128000},
        {"silent, part 1", {"Docs.001"}, true, {}, crSourceNotFound, {}, -1},
        {"silent, second header file", {"Docs.h002"}, true, {}, crSourceNotFound, {}, -1},
        {"window, part 1",
         {"Docs.001"},
         false,
         {std::nullopt},
         crCancelled,
         {InsertBox("Docs.001"), MissedBox("Docs.001")},
         -1},
        {"window, second header file",
         {"Docs.h002"},
         false,
         {},
         crCancelled,
         {InsertBox("Docs.h002"), MissedBox("Docs.h002")},
         -1},
        {"window, part 3, wrong file picked",
         {"Docs.003"},
         false,
         {"parts\\Docs.001", std::nullopt},
         crCancelled,
         {InsertBox("Docs.003"), MissedBox("Docs.003")},
         256000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TJoinFolders f;
        TDocsSet set;
        f.WriteDocs(set, set.Header(), 100);
        for (const auto& r : c.Remove)
            ASSERT_TRUE(DeleteFileA((f.Parts + "\\" + r).c_str()));
        for (const auto& d : c.Dialog)
            f.Hooks.DialogAnswers.push_back(d ? std::optional(f.Dir / *d) : d);
        EXPECT_EQ(f.Join("Docs.h001", c.Silent), c.Result);
        EXPECT_EQ(f.Boxes(), c.Boxes) << f.Hooks.Dump();
        if (c.Silent) {
            EXPECT_TRUE(f.Hooks.Messages.empty() && f.Hooks.DialogPresets.empty());
        }
        // Every dialog starts at the wanted file in the folder searched so far.
        for (const auto& preset : f.Hooks.DialogPresets)
            EXPECT_EQ(preset, f.Parts + "\\" + c.Remove[0]);
        EXPECT_EQ(f.Hooks.DialogPresets.size(), c.Silent ? 0 : std::max<size_t>(c.Dialog.size(), 1));
        if (c.SizeOfA < 0) {
            EXPECT_TRUE(ListTree(f.Out).empty());
        } else {
            EXPECT_EQ(FileSize(f.Out + "\\Docs\\a.bin"), c.SizeOfA) << "what was written stays";
        }
    }
}

TEST(Join, PartsFoundElsewhereMoveTheSearch) {
    // Browsed: after the dialog found Docs.002 in another folder, Docs.003 is taken from there too.
    // Inserted: the box's OK finds the part that was put in place meanwhile, without a dialog.
    for (bool browse : {true, false}) {
        SCOPED_TRACE(browse ? "browsed" : "inserted");
        TJoinFolders f;
        TDocsSet set;
        f.WriteDocs(set, set.Header());
        const std::string disk2 = f.Dir / "disk2";
        CreateDirectoryA(disk2.c_str(), nullptr);
        for (const char* name : {"Docs.002", "Docs.003"})
            ASSERT_TRUE(MoveFileA((f.Parts + "\\" + name).c_str(), (disk2 + "\\" + name).c_str()));
        WriteFileBytes(disk2 + "\\other.bin", "x");
        if (browse) {
            f.Hooks.DialogAnswers = {disk2 + "\\other.bin", disk2 + "\\DOCS.002"};
        } else {
            f.Hooks.OnMessage = [&](const TMessageRecord& m) {
                if (m.Text.find("insert the next diskette") == std::string::npos)
                    return;
                for (const char* name : {"Docs.002", "Docs.003"})
                    MoveFileA((disk2 + "\\" + name).c_str(), (f.Parts + "\\" + name).c_str());
            };
        }
        EXPECT_EQ(f.Join("Docs.h001", false), crOk) << f.Hooks.Dump();
        EXPECT_EQ(f.Boxes(), std::vector<std::string>{InsertBox("Docs.002")});
        EXPECT_EQ(f.Hooks.DialogPresets.size(), browse ? 2u : 0u);
        EXPECT_EQ(CompareTrees(f.Want, f.Out), "");
    }
}

TEST(Join, DamagedSetsEndWithTheirCodeAndKeepWhatWasWritten) {
    TDocsSet set;
    std::string longer = set.Header();
    longer.replace(longer.find("\t1000\t"), 6, "\t1001\t");
    std::string negative = set.Header();
    negative.replace(negative.find("\t1000\t"), 6, "\t-1000\t");
    std::string badMagic = set.Header();
    badMagic[5] = '1';
    const struct {
        const char* Name;
        std::string Header;
        std::function<void(TJoinFolders&)> Damage;
        TChunklerResult Result;
        int64_t SizeOfA, SizeOfB; // -1: missing
    } cases[] = {
        {"bytes after the closing TABs", set.Header() + "junk\t\t", nullptr, crInvalidHeader, -1, -1},
        {"bytes after the closing TABs, open end", set.Header() + "junk", nullptr, crSourceNotFound, -1, -1},
        {"other magic: never complete", badMagic, nullptr, crSourceNotFound, -1, -1},
        {"negative size", negative, nullptr, crInvalidHeader, -1, -1},
        {"header claims more than the parts hold", longer, nullptr, crSourceNotFound, 300000, 1000},
        {"parts longer than announced", set.Header(),
         [](TJoinFolders& f) {
             WriteFileBytes(f.Parts + "\\Docs.003", ReadFileBytes(f.Parts + "\\Docs.003") + "tail");
         },
         crOk, 300000, 1000},
        {"middle part longer than the first: the rest would be shifted", set.Header(),
         [](TJoinFolders& f) {
             WriteFileBytes(f.Parts + "\\Docs.002", ReadFileBytes(f.Parts + "\\Docs.002") + "tail");
         },
         crInvalidHeader, 256004, -1},
        {"truncated middle part", set.Header(),
         [](TJoinFolders& f) { WriteFileBytes(f.Parts + "\\Docs.002", PatternBytes(1000)); },
         crSourceNotFound, 174000, -1},
        {"header file far beyond any real header, never closed", "ChKl40\tx",
         [](TJoinFolders& f) { GrowFile(f.Parts + "\\Docs.h001", int64_t{300} << 20); }, crInvalidHeader, -1,
         -1},
        {"restored file exists as a folder", set.Header(),
         [](TJoinFolders& f) {
             CreateDirectoryA((f.Out + "\\Docs").c_str(), nullptr);
             CreateDirectoryA((f.Out + "\\Docs\\empty.txt").c_str(), nullptr);
         },
         crFileError, 300000, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TJoinFolders f;
        WriteSet(f.Parts, "Docs", set.A + set.B, 128000, c.Header);
        if (c.Damage)
            c.Damage(f);
        EXPECT_EQ(f.Join("Docs.001", true), c.Result);
        EXPECT_EQ(FileSize(f.Out + "\\Docs\\a.bin"), c.SizeOfA);
        EXPECT_EQ(FileSize(f.Out + "\\Docs\\Sub\\b.bin"), c.SizeOfB);
        if (c.SizeOfA == 300000) {
            EXPECT_EQ(ReadFileBytes(f.Out + "\\Docs\\a.bin"), set.A);
            const FILETIME want = set.Expected()[1].Time, got = GetLastWriteTime(f.Out + "\\Docs\\a.bin");
            EXPECT_EQ(CompareFileTime(&want, &got), 0)
                << "a file completed before the failure carries its time";
        }
        if (c.SizeOfA == -1) {
            EXPECT_TRUE(ListTree(f.Out).empty() || c.Result == crFileError);
        }
    }
}

TEST(Join, FileErrorIsShownInWindowMode) {
    TJoinFolders f;
    TDocsSet set;
    f.WriteDocs(set, set.Header());
    CreateDirectoryA((f.Out + "\\Docs").c_str(), nullptr);
    CreateDirectoryA((f.Out + "\\Docs\\a.bin").c_str(), nullptr);
    EXPECT_EQ(f.Join("Docs.001", false), crFileError);
    ASSERT_EQ(f.Boxes().size(), 1u) << f.Hooks.Dump();
    EXPECT_EQ(f.Hooks.WithIcon(MB_ICONERROR).size(), 1u);
    EXPECT_EQ(f.Hooks.Messages.back().Caption, "Join");
}

TEST(Join, RestoredFileNeverOverwritesAPartOfTheSetBeingRead) {
    // Joined into the folder of the parts, a header naming a later part would destroy it before it
    // is read.
    TJoinFolders f;
    const std::string data = PatternBytes(3000, 3);
    WriteSet(f.Parts, "x", data, 1000,
             HeaderText({HeaderRecord("x", 'F', 1000, TimeA), HeaderRecord("x.003", 'F', 2000, TimeA)}));
    const std::string part3 = ReadFileBytes(f.Parts + "\\x.003");
    f.Out = f.Parts;
    EXPECT_EQ(f.Join("x.001", true), crFileError);
    EXPECT_EQ(ReadFileBytes(f.Parts + "\\x.003"), part3);
    EXPECT_EQ(ReadFileBytes(f.Parts + "\\x"), data.substr(0, 1000));
}

TEST(Join, HostileNamesNeverReachOutsideTheOutputFolder) {
    const char* names[] = {"..\\evil.txt",
                           "Docs\\..\\..\\evil.txt",
                           "C:\\chk_evil.txt",
                           "\\\\server\\share\\evil.txt",
                           "\\chk_evil.txt",
                           "x:stream",
                           "Docs:stream",
                           "NUL",
                           "Docs\\com1",
                           "con",
                           "..",
                           "Docs/../../evil.txt",
                           ""};
    for (const char* name : names) {
        SCOPED_TRACE(name);
        TJoinFolders f;
        WriteSet(f.Parts, "Docs", "evil!", 100,
                 HeaderText({HeaderRecord("Docs", 'D', 0), HeaderRecord(name, 'F', 5, TimeA)}));
        const auto before = ListTree(f.Dir.Path());
        EXPECT_EQ(f.Join("Docs.001", true), crInvalidHeader);
        EXPECT_EQ(ListTree(f.Dir.Path()), before);
        EXPECT_FALSE(FileExists(f.Dir / "..\\evil.txt"));
        EXPECT_FALSE(FileExists("C:\\chk_evil.txt"));
    }
}

TEST(Join, NoHeaderJoinsTheNumberedParts) {
    TJoinFolders f;
    const std::string p1 = PatternBytes(1000, 1), p2 = PatternBytes(1000, 2), p3 = PatternBytes(10, 3);
    WriteFileBytes(f.Parts + "\\report.doc.001", p1);
    const FILETIME t1 = MakeFileTime(2001, 9, 9, 1, 46, 40, 123);
    SetLastWriteTime(f.Parts + "\\report.doc.001", t1);
    EXPECT_EQ(f.Join("report.doc.001", true, true), crSourceNotFound) << "one part is no set";
    EXPECT_TRUE(ListTree(f.Out).empty());

    WriteFileBytes(f.Parts + "\\report.doc.002", p2);
    WriteFileBytes(f.Parts + "\\report.doc.003", p3);
    WriteFileBytes(f.Parts + "\\report.doc.005", "not after a gap");
    EXPECT_EQ(f.Join("report.doc.002", false, true), crOk) << f.Hooks.Dump();
    EXPECT_EQ(ReadFileBytes(f.Out + "\\report.doc"), p1 + p2 + p3);
    const FILETIME got = GetLastWriteTime(f.Out + "\\report.doc");
    EXPECT_EQ(CompareFileTime(&t1, &got), 0);
    EXPECT_EQ(ListTree(f.Out).size(), 1u);
}

TEST(Join, ExistingFilesAreOverwrittenOnlyWhenAllowed) {
    const struct {
        bool Silent;
        int Answer;
        TChunklerResult Result;
        size_t Questions;
    } cases[] = {{false, IDNO, crCancelled, 1}, {false, IDYES, crOk, 1}, {true, 0, crOk, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.Silent) + " " + std::to_string(c.Answer));
        TJoinFolders f;
        TDocsSet set;
        f.WriteDocs(set, set.Header());
        BuildTree(f.Out, {{"Docs\\", "", {}}, {"Docs\\a.bin", "old a", {}}, {"Docs\\empty.txt", "old", {}}});
        f.Hooks.Answers = {IDYES, c.Answer}; // the join question, then the first overwrite question
        EXPECT_EQ(f.Join("Docs.001", c.Silent), c.Result);
        const auto boxes = f.Boxes();
        ASSERT_EQ(boxes.size(), c.Questions) << f.Hooks.Dump();
        if (c.Questions) {
            EXPECT_NE(boxes[0].find(f.Out + "\\Docs\\a.bin"), std::string::npos) << boxes[0];
            EXPECT_EQ(f.Hooks.Messages.back().Type & MB_TYPEMASK, static_cast<UINT>(MB_YESNO));
        }
        if (c.Result == crOk)
            EXPECT_EQ(CompareTrees(f.Want, f.Out), "");
        else
            EXPECT_EQ(ReadFileBytes(f.Out + "\\Docs\\a.bin"), "old a");
    }
}

TEST(Join, InterruptionsKeepWhatWasWritten) {
    // Escape at the first block, and a part taken away while an earlier one is read.
    for (bool escape : {true, false}) {
        SCOPED_TRACE(escape ? "escape" : "part deleted");
        TJoinFolders f;
        TDocsSet set;
        f.WriteDocs(set, set.Header());
        if (escape)
            f.Hooks.CancelAtPoll = 1;
        else
            f.Hooks.OnPoll = [&](int Poll) {
                if (Poll == 1)
                    DeleteFileA((f.Parts + "\\Docs.002").c_str());
            };
        EXPECT_EQ(f.Join("Docs.001", false), crCancelled);
        EXPECT_EQ(FileSize(f.Out + "\\Docs\\a.bin"), 128000);
        EXPECT_EQ(f.Boxes().size(), escape ? 0u : 2u) << f.Hooks.Dump();
    }
}

TEST(Join, FullOutputDiskEndsWithTheSystemsText) {
    const std::string root = TestDriveRoot('X');
    if (GetDriveTypeA(root.c_str()) != DRIVE_FIXED ||
        GetDiskFreeSpaceExA(root.c_str(), nullptr, nullptr, nullptr) == 0)
        GTEST_SKIP() << "X: is not mounted (needs root)";
    ClearFolder(root);
    TJoinFolders f;
    const std::string data = PatternBytes(3 << 20, 5);
    WriteSet(f.Parts, "fill", data, 1 << 20, HeaderText({HeaderRecord("fill", 'F', 3 << 20, TimeA)}));
    TChunklerStartParams params;
    params.SourcePath = f.Parts + "\\fill.001";
    params.OutputDir = root;
    params.Unsplit = true;
    TChunkler engine(&f.Hooks);
    EXPECT_EQ(engine.Execute(params), crFileError);
    const auto errors = f.Hooks.WithIcon(MB_ICONERROR);
    ASSERT_EQ(errors.size(), 1u) << f.Hooks.Dump();
    EXPECT_TRUE(errors[0].Text == "Disk full.\r\n" || errors[0].Text == "Error writing to file!")
        << errors[0].Text;
    EXPECT_GT(FileSize(root + "fill"), 0) << "what was written stays";
    ClearFolder(root);
}
