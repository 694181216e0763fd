// Splitting: part and header files compared whole, the window-mode questions, and what a split may write
// beside the parts: the joining batch file with the program copy, and the checksum file a join checks.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "support/TestSupport.h"
#include "support/UnitLanguage.h"

using namespace testsupport;

// The first tree entry is split, silently or answering Answers; the parts and header files must hold the
// files' contents and the header in order, cut at the sizes given. The header is written with the times.
TEST(Split, PartsHeaderFilesAndQuestions) {
    const std::string data = PatternBytes(3000000),
                      ask = "There are # parts to create. You can press the <ESC> "
                            "key to interrupt the job. Do you want to continue?",
                      done = "Chunkler has succesfully created # partfile(s) and 1 headerfile(s). The last "
                             "partfile and the first headerfile fit on the same disk.",
                      note = done + "\r\n" + MsgCatalogEn[MsgDiskNote],
                      old = "File \"#\" already exists. Always overwrite existing files?";
    const struct {
        std::vector<TTreeEntry> Tree;
        int64_t PartSize;
        std::vector<size_t> Parts, HeaderCut;
        std::vector<std::string> Boxes = {}; // window mode with these boxes, silent without
        std::vector<int> Answers = {};       // a second answer is for the overwrite question on .002
        int CancelAtPoll = 0;
    } cases[] = {
        // clang-format off
        {{{"data.bin", data.substr(0, 200000)}}, 100000, {100000, 100000, 0}, {44}},
        {{{"empty.txt", ""}}, 1000, {0}, {40}},
        {{{"Tree\\", ""}, {"Tree\\Sub\\", ""}}, 1000, {0}, {66}},
        // 70 header bytes after 10 bytes in part 9: 20 fill that disk, 30 the next, 20 the last.
        {{{"Docs\\", ""}, {"Docs\\a.bin", data.substr(0, 250)}}, 30, {30, 30, 30, 30, 30, 30, 30, 30, 10}, {20, 30, 20}},
        {{{"report.doc", data}}, 1453568, {}, {}, {ask}, {IDNO}},
        {{{"report.doc", data}}, 726016, {726016, 726016, 726016, 726016, 95936}, {47}, {ask, note}},
        {{{"report.doc", data}}, 1000000, {1000000, 1000000, 1000000, 0}, {47}, {ask, done}},
        {{{"report.doc", data}}, 1453568, {1453568, 3}, {3}, {ask, old}, {IDYES, IDNO}},
        // Part 1 takes 12 blocks, so two blocks of part 2 are written before Escape.
        {{{"report.doc", data}}, 1453568, {1453568, 2 * 131072}, {}, {ask}, {}, 14},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        TTempDir src, out;
        BuildTree(src.Path(), c.Tree);
        std::string content, header = "ChKl40";
        for (const auto& e : c.Tree) {
            const bool folder = e.Name.back() == '\\';
            const std::string name = e.Name.substr(0, e.Name.size() - folder);
            SetLastWriteTime(src / name, MakeFileTime(2001, 2, 3, 4, 5, 6, 789));
            header += Record(name, folder ? "D" : "F", std::to_string(e.Content.size()), "20010203040506789");
            content += e.Content;
        }
        header += "\t\t";
        const std::string name = c.Tree[0].Name.substr(0, c.Tree[0].Name.find('\\')), base = out / name;
        if (c.Answers.size() > 1)
            for (const char* suffix : {".002", ".h001"})
                WriteFileBytes(base + suffix, "old");
        TScriptedHooks hooks;
        hooks.Answers.assign(c.Answers.begin(), c.Answers.end());
        hooks.CancelAtPoll = c.CancelAtPoll;
        const bool complete = c.Boxes.size() != 1 && c.Answers != std::vector{IDYES, IDNO};
        EXPECT_EQ(RunJob(false, src / name, out.Path(), c.PartSize, c.Boxes.empty() ? nullptr : &hooks),
                  complete ? crOk : crCancelled);
        // Each box as "type text", # standing for the part count or the path.
        std::vector<std::string> want, got;
        for (std::string box : c.Boxes) {
            const UINT type = box == ask   ? MB_YESNO | MB_ICONINFORMATION
                              : box == old ? MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2
                                           : MB_OK | MB_ICONINFORMATION;
            box.replace(box.find('#'), 1,
                        box == old ? base + ".002" : std::to_string((3000000 + c.PartSize - 1) / c.PartSize));
            want.push_back("Split " + std::to_string(type) + " " + box);
        }
        for (const auto& m : hooks.Messages)
            got.push_back(m.Caption + " " + std::to_string(m.Type) + " " + m.Text);
        EXPECT_EQ(got, want);
        // What each part and header file holds, and the sizes they were cut at.
        for (const auto& [suffix, cut, bytes] :
             {std::tuple{".", c.Parts, content}, {".h", c.HeaderCut, header}}) {
            std::string all;
            std::vector<size_t> sizes;
            for (int n = 1; FileExists(base + suffix + IntToStrZeroPad(n, 3)); ++n) {
                sizes.push_back(size_t(FileSize(base + suffix + IntToStrZeroPad(n, 3))));
                all += ReadFileBytes(base + suffix + IntToStrZeroPad(n, 3));
            }
            EXPECT_EQ(sizes, cut);
            // Kept old files: a whole part 1 and the old part 2, or the old header file.
            const bool kept = c.Answers == std::vector{IDYES, IDNO};
            EXPECT_TRUE(all == (kept ? bytes.substr(0, suffix[1] ? 0 : cut[0]) + "old"
                                     : bytes.substr(0, all.size())));
        }
    }
}

