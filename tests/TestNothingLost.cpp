// Nothing lost without a word: sources that cannot be listed completely, joins that fail over an
// existing file or cannot create a folder, the output folder the window suggests, and folder times.
#include <gtest/gtest.h>

#include "support/TestSupport.h"
#include "ui/UnitFrmMain.h"

using namespace testsupport;

namespace {

// Runs a shell script in Folder on the Linux side, which makes names and paths Windows calls cannot.
void Shell(const std::string& Folder, const std::string& Script) {
    ASSERT_EQ(RunUnixShell("cd " + ShellQuote(UnixPathOf(Folder)) + " && " + Script), 0u) << Script;
}

TEST(NothingLost, SourcesThatCannotBeListedEndTheSplitBeforeAnythingIsWritten) {
    TTempDir dir("list");
    // Seven levels of 40-character names; and "Łódź.txt", which the ANSI listing of code page 1252 hands
    // over as "Lódz.txt".
    Shell(dir.Path(), "d=deep; for i in 1 2 3 4 5 6 7; do d=$d/$(printf %040d $i); done; mkdir -p $d odd && "
                      "echo x >$d/f && touch odd/$(printf '\\305\\201\\303\\263d\\305\\272.txt')");
    const std::pair<const char*, DWORD> cases[] = {{"deep", ERROR_FILENAME_EXCED_RANGE},
                                                   {"odd", ERROR_INVALID_NAME}};
    for (const auto& [source, error] : cases) {
        TTempDir out("listout");
        TScriptedHooks hooks; // the system's text in an error box, and no question before it
        EXPECT_EQ(RunJob(false, dir / source, out.Path(), 1000, &hooks), crFileError);
        ASSERT_EQ(hooks.Messages.size(), 1u) << source;
        EXPECT_EQ(hooks.Messages[0].Text, SystemErrorText(error)) << hooks.Messages[0].Type;
        EXPECT_EQ(RunJob(false, dir / source, out.Path(), 1000), crFileError);
        EXPECT_TRUE(ListNames(out.Path()).empty()) << source;
    }
    Shell(dir.Path(), "rm -rf deep");
}

// Only a complete join replaces an existing file; a file standing under the temporary name stays too.
TEST(NothingLost, OnlyACompleteJoinReplacesAnExistingFile) {
    const std::string data = PatternBytes(3000, 5);
    const std::tuple<bool, int, TChunklerResult> cases[] = {
        {true, 0, crSourceNotFound}, {false, 1, crCancelled}, {false, 0, crOk}}; // part 2 gone, cancel poll
    for (const auto& [dropPart2, cancelAtPoll, expected] : cases) {
        TTempDir dir("over");
        Shell(dir.Path(),
              "mkdir parts out && printf 'good copy' >out/photo.jpg && printf mine >out/photo.jpg.~chunkler");
        WriteFileBytes(dir / "photo.jpg", data);
        ASSERT_EQ(RunJob(false, dir / "photo.jpg", dir / "parts", 1000), crOk);
        if (dropPart2)
            DeleteFileA((dir / "parts\\photo.jpg.002").c_str());
        TScriptedHooks hooks, *window = cancelAtPoll ? &hooks : nullptr; // window mode to cancel
        hooks.CancelAtPoll = cancelAtPoll;
        EXPECT_EQ(RunJob(true, dir / "parts\\photo.jpg.h001", dir / "out", 0, window), expected);
        EXPECT_EQ(ReadFileBytes(dir / "out\\photo.jpg"), expected == crOk ? data : "good copy");
        // The file under the temporary name is neither written over nor taken away.
        EXPECT_EQ(ListNames(dir / "out"), (std::vector<std::string>{"photo.jpg", "photo.jpg.~chunkler"}));
    }
}

// Folders get their stored times back; an empty folder of the set that cannot be created ends the join
// instead of going missing.
TEST(NothingLost, TreeRoundTripRestoresFolderTimes) {
    TTempDir dir("times");
    Shell(dir.Path(), "mkdir -p tree/a/b tree/a/e parts out blocked/tree/a && touch blocked/tree/a/e && "
                      "echo x >tree/a/b/f && touch -d @1000000000 tree/a/b/f");
    const char* folders[] = {"tree\\a\\b", "tree\\a\\e", "tree\\a", "tree"}; // deepest first
    for (int i = 0; i < 4; ++i)
        SetLastWriteTime(dir / folders[i], MakeFileTime(1990 + i, 1 + i, 10, 11, 12, 13, 140 + i));
    ASSERT_EQ(RunJob(false, dir / "tree", dir / "parts", 1000), crOk);
    ASSERT_EQ(RunJob(true, dir / "parts\\tree.001", dir / "out", 0), crOk);
    EXPECT_EQ(CompareTrees(dir / "tree", dir / "out\\tree"), "");
    for (const char* folder : folders) {
        const FILETIME stored = GetLastWriteTime(dir / folder);
        const FILETIME restored = GetLastWriteTime(dir / ("out\\" + std::string(folder)));
        EXPECT_EQ(CompareFileTime(&stored, &restored), 0) << folder;
    }
    EXPECT_EQ(RunJob(true, dir / "parts\\tree.001", dir / "blocked", 0), crFileError);
}

// Typed key by key, each key one change of the edit. The window shows on the shared virtual display,
// so this file takes its lock (CMake gives it to files that mention FindWindow).
TEST(NothingLostWindow, OwnSuggestionFollowsTheTypedSourceAndTheUsersFolderStays) {
    TTempDir dir("typed");
    BuildTree(dir.Path(), {{"data\\", ""}, {"data\\work\\", ""}, {"data\\work\\report.doc", "report"}});
    TChunklerStartParams params;
    TFrmMain form;
    FrmMain = &form;
    form.CreateMainWindow(params);
    const auto type = [&form](HWND Edit, const std::string& Keys) { // answers the output field's text
        SetWindowTextA(Edit, "");
        for (char key : Keys)
            SendMessageA(Edit, WM_CHAR, static_cast<unsigned char>(key), 0);
        char text[MAX_PATH] = {};
        GetWindowTextA(form.EdtOutputDir, text, MAX_PATH);
        return std::string(text);
    };
    EXPECT_EQ(type(form.EdtSource, dir / "data\\work\\report.doc"), dir / "data\\work");
    EXPECT_EQ(type(form.EdtSource, "Z:\\tmp"), "Z:\\") << "the drive's root, not its current folder";
    EXPECT_EQ(type(form.EdtOutputDir, dir / "data"), dir / "data");
    EXPECT_EQ(type(form.EdtSource, dir / "data\\work\\report.doc"), dir / "data") << "typed by the user";
    FrmMain = nullptr; // the window goes with the form, without posting the end of the program
}

} // namespace
