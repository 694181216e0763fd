// The job parameters: the command line, the checks before a job with their codes and texts, 999 parts.
#include <gtest/gtest.h>

#include <limits>

#include "support/TestSupport.h"
#include "support/UnitLanguage.h"

using namespace testsupport;

// The last failing check decides; silent jobs leave the window alone. 999 full parts pass (no part 1000,
// not even an empty one), one byte more writes nothing; a 999-fold part size beyond Int64 has no limit.
TEST(EngineChecks, EveryCheckCodeAndItsText) {
    const struct {
        const char* Name;
        const char *Source, *Output; // below the row's scratch folder, unless on a drive of their own
        bool Join;
        int64_t PartSize;
        TChunklerResult Result;
        std::string Text; // what the window shows for it
        size_t Written;   // files in the output folder afterwards
        int Recover = 0;  // the /RECOVER count
    } cases[] = {
        // clang-format off
        {.Name = "an empty drive root names no parts", .Source = "U:\\", .Output = "out", .PartSize = 100,
         .Result = crSourceNotFound, .Text = text::NotFound},
        {.Name = "a drive root as output", .Source = "file.txt", .Output = "U:\\", .PartSize = 100, .Written = 3},
        {.Name = "a folder is split without the batch file", .Source = "folder\\\\", .Output = "out\\",
         .PartSize = 100, .Written = 2},
        {.Name = "source missing", .Source = "missing", .Output = "out", .PartSize = 100,
         .Result = crSourceNotFound,
         .Text = text::NotFound},
        {.Name = "output missing", .Source = "file.txt", .Output = "missing", .PartSize = 100,
         .Result = crOutputNotFound, .Text = text::NotFound},
        {.Name = "a join of a folder", .Source = "folder", .Output = "out", .Join = true, .PartSize = 100,
         .Result = crFolderNotAllowed,
         .Text = "Directories not allowed here! For joining, please select one of the partfiles instead."},
        {.Name = "a file as output", .Source = "file.txt", .Output = "file.txt", .PartSize = 100,
         .Result = crFolderExpected, .Text = "Directory expected!"},
        {.Name = "a CD as output", .Source = "file.txt", .Output = "S:\\", .PartSize = 100,
         .Result = crRemovableOutput, .Text = "Chunkler cannot write directly to removable disks (diskettes/CD)!"},
        {.Name = "a negative size", .Source = "file.txt", .Output = "out", .PartSize = -5, .Result = crInvalidSize,
         .Text = "Invalid size!"},
        {.Name = "the size is checked last", .Source = "missing", .Output = "out", .PartSize = 0,
         .Result = crInvalidSize, .Text = "Invalid size!"},
        {.Name = "a join needs no size but a set", .Source = "file.txt", .Output = "out", .Join = true,
         .PartSize = 0, .Result = crSourceNotFound, .Text = text::NotFound},
        {.Name = "999 full parts and no empty one after them", .Source = "999.bin", .Output = "out", .PartSize = 1,
         .Written = 999 + 40 + 1},
        {.Name = "1000 parts", .Source = "1000.bin", .Output = "out", .PartSize = 1, .Result = crTooManyParts,
         .Text = "You cannot create more than 999 parts!"},
        // The recovery slices follow the largest file, not the part size: two small recovery files.
        {.Name = "no reachable limit", .Source = "file.txt", .Output = "out",
         .PartSize = std::numeric_limits<int64_t>::max() / 999 + 1, .Written = 5, .Recover = 1},
        {.Name = "parts too small for the recovery packets", .Source = "999.bin", .Output = "out", .PartSize = 1000,
         .Result = crInvalidSize,
         .Text = "The part size is too small for the recovery files: each of them must fit on the disk of one part. "
                 "Please choose a larger size!", .Recover = 1},
        {.Name = "a /RECOVER switch of another number", .Source = "file.txt", .Output = "out", .PartSize = 100,
         .Result = crInvalidSize,
         .Text = "Invalid /RECOVER switch: the number of files to rebuild must be from 1 to 99!", .Recover = -1},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TTempDir dir;
        BuildTree(dir.Path(), {{"file.txt", "0123456789"},
                               {"999.bin", PatternBytes(999)},
                               {"1000.bin", PatternBytes(1000)},
                               {"folder\\", ""},
                               {"out\\", ""}});
        ClearFolder("U:\\");
        const auto resolve = [&](std::string N) { return N.find(':') != std::string::npos ? N : dir / N; };
        TChunklerStartParams p{
            .SourcePath = resolve(c.Source), .OutputDir = resolve(c.Output), .CreateBatch = true};
        p.PartSize = c.PartSize, p.Silent = true, p.Unsplit = c.Join, p.RecoverCount = c.Recover;
        TScriptedHooks hooks;
        TChunkler engine(&hooks);
        EXPECT_EQ(engine.Execute(p), c.Result);
        EXPECT_TRUE(hooks.Messages.empty() && hooks.Calls == 0 && hooks.Polls == 0)
            << "the window was touched";
        EXPECT_TRUE(p.SourcePath.back() != '\\' && (p.OutputDir.size() == 2 || p.OutputDir.back() != '\\'));
        EXPECT_EQ(FileExists(p.OutputDir, true) ? ListNames(p.OutputDir).size() : 0, c.Written);
        p.Silent = false;
        engine.ShowResult(c.Result);
        EXPECT_EQ(hooks.Texts(), c.Text.empty() ? std::vector<std::string>{} : std::vector{c.Text});
    }
    // A "#" brought in by an argument is the next placeholder; arguments beyond the placeholders are dropped.
    EXPECT_EQ(FormatMsg(MsgConfirmPartCount, {"#1", "x", "y"}),
              "There are x1 parts to create. y Do you want to continue?");
}

