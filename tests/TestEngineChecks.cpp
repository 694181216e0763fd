// The engine's checks before a job, its result texts, the part limit, and silent runs of the program.
#include <gtest/gtest.h>

#include <limits>

#include "engine/UnitChunkler.h"
#include "support/ScriptedHooks.h"
#include "support/TestSupport.h"
#include "support/UnitLanguage.h"

using namespace testsupport;

namespace {

// A scratch folder holding file.txt (10 bytes), folder\ and out\.
struct TScratch {
    TTempDir Dir{"chk"};
    TScratch() { BuildTree(Dir.Path(), {{"file.txt", "0123456789"}, {"folder\\", ""}, {"out\\", ""}}); }
    // Names with a drive letter stand as they are; others are below the scratch folder.
    std::string Resolve(const std::string& Name) const {
        return Name.empty() || Name.find(':') != std::string::npos ? Name : Dir / Name;
    }
};

struct TCheckCase {
    const char* Title;
    const char* Source;
    const char* Output;
    bool ForSplit;
    int64_t PartSize;
    TChunklerResult Expected;
};

} // namespace

TEST(EngineChecks, EveryCheckCodeAndTheLastFailingCheckDecides) {
    const TCheckCase cases[] = {
        {"file to folder", "file.txt", "out", true, 100, crOk},
        {"folder may be split", "folder\\\\", "out\\", true, 100, crOk},
        {"fixed drive root as output", "file.txt", "U:\\", true, 100, crOk},
        {"source missing", "missing", "out", true, 100, crSourceNotFound},
        {"empty source", "", "out", true, 100, crSourceNotFound},
        {"output missing", "file.txt", "missing", true, 100, crOutputNotFound},
        {"source and output missing", "missing", "missing", true, 100, crOutputNotFound},
        {"folder cannot be joined", "folder", "out", false, 100, crFolderNotAllowed},
        {"output is a file", "file.txt", "file.txt", true, 100, crFolderExpected},
        {"floppy output", "file.txt", "R:\\", true, 100, crRemovableOutput},
        {"cdrom output", "file.txt", "S:\\", true, 100, crRemovableOutput},
        {"size zero", "file.txt", "out", true, 0, crInvalidSize},
        {"negative size", "file.txt", "out", true, -5, crInvalidSize},
        {"source missing and size zero", "missing", "out", true, 0, crInvalidSize},
        {"join ignores the size", "file.txt", "out", false, 0, crOk},
    };
    TScratch s;
    for (const auto& c : cases) {
        TChunklerStartParams p;
        p.SourcePath = s.Resolve(c.Source);
        p.OutputDir = s.Resolve(c.Output);
        p.PartSize = c.PartSize;
        p.Silent = true;
        TChunkler engine;
        engine.Params = &p;
        EXPECT_EQ(engine.CheckParams(c.ForSplit), c.Expected) << c.Title;
        if (c.Expected == crOk) {
            EXPECT_NE(p.SourcePath.back(), '\\') << c.Title << ": " << p.SourcePath;
            EXPECT_TRUE(p.OutputDir.size() == 2 || p.OutputDir.back() != '\\')
                << c.Title << ": " << p.OutputDir;
        }
    }
}

TEST(EngineChecks, BatchFileIsRefusedForFoldersBeforeAnythingElse) {
    for (bool silent : {false, true}) {
        TScratch s;
        TScriptedHooks hooks;
        TChunklerStartParams p;
        p.SourcePath = s.Dir / "folder";
        p.OutputDir = s.Dir / "out";
        p.CreateBatch = true;
        p.Silent = silent;
        TChunkler engine(&hooks);
        EXPECT_EQ(engine.Execute(p), crOk);
        EXPECT_FALSE(p.CreateBatch);
        EXPECT_FALSE(FileExists(s.Dir / "out\\folder.bat"));
        if (silent) {
            EXPECT_TRUE(hooks.Messages.empty()) << hooks.Dump();
            continue;
        }
        ASSERT_GE(hooks.Messages.size(), 2u) << hooks.Dump();
        const auto& refusal = hooks.Messages[0];
        EXPECT_EQ(refusal.Text, MsgCatalogEn[MsgNoBatchForFolder]);
        EXPECT_EQ(refusal.Caption, "") << "shown before the job's caption is set";
        EXPECT_EQ(refusal.Type, UINT(MB_OK | MB_ICONWARNING));
        EXPECT_EQ(refusal.Owner, hooks.Owner);
        EXPECT_NE(hooks.Messages[1].Text.find("parts to create"), std::string::npos) << hooks.Dump();
    }
}

