// Splits: parts and header files, questions, older sets, the batch file, the program copy, checksums.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "support/TestSupport.h"
#include "support/UnitLanguage.h"

using namespace testsupport;

namespace {

const std::string Data = PatternBytes(3000000);

// A box of a split as the scripted user saw it; <out> stands for the output folder.
std::string Box(UINT Type, const std::string& Text) {
    return "Split " + std::to_string(Type) + " " + Text;
}
std::string Ask(int Parts) {
    return Box(MB_YESNO | MB_ICONINFORMATION,
               "There are " + std::to_string(Parts) +
                   " parts to create. You can press the <ESC> key to interrupt "
                   "the job. Do you want to continue?");
}
std::string Summary(int Parts, bool DiskNote) {
    const std::string note =
        "\r\nNote: Sometimes preformatted floppy disks have damaged sectors, so please make "
        "sure, you can read back the copied files from the disks!";
    return Box(MB_OK | MB_ICONINFORMATION,
               "Chunkler has succesfully created " + std::to_string(Parts) +
                   " partfile(s) and 1 headerfile(s). The last partfile and the first "
                   "headerfile fit on the same disk." +
                   (DiskNote ? note : ""));
}
std::string Overwrite(const std::string& Name) {
    return Box(MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2, text::Overwrite("<out>\\" + Name));
}

} // namespace

