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

// Every failing check assigns its code, so the last failing one decides. The jobs run silent, which must
// leave the window alone; window mode shows the code's text.
TEST(EngineChecks, EveryCheckCodeAndItsText) {
    const std::string notFound = "File or Directory not found!", removable = MsgCatalogEn[MsgRemovableOutput];
    const struct {
        const char* Source; // names without a drive letter are below the scratch folder
        const char* Output;
        bool Join;
        int64_t PartSize;
        TChunklerResult Expected;
        std::string Text;
    } cases[] = {
        {"U:\\", "out", false, 100, crSourceNotFound, notFound}, // an empty root names no parts
        {"folder\\\\", "out\\", false, 100, crOk, ""},
        {"file.txt", "U:\\", false, 100, crOk, ""},
        {"missing", "out", false, 100, crSourceNotFound, notFound},
        {"file.txt", "missing", false, 100, crOutputNotFound, notFound},
        {"folder", "out", true, 100, crFolderNotAllowed, MsgCatalogEn[MsgFolderNotAllowed]},
        {"file.txt", "file.txt", false, 100, crFolderExpected, "Directory expected!"},
        {"file.txt", "R:\\", false, 100, crRemovableOutput, removable},
        {"file.txt", "S:\\", false, 100, crRemovableOutput, removable},
        {"file.txt", "out", false, -5, crInvalidSize, "Invalid size!"},
        {"missing", "out", false, 0, crInvalidSize, "Invalid size!"},
        {"file.txt", "out", true, 0, crSourceNotFound, notFound}, // no part size in a join; no set found
    };
    TScratch s;
    ClearFolder(TestDriveRoot('U'));
    auto resolve = [&](std::string Name) {
        return Name.find(':') != std::string::npos ? Name : s.Dir / Name;
    };
    for (const auto& c : cases) {
        TChunklerStartParams p{.SourcePath = resolve(c.Source),
                               .OutputDir = resolve(c.Output),
                               .PartSize = c.PartSize,
                               .Silent = true,
                               .Unsplit = c.Join};
        TScriptedHooks hooks;
        EXPECT_EQ(TChunkler(&hooks).Execute(p), c.Expected) << c.Source << " to " << c.Output;
        EXPECT_TRUE(hooks.Messages.empty() && hooks.ProgressMaxCalls.empty() && hooks.Polls == 0 &&
                    hooks.WaitCursorShows == 0)
            << "a silent job touched the window";
        EXPECT_TRUE(p.SourcePath.back() != '\\' && (p.OutputDir.size() == 2 || p.OutputDir.back() != '\\'))
            << p.SourcePath << " to " << p.OutputDir;
        p.Silent = false;
        TChunkler engine(&hooks);
        engine.Params = &p;
        engine.ShowResult(c.Expected);
        EXPECT_EQ(hooks.Messages.empty() ? "" : hooks.Messages[0].Text, c.Text) << hooks.Dump();
    }
    ClearFolder(TestDriveRoot('U'));
}

// 999 parts of content pass (ending with an empty part .1000); one byte more is refused before anything
// is written; a part size whose 999-fold product just leaves Int64 has no reachable limit.
TEST(EngineChecks, TheLimitOf999Parts) {
    for (auto [bytes, partSize, expected, lastPart] :
         {std::tuple<size_t, int64_t, TChunklerResult, int>{999, 1, crOk, 1000},
          {1000, 1, crTooManyParts, 0},
          {10, std::numeric_limits<int64_t>::max() / 999 + 1, crOk, 1}}) {
        TScratch s;
        WriteFileBytes(s.Dir / "big.bin", PatternBytes(bytes));
        TChunklerStartParams p{.SourcePath = s.Dir / "big.bin",
                               .OutputDir = s.Dir / "out",
                               .PartSize = partSize,
                               .Silent = true};
        EXPECT_EQ(TChunkler().Execute(p), expected) << bytes;
        const std::string base = s.Dir / "out\\big.bin.";
        EXPECT_EQ(ListTree(s.Dir / "out").empty(), lastPart == 0) << bytes;
        EXPECT_EQ(FileExists(base + IntToStrZeroPad(lastPart, 3)), lastPart > 0);
        EXPECT_FALSE(FileExists(base + IntToStrZeroPad(lastPart + 1, 3)));
    }
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
        {" \"" + s.Dir / "folder" + "\"" + out + " /BATCH",
         0}, // no batch file for a folder, the split goes on
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
