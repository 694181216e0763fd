// The joining batch file for names the command interpreter reads specially or cannot spell at all.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/ScriptedHooks.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

DWORD SplitSilently(const std::string& Source, const std::string& Output) {
    return RunChunkler("/SILENT /BATCH /SIZE1000 \"" + Source + "\" \"" + Output + "\"");
}

} // namespace

// "%" would start a variable; "&", "^", "!", "(", ")" and blanks must stay plain text inside the quotes.
// The batch file runs under a plain name of its own, so only its lines are on trial.
TEST(BatchFile, RebuildsNamesTheInterpreterReadsSpecially) {
    for (const std::string name : {"50%off.doc", "a & b ^ c ! (d) 100%.txt"}) {
        TTempDir src("src"), out("out");
        const std::string content = PatternBytes(2500, 7);
        WriteFileBytes(src / name, content);
        ASSERT_EQ(SplitSilently(src / name, out.Path()), 0u) << name;
        WriteFileBytes(out / "join.bat", ReadFileBytes(out / (name.substr(0, name.rfind('.')) + ".bat")));
        EXPECT_EQ(RunProgram("cmd /c join.bat", out.Path()), 0u) << name;
        EXPECT_TRUE(FileExists(out / name) && ReadFileBytes(out / name) == content) << name;
    }
}

// The OEM code page has no euro sign: no batch file at all, the split itself untouched, and the window
// says why exactly once.
TEST(BatchFile, NoBatchFileForANameOutsideTheOemCodePage) {
    const std::string name = "Preis\x80.doc";
    const std::vector<std::string> written = {name + ".001", name + ".002", name + ".003", name + ".h001"};
    TTempDir src("src"), silent("silent"), window("window");
    WriteFileBytes(src / name, PatternBytes(2500, 8));
    EXPECT_EQ(SplitSilently(src / name, silent.Path()), 0u);
    EXPECT_EQ(ListNames(silent.Path()), written);

    TScriptedHooks hooks;
    TChunklerStartParams p{
        .SourcePath = src / name, .OutputDir = window.Path(), .CreateBatch = true, .PartSize = 1000};
    TChunkler engine(&hooks);
    EXPECT_EQ(engine.Execute(p), crOk);
    EXPECT_EQ(ListNames(window.Path()), written);
    const std::vector<std::string> texts = hooks.Texts();
    EXPECT_EQ(texts.size(), 3u) << "part count, this warning and the summary";
    EXPECT_EQ(
        std::count(texts.begin(), texts.end(),
                   "No batchfile can be created for \"Preis\x80.doc\": the command prompt cannot spell this "
                   "file name. The file will be split without a batchfile."),
        1);
}
