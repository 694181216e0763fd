// Path helpers and the file inventory, on the real file system of the test prefix.
#include <gtest/gtest.h>

#include "inventory/UnitFileInfo.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

// "name D0|name F12|..." in list order: one readable string to compare a whole listing with.
std::string Listing(const TFileInfos& List) {
    std::string text;
    for (int i = 0; i < List.Count(); ++i) {
        const TFileInfo& e = *List.GetItem(i);
        text += e.FileName + (e.Kind == pkFile ? " F" : e.Kind == pkFolder ? " D" : " ?");
        text += std::to_string(e.Size) + "|";
    }
    return text;
}

} // namespace

TEST(PathHelpers, TextResults) {
    struct {
        std::string (*Fn)(const std::string&);
        const char *In, *Out;
    } cases[] = {
        {StripTrailingBackslashes, "\\\\\\", ""},
        {GetParentFolder, "C:\\", "C:"},
        {GetParentFolder, "\\\\server\\share\\dir", "\\\\server\\share"},
        {GetParentFolder, "file", "file"},
        {GetParentFolder, "\\file", ""},
        {GetFileNamePart, "C:file.txt", "C:file.txt"},
        {StripExtension, "C:\\dir\\file.tar.gz", "C:\\dir\\file.tar"},
        {StripExtension, "C:\\dir.x\\file", "C:\\dir.x\\file"},
        {StripExtension, "C:\\dir\\.cfg", "C:\\dir\\"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.Fn(c.In), c.Out) << "input " << c.In;
    EXPECT_EQ(LastDelimiterPos(".\\", "a.b\\x"), 4u);
    EXPECT_EQ(LastDelimiterPos(".", "a.b\\x"), 2u);
}

TEST(PathHelpers, KindAndFullPathOnTheFileSystem) {
    TTempDir dir;
    BuildTree(dir.Path(), {{"sub\\", ""}});
    EXPECT_EQ(GetPathKind(dir / "sub\\\\"), pkFolder);
    EXPECT_EQ(GetPathKind(dir.Path() + "/sub"), pkMissing)
        << "an existing path written with / counts as missing";
    char oldDir[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, oldDir);
    ASSERT_TRUE(SetCurrentDirectoryA(dir.Path().c_str()));
    EXPECT_EQ(ExpandFullPath("sub\\"), dir / "sub\\");
    EXPECT_EQ(ExpandFullPath("missing"), "missing");
    SetCurrentDirectoryA(oldDir);
}

// The limit of 1,000 is tested only when a folder entry is added: after a 2,000-byte file, the folder m
// is listed but not entered and the rest of a is dropped; the enclosing folder goes on with its files
// until it adds a folder too.
TEST(FileInfos, SizeLimitIsTestedWhenAFolderEntryIsAdded) {
    TTempDir dir;
    const std::string big(2000, 'b');
    BuildTree(dir / "top", {{"a\\", ""}, {"a\\big", big}, {"a\\m\\", ""}, {"a\\m\\x", "x"}, {"a\\n", "n"}});
    BuildTree(dir / "top", {{"z", "z"}, {"zz\\", ""}, {"zzz", "3"}});
    TFileInfos list;
    EXPECT_TRUE(list.BuildFromPath(dir / "top", 1000));
    EXPECT_EQ(Listing(list), "top D0|top\\a D0|top\\a\\big F2000|top\\a\\m D0|top\\z F1|top\\zz D0|");

    TFileInfos file;
    EXPECT_FALSE(file.BuildFromPath(dir / "top\\a\\big", 2000));
    EXPECT_EQ(file.BaseFolder, dir / "top\\a");
    EXPECT_EQ(Listing(file), "big F2000|");
    EXPECT_TRUE(TFileInfos().BuildFromPath(dir / "top\\a\\big", 1999));
    EXPECT_FALSE(TFileInfos().BuildFromPath(dir / "nothing", 0));
}

TEST(FileInfos, DriveRootListsItsContentWithoutTheRoot) {
    const std::string root = TestDriveRoot('T');
    ClearFolder(root);
    BuildTree(StripTrailingBackslashes(root), {{"d\\", ""}, {"d\\y.txt", "yy"}, {"x.txt", "x"}});
    for (const std::string& path : {root, StripTrailingBackslashes(root)}) {
        TFileInfos list;
        EXPECT_EQ(GetPathKind(path), pkRoot);
        EXPECT_FALSE(list.BuildFromPath(path, INT64_MAX));
        EXPECT_EQ(list.BaseFolder, "T:");
        EXPECT_EQ(Listing(list), "d D0|d\\y.txt F2|x.txt F1|");
    }
    ClearFolder(root);
}

// Part n holds 10^(n-1) bytes, so the summed size tells which parts were counted; a negative number is
// a folder carrying that part's name, and a size of -1 means the parts are refused.
TEST(FileInfos, BuildFromPartFilesSumsConsecutiveParts) {
    const size_t partSize[] = {0, 1, 10, 100, 1000};
    const std::pair<std::vector<int>, int64_t> cases[] = {
        {{1, 2, 3}, 111}, {{1, 2, 4}, 11}, {{1, 2, -3, 4}, 11}, {{1}, -1}, {{2, 3}, -1}, {{1, -2}, -1}};
    const FILETIME t = MakeFileTime(2010, 1, 2, 3, 4, 5, 600);
    for (const auto& [numbers, size] : cases) {
        std::vector<TTreeEntry> parts;
        for (int n : numbers)
            parts.push_back({"report.doc.00" + std::to_string(std::abs(n)) + (n < 0 ? "\\" : ""),
                             std::string(partSize[std::abs(n)], 'p'), n == 1 ? t : FILETIME{}});
        TTempDir dir;
        BuildTree(dir / "in.x", parts);
        TFileInfos list;
        list.Add()->FileName = "stale";
        EXPECT_EQ(list.BuildFromPartFiles(dir / "in.x\\report.doc.001"), size >= 0);
        EXPECT_EQ(Listing(list), size < 0 ? "" : "report.doc F" + std::to_string(size) + "|");
        EXPECT_TRUE(size < 0 || CompareFileTime(&list.GetItem(0)->LastWriteTime, &t) == 0);
    }
}