// "%" would start a variable; "&", "^", "!", "(", ")" and blanks must stay plain text inside the quotes. The
// batch file runs under a plain name of its own, so only its lines are on trial. An old batch file is
// replaced without a question; an existing program copy is never replaced. The OEM code page has no euro
// sign: no batch file at all, the split itself untouched, and the window says why once, before the part
// count question.
TEST(BatchFile, RebuildsTheFileWhateverItsNameAndTheProgramIsCopied) {
    const std::string program = ReadFileBytes(ChunklerExe().substr(1, ChunklerExe().size() - 2));
    for (const std::string name : {"B\xE4r.txt", "50%off.doc", "a & b ^ c ! (d) 100%.txt", "Preis\x80.doc"}) {
        TTempDir src, out;
        const std::string content = PatternBytes(2500, 7),
                          batch = out / (name.substr(0, name.rfind('.')) + ".bat");
        WriteFileBytes(src / name, content);
        if (name[0] == '5')
            WriteFileBytes(out / "Chunkler.exe", "keep me");
        else if (name[0] != 'P')
            WriteFileBytes(batch, "an old batch file, longer than the new one, which must not leave a tail");
        ASSERT_EQ(RunChunkler("/SILENT /BATCH /COPY /SIZE1000 \"" + src / name + "\" \"" + out.Path() + "\""),
                  0u);
        EXPECT_TRUE(ReadFileBytes(out / "Chunkler.exe") == (name[0] == '5' ? "keep me" : program)) << name;
        EXPECT_EQ(ListNames(out.Path()).size(), name[0] == 'P' ? 5u : 6u); // three parts, a header file
        if (name[0] == 'P') {
            TScriptedHooks hooks;
            TChunklerStartParams p{
                .SourcePath = src / name, .OutputDir = src.Path(), .CreateBatch = true, .PartSize = 1000};
            EXPECT_EQ(TChunkler(&hooks).Execute(p), crOk);
            EXPECT_EQ(hooks.Texts().size(), 3u);
            EXPECT_EQ(hooks.Texts()[0],
                      "No batchfile can be created for \"Preis\x80.doc\": the command prompt "
                      "cannot spell this file name. The file will be split without a batchfile.");
            EXPECT_FALSE(FileExists(batch) || FileExists(src / "Preis\x80.bat"));
            continue;
        }
        const std::string oem =
            "copy /b \"B\x84r.txt.001\" \"B\x84r.txt\"\r\ncopy /b \"B\x84r.txt\" + \"B\x84r.txt.002\"\r\n"
            "copy /b \"B\x84r.txt\" + \"B\x84r.txt.003\"\r\n";
        EXPECT_TRUE(name[0] != 'B' || ReadFileBytes(batch) == oem) << ReadFileBytes(batch);
        WriteFileBytes(out / "join.bat", ReadFileBytes(batch));
        EXPECT_EQ(RunProgram("cmd /c join.bat", out.Path()), 0u) << name;
        EXPECT_TRUE(ReadFileBytes(out / name) == content) << name;
    }
}

