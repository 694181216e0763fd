// Path helpers and the file inventory, on the real file system of the test prefix.
#include <gtest/gtest.h>

#include "inventory/UnitFileInfo.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

struct TExpected {
    std::string Name;
    TPathKind Kind;
    int64_t Size;
};

void ExpectList(const TFileInfos& List, const std::vector<TExpected>& Expected) {
    ASSERT_EQ(List.Count(), static_cast<int>(Expected.size()));
    for (int i = 0; i < List.Count(); ++i) {
        const auto& e = Expected[static_cast<size_t>(i)];
        EXPECT_EQ(List.GetItem(i)->FileName, e.Name) << "entry " << i;
        EXPECT_EQ(List.GetItem(i)->Kind, e.Kind) << e.Name;
        EXPECT_EQ(List.GetItem(i)->Size, e.Size) << e.Name;
    }
}

// A file of Size bytes whose content is never written: Wine leaves it sparse on the Linux side.
void MakeSparseFile(const std::string& Path, int64_t Size) {
    HANDLE h = CreateFileA(Path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    LARGE_INTEGER pos;
    pos.QuadPart = Size;
    EXPECT_TRUE(SetFilePointerEx(h, pos, nullptr, FILE_BEGIN) && SetEndOfFile(h));
    CloseHandle(h);
}

const int64_t SixGiB = 6442450944;

} // namespace

TEST(PathHelpers, TextResults) {
    struct {
        std::string (*Fn)(const std::string&);
        const char *In, *Out;
    } cases[] = {
        {StripTrailingBackslashes, "C:\\dir\\\\", "C:\\dir"},
        {StripTrailingBackslashes, "\\\\\\", ""},
        {AppendBackslash, "C:\\dir", "C:\\dir\\"},
        {AppendBackslash, "C:\\dir\\", "C:\\dir\\"},
        {AppendBackslash, "", ""},
        {GetParentFolder, "C:\\dir\\file", "C:\\dir"},
        {GetParentFolder, "C:\\file", "C:"},
        {GetParentFolder, "C:\\", "C:"},
        {GetParentFolder, "\\\\server\\share\\dir", "\\\\server\\share"},
        {GetParentFolder, "file", "file"},
        {GetParentFolder, "\\file", ""},
        {GetFileNamePart, "C:\\dir\\file.txt", "file.txt"},
        {GetFileNamePart, "C:\\dir\\", ""},
        {GetFileNamePart, "C:file.txt", "C:file.txt"},
        {StripExtension, "C:\\dir\\file.tar.gz", "C:\\dir\\file.tar"},
        {StripExtension, "C:\\dir.x\\file", "C:\\dir.x\\file"},
        {StripExtension, "name.", "name"},
        {StripExtension, "C:\\dir\\.cfg", "C:\\dir\\"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.Fn(c.In), c.Out) << "input " << c.In;
    EXPECT_EQ(LastDelimiterPos(".\\", "a.b\\x"), 4u);
    EXPECT_EQ(LastDelimiterPos(".", "a.b\\x"), 2u);
    EXPECT_EQ(LastDelimiterPos(".", ""), 0u);
    EXPECT_EQ(LastDelimiterPos("", "a.b"), 0u);
}

TEST(PathHelpers, KindAndFullPathOnTheFileSystem) {
    TTempDir dir;
    BuildTree(dir.Path(), {{"sub\\", ""}, {"f.txt", "x"}});
    struct {
        std::string Path;
        TPathKind Kind;
    } cases[] = {{dir / "f.txt", pkFile},
                 {dir / "sub", pkFolder},
                 {dir / "sub\\\\", pkFolder},
                 {dir / "missing", pkMissing},
                 {"", pkMissing},
                 {"C:\\", pkRoot},
                 {"C:", pkRoot},
                 {TestDriveRoot('T'), pkRoot}};
    for (const auto& c : cases)
        EXPECT_EQ(GetPathKind(c.Path), c.Kind) << c.Path;
    std::string slashed = dir / "sub";
    slashed[slashed.rfind('\\')] = '/';
    EXPECT_EQ(GetPathKind(slashed), pkMissing) << "an existing path written with / counts as missing";

    char oldDir[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, oldDir);
    ASSERT_TRUE(SetCurrentDirectoryA(dir.Path().c_str()));
    EXPECT_EQ(ExpandFullPath("f.txt"), dir / "f.txt");
    EXPECT_EQ(ExpandFullPath("sub\\"), dir / "sub\\");
    EXPECT_EQ(ExpandFullPath("missing.txt"), "missing.txt");
    SetCurrentDirectoryA(oldDir);
    EXPECT_EQ(ExpandFullPath("C:\\"), "C:\\");
}

TEST(FileInfos, ListOperations) {
    TFileInfos list;
    EXPECT_EQ(list.TotalSize(), 0);
    EXPECT_EQ(list.NextFileIndex(0), -1);
    for (TPathKind k : {pkFolder, pkFile, pkFolder, pkFile}) {
        TFileInfo* item = list.Add();
        item->Kind = k;
        item->Size = k == pkFile ? 3000000000 : 0;
    }
    EXPECT_EQ(list.GetItem(-1), nullptr);
    EXPECT_EQ(list.GetItem(list.Count()), nullptr);
    EXPECT_EQ(list.GetItem(1)->Owner, &list);
    EXPECT_EQ(list.NextFileIndex(-5), 1);
    EXPECT_EQ(list.NextFileIndex(2), 3);
    EXPECT_EQ(list.NextFileIndex(4), -1);
    EXPECT_EQ(list.TotalSize(), 6000000000);
    list.BaseFolder = "C:\\data";
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.BaseFolder, "C:\\data");
}