// A path too long to list, a name outside the ANSI code page, or one that Windows opens as a device ends a
// split with 9 before writing anything, in a box naming where; a name outside the code page given to the
// program ("/" as "\") ends any job so, if it is there.
TEST(EngineChecks, NamesThatCannotBeReadEndTheJobBeforeAnythingIsWritten) {
    TTempDir dir, out;
    ASSERT_EQ(
        RunUnixShell("cd " + UnixPath(dir.Path()) +
                     " && d=deep; for i in 1 2 3 4 5 6 7; do d=$d/$(printf %040d $i); done; mkdir -p $d "
                     "odd# dev/a dev2/LpT9 && echo x >$d/f && touch odd#/$(printf "
                     "'\\305\\201\\303\\263d\\305\\272.txt') dev/a/b.txt dev/a/Aux.c dev2/LpT9/x && "
                     "seq 1000 >a.bin && mkdir odd $(printf '\\346\\212\\245\\345\\221\\212')"),
        0u);
    std::string deep = "deep";
    for (char i = '1'; i <= '6'; ++i)
        deep += "\\" + std::string(39, '0') + i;
    const std::string device = "\" cannot be split: Windows reserves this name for a device.";
    for (const auto& [source, box] :
         {std::pair{"deep", "Folder \"" + dir / deep + "\" cannot be read: File name is too long.\r\n"},
          {"odd#", "Folder \"" + dir / "odd#" + "\" cannot be read: Invalid name.\r\n"},
          {"dev", "\"" + dir / "dev\\a\\Aux.c" + device},
          {"dev2", "\"" + dir / "dev2\\LpT9" + device}}) {
        TScriptedHooks hooks;
        EXPECT_EQ(RunJob(false, dir / source, out.Path(), 1000, &hooks), crFileError);
        EXPECT_EQ(hooks.Texts(), std::vector{box}) << source;
        EXPECT_TRUE(ListNames(out.Path()).empty()) << source;
    }
    for (const auto& [line, code] : {std::pair{"/SIZE1000 a.bin " + out.Path() + "/", 0u},
                                     {"/UNSPLIT " + out.Path() + "/a.bin.002 odd/", 0},
                                     {"报告 " + out.Path(), 9},
                                     {"a.bin 报告", 9},
                                     {"报告/a.bin odd", 1}})
        EXPECT_EQ(RunProgram(ChunklerExe() + " /SILENT " + line, dir.Path(), nullptr, CP_UTF8), code) << line;
    EXPECT_EQ(ReadFileBytes(dir / "odd\\a.bin"), ReadFileBytes(dir / "a.bin"));
    EXPECT_EQ(ListNames(out.Path()).size(), 5u);
    EXPECT_EQ(
        RunUnixShell("cd " + UnixPath(dir.Path()) + " && rm -r deep odd odd# dev dev2 a.bin && rmdir *"), 0u);
}