// Parts and header files hold the content and the header (with the times) in order, cut at the sizes given.
// An older set of the name is replaced whole once the user agrees; a split that does not end leaves none.
TEST(Split, PartsHeaderFilesQuestionsAndOlderSets) {
    const struct {
        const char* Name;
        std::vector<TTreeEntry> Tree; // the first entry is split
        int64_t PartSize;
        std::vector<size_t> Parts = {}, HeaderFiles = {}; // the sizes of the set's files afterwards
        TChunklerResult Result = crOk;
        std::vector<std::string> Boxes = {}; // a window-mode split with these boxes; silent without
        std::vector<int> Answers = {};
        int CancelAtPoll = 0;
        std::vector<TTreeEntry> Before = {}, After = {}; // other files in the output folder
        bool Batch = false;                              // with the batch file asked for
    } cases[] = {
        // clang-format off
        {.Name = "content that ends on a part boundary leaves an empty part", .Tree = {{"data.bin", Data.substr(0, 200000)}},
         .PartSize = 100000, .Parts = {100000, 100000, 0}, .HeaderFiles = {44}},
        {.Name = "an empty file", .Tree = {{"empty.txt", ""}}, .PartSize = 1000, .Parts = {0}, .HeaderFiles = {40}},
        {.Name = "a tree of empty folders", .Tree = {{"Tree\\", ""}, {"Tree\\Sub\\", ""}}, .PartSize = 1000, .Parts = {0},
         .HeaderFiles = {66}},
        // 70 header bytes after 10 bytes in part 9: 20 fill that disk, 30 the next, 20 the last.
        {.Name = "a header over three disks", .Tree = {{"Docs\\", ""}, {"Docs\\a.bin", Data.substr(0, 250)}}, .PartSize = 30,
         .Parts = {30, 30, 30, 30, 30, 30, 30, 30, 10}, .HeaderFiles = {20, 30, 20}},
        {.Name = "No to the part count", .Tree = {{"report.doc", Data}}, .PartSize = 1453568, .Result = crCancelled,
         .Boxes = {Ask(3)}, .Answers = {IDNO}},
        {.Name = "720 KB disks: the summary has the disk note", .Tree = {{"report.doc", Data}}, .PartSize = 726016,
         .Parts = {726016, 726016, 726016, 726016, 95936}, .HeaderFiles = {47}, .Boxes = {Ask(5), Summary(5, true)}},
        {.Name = "no disk size: no disk note", .Tree = {{"report.doc", Data}}, .PartSize = 1000000,
         .Parts = {1000000, 1000000, 1000000, 0}, .HeaderFiles = {47}, .Boxes = {Ask(3), Summary(3, false)}},
        {.Name = "an older set is kept when the user says No", .Tree = {{"report.doc", Data}}, .PartSize = 1453568,
         .Result = crCancelled, .Boxes = {Ask(3), Overwrite("report.doc.002")}, .Answers = {IDYES, IDNO},
         .Before = {{"report.doc.002", "old"}, {"report.doc.h001", "old"}},
         .After = {{"report.doc.002", "old"}, {"report.doc.h001", "old"}}},
        {.Name = "an older, longer set is replaced whole, and nothing of other names", .Tree = {{"f.bin", Data.substr(0, 2500)}},
         .PartSize = 1000, .Parts = {1000, 1000, 500}, .HeaderFiles = {39},
         .Boxes = {Ask(3), Overwrite("f.bin.002"), Summary(3, false)},
         .Before = {{"f.bin.002", "old"}, {"f.bin.006", "old"}, {"f.bin.H1002", "old"}, {"f.bin.sfv", "f.bin.006 0123ABCD\r\n"},
          {"f.bat", "copy /b \"f.bin.001\" \"f.bin\"\r\ncopy /b \"f.bin\" + \"f.bin.002\"\r\n"}, {"f.bin.1000", "mine"},
          {"f.bin.12", "mine"}, {"f.bin.2024", "mine"}, {"f.bin.0001", "mine"}, {"f.bin.h0001", "mine"}, {"f.bin.h", "mine"},
          {"g.bin.001", "mine"}, {"f.bin.002.~chunkler", "mine"}},
         .After = {{"f.bin.1000", "mine"}, {"f.bin.12", "mine"}, {"f.bin.2024", "mine"}, {"f.bin.0001", "mine"},
          {"f.bin.h0001", "mine"}, {"f.bin.h", "mine"}, {"g.bin.001", "mine"}, {"f.bin.002.~chunkler", "mine"}}},
        {.Name = "another tool's checksum file and the user's batch file of the name stay", .Tree = {{"f.bin", Data.substr(0, 500)}},
         .PartSize = 1000, .Parts = {500}, .HeaderFiles = {38},
         .Before = {{"f.bin.sfv", "f.bin.001 0123ABCD\r\nf.bin 0123ABCD\r\n"}, {"f.bat", "copy /b \"f.bin.001\" \"f.bin\"\r\ndel f.bin.001\r\n"}},
         .After = {{"f.bin.sfv", "f.bin.001 0123ABCD\r\nf.bin 0123ABCD\r\n"}, {"f.bat", "copy /b \"f.bin.001\" \"f.bin\"\r\ndel f.bin.001\r\n"}}},
        {.Name = "a read-only older part stays under another name", .Tree = {{"f.bin", Data.substr(0, 2500)}}, .PartSize = 1000,
         .Parts = {1000, 1000, 500}, .HeaderFiles = {39}, .Boxes = {Ask(3), Overwrite("f.bin.002"), Box(MB_OK | MB_ICONWARNING,
         "The new set is complete, but 1 older file(s) could not be removed and remain under another name, the first as "
         "\"<out>\\f.bin.002.~chunkler\": Access denied.\r\n"), Summary(3, false)},
         .Before = {{"f.bin.002", "old", {}, FILE_ATTRIBUTE_READONLY}}, .After = {{"f.bin.002.~chunkler", "old"}}},
        {.Name = "no letter for the euro sign: no batch file", .Tree = {{"Preis\x80.doc", Data.substr(0, 2500)}}, .PartSize = 1000,
         .Parts = {1000, 1000, 500}, .HeaderFiles = {44}, .Boxes = {Box(MB_OK | MB_ICONWARNING, "No batchfile can be created "
         "for \"Preis\x80.doc\": the command prompt cannot spell this file name. The file will be split without a batchfile."),
         Ask(3), Summary(3, false)}, .Batch = true},
        {.Name = "a batch file of the split file's own name: none", .Tree = {{"setup.bat", Data.substr(0, 2500)}}, .PartSize = 1000,
         .Parts = {1000, 1000, 500}, .HeaderFiles = {43}, .Boxes = {Box(MB_OK | MB_ICONWARNING, "No batchfile can be created "
         "for \"setup.bat\": the batchfile would have the name of the file it rebuilds. The file will be split without a "
         "batchfile."), Ask(3), Summary(3, false)}, .Batch = true},
        {.Name = "the user's own batch file is kept", .Tree = {{"report.doc", Data.substr(0, 2500)}}, .PartSize = 1000,
         .Result = crCancelled, .Boxes = {Ask(3), Overwrite("report.bat")}, .Answers = {IDYES, IDNO},
         .Before = {{"report.bat", "mine"}}, .After = {{"report.bat", "mine"}}, .Batch = true},
        {.Name = "Escape after Yes to replacing gives the older set back", .Tree = {{"report.doc", Data}}, .PartSize = 1453568,
         .Result = crCancelled, .Boxes = {Ask(3), Overwrite("report.doc.001")}, .CancelAtPoll = 3,
         .Before = {{"report.doc.001", "old"}, {"report.doc.h001", "old"}, {"report.doc.bak", "mine"}, {"report.bat", "mine"}},
         .After = {{"report.doc.001", "old"}, {"report.doc.h001", "old"}, {"report.doc.bak", "mine"}, {"report.bat", "mine"}},
         .Batch = true},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TTempDir src, out;
        BuildTree(src.Path(), c.Tree);
        BuildTree(out.Path(), c.Before);
        std::string content, header = "ChKl40";
        for (const auto& e : c.Tree) {
            const bool folder = e.Name.back() == '\\';
            const std::string name = e.Name.substr(0, e.Name.size() - folder);
            SetLastWriteTime(src / name, MakeFileTime(2001, 2, 3, 4, 5, 6, 789));
            header += Record(name, folder ? "D" : "F", std::to_string(e.Content.size()), "20010203040506789");
            content += e.Content;
        }
        header += "\t\t";
        const std::string name = c.Tree[0].Name.substr(0, c.Tree[0].Name.find('\\'));
        TScriptedHooks hooks;
        hooks.Answers.assign(c.Answers.begin(), c.Answers.end());
        hooks.CancelAtPoll = c.CancelAtPoll;
        TChunklerStartParams p{.SourcePath = src / name, .OutputDir = out.Path(), .CreateBatch = c.Batch};
        p.PartSize = c.PartSize, p.Silent = c.Boxes.empty();
        EXPECT_EQ(TChunkler(&hooks).Execute(p), c.Result);
        EXPECT_EQ(hooks.Texts(out.Path(), true), c.Boxes);
        // The set's files: their sizes, and together the content and the header. Then everything else.
        std::vector<std::string> names;
        for (const auto& [infix, sizes, bytes] :
             {std::tuple{".", c.Parts, content}, {".h", c.HeaderFiles, header}}) {
            std::string all;
            for (size_t n = 1; n <= sizes.size(); ++n) {
                names.push_back(name + infix + IntToStrZeroPad(int64_t(n), 3));
                EXPECT_EQ(FileSize(out / names.back()), int64_t(sizes[n - 1])) << names.back();
                all += ReadFileBytes(out / names.back());
            }
            EXPECT_TRUE(all == (sizes.empty() ? "" : bytes)) << infix;
        }
        for (const auto& e : c.After) {
            names.push_back(e.Name);
            EXPECT_EQ(ReadFileBytes(out / e.Name), e.Content) << e.Name;
        }
        std::sort(names.begin(), names.end());
        EXPECT_EQ(ListNames(out.Path()), names);
    }
}

