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
};

} // namespace

// Every failing check assigns its code, so the last failing one decides; window mode shows its text.
TEST(EngineChecks, EveryCheckCodeAndItsText) {
    const std::string notFound = "File or Directory not found!", removable = MsgCatalogEn[MsgRemovableOutput];
    const struct {
        const char* Source; // names without a drive letter are below the scratch folder
        const char* Output;
        bool ForSplit;
        int64_t PartSize;
        TChunklerResult Expected;
        std::string Text;
    } cases[] = {
        {"folder\\\\", "out\\", true, 100, crOk, ""},
        {"file.txt", "U:\\", true, 100, crOk, ""},
        {"missing", "out", true, 100, crSourceNotFound, notFound},
        {"file.txt", "missing", true, 100, crOutputNotFound, notFound},
        {"folder", "out", false, 100, crFolderNotAllowed, MsgCatalogEn[MsgFolderNotAllowed]},
        {"file.txt", "file.txt", true, 100, crFolderExpected, "Directory expected!"},
        {"file.txt", "R:\\", true, 100, crRemovableOutput, removable},
        {"file.txt", "S:\\", true, 100, crRemovableOutput, removable},
        {"file.txt", "out", true, -5, crInvalidSize, "Invalid size!"},
        {"missing", "out", true, 0, crInvalidSize, "Invalid size!"},
        {"file.txt", "out", false, 0, crOk, ""},
    };
    TScratch s;
    auto resolve = [&](std::string Name) {
        return Name.find(':') != std::string::npos ? Name : s.Dir / Name;
    };
    for (const auto& c : cases) {
        TChunklerStartParams p{
            .SourcePath = resolve(c.Source), .OutputDir = resolve(c.Output), .PartSize = c.PartSize};
        TScriptedHooks hooks;
        TChunkler engine(&hooks);
        engine.Params = &p;
        const TChunklerResult result = engine.CheckParams(c.ForSplit);
        EXPECT_EQ(result, c.Expected) << c.Source << " to " << c.Output;
        engine.ShowResult(result);
        EXPECT_EQ(hooks.Messages.empty() ? "" : hooks.Messages[0].Text, c.Text) << hooks.Dump();
        EXPECT_TRUE(p.SourcePath.back() != '\\' && (p.OutputDir.size() == 2 || p.OutputDir.back() != '\\'))
            << p.SourcePath << " to " << p.OutputDir;
    }
}

TEST(EngineChecks, BatchFileIsRefusedForFoldersAndTheSplitGoesOn) {
    TScratch s;
    TScriptedHooks hooks;
    TChunklerStartParams p{.SourcePath = s.Dir / "folder", .OutputDir = s.Dir / "out", .CreateBatch = true};
    EXPECT_EQ(TChunkler(&hooks).Execute(p), crOk);
    EXPECT_FALSE(FileExists(s.Dir / "out\\folder.bat"));
    EXPECT_TRUE(FileExists(s.Dir / "out\\folder.h001"));
    ASSERT_EQ(hooks.Messages.size(), 3u) << hooks.Dump(); // refusal, part count, summary
    EXPECT_EQ(hooks.Messages[0].Text, MsgCatalogEn[MsgNoBatchForFolder]);
    EXPECT_EQ(hooks.Messages[0].Type, UINT(MB_OK | MB_ICONWARNING));
}

// 999 parts of content pass (ending with an empty part .1000); one byte more is refused before anything
// is written; a part size whose 999-fold product leaves Int64 has no reachable limit. Silent jobs, which
// must leave the window alone.
TEST(EngineChecks, TheLimitOf999Parts) {
    const struct {
        size_t Bytes;
        int64_t PartSize;
        TChunklerResult Expected;
        int LastPart; // 0: nothing written
    } cases[] = {
        {999, 1, crOk, 1000},
        {1000, 1, crTooManyParts, 0},
        {10, std::numeric_limits<int64_t>::max(), crOk, 1},
    };
    for (const auto& c : cases) {
        TScratch s;
        WriteFileBytes(s.Dir / "big.bin", PatternBytes(c.Bytes));
        TChunklerStartParams p{.SourcePath = s.Dir / "big.bin",
                               .OutputDir = s.Dir / "out",
                               .PartSize = c.PartSize,
                               .Silent = true};
        TScriptedHooks hooks;
        EXPECT_EQ(TChunkler(&hooks).Execute(p), c.Expected) << c.Bytes;
        EXPECT_TRUE(hooks.Messages.empty() && hooks.ProgressMaxCalls.empty() && hooks.Polls == 0 &&
                    hooks.WaitCursorShows == 0)
            << "a silent job touched the window";
        const std::string base = s.Dir / "out\\big.bin.";
        EXPECT_EQ(ListTree(s.Dir / "out").empty(), c.LastPart == 0) << c.Bytes;
        EXPECT_EQ(FileExists(base + IntToStrZeroPad(c.LastPart, 3)), c.LastPart > 0);
        EXPECT_FALSE(FileExists(base + IntToStrZeroPad(c.LastPart + 1, 3)));
    }
}

// An empty drive root lists nothing to name the parts after: no question, nothing written.
TEST(EngineChecks, EmptyDriveRootIsNotFound) {
    ClearFolder(TestDriveRoot('U'));
    TScratch s;
    TScriptedHooks hooks;
    TChunklerStartParams p{.SourcePath = TestDriveRoot('U'), .OutputDir = s.Dir / "out"};
    EXPECT_EQ(TChunkler(&hooks).Execute(p), crSourceNotFound);
    EXPECT_TRUE(hooks.Messages.empty()) << hooks.Dump();
    EXPECT_TRUE(ListTree(s.Dir / "out").empty());
}

TEST(EngineChecks, SilentRunsOfTheProgramEndWithTheResultAsExitCode) {
    TScratch s;
    const std::string file = " \"" + s.Dir / "file.txt" + "\"", out = " \"" + s.Dir / "out" + "\"";
    const struct {
        std::string Args;
        DWORD Code;
    } cases[] = {
        {file + out, 0},
        {file + out, 0}, // overwrites without asking
        {" \"" + s.Dir / "folder" + "\"" + out + " /BATCH", 0},
        {" \"" + s.Dir / "missing" + "\"" + out, 1},
        {file + " \"" + s.Dir / "missing" + "\"", 2},
        {file + " R:\\", 5},
        {file + out + " /SIZEabc", 6},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RunChunkler("/SILENT" + c.Args), c.Code) << c.Args;
    EXPECT_EQ(ReadFileBytes(s.Dir / "out\\file.txt.001"), "0123456789");
    EXPECT_TRUE(FileExists(s.Dir / "out\\folder.h001"));
    EXPECT_FALSE(FileExists(s.Dir / "out\\folder.bat"));
}
