// Split and join back: random trees at random part sizes in process, and a drive root and a file through
// the program. Every byte, folder and last-write time must come back.
#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <random>

#include "support/TestSupport.h"

using namespace testsupport;

namespace {

class TTreeMaker {
public:
    explicit TTreeMaker(uint32_t Seed) : FRng(Seed) {}
    int Pick(int Lo, int Hi) { return std::uniform_int_distribution<int>(Lo, Hi)(FRng); }

    // Blanks, dots and Windows-1252 letters inside; the number at the end keeps names apart ignoring case
    // and away from a trailing dot or blank, which Windows drops.
    std::string Name() {
        static const char letters[] = "abcXYZ019 _-.\xe4\xf6\xfc\xc4\xdf\xe9\xe8\xf1";
        std::string name(1, letters[Pick(0, 8)]);
        for (int i = Pick(0, 10); i > 0; --i)
            name += letters[Pick(0, sizeof letters - 2)];
        return name + "_" + std::to_string(++FNames);
    }

    // At most 5 entries a folder, 3 levels deep, empty folders and files among them; sizes cluster at
    // the part and copy-block boundaries, where copy loops go wrong, and stay below 900 parts together.
    void AddFolder(const std::string& Folder, int Depth, int64_t Part, std::vector<TTreeEntry>& Out) {
        Out.push_back({Folder + "\\", ""});
        for (int i = Pick(0, 5); i > 0; --i) {
            if (Depth < 3 && Pick(0, 3) == 0) {
                AddFolder(Folder + "\\" + Name(), Depth + 1, Part, Out);
                continue;
            }
            const int64_t sizes[] = {0,
                                     1,
                                     Part - 1,
                                     Part,
                                     Part + 1,
                                     2 * Part + 1,
                                     CopyBlockSize - 1,
                                     CopyBlockSize,
                                     CopyBlockSize + 1,
                                     Pick(0, 300000)};
            int64_t size = std::min<int64_t>(sizes[Pick(0, 9)], 400000);
            size = FTotal + size > 900 * Part ? 0 : size;
            FTotal += size;
            Out.push_back({Folder + "\\" + Name(), PatternBytes(static_cast<size_t>(size), FRng()),
                           MakeFileTime(Pick(1981, 2037), Pick(1, 12), Pick(1, 28), Pick(0, 23), Pick(0, 59),
                                        Pick(0, 59), Pick(0, 999))});
        }
    }
    int64_t FTotal = 0;

private:
    std::mt19937 FRng;
    int FNames = 0;
};

} // namespace

TEST(RoundTrip, RandomTreesComeBackExactly) {
    const char* seed = std::getenv("CHUNKLER_SEED");
    std::cout << "seed " << (seed ? seed : "1977") << " (set CHUNKLER_SEED to repeat)\n";
    TTreeMaker maker(seed ? uint32_t(std::strtoul(seed, nullptr, 0)) : 1977);
    const int64_t partSizes[] = {1, 2, 7, 100, 4096, CopyBlockSize - 1, CopyBlockSize, CopyBlockSize + 1};
    for (int round = 0; round < 20 && !HasFailure(); ++round) {
        TTempDir tmp("rt");
        const int64_t part = maker.Pick(0, 2) == 0 ? maker.Pick(1, 70000) : partSizes[maker.Pick(0, 7)];
        const std::string top = "T " + maker.Name();
        std::vector<TTreeEntry> tree;
        maker.FTotal = 0;
        maker.AddFolder(top, 0, part, tree);
        BuildTree(tmp / "src", tree);
        BuildTree(tmp.Path(), {{"parts\\", ""}, {"out\\", ""}});
        // Any file of the set will do to join from; half the jobs run with a user who answers Yes.
        const std::string from = tmp / ("parts\\" + top + (maker.Pick(0, 1) ? ".001" : ".h001"));
        TScriptedHooks hooks;
        SCOPED_TRACE("round " + std::to_string(round) + ", part size " + std::to_string(part) + ", from " +
                     from);
        ASSERT_EQ(
            RunJob(false, tmp / ("src\\" + top), tmp / "parts", part, maker.Pick(0, 1) ? &hooks : nullptr),
            crOk);
        ASSERT_EQ(RunJob(true, from, tmp / "out", 0, maker.Pick(0, 1) ? &hooks : nullptr), crOk);
        EXPECT_EQ(CompareTrees(tmp / "src", tmp / "out"), "");
    }
}

// The set of a drive root is named after its first entry.
TEST(RoundTrip, DriveRootAndFileThroughTheProgram) {
    const FILETIME t = MakeFileTime(2001, 2, 3, 4, 5, 6, 789);
    const struct {
        std::string Root, Source, JoinFrom;
        std::vector<TTreeEntry> Tree;
    } cases[] = {
        {TestDriveRoot('V'),
         TestDriveRoot('V'),
         "a.txt.002",
         {{"a.txt", "top", t},
          {"empty.bin", "", t},
          {"folder\\", ""},
          {"folder\\inner.bin", PatternBytes(50000), t},
          {"folder\\void\\", ""}}},
        {"", "report.doc", "report.doc.h001", {{"report.doc", PatternBytes(3000001, 5), t}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.JoinFrom);
        TTempDir dir("rtp");
        const std::string root = c.Root.empty() ? dir / "src" : c.Root;
        ClearFolder(root);
        BuildTree(root, c.Tree);
        BuildTree(dir.Path(), {{"parts\\", ""}, {"out\\", ""}});
        const std::string source = c.Root.empty() ? root + "\\" + c.Source : root;
        ASSERT_EQ(RunChunkler("/SILENT \"" + source + "\" \"" + dir / "parts" + "\" /SIZE20000"), 0u);
        EXPECT_EQ(RunChunkler("/SILENT /UNSPLIT \"" + dir / ("parts\\" + c.JoinFrom) + "\" \"" + dir / "out" +
                              "\""),
                  0u);
        EXPECT_EQ(CompareTrees(root, dir / "out"), "");
        ClearFolder(root);
    }
}
