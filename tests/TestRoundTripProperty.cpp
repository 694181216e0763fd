// Random trees split at random part sizes and joined again must come back byte for byte and time for
// time. The seed is printed; CHUNKLER_SEED repeats a run.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "engine/UnitChunkler.h"
#include "support/FaultSupport.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

class TTreeMaker {
public:
    explicit TTreeMaker(uint32_t Seed) : FRng(Seed) {}
    int Pick(int Lo, int Hi) { return std::uniform_int_distribution<int>(Lo, Hi)(FRng); }

    int64_t PartSize() {
        static const int64_t sizes[] = {1, 2, 7, 100, 4096, CopyBlockSize - 1, CopyBlockSize, CopyBlockSize + 1};
        return Pick(0, 2) == 0 ? Pick(1, 70000) : sizes[Pick(0, 7)];
    }

    // Names with blanks inside and Windows-1252 letters; never a trailing dot or blank, never a folder
    // beginning with a dot (the listing skips those), never twice the same name ignoring case.
    std::string Name(bool Folder) {
        static const char letters[] = "abcXYZ019 _-.\xe4\xf6\xfc\xc4\xdf\xe9\xe8\xf1";
        for (;;) {
            std::string n;
            const int len = Pick(1, 12);
            for (int i = 0; i < len; ++i) n += letters[Pick(0, sizeof letters - 2)];
            if (n.back() == '.' || n.back() == ' ' || n[0] == ' ' || (Folder && n[0] == '.')) continue;
            std::string upper = n;
            CharUpperA(upper.data());
            if (FUsed.insert(upper).second) return n;
        }
    }

    // Sizes cluster around the part and block boundaries, where copy loops go wrong.
    size_t FileSize(int64_t Part) {
        const int64_t around[] = {0, 1, Part - 1, Part, Part + 1, 2 * Part, 2 * Part + 1, CopyBlockSize - 1,
                                  CopyBlockSize, CopyBlockSize + 1};
        int64_t s = Pick(0, 3) == 0 ? Pick(0, 300000) : around[Pick(0, 9)];
        return static_cast<size_t>(std::max<int64_t>(0, std::min<int64_t>(s, 400000)));
    }

    FILETIME Time() {
        return MakeFileTime(Pick(1981, 2037), Pick(1, 12), Pick(1, 28), Pick(0, 23), Pick(0, 59), Pick(0, 59),
                            Pick(0, 999));
    }

    std::vector<TTreeEntry> Tree(const std::string& Top, int64_t Part, int64_t& Total) {
        std::vector<TTreeEntry> out{{Top + "\\", "", {}}};
        FUsed.clear();
        Total = 0;
        AddFolder(Top, 0, Part, out, Total);
        return out;
    }

private:
    std::mt19937 FRng;
    std::set<std::string> FUsed;

    void AddFolder(const std::string& Folder, int Depth, int64_t Part, std::vector<TTreeEntry>& Out, int64_t& Total) {
        const int items = Pick(0, 5);
        for (int i = 0; i < items; ++i) {
            if (Depth < 3 && Pick(0, 3) == 0) {
                std::string sub = Folder + "\\" + Name(true);
                Out.push_back({sub + "\\", "", {}});
                AddFolder(sub, Depth + 1, Part, Out, Total);
            } else {
                size_t size = FileSize(Part);
                if (Total + static_cast<int64_t>(size) > 900 * Part) size = 0; // at most 999 parts
                Total += static_cast<int64_t>(size);
                Out.push_back({Folder + "\\" + Name(false), PatternBytes(size, static_cast<uint32_t>(Pick(1, 1 << 30))),
                               Time()});
            }
        }
    }
};

TChunklerResult RunJob(bool Unsplit, const std::string& Source, const std::string& Output, int64_t Part) {
    TChunklerStartParams p;
    p.Silent = true;
    p.Unsplit = Unsplit;
    p.SourcePath = Source;
    p.OutputDir = Output;
    p.PartSize = Part;
    TChunkler engine;
    return engine.Execute(p);
}

TEST(RoundTripProperty, RandomTreesComeBackExactly) {
    const uint32_t seed = SuiteSeed(1977);
    std::cout << "round-trip seed " << seed << " (set CHUNKLER_SEED to repeat)\n";
    TTreeMaker maker(seed);
    for (int round = 0; round < 30; ++round) {
        TTempDir tmp("rt");
        const int64_t part = maker.PartSize();
        int64_t total = 0;
        const std::string top = "T " + maker.Name(true);
        const auto tree = maker.Tree(top, part, total);
        SCOPED_TRACE("seed " + std::to_string(seed) + ", round " + std::to_string(round) + ", part size " +
                     std::to_string(part) + ", " + std::to_string(tree.size()) + " entries, " +
                     std::to_string(total) + " bytes");
        BuildTree(tmp / "src", tree);
        for (const auto& e : tree) // folder times move while their content is made; only files count
            if (e.Name.back() != '\\') SetLastWriteTime(tmp / ("src\\" + e.Name), e.Time);
        CreateDirectoryA((tmp / "parts").c_str(), nullptr);
        CreateDirectoryA((tmp / "out").c_str(), nullptr);
        // Every few rounds the real program does both halves.
        const bool viaProgram = round % 10 == 9;
        const std::string anyPart = tmp / ("parts\\" + top + (maker.Pick(0, 1) ? ".001" : ".h001"));
        if (viaProgram) {
            ASSERT_EQ(RunChunkler("/SILENT \"" + tmp / ("src\\" + top) + "\" \"" + tmp / "parts" + "\" /SIZE" +
                                  std::to_string(part)),
                      0u);
            ASSERT_EQ(RunChunkler("/SILENT /UNSPLIT \"" + anyPart + "\" \"" + tmp / "out" + "\""), 0u);
        } else {
            ASSERT_EQ(RunJob(false, tmp / ("src\\" + top), tmp / "parts", part), crOk);
            ASSERT_EQ(RunJob(true, anyPart, tmp / "out", 0), crOk);
        }
        EXPECT_EQ(CompareTrees(tmp / "src", tmp / "out"), "");
        if (HasFailure()) break;
    }
}

} // namespace