// doc.bin (250000 bytes) is split into parts of 100000 with /SFV. Every file of the set is checked in full,
// the tail the join never needs included. Lines that do not parse, comments and names of other files change
// nothing; names match whatever their case.
TEST(Sfv, SplitWritesWhatCksfvAcceptsAndADamagedFileEndsTheJoinWith13) {
    TTempDir tmp;
    const std::string sfv = tmp / "parts\\doc.bin.sfv";
    BuildTree(tmp.Path(), {{"src\\", ""},
                           {"parts\\", ""},
                           {"src\\doc.bin", PatternBytes(250000, 7), MakeFileTime(2002, 2, 2, 2, 2, 2, 2)}});
    ASSERT_EQ(RunChunkler("/SILENT /SFV /SIZE100000 src\\doc.bin parts", tmp.Path()), 0u);
    const std::string listed = ReadFileBytes(sfv);
    EXPECT_EQ(listed.rfind("; Chunkler 4.0\r\ndoc.bin.001 ", 0), 0u) << listed;
    EXPECT_EQ(std::count(listed.begin(), listed.end(), '\n'), 5) << listed; // three parts, one header file
    EXPECT_EQ(RunUnixShell("cd " + UnixPath(tmp / "parts") + " && cksfv -q -f doc.bin.sfv"), 0u);
    WriteFileBytes(sfv, "garbage\ndoc.bin.002 1234567\r\ndoc.bin.002 12345678 x\r\n;doc.bin.002 00000000\r\n"
                        "doc.bin.1000 00000000\r\nother.bin.002 00000000\r\n\r\n" +
                            listed);
    const auto flip = [](size_t At) { return [=](std::string b) { return b[At] ^= 0x20, b; }; };
    const std::pair<const char*, std::function<std::string(std::string)>> cases[] = {
        {"doc.bin.002", flip(50000)},
        {"doc.bin.003", [](std::string b) { return b + "?"; }},
        {"doc.bin.h001", flip(12)}, // a name letter: another valid header
        {nullptr, [](std::string b) { return b; }}};
    for (const auto& [name, damage] : cases) {
        SCOPED_TRACE(name ? name : "intact");
        const std::string file = tmp / "parts\\" + (name ? name : "doc.bin.001"), kept = ReadFileBytes(file);
        WriteFileBytes(file, damage(kept));
        TTempDir silent, window;
        const TChunklerResult expected = name ? crChecksumError : crOk;
        EXPECT_EQ(RunJob(true, tmp / "parts\\DOC.BIN.002", silent.Path()), expected);
        // Nothing half-restored stays; the intact set comes back with the stored time.
        EXPECT_EQ(ListTree(silent.Path()), name ? std::vector<std::string>{} : ListTree(tmp / "src"));
        TScriptedHooks hooks;
        EXPECT_EQ(RunJob(true, tmp / "parts\\doc.bin.002", window.Path(), 0, &hooks), expected);
        const TMessageRecord& last = hooks.Messages.back();
        EXPECT_TRUE(!name || last.Caption + " " + std::to_string(last.Type) + " " + last.Text ==
                                 "Join " + std::to_string(MB_ICONWARNING) + " Part file \"" + name +
                                     "\" is damaged (checksum error)!")
            << last.Text;
        WriteFileBytes(file, kept);
    }
}
