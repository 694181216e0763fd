// The joining batch file: its bytes in the OEM code page, names the command interpreter reads specially,
// no batch file for a name it cannot spell; and the program copy beside it.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/TestSupport.h"

using namespace testsupport;

// "%" would start a variable; "&", "^", "!", "(", ")" and blanks must stay plain text inside the quotes. The
// batch file runs under a plain name of its own, so only its lines are on trial. An old batch file is
// replaced without a question; an existing program copy is never replaced.
TEST(BatchFile, RebuildsTheFileWhateverItsNameAndTheProgramIsCopied) {
    const std::string program = ReadFileBytes(ChunklerExe().substr(1, ChunklerExe().size() - 2));
    for (const std::string name : {"B\xE4r.txt", "50%off.doc", "a & b ^ c ! (d) 100%.txt"}) {
        TTempDir src("src"), out("out");
        const std::string content = PatternBytes(2500, 7),
                          batch = out / (name.substr(0, name.rfind('.')) + ".bat");
        WriteFileBytes(src / name, content);
        WriteFileBytes(batch, "an old batch file, longer than the new one, which must not leave a tail");
        if (name[0] == '5')
            WriteFileBytes(out / "Chunkler.exe", "keep me");
        ASSERT_EQ(RunChunkler("/SILENT /BATCH /COPY /SIZE1000 \"" + src / name + "\" \"" + out.Path() + "\""),
                  0u);
        EXPECT_TRUE(ReadFileBytes(out / "Chunkler.exe") == (name[0] == '5' ? "keep me" : program)) << name;
        const std::string oem =
            "copy /b \"B\x84r.txt.001\" \"B\x84r.txt\"\r\ncopy /b \"B\x84r.txt\" + \"B\x84r.txt.002\"\r\n"
            "copy /b \"B\x84r.txt\" + \"B\x84r.txt.003\"\r\n";
        EXPECT_TRUE(name[0] != 'B' || ReadFileBytes(batch) == oem) << ReadFileBytes(batch);
        WriteFileBytes(out / "join.bat", ReadFileBytes(batch));
        EXPECT_EQ(RunProgram("cmd /c join.bat", out.Path()), 0u) << name;
        EXPECT_TRUE(ReadFileBytes(out / name) == content) << name;
    }
}

// The OEM code page has no euro sign: no batch file at all, the split itself untouched, and the window says
// why exactly once.
TEST(BatchFile, NoBatchFileForANameOutsideTheOemCodePage) {
    const std::string name = "Preis\x80.doc";
    const std::vector<std::string> written = {name + ".001", name + ".002", name + ".003", name + ".h001"};
    TTempDir src("src"), silent("silent"), window("window");
    WriteFileBytes(src / name, PatternBytes(2500, 8));
    EXPECT_EQ(RunChunkler("/SILENT /BATCH /SIZE1000 \"" + src / name + "\" \"" + silent.Path() + "\""), 0u);
    EXPECT_EQ(ListNames(silent.Path()), written);
    TScriptedHooks hooks;
    TChunklerStartParams p{
        .SourcePath = src / name, .OutputDir = window.Path(), .CreateBatch = true, .PartSize = 1000};
    EXPECT_EQ(TChunkler(&hooks).Execute(p), crOk);
    EXPECT_EQ(ListNames(window.Path()), written);
    const std::vector<std::string> texts = hooks.Texts();
    EXPECT_EQ(texts.size(), 3u) << "part count, this warning and the summary";
    EXPECT_EQ(
        std::count(
            texts.begin(), texts.end(),
            "No batchfile can be created for \"Preis\x80.doc\": the command prompt cannot spell this file "
            "name. The file will be split without a batchfile."),
        1);
}