// A folder split into itself or into a folder inside it, twice: the second set is the first again (neither
// the output folder nor the older set is read as content), the join gives the source back without the output
// folder, and no file of the source changes.
TEST(Split, IntoItsOwnSourceLeavesOutTheOutputFolderAndTheOlderSet) {
    for (const std::string output : {"S", "S\\out"}) {
        SCOPED_TRACE(output);
        TTempDir tmp;
        BuildTree(tmp.Path(), {{"S\\", ""},
                               {"S\\out\\", ""},
                               {"S\\a.bin", Data.substr(0, 250000)},
                               {"S\\S.sfv", "; another tool's"},
                               {"j\\", ""}});
        std::vector<std::string> source = ListTree(tmp / "S"), sets[2];
        for (auto& set : sets) {
            ASSERT_EQ(RunJob(false, tmp / "S", tmp / output, 100000), crOk);
            for (const char* name : {"S.001", "S.002", "S.003"}) // the header holds the folder's new time
                set.push_back(ReadFileBytes(tmp / output + "\\" + name));
        }
        EXPECT_TRUE(sets[0] == sets[1]);
        const auto after = ListTree(tmp / "S");
        for (const auto& entry : source)
            EXPECT_TRUE(entry.rfind("out\\", 0) == 0 || std::count(after.begin(), after.end(), entry))
                << entry;
        ASSERT_EQ(RunJob(true, tmp / output + "\\S.001", tmp / "j"), crOk);
        if (output != "S")
            std::erase_if(source, [](const std::string& Entry) { return Entry.rfind("out\\", 0) == 0; });
        EXPECT_EQ(ListTree(tmp / "j\\S"), source);
    }
}

