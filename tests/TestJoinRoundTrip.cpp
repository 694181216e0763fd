// Split and join back, through the program and in-process: every byte, folder and last-write time
// must come back.
#include <gtest/gtest.h>

#include "engine/UnitChunkler.h"
#include "support/JoinSets.h"
#include "support/ScriptedHooks.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

FILETIME Time(int Index) {
    return MakeFileTime(1998 + Index % 30, 1 + Index % 12, 1 + Index % 28, Index % 24, Index % 60,
                        (Index * 7) % 60, (Index * 37) % 1000);
}

std::vector<TTreeEntry> OneFile() {
    return {{"report.doc", PatternBytes(3000001, 5), Time(1)}};
}

// Six levels deep, empty folders at several depths, empty files, and files of exactly one part.
std::vector<TTreeEntry> DeepTree() {
    std::vector<TTreeEntry> tree{{"Docs\\", "", {}}, {"Docs\\Empty\\", "", {}}};
    std::string folder = "Docs";
    for (int level = 1; level <= 6; ++level) {
        folder += "\\Level " + std::to_string(level);
        tree.push_back({folder + "\\", "", {}});
        tree.push_back({folder + "\\empty.txt", "", Time(level * 3)});
        tree.push_back({folder + "\\one part.bin", PatternBytes(7000, static_cast<uint32_t>(level)),
                        Time(level * 3 + 1)});
        tree.push_back(
            {folder + "\\odd.bin", PatternBytes(static_cast<size_t>(level) * 5431, 9), Time(level * 3 + 2)});
        if (level % 2)
            tree.push_back({folder + "\\Nothing here\\", "", {}});
    }
    tree.push_back({"Docs\\big.bin", PatternBytes(400000, 11), Time(50)});
    return tree;
}

// Many entries with long names: the header outgrows one small part.
std::vector<TTreeEntry> ManyNames() {
    std::vector<TTreeEntry> tree{{"Names\\", "", {}}};
    for (int i = 0; i < 120; ++i)
        tree.push_back({"Names\\a rather long file name to make the header big " + std::to_string(i) + ".txt",
                        PatternBytes(static_cast<size_t>(i), static_cast<uint32_t>(i)), Time(i)});
    return tree;
}

std::string Quoted(const std::string& Path) {
    return "\"" + Path + "\"";
}

TChunklerResult RunInProcess(TChunklerStartParams& Params, bool Window) {
    TScriptedHooks hooks; // Yes and OK to everything
    Params.Silent = !Window;
    TChunkler engine(&hooks);
    return engine.Execute(Params);
}

} // namespace

TEST(JoinRoundTrip, FilesAndTreesComeBackUnchanged) {
    const struct {
        const char* Name;
        std::vector<TTreeEntry> Tree;
        const char* Split; // below the source folder
        int64_t PartSize;
        const char* JoinFrom; // behind the set's name
        bool ViaProgram;      // otherwise in-process, in window mode
        int MinHeaderFiles;
    } cases[] = {
        {"one file, program", OneFile(), "report.doc", 1000000, ".002", true, 1},
        {"one file, in-process", OneFile(), "report.doc", 1453568, ".h001", false, 1},
        {"deep tree, program", DeepTree(), "Docs", 7000, ".001", true, 1},
        {"deep tree, in-process", DeepTree(), "Docs", 65536, ".h001", false, 1},
        {"header over several files, program", ManyNames(), "Names", 2000, ".h003", true, 4},
        {"header over several files, in-process", ManyNames(), "Names", 2000, ".004", false, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TTempDir dir("rt");
        const std::string src = dir / "src", parts = dir / "parts", out = dir / "out";
        BuildTree(src, c.Tree);
        CreateDirectoryA(parts.c_str(), nullptr);
        CreateDirectoryA(out.c_str(), nullptr);
        const std::string from = parts + "\\" + c.Split + c.JoinFrom;
        if (c.ViaProgram) {
            ASSERT_EQ(RunChunkler("/SILENT " + Quoted(src + "\\" + c.Split) + " " + Quoted(parts) + " /SIZE" +
                                  std::to_string(c.PartSize)),
                      0u);
            ASSERT_GE(CountSetFiles(parts, c.Split, "h"), c.MinHeaderFiles);
            EXPECT_EQ(RunChunkler("/SILENT /UNSPLIT " + Quoted(from) + " " + Quoted(out)), 0u);
        } else {
            TChunklerStartParams split;
            split.SourcePath = src + "\\" + c.Split;
            split.OutputDir = parts;
            split.PartSize = c.PartSize;
            ASSERT_EQ(RunInProcess(split, true), crOk);
            ASSERT_GE(CountSetFiles(parts, c.Split, "h"), c.MinHeaderFiles);
            TChunklerStartParams join;
            join.SourcePath = from;
            join.OutputDir = out;
            join.Unsplit = true;
            EXPECT_EQ(RunInProcess(join, true), crOk);
        }
        EXPECT_EQ(CompareTrees(src, out), "");
    }
}

TEST(JoinRoundTrip, DriveRootContentLandsInTheOutputFolder) {
    const std::string root = TestDriveRoot('V');
    ClearFolder(root);
    BuildTree(root, {{"top.txt", "top", Time(1)},
                     {"empty.bin", "", Time(2)},
                     {"Folder\\", "", {}},
                     {"Folder\\inner.bin", PatternBytes(50000), Time(3)},
                     {"Folder\\Void\\", "", {}}});
    TTempDir dir("rt");
    const std::string parts = dir / "parts", out = dir / "out";
    CreateDirectoryA(parts.c_str(), nullptr);
    CreateDirectoryA(out.c_str(), nullptr);
    ASSERT_EQ(RunChunkler("/SILENT V:\\ " + Quoted(parts) + " /SIZE20000"), 0u);
    // The set is named after the root's first entry.
    const std::string first = ListTree(parts).front().Name;
    const std::string set = first.substr(0, first.rfind('.'));
    EXPECT_EQ(RunChunkler("/SILENT /UNSPLIT " + Quoted(parts + "\\" + set + ".002") + " " + Quoted(out)), 0u);
    EXPECT_EQ(CompareTrees(root, out), "");
    ClearFolder(root);
}