TEST(FileInfos, BuildFromPathListsFileAndTree) {
    TTempDir dir;
    const FILETIME t = MakeFileTime(2003, 5, 17, 14, 3, 9, 250);
    BuildTree(dir / "Docs", {{".cache\\", ""},
                             {".cache\\x", "123"},
                             {".profile", "abc"},
                             {"a.txt", "0123456789", t},
                             {"empty\\", ""},
                             {"h.txt", "h"},
                             {"r.txt", "rr"},
                             {"sub\\", ""},
                             {"sub\\b.txt", "bbbb"}});
    SetFileAttributesA((dir / "Docs\\h.txt").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    SetFileAttributesA((dir / "Docs\\r.txt").c_str(), FILE_ATTRIBUTE_READONLY);

    TFileInfos file;
    EXPECT_FALSE(file.BuildFromPath(dir / "Docs\\a.txt", 10));
    EXPECT_EQ(file.BaseFolder, dir / "Docs");
    ExpectList(file, {{"a.txt", pkFile, 10}});
    EXPECT_EQ(CompareFileTime(&file.GetItem(0)->LastWriteTime, &t), 0);
    TFileInfos tooBig;
    EXPECT_TRUE(tooBig.BuildFromPath(dir / "Docs\\a.txt", 9));

    for (const std::string& path : {dir / "Docs", dir / "Docs\\"}) {
        TFileInfos tree;
        EXPECT_FALSE(tree.BuildFromPath(path, 1000)) << path;
        EXPECT_EQ(tree.BaseFolder, dir.Path());
        ExpectList(tree, {{"Docs", pkFolder, 0},
                          {"Docs\\.profile", pkFile, 3},
                          {"Docs\\a.txt", pkFile, 10},
                          {"Docs\\empty", pkFolder, 0},
                          {"Docs\\h.txt", pkFile, 1},
                          {"Docs\\r.txt", pkFile, 2},
                          {"Docs\\sub", pkFolder, 0},
                          {"Docs\\sub\\b.txt", pkFile, 4}});
        for (int i = 0; i < tree.Count(); ++i)
            EXPECT_EQ(GetPathKind(AppendBackslash(tree.BaseFolder) + tree.GetItem(i)->FileName),
                      tree.GetItem(i)->Kind);
    }
    TFileInfos missing;
    EXPECT_FALSE(missing.BuildFromPath(dir / "nothing", 0));
    EXPECT_EQ(missing.Count(), 0);
}

TEST(FileInfos, SizeLimitIsTestedWhenAFolderEntryIsAdded) {
    struct {
        std::vector<TTreeEntry> Tree;
        std::vector<TExpected> Listed;
    } cases[] = {
        // A 2,000-byte file, then a subfolder: the subfolder is listed but neither entered nor followed.
        {{{"a.bin", std::string(2000, 'a')}, {"b\\", ""}, {"b\\in.txt", "x"}, {"c.txt", "c"}},
         {{"top", pkFolder, 0}, {"top\\a.bin", pkFile, 2000}, {"top\\b", pkFolder, 0}}},
        // The enclosing folder goes on with its own files until it, too, adds a folder.
        {{{"a\\", ""},
          {"a\\big", std::string(2000, 'b')},
          {"a\\m\\", ""},
          {"a\\n.txt", "n"},
          {"z.txt", "zz"},
          {"zz\\", ""},
          {"zz\\q", "q"},
          {"zzz.txt", "3"}},
         {{"top", pkFolder, 0},
          {"top\\a", pkFolder, 0},
          {"top\\a\\big", pkFile, 2000},
          {"top\\a\\m", pkFolder, 0},
          {"top\\z.txt", pkFile, 2},
          {"top\\zz", pkFolder, 0}}},
    };
    for (const auto& c : cases) {
        TTempDir dir;
        BuildTree(dir / "top", c.Tree);
        TFileInfos list;
        EXPECT_TRUE(list.BuildFromPath(dir / "top", 1000));
        ExpectList(list, c.Listed);
    }
}

TEST(FileInfos, DriveRootAndSixGiBFile) {
    const std::string root = TestDriveRoot('T');
    ClearFolder(root);
    BuildTree(StripTrailingBackslashes(root), {{"d\\", ""}, {"d\\y.txt", "yy"}, {"x.txt", "x"}});
    MakeSparseFile(root + "huge.bin", SixGiB);
    for (const std::string& path : {root, StripTrailingBackslashes(root)}) {
        TFileInfos list;
        EXPECT_FALSE(list.BuildFromPath(path, INT64_MAX));
        EXPECT_EQ(list.BaseFolder, "T:");
        ExpectList(list, {{"d", pkFolder, 0},
                          {"d\\y.txt", pkFile, 2},
                          {"huge.bin", pkFile, SixGiB},
                          {"x.txt", pkFile, 1}});
        EXPECT_EQ(list.TotalSize(), SixGiB + 3);
    }
    TFileInfos limited;
    EXPECT_TRUE(limited.BuildFromPath(root + "huge.bin", SixGiB - 1));
    ClearFolder(root);
}

TEST(FileInfos, BuildFromPartFiles) {
    const int64_t two = 1453568 * 2;
    struct {
        std::vector<int> Parts; // a negative number is a folder carrying that part's name
        int64_t Size;           // -1: no entry
    } cases[] = {
        {{1, 2, 3}, two + 100}, {{1}, -1},    {{1, 2, 4}, two}, {{2, 3}, -1}, {{1, 2, 3, 5}, two + 100},
        {{1, 2, -3, 4}, two},   {{1, -2}, -1}};
    for (const auto& c : cases) {
        TTempDir dir;
        const std::string base = dir / "in.x\\report.doc";
        CreateDirectoryA((dir / "in.x").c_str(), nullptr);
        const FILETIME t = MakeFileTime(2010, 1, 2, 3, 4, 5, 600);
        for (int n : c.Parts) {
            const std::string name = base + ".00" + std::to_string(std::abs(n));
            if (n < 0) {
                CreateDirectoryA(name.c_str(), nullptr);
                continue;
            }
            WriteFileBytes(name, std::string(n <= 2 ? 1453568 : 100, 'p'));
            if (n == 1)
                SetLastWriteTime(name, t);
        }
        TFileInfos list;
        list.Add()->FileName = "stale";
        const bool ok = list.BuildFromPartFiles(base + ".001");
        EXPECT_EQ(ok, c.Size >= 0);
        if (c.Size < 0) {
            EXPECT_EQ(list.Count(), 0);
            continue;
        }
        ExpectList(list, {{"report.doc", pkFile, c.Size}});
        EXPECT_EQ(CompareFileTime(&list.GetItem(0)->LastWriteTime, &t), 0);
    }
}