// "%" would start a variable; "&", "^", "!", "(", ")" and blanks stay plain inside the quotes; letters go in
// the OEM code page. An old batch file is replaced whole, a program copy never. (Refused names: split table.)
TEST(BatchFile, RebuildsTheFileWhateverItsNameAndTheProgramIsCopied) {
    const std::string program = ReadFileBytes(ChunklerExe().substr(1, ChunklerExe().size() - 2)),
                      content = PatternBytes(2500, 7);
    const struct {
        const char* Name;
        std::string File, Batch;        // split silently with /BATCH /COPY into three parts
        std::vector<TTreeEntry> Before; // in the output folder
        std::string Program, Lines;     // the program copy and the batch file afterwards
    } cases[] = {
        // clang-format off
        {"letters of the OEM code page", "B\xE4r.txt", "B\xE4r.bat", {}, program,
         "copy /b \"B\x84r.txt.001\" \"B\x84r.txt\"\r\ncopy /b \"B\x84r.txt\" + \"B\x84r.txt.002\"\r\n"
         "copy /b \"B\x84r.txt\" + \"B\x84r.txt.003\"\r\n"},
        {"characters the command prompt reads", "a & b ^ c ! (d) 100%.txt", "a & b ^ c ! (d) 100%.bat",
         {{"a & b ^ c ! (d) 100%.bat", "an old batch file, longer than the new one, which must not leave a tail"}},
         program, "copy /b \"a & b ^ c ! (d) 100%%.txt.001\" \"a & b ^ c ! (d) 100%%.txt\"\r\n"
         "copy /b \"a & b ^ c ! (d) 100%%.txt\" + \"a & b ^ c ! (d) 100%%.txt.002\"\r\n"
         "copy /b \"a & b ^ c ! (d) 100%%.txt\" + \"a & b ^ c ! (d) 100%%.txt.003\"\r\n"},
        {"an existing program copy is kept", "50%off.doc", "50%off.bat", {{"Chunkler.exe", "keep me"}}, "keep me",
         "copy /b \"50%%off.doc.001\" \"50%%off.doc\"\r\ncopy /b \"50%%off.doc\" + \"50%%off.doc.002\"\r\n"
         "copy /b \"50%%off.doc\" + \"50%%off.doc.003\"\r\n"},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TTempDir src, out;
        WriteFileBytes(src / c.File, content);
        BuildTree(out.Path(), c.Before);
        ASSERT_EQ(RunProgram(ChunklerExe() + " /SILENT /BATCH /COPY /SIZE1000 \"" + src / c.File + "\" \"" +
                             out.Path() + "\""),
                  0u);
        EXPECT_TRUE(ReadFileBytes(out / "Chunkler.exe") == c.Program);
        EXPECT_EQ(ListNames(out.Path()).size(), 6u) << "the program, three parts, a header and a batch file";
        EXPECT_EQ(ReadFileBytes(out / c.Batch), c.Lines);
        WriteFileBytes(out / "join.bat", ReadFileBytes(out / c.Batch));
        EXPECT_EQ(RunProgram("cmd /c join.bat", out.Path()), 0u);
        EXPECT_TRUE(ReadFileBytes(out / c.File) == content);
    }
}