TEST(EngineChecks, ResultTextsInWindowModeOnly) {
    const struct {
        TChunklerResult Code;
        const char* Text; // nullptr: no box
    } cases[] = {
        {crOk, nullptr},
        {crSourceNotFound, "File or Directory not found!"},
        {crOutputNotFound, "File or Directory not found!"},
        {crFolderNotAllowed, MsgCatalogEn[MsgFolderNotAllowed]},
        {crFolderExpected, "Directory expected!"},
        {crRemovableOutput, MsgCatalogEn[MsgRemovableOutput]},
        {crInvalidSize, "Invalid size!"},
        {crTooManyParts, "You cannot create more than 999 parts!"},
        {crInvalidHeader, "Invalid headerfile!"},
        {crFileError, nullptr},
        {crNoBatchForFolder, MsgCatalogEn[MsgNoBatchForFolder]},
        {crCancelled, nullptr},
        {crUnknownError, "An unknown error occured!"},
        {TChunklerResult(13), nullptr},
    };
    for (const auto& c : cases) {
        for (bool silent : {false, true}) {
            TScriptedHooks hooks;
            TChunklerStartParams p;
            p.Silent = silent;
            TChunkler engine(&hooks);
            engine.Params = &p;
            engine.Caption = "Split";
            engine.ShowResult(c.Code);
            if (!c.Text || silent) {
                EXPECT_TRUE(hooks.Messages.empty()) << int(c.Code) << hooks.Dump();
                continue;
            }
            ASSERT_EQ(hooks.Messages.size(), 1u) << int(c.Code);
            EXPECT_EQ(hooks.Messages[0].Text, c.Text);
            EXPECT_EQ(hooks.Messages[0].Caption, "Split");
            EXPECT_EQ(hooks.Messages[0].Type, UINT(MB_OK | MB_ICONWARNING));
            EXPECT_EQ(hooks.Messages[0].Owner, hooks.Owner);
        }
    }
}

TEST(EngineChecks, PartCountIsTheCeilingOfTheQuotient) {
    TChunklerStartParams p;
    TChunkler engine;
    engine.Params = &p;
    for (auto [bytes, parts] :
         {std::pair<int64_t, int64_t>{0, 0}, {1, 1}, {1453568, 1}, {1453569, 2}, {3000000, 3}})
        EXPECT_EQ(engine.PartCount(bytes), parts) << bytes;
    p.PartSize = 0;
    EXPECT_EQ(engine.PartCount(100), 0) << "no division by zero";
}

// 999 parts of content pass (ending with an empty part .1000); one byte more is refused before
// anything is written; a part size whose 999-fold product leaves Int64 has no reachable limit.
TEST(EngineChecks, TheLimitOf999Parts) {
    constexpr int64_t maxSize = std::numeric_limits<int64_t>::max();
    const struct {
        size_t Bytes;
        int64_t PartSize;
        TChunklerResult Expected;
        int LastPart;
    } cases[] = {
        {999, 1, crOk, 1000},         {1000, 1, crTooManyParts, 0},     {1998, 2, crOk, 1000},
        {1999, 2, crTooManyParts, 0}, {10, maxSize / 999 + 1, crOk, 1}, {10, maxSize, crOk, 1},
    };
    for (const auto& c : cases) {
        TScratch s;
        WriteFileBytes(s.Dir / "big.bin", PatternBytes(c.Bytes));
        TChunklerStartParams p;
        p.SourcePath = s.Dir / "big.bin";
        p.OutputDir = s.Dir / "out";
        p.PartSize = c.PartSize;
        p.Silent = true;
        EXPECT_EQ(TChunkler().Execute(p), c.Expected) << c.Bytes << " at " << c.PartSize;
        if (c.LastPart == 0) {
            EXPECT_TRUE(ListTree(s.Dir / "out").empty()) << "nothing may be written";
        } else {
            EXPECT_TRUE(FileExists(s.Dir / ("out\\big.bin." + IntToStrZeroPad(c.LastPart, 3))));
            EXPECT_FALSE(FileExists(s.Dir / ("out\\big.bin." + IntToStrZeroPad(c.LastPart + 1, 3))));
        }
    }
}

