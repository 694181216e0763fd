// The job parameters: the command line read, the checks before a job with their codes and texts, and the
// limit of 999 parts.
#include <gtest/gtest.h>

#include <limits>

#include "support/TestSupport.h"
#include "support/UnitLanguage.h"

using namespace testsupport;

// Every failing check assigns its code, so the last failing one decides. Silent jobs leave the window
// alone; window mode shows the code's text. A folder is split without the batch file asked for. 999 parts
// of content pass (ending with an empty part .1000); one byte more is refused before anything is written; a
// part size whose 999-fold product just leaves Int64 has no reachable limit.
TEST(EngineChecks, EveryCheckCodeAndItsText) {
    const std::string notFound = "File or Directory not found!";
    // Source and output (names without a drive letter are below the scratch folder), join or split, the part
    // size, the code and its text.
    const std::tuple<const char*, const char*, bool, int64_t, TChunklerResult, std::string> cases[] = {
        {"U:\\", "out", false, 100, crSourceNotFound, notFound}, // an empty root names no parts
        {"file.txt", "U:\\", false, 100, crOk, ""},
        {"folder\\\\", "out\\", false, 100, crOk, ""}, // split without the batch file asked for
        {"missing", "out", false, 100, crSourceNotFound, notFound},
        {"file.txt", "missing", false, 100, crOutputNotFound, notFound},
        {"folder", "out", true, 100, crFolderNotAllowed, MsgCatalogEn[MsgFolderNotAllowed]},
        {"file.txt", "file.txt", false, 100, crFolderExpected, "Directory expected!"},
        {"file.txt", "S:\\", false, 100, crRemovableOutput, MsgCatalogEn[MsgRemovableOutput]}, // a CD
        {"file.txt", "out", false, -5, crInvalidSize, "Invalid size!"},
        {"missing", "out", false, 0, crInvalidSize, "Invalid size!"},
        {"file.txt", "out", true, 0, crSourceNotFound, notFound}, // no part size in a join; no set found
        {"999.bin", "out", false, 1, crOk, ""},
        {"1000.bin", "out", false, 1, crTooManyParts, MsgCatalogEn[MsgTooManyParts]},
        {"file.txt", "out", false, std::numeric_limits<int64_t>::max() / 999 + 1, crOk, ""},
    };
    TTempDir dir;
    BuildTree(dir.Path(), {{"file.txt", "0123456789"},
                           {"999.bin", PatternBytes(999)},
                           {"1000.bin", PatternBytes(1000)},
                           {"folder\\", ""},
                           {"out\\", ""}});
    ClearFolder("U:\\");
    const auto resolve = [&](std::string N) { return N.find(':') != std::string::npos ? N : dir / N; };
    for (const auto& [source, output, join, partSize, expected, text] : cases) {
        SCOPED_TRACE(std::string(source) + " to " + output);
        TChunklerStartParams p{.SourcePath = resolve(source),
                               .OutputDir = resolve(output),
                               .CreateBatch = true,
                               .PartSize = partSize,
                               .Silent = true,
                               .Unsplit = join};
        TScriptedHooks hooks;
        EXPECT_EQ(TChunkler(&hooks).Execute(p), expected);
        EXPECT_TRUE(hooks.Messages.empty() && hooks.Calls == 0 && hooks.Polls == 0)
            << "the window was touched";
        EXPECT_TRUE(p.SourcePath.back() != '\\' && (p.OutputDir.size() == 2 || p.OutputDir.back() != '\\'));
        p.Silent = false;
        TChunkler engine(&hooks);
        engine.Params = &p;
        engine.ShowResult(expected);
        EXPECT_EQ(hooks.Texts(), text.empty() ? std::vector<std::string>{} : std::vector{text});
    }
    // A "#" brought in by an argument is the next placeholder; arguments beyond the placeholders are dropped.
    EXPECT_EQ(FormatMsg(MsgConfirmPartCount, {"#1", "x", "y"}),
              "There are x1 parts to create. y Do you want to continue?");
    // folder.001/.h001; 999.bin.001-.1000, 40 one-byte header files, 999.bat; file.txt.001/.h001, file.bat.
    EXPECT_EQ(ListNames(dir / "out").size(), 2u + 1041u + 3u);
    EXPECT_TRUE(FileExists(dir / "out\\999.bin.1000") && FileExists(dir / "out\\file.txt.001"));
    EXPECT_FALSE(FileExists(dir / "out\\999.bin.1001") || FileExists(dir / "out\\file.txt.002"));
    ClearFolder("U:\\");
}