// Docs (a.bin and b.bin end in part 2, c.bin in part 3) with /SFV: a damaged part leaves none of the files
// read from it, and the user's copies as they were. Other lines change nothing; names match in any case.
TEST(Sfv, SplitWritesWhatCksfvAcceptsAndADamagedPartLeavesNoFileReadFromIt) {
    TTempDir tmp;
    const std::string files[] = {PatternBytes(150000, 1), PatternBytes(20000, 2), PatternBytes(80000, 3)};
    // clang-format off
    BuildTree(tmp.Path(), {{"src\\", ""}, {"src\\Docs\\", ""}, {"parts\\", ""}, {"src\\Docs\\a.bin", files[0]},
                           {"src\\Docs\\b.bin", files[1]}, {"src\\Docs\\c.bin", files[2]}});
    // clang-format on
    ASSERT_EQ(RunProgram(ChunklerExe() + " /SILENT /SFV /SIZE100000 src\\Docs parts", tmp.Path()), 0u);
    const std::string sfv = tmp / "parts\\Docs.sfv", listed = ReadFileBytes(sfv);
    EXPECT_EQ(listed.rfind("; Chunkler 4.0\r\nDocs.001 ", 0), 0u) << listed;
    EXPECT_EQ(std::count(listed.begin(), listed.end(), '\n'), 5) << listed; // three parts, one header file
    EXPECT_EQ(RunUnixShell("cd " + UnixPath(tmp / "parts") + " && cksfv -q -f Docs.sfv"), 0u);
    WriteFileBytes(sfv, "garbage\nDocs.002 1234567\r\nDocs.002 12345678 x\r\n;Docs.002 00000000\r\n"
                        "Docs.1000 00000000\r\nother.bin.002 00000000\r\n\r\n" +
                            listed);
    const auto flip = [](size_t At) { return [=](std::string b) { return b[At] ^= 0x20, b; }; };
    const struct {
        const char* Name;
        const char* File;
        std::function<std::string(std::string)> Damage;
        std::vector<std::string> Kept; // the restored files that stay
    } cases[] = {
        // clang-format off
        {"a byte of part 2, in c.bin", "DOCS.002", flip(90000), {}},
        {"a byte of the last part", "DOCS.003", flip(10), {"a.bin", "b.bin"}},
        {"a name letter in the header: another valid header", "DOCS.h001", flip(12), {}},
        {"intact", "DOCS.001", [](std::string b) { return b; }, {"a.bin", "b.bin", "c.bin"}},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string file = tmp / "parts\\" + c.File, kept = ReadFileBytes(file);
        WriteFileBytes(file, c.Damage(kept));
        const TChunklerResult expected = c.Kept.size() == 3 ? crOk : crChecksumError;
        // Over the user's own copies of a.bin and b.bin, with a Yes to replacing them.
        TTempDir out;
        BuildTree(out.Path(), {{"Docs\\", ""}, {"Docs\\a.bin", "old a"}, {"Docs\\b.bin", "old b"}});
        TScriptedHooks hooks;
        EXPECT_EQ(RunJob(true, tmp / "parts\\DOCS.002", out.Path(), 0, &hooks), expected);
        EXPECT_EQ(hooks.Texts(out.Path()).back(),
                  expected == crOk ? text::Overwrite("<out>\\Docs\\a.bin") : text::Damaged(c.File));
        EXPECT_EQ(hooks.Messages.back().Type,
                  expected == crOk ? UINT(MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) : UINT(MB_ICONWARNING));
        for (int i = 0; i < 3; ++i) {
            const std::string name = std::string(1, char('a' + i)) + ".bin";
            const bool restored = std::count(c.Kept.begin(), c.Kept.end(), name) > 0;
            EXPECT_EQ(ReadFileBytes(out / "Docs\\" + name), restored ? files[i]
                                                            : i < 2  ? "old " + name.substr(0, 1)
                                                                     : "<missing>")
                << name;
        }
        WriteFileBytes(file, kept);
    }
}