TEST(EngineChecks, EmptyDriveRootIsNotFoundAndWritesNothing) {
    ClearFolder(TestDriveRoot('U'));
    TScratch s;
    TScriptedHooks hooks;
    TChunklerStartParams p;
    p.SourcePath = TestDriveRoot('U');
    p.OutputDir = s.Dir / "out";
    TChunkler engine(&hooks);
    EXPECT_EQ(engine.Execute(p), crSourceNotFound);
    EXPECT_TRUE(hooks.Messages.empty()) << "no part-count question\n" << hooks.Dump();
    EXPECT_TRUE(ListTree(s.Dir / "out").empty());
}

// Silent mode calls none of the window's operations, also where a window-mode job would ask.
TEST(EngineChecks, HooksAreSilentInSilentModeAndBalancedInWindowMode) {
    for (bool silent : {true, false}) {
        TScratch s;
        WriteFileBytes(s.Dir / "out\\file.txt.001", "old");
        TScriptedHooks hooks;
        TChunklerStartParams p;
        p.SourcePath = s.Dir / "file.txt";
        p.OutputDir = s.Dir / "out";
        p.Silent = silent;
        TChunkler engine(&hooks);
        EXPECT_EQ(engine.Execute(p), crOk);
        EXPECT_EQ(ReadFileBytes(s.Dir / "out\\file.txt.001"), "0123456789");
        if (silent) {
            EXPECT_TRUE(hooks.Messages.empty() && hooks.ProgressMaxCalls.empty() && hooks.Polls == 0 &&
                        hooks.ProgressCalls == 0 && hooks.WaitCursorShows == 0 && hooks.WaitCursorHides == 0);
            continue;
        }
        EXPECT_EQ(hooks.WaitCursorShows, 1);
        EXPECT_EQ(hooks.WaitCursorHides, 1);
        const int64_t total = 10 + engine.FileInfos->HeaderSize();
        EXPECT_EQ(hooks.ProgressMaxCalls, (std::vector<int64_t>{total, 0}));
        EXPECT_EQ(hooks.Progress, total);
        ASSERT_FALSE(hooks.PollCaptions.empty());
        EXPECT_EQ(hooks.PollCaptions[0], "Split");
    }
}

TEST(EngineChecks, SilentRunsOfTheProgramEndWithTheResultAsExitCode) {
    TScratch s;
    const std::string file = "\"" + s.Dir / "file.txt" + "\" ", out = " \"" + s.Dir / "out" + "\"";
    const struct {
        std::string Args;
        DWORD Code;
    } cases[] = {
        {"/SILENT " + file + out, 0},
        {"/SILENT " + file + out + " /SIZE9223372036854775807", 0},
        {"/SILENT \"" + s.Dir / "folder" + "\"" + out + " /BATCH", 0},
        {"/SILENT \"" + s.Dir / "missing" + "\"" + out, 1},
        {"/SILENT " + file + "\"" + s.Dir / "missing" + "\"", 2},
        {"/SILENT " + file + "R:\\", 5},
        {"/SILENT " + file + out + " /SIZE0", 6},
        {"/SILENT " + file + out + " /SIZEabc", 6},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RunChunkler(c.Args), c.Code) << c.Args;
    EXPECT_EQ(ReadFileBytes(s.Dir / "out\\file.txt.001"), "0123456789");
    EXPECT_TRUE(FileExists(s.Dir / "out\\folder.h001"));
    EXPECT_FALSE(FileExists(s.Dir / "out\\folder.bat"));
}
