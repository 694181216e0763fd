// The inventory: the header text's bytes and what a reader refuses, and listings with 64-bit sizes.
#include <gtest/gtest.h>

#include "inventory/UnitFileInfo.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

// "name D0|name F12|..." in list order.
std::string Listing(const TFileInfos& List) {
    std::string text;
    for (int i = 0; i < List.Count(); ++i) {
        const TFileInfo& e = *List.GetItem(i);
        text += e.FileName + (e.Kind == pkFile ? " F" : " D") + std::to_string(e.Size) + "|";
    }
    return text;
}

} // namespace

TEST(HeaderText, BytesCompletenessAndWhatAReaderRefuses) {
    const std::string example = "ChKl40" + Record("Docs", "D", "0", "20030401090000000") +
                                Record("Docs\\report.doc", "F", "12345") +
                                Record("Docs\\Old", "D", "0", "20021224183005000") + "\t\t";
    // Wherever header file 1 ends, the text is complete only once the rest follows.
    for (size_t cut = 1; cut < example.size(); ++cut)
        EXPECT_FALSE(TFileInfos::IsCompleteHeader(example.substr(0, cut))) << "cut at " << cut;
    TFileInfos list;
    list.BaseFolder = "C:\\old";
    ASSERT_TRUE(TFileInfos::IsCompleteHeader(example) && list.ParseHeader(example));
    EXPECT_TRUE(list.BaseFolder.empty() && list.Count() == 3 && list.GetItem(1)->Size == 12345);
    EXPECT_EQ(list.GetHeaderText(), example);
    EXPECT_EQ(list.HeaderSize(), 108);
    // A year beyond four digits is written as zeros, so that the fixed field can always be read back.
    list.GetItem(1)->LastWriteTime = MakeFileTime(10000, 1, 1, 0, 0, 0, 0);
    EXPECT_NE(list.GetHeaderText().find(Record("Docs\\report.doc", "F", "12345", "00000000000000000")),
              std::string::npos);

    // Sizes are plain digits, and those of files add up within int64; times have 17 digits; a refused header
    // leaves nothing behind. (Hostile names: see the join's table.)
    // clang-format off
    std::vector<std::string> refused = {Record("a", "D", "x"), Record("a", "F", "9223372036854775807") + Record("b"),
        Record("a") + "\t", Record("a", "F", "1", "20030517140309"), Record("a", "F", "1", "2003+517140309250")};
    // clang-format on
    for (const char* size : {"-1", "+12", "12a", "", "9223372036854775808"})
        refused.push_back(Record("a", "F", size));
    for (const std::string& records : refused) {
        EXPECT_FALSE(list.ParseHeader("ChKl40" + Record("ok") + records + "\t\t")) << "[" << records << "]";
        EXPECT_EQ(list.Count(), 0) << "[" << records << "]";
    }
    EXPECT_FALSE(list.ParseHeader("ChKl41\t\t"));
    // A folder's size means nothing: some file systems report one, and a folder has no content.
    ASSERT_TRUE(list.ParseHeader("ChKl40" + Record("a", "F", "9223372036854775807") +
                                 Record("d", "D", "4096") + "\t\t"));
    EXPECT_EQ(list.TotalSize(), 9223372036854775807);
    for (const char* name : {"con1", "nul_", "COM10", "..a", ".profile", " lead", "r\xE4s\xE9 x\\y z"}) {
        EXPECT_TRUE(list.ParseHeader("ChKl40" + Record(name, "F", "9223372036854775807") + "\t\t")) << name;
        EXPECT_EQ(list.HeaderSize(), int64_t(list.GetHeaderText().size())) << name;
    }
}

// Folders and files whose names begin with a dot are listed like any other, hidden ones too; folders have
// size 0; a drive root lists its content without itself.
TEST(Listing, FromFoldersFilesAndDriveRoots) {
    TTempDir dir;
    // clang-format off
    BuildTree(dir / "my docs", {{".git\\", ""}, {".git\\x", "x"}, {".empty", ""}, {"hollow\\", ""},
                                {"r\xE4sum\xE9.txt", "hello"}, {"sub\\", ""}, {"sub\\m\\", ""}, {"sub\\n", "n"}});
    // clang-format on
    SetFileAttributesA((dir / "my docs\\.empty").c_str(), FILE_ATTRIBUTE_HIDDEN);
    // A link back to a folder being listed would repeat it without end; it stays, empty.
    const std::string loop = UnixPath(dir / "my docs\\sub\\loop");
    ASSERT_EQ(RunUnixShell("ln -s .. " + loop), 0u);
    // 6 GiB, left sparse by the file system; the stream's positions and sizes are 64-bit as well.
    auto huge = TFileStreamLite::CreateWrite(dir / "my docs\\huge");
    EXPECT_EQ(huge->Seek(0xFFFFFFFF, FILE_BEGIN), 0xFFFFFFFF); // all low bits set is no failure
    ASSERT_TRUE(huge->Seek(6442450944, FILE_BEGIN) == 6442450944 && SetEndOfFile(huge->Handle()));
    huge.reset();
    EXPECT_EQ(TFileStreamLite::CreateRead(dir / "my docs\\huge")->GetSize(), 6442450944);
    TFileInfos tree;
    ASSERT_FALSE(tree.BuildFromPath(dir / "my docs\\", INT64_MAX).TooLarge);
    EXPECT_EQ(tree.BaseFolder, dir.Path());
    EXPECT_EQ(Listing(tree),
              "my docs D0|my docs\\.empty F0|my docs\\.git D0|my docs\\.git\\x F1|my docs\\hollow D0|my "
              "docs\\huge F6442450944|"
              "my docs\\r\xE4sum\xE9.txt F5|my docs\\sub D0|my docs\\sub\\loop D0|my docs\\sub\\m D0|my "
              "docs\\sub\\n F1|");
    EXPECT_TRUE(TFileInfos().BuildFromPath(dir / "my docs", 1000).TooLarge) << "past the limit";
    RunUnixShell("rm " + loop);
    TFileInfo folder(nullptr); // as a share or another file system reports a folder
    folder.AssignFindData("x", pkFolder, WIN32_FIND_DATAA{.nFileSizeLow = 4096});
    EXPECT_EQ(folder.Size, 0);
    TFileInfos file;
    EXPECT_FALSE(file.BuildFromPath(dir / "my docs\\sub\\n", 1).TooLarge);
    EXPECT_TRUE(file.BaseFolder == dir / "my docs\\sub" && Listing(file) == "n F1|");

    const std::string root = "T:\\";
    ClearFolder(root);
    BuildTree(root, {{"d\\", ""}, {"d\\y.txt", "yy"}, {"x.txt", "x"}});
    for (const std::string& path : {root, std::string("T:")}) {
        TFileInfos list;
        EXPECT_FALSE(list.BuildFromPath(path, INT64_MAX).TooLarge);
        EXPECT_TRUE(list.BaseFolder == "T:" && Listing(list) == "d D0|d\\y.txt F2|x.txt F1|")
            << Listing(list);
    }
    ClearFolder(root);
}