// /RECOVER2: par2 finds the set intact and rebuilds a lost part and a damaged header file. An older set's
// recovery files go with it, with new ones or none; those "par2 create" made for the user's file stay.
TEST(Recovery, Par2RebuildsTwoFilesAndOlderSetsTakeTheirRecoveryFilesAlong) {
    TTempDir tmp;
    BuildTree(tmp.Path(), {{"Docs\\", ""},
                           {"Docs\\a.bin", Data.substr(0, 250000)},
                           {"Docs\\e.txt", ""},
                           {"f.bin", Data.substr(0, 40000)}});
    const std::string shell = "cd " + UnixPath(tmp.Path()) + " && ";
    ASSERT_EQ(RunUnixShell(shell + "par2 create -q -q -t1 f.bin"), 0u);
    const auto split = [&, users = ListNames(tmp.Path())](const std::string& Args,
                                                          std::vector<std::string> New) {
        EXPECT_EQ(RunProgram(ChunklerExe() + " /SILENT " + Args + " .", tmp.Path()), 0u) << Args;
        New.insert(New.end(), users.begin(), users.end());
        std::sort(New.begin(), New.end());
        EXPECT_EQ(ListNames(tmp.Path()), New) << Args;
    };
    const std::vector<std::string> docs = {"Docs.001", "Docs.002", "Docs.003", "Docs.h001"};
    std::vector<std::string> recovered = docs; // the older set's 7 parts and 6 volumes are gone
    for (const char* name :
         {"Docs.par2", "Docs.vol0+1.par2", "Docs.vol1+1.par2", "Docs.vol2+1.par2", "Docs.vol3+1.par2"})
        recovered.push_back(name);
    ASSERT_EQ(RunProgram(ChunklerExe() + " /SILENT /RECOVER3 /SIZE40000 Docs .", tmp.Path()), 0u);
    split("/RECOVER2 /SIZE100000 Docs", recovered);
    for (const std::string& name : recovered)
        EXPECT_LE(FileSize(tmp / name), 100000) << name << " does not fit the disk of a part";
    EXPECT_EQ(RunUnixShell(
                  shell + "par2 verify -q -q -t1 Docs.par2 && s=$(mktemp) && md5sum Docs.0* Docs.h* >$s && "
                          "rm Docs.002 && printf X | dd of=Docs.h001 bs=1 seek=9 conv=notrunc 2>/dev/null && "
                          "par2 repair -q -q -t1 Docs.par2 && rm Docs.h001.1 && md5sum -c --quiet $s"),
              0u);
    split("/SIZE100000 Docs", docs);
    split("/SIZE100000 f.bin", {"Docs.001", "Docs.002", "Docs.003", "Docs.h001", "f.bin.001", "f.bin.h001"});
    EXPECT_EQ(RunUnixShell(shell + "par2 verify -q -q -t1 f.bin.par2"), 0u) << "the user's recovery files";
}