// Each line as "source|output|size|flags": Copy, Batch, Silent, Unsplit, NoHeader, W for a path kept wide.
TEST(ReadCommandLine, QuotesSwitchesSizesPositionalsAndTheCopyRule) {
    const std::string def = "|1453568|"; // "1.44 MB Disk"
    const std::pair<std::wstring, std::string> cases[] = {
        // The program name is never a parameter, quoted with blanks or not.
        {L"/SILENT", "|" + def + "C"},
        {L"\"C:\\Program Files\\Chunkler.exe\" /SILENT", "|" + def + "S"},
        {L"p a\"b c\"d \"unclosed quote", "ab cd|unclosed quote" + def + "C"},
        {L"p \"\" a \t\r\n\x01 b \xE4\xA0x", "a|b" + def + "C"},
        // Exactly one slash, any case, the whole name; an unknown one is ignored, also where it looks like a
        // path. Elsewhere "/" is "\".
        {L"p /silent /NoHeader /unsplit /BATCH", "|" + def + "BSUN"},
        {L"p //SILENT /SILENTX / -SILENT /data/a.bin out/parts", "-SILENT|out\\parts" + def + "C"},
        {L"p C:/\u62A5\u544A/a.bin \"D:\\\xE9 out/\"", "C:\\??\\a.bin|D:\\\xE9 out\\" + def + "CW"},
        // The first two positionals count, switches between them do not; the copy flag is always on in
        // a window run and only on request in a silent one.
        {L"p one /SIZE1000 two three", "one|two|1000|C"},
        {L"p /SILENT /COPY a", "a|" + def + "CS"},
        // Decimal, the three hex forms, a sign and leading blanks; malformed or out of range is 0; the
        // last one wins.
        {L"p /size$100000", "||1048576|C"},
        {L"p /SIZE0x10 /SIZEx1F", "||31|C"},
        {L"p \"/SIZE  +100\"", "||100|C"},
        {L"p /SIZE-x10", "||-16|C"},
        {L"p /SIZE9223372036854775808", "||0|C"},
        {L"p /SIZE$8000000000000000", "||0|C"},
        {L"p /SIZE1000 /SIZEx", "||0|C"},
        // From 1 to 99, 1 when none is given; any other number is kept for a split to refuse.
        {L"p /Recover", "|" + def + "CR1"},
        {L"p /RECOVER99 /recover07", "|" + def + "CR7"},
        {L"p /RECOVER0", "|" + def + "CR-1"},
        {L"p /RECOVER100 /RECOVERY", "|" + def + "CR-1"},
    };
    for (const auto& [line, want] : cases) {
        TChunklerStartParams p;
        p.ReadCommandLine(line);
        EXPECT_EQ(p.SourcePath + "|" + p.OutputDir + "|" + std::to_string(p.PartSize) + "|" +
                      (p.CopyProgram ? "C" : "") + (p.CreateBatch ? "B" : "") + (p.Silent ? "S" : "") +
                      (p.Unsplit ? "U" : "") + (p.NoHeader ? "N" : "") +
                      (p.WideSourcePath.empty() && p.WideOutputDir.empty() ? "" : "W") +
                      (p.RecoverCount ? "R" + std::to_string(p.RecoverCount) : ""),
                  want)
            << line;
    }
}

// A real disk (scripts/wine-run-as-user.sh): an unreadable folder of the system's is split empty, one of the
// user's own ends the split in a box naming it; a folder time the user may not change fails no join.
TEST(EngineChecksAsAUser, UnreadableFoldersAndFolderTimes) {
    TTempDir dir, out, back;
    BuildTree(dir.Path(), {{"Docs\\", ""},
                           {"Docs\\a.txt", "a"},
                           {"Docs\\My Music\\", ""},
                           {"Docs\\My Music\\s", "s"},
                           {"Docs\\Private\\", ""},
                           {"Docs\\Private\\p.txt", "p"}});
    SetFileAttributesA((dir / "Docs\\My Music").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    const std::string music = UnixPath(dir / "Docs\\My Music"), mine = UnixPath(dir / "Docs\\Private");
    // A junction of the system's: a link that cannot be followed, however its attributes read.
    ASSERT_EQ(RunUnixShell("mkdir " + UnixPath(dir / "Locked") + " && ln -s ../Locked " +
                           UnixPath(dir / "Docs\\My Videos") + " && chmod 000 " + music + " " + mine + " " +
                           UnixPath(dir / "Locked")),
              0u);
    WIN32_FIND_DATAA data;
    if (const THandle listed(FindFirstFileA((dir / "Docs\\Private\\*").c_str(), &data)); listed) {
        RunUnixShell("chmod 755 " + music + " " + mine + " " + UnixPath(dir / "Locked"));
        GTEST_SKIP() << "a folder of mode 000 can be listed: run through scripts/wine-run-as-user.sh";
    }
    TScriptedHooks hooks;
    EXPECT_EQ(RunJob(false, dir / "Docs", out.Path(), 1000, &hooks), crFileError);
    EXPECT_EQ(hooks.Texts(),
              std::vector{"Folder \"" + dir / "Docs\\Private" + "\" cannot be read: Access denied.\r\n"});
    EXPECT_TRUE(ListNames(out.Path()).empty());
    // The user's Docs in back belongs to someone else, who lets everybody write into it.
    BuildTree(back.Path(), {{"Docs\\", ""}});
    RunUnixShell("chmod 755 " + mine + " && chmod 777 " + UnixPath(back / "Docs") + " && chown 1000 " +
                 UnixPath(back / "Docs"));
    EXPECT_EQ(RunJob(false, dir / "Docs", out.Path(), 1000), crOk);
    EXPECT_EQ(RunJob(true, out / "Docs.001", back.Path()), crOk);
    RunUnixShell("chmod 755 " + music + " " + UnixPath(dir / "Locked"));
    EXPECT_EQ(ListNames(back / "Docs"),
              (std::vector<std::string>{"My Music", "My Videos", "Private", "a.txt"}));
    EXPECT_TRUE(ListNames(back / "Docs\\My Music").empty());
    EXPECT_EQ(ReadFileBytes(back / "Docs\\a.txt") + ReadFileBytes(back / "Docs\\Private\\p.txt"), "ap");
}
