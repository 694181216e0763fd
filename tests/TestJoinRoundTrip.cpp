// Split and join back, through the program and in-process: every byte, folder and last-write time
// must come back.
#include <gtest/gtest.h>

#include "engine/UnitChunkler.h"
#include "support/ScriptedHooks.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

FILETIME Time(int Index) {
    return MakeFileTime(1998 + Index % 30, 1 + Index % 12, 1 + Index % 28, Index % 24, Index % 60,
                        (Index * 7) % 60, (Index * 37) % 1000);
}

// Six levels deep, empty folders at several depths, empty files, files of exactly one part, and
// enough long names that the header spreads over several header files.
std::vector<TTreeEntry> DeepTree() {
    std::vector<TTreeEntry> tree{{"Docs\\", "", {}}, {"Docs\\Empty\\", "", {}}};
    std::string folder = "Docs";
    for (int level = 1; level <= 6; ++level) {
        folder += "\\Level " + std::to_string(level);
        tree.push_back({folder + "\\", "", {}});
        tree.push_back({folder + "\\empty.txt", "", Time(level * 3)});
        tree.push_back(
            {folder + "\\one part.bin", PatternBytes(7000, static_cast<uint32_t>(level)), Time(level)});
        tree.push_back(
            {folder + "\\odd.bin", PatternBytes(static_cast<size_t>(level) * 5431), Time(level + 9)});
        if (level % 2)
            tree.push_back({folder + "\\Nothing here\\", "", {}});
    }
    for (int i = 0; i < 100; ++i)
        tree.push_back(
            {"Docs\\Level 1\\a rather long name to make the header big " + std::to_string(i) + ".txt",
             PatternBytes(static_cast<size_t>(i), static_cast<uint32_t>(i)), Time(i)});
    return tree;
}

std::string Quoted(const std::string& Path) {
    return "\"" + Path + "\"";
}

} // namespace

TEST(JoinRoundTrip, FilesTreesAndDriveRootsComeBackUnchanged) {
    const struct {
        std::vector<TTreeEntry> Tree;
        char Drive;         // built in this test drive's root instead of a folder
        const char* Source; // below the tree's root
        int64_t PartSize;
        const char* JoinFrom; // which file of the set is picked
        bool ViaProgram;      // silent, otherwise in-process in window mode answering Yes and OK
    } cases[] = {
        {{{"report.doc", PatternBytes(3000001, 5), Time(1)}},
         0,
         "report.doc",
         1000000,
         "report.doc.002",
         true},
        {DeepTree(), 0, "Docs", 7000, "Docs.h002", true},
        {DeepTree(), 0, "Docs", 7000, "Docs.h001", false},
        // The set of a drive root is named after its first entry.
        {{{"a.txt", "top", Time(1)},
          {"empty.bin", "", Time(2)},
          {"folder\\", "", {}},
          {"folder\\inner.bin", PatternBytes(50000), Time(3)},
          {"folder\\void\\", "", {}}},
         'V',
         "",
         20000,
         "a.txt.002",
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.JoinFrom) + (c.ViaProgram ? " program" : " in-process"));
        TTempDir dir("rt");
        const std::string root = c.Drive ? TestDriveRoot(c.Drive) : dir / "src";
        const std::string source = c.Drive ? root : root + "\\" + c.Source;
        const std::string parts = dir / "parts", from = dir / ("parts\\" + std::string(c.JoinFrom)),
                          out = dir / "out";
        ClearFolder(root);
        BuildTree(root, c.Tree);
        CreateDirectoryA(parts.c_str(), nullptr);
        CreateDirectoryA(out.c_str(), nullptr);
        if (c.ViaProgram) {
            ASSERT_EQ(RunChunkler("/SILENT " + Quoted(source) + " " + Quoted(parts) + " /SIZE" +
                                  std::to_string(c.PartSize)),
                      0u);
            EXPECT_EQ(RunChunkler("/SILENT /UNSPLIT " + Quoted(from) + " " + Quoted(out)), 0u);
        } else {
            TScriptedHooks hooks;
            TChunklerStartParams split{.SourcePath = source, .OutputDir = parts, .PartSize = c.PartSize};
            ASSERT_EQ(TChunkler(&hooks).Execute(split), crOk);
            TChunklerStartParams join{.SourcePath = from, .OutputDir = out, .Unsplit = true};
            EXPECT_EQ(TChunkler(&hooks).Execute(join), crOk);
        }
        EXPECT_EQ(CompareTrees(root, out), "");
        if (c.Drive)
            ClearFolder(root);
    }
}