// A folder the listing cannot search (seven levels of 40-character names are too long a path) or a name the
// ANSI code page cannot hold ("\u0141\u00f3d\u017a.txt", listed as "L\xF3dz.txt") must not be left out: the
// split ends with 9 and the system's text before anything is written. Windows calls cannot make them; Linux
// can.
TEST(EngineChecks, SourcesThatCannotBeListedEndTheSplitBeforeAnythingIsWritten) {
    TTempDir dir, out;
    ASSERT_EQ(RunUnixShell(
                  "cd " + UnixPath(dir.Path()) +
                  " && d=deep; for i in 1 2 3 4 5 6 7; do d=$d/$(printf %040d $i); done; mkdir -p $d odd && "
                  "echo x >$d/f && touch odd/$(printf '\\305\\201\\303\\263d\\305\\272.txt')"),
              0u);
    for (const auto& [source, error] :
         {std::pair{"deep", ERROR_FILENAME_EXCED_RANGE}, {"odd", ERROR_INVALID_NAME}}) {
        TScriptedHooks hooks;
        EXPECT_EQ(RunJob(false, dir / source, out.Path(), 1000, &hooks), crFileError);
        EXPECT_EQ(hooks.Texts(), std::vector{SystemErrorText(error)}) << source;
        EXPECT_TRUE(ListNames(out.Path()).empty()) << source;
    }
    RunUnixShell("rm -rf " + UnixPath(dir / "deep"));
}

// Each line as "source|output|size|flags", the flags being Copy, Batch, Silent, Unsplit and NoHeader.
TEST(ReadCommandLine, QuotesSwitchesSizesPositionalsAndTheCopyRule) {
    const std::string def = "|" + std::to_string(DefaultPartSize) + "|";
    const std::pair<std::string, std::string> cases[] = {
        // The program name is never a parameter, quoted with blanks or not.
        {"/SILENT", "|" + def + "C"},
        {"\"C:\\Program Files\\Chunkler.exe\" /SILENT", "|" + def + "S"},
        {"p a\"b c\"d \"unclosed quote", "ab cd|unclosed quote" + def + "C"},
        {"p \"\" a \t\r\n\x01 b \xE4\xA0x", "a|b" + def + "C"},
        // Exactly one slash, any case, the whole name.
        {"p /silent /NoHeader /unsplit /BATCH", "|" + def + "BSUN"},
        {"p //SILENT /SILENTX / -SILENT", "-SILENT|" + def + "C"},
        // The first two positionals count, switches between them do not; the copy flag is always on in
        // a window run and only on request in a silent one.
        {"p one /SIZE1000 two three", "one|two|1000|C"},
        {"p /SILENT /COPY a", "a|" + def + "CS"},
        // Decimal, the three hex forms, a sign and leading blanks; malformed or out of range is 0; the
        // last one wins.
        {"p /size$100000", "||1048576|C"},
        {"p /SIZE0x10 /SIZEx1F", "||31|C"},
        {"p \"/SIZE  +100\"", "||100|C"},
        {"p /SIZE-x10", "||-16|C"},
        {"p /SIZE9223372036854775808", "||0|C"},
        {"p /SIZE$8000000000000000", "||0|C"},
        {"p /SIZE1000 /SIZEx", "||0|C"},
    };
    for (const auto& [line, want] : cases) {
        TChunklerStartParams p;
        p.ReadCommandLine(line);
        EXPECT_EQ(p.SourcePath + "|" + p.OutputDir + "|" + std::to_string(p.PartSize) + "|" +
                      (p.CopyProgram ? "C" : "") + (p.CreateBatch ? "B" : "") + (p.Silent ? "S" : "") +
                      (p.Unsplit ? "U" : "") + (p.NoHeader ? "N" : ""),
                  want)
            << line;
    }
}
