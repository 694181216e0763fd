// The checks before a job, their codes and texts, and the limit of 999 parts.
#include <gtest/gtest.h>

#include <limits>

#include "support/TestSupport.h"
#include "support/UnitLanguage.h"

using namespace testsupport;

// Every failing check assigns its code, so the last failing one decides. Silent jobs leave the window
// alone; window mode shows the code's text. A folder is split without the batch file asked for.
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
        {"file.txt", "U:\\", false, 100, crOk, ""},
        {"folder\\\\", "out\\", false, 100, crOk, ""}, // split without the batch file asked for
        {"missing", "out", false, 100, crSourceNotFound, notFound},
        {"file.txt", "missing", false, 100, crOutputNotFound, notFound},
        {"folder", "out", true, 100, crFolderNotAllowed, MsgCatalogEn[MsgFolderNotAllowed]},
        {"file.txt", "file.txt", false, 100, crFolderExpected, "Directory expected!"},
        {"file.txt", "S:\\", false, 100, crRemovableOutput,
         removable}, // a CD; the window's test takes a diskette
        {"file.txt", "out", false, -5, crInvalidSize, "Invalid size!"},
        {"missing", "out", false, 0, crInvalidSize, "Invalid size!"},
        {"file.txt", "out", true, 0, crSourceNotFound, notFound}, // no part size in a join; no set found
    };
    TTempDir dir("chk");
    BuildTree(dir.Path(), {{"file.txt", "0123456789"}, {"folder\\", ""}, {"out\\", ""}});
    ClearFolder(TestDriveRoot('U'));
    const auto resolve = [&](std::string Name) {
        return Name.find(':') != std::string::npos ? Name : dir / Name;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Source) + " to " + c.Output);
        TChunklerStartParams p{.SourcePath = resolve(c.Source),
                               .OutputDir = resolve(c.Output),
                               .CreateBatch = true,
                               .PartSize = c.PartSize,
                               .Silent = true,
                               .Unsplit = c.Join};
        TScriptedHooks hooks;
        EXPECT_EQ(TChunkler(&hooks).Execute(p), c.Expected);
        EXPECT_TRUE(hooks.Messages.empty() && hooks.Calls == 0 && hooks.Polls == 0)
            << "the window was touched";
        EXPECT_TRUE(p.SourcePath.back() != '\\' && (p.OutputDir.size() == 2 || p.OutputDir.back() != '\\'));
        p.Silent = false;
        TChunkler engine(&hooks);
        engine.Params = &p;
        engine.ShowResult(c.Expected);
        EXPECT_EQ(hooks.Texts(), c.Text.empty() ? std::vector<std::string>{} : std::vector{c.Text});
    }
    EXPECT_EQ(ListNames(dir / "out"), (std::vector<std::string>{"folder.001", "folder.h001"}));
    ClearFolder(TestDriveRoot('U'));
}

// 999 parts of content pass (ending with an empty part .1000); one byte more is refused before anything
// is written; a part size whose 999-fold product just leaves Int64 has no reachable limit.
TEST(EngineChecks, TheLimitOf999Parts) {
    for (auto [bytes, partSize, expected, lastPart] :
         {std::tuple<size_t, int64_t, TChunklerResult, int>{999, 1, crOk, 1000},
          {1000, 1, crTooManyParts, 0},
          {10, std::numeric_limits<int64_t>::max() / 999 + 1, crOk, 1}}) {
        SCOPED_TRACE(bytes);
        TTempDir dir("lim");
        BuildTree(dir.Path(), {{"big.bin", PatternBytes(bytes)}, {"out\\", ""}});
        EXPECT_EQ(RunJob(false, dir / "big.bin", dir / "out", partSize), expected);
        const std::string base = dir / "out\\big.bin.";
        EXPECT_EQ(ListNames(dir / "out").empty(), lastPart == 0);
        EXPECT_EQ(FileExists(base + IntToStrZeroPad(lastPart, 3)), lastPart > 0);
        EXPECT_FALSE(FileExists(base + IntToStrZeroPad(lastPart + 1, 3)));
    }
}

// A folder the listing cannot search (seven levels of 40-character names are too long a path) or a name the
// ANSI code page cannot hold ("\u0141\u00f3d\u017a.txt", listed as "L\xF3dz.txt") must not be left out: the
// split ends with 9 and the system's text before anything is written. Windows calls cannot make them; Linux
// can.
TEST(EngineChecks, SourcesThatCannotBeListedEndTheSplitBeforeAnythingIsWritten) {
    TTempDir dir("list"), out("listout");
    ASSERT_EQ(RunUnixShell(
                  "cd " + ShellQuote(UnixPathOf(dir.Path())) +
                  " && d=deep; for i in 1 2 3 4 5 6 7; do d=$d/$(printf %040d $i); done; mkdir -p $d odd && "
                  "echo x >$d/f && touch odd/$(printf '\\305\\201\\303\\263d\\305\\272.txt')"),
              0u);
    for (const auto& [source, error] :
         {std::pair{"deep", ERROR_FILENAME_EXCED_RANGE}, {"odd", ERROR_INVALID_NAME}}) {
        TScriptedHooks hooks;
        EXPECT_EQ(RunJob(false, dir / source, out.Path(), 1000, &hooks), crFileError);
        EXPECT_EQ(hooks.Texts(), std::vector{SystemErrorText(error)}) << source;
        EXPECT_EQ(RunJob(false, dir / source, out.Path(), 1000), crFileError);
        EXPECT_TRUE(ListNames(out.Path()).empty()) << source;
    }
    RunUnixShell("rm -rf " + ShellQuote(UnixPathOf(dir / "deep")));
}
