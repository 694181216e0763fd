// Random trees split at random part sizes and joined again come back byte for byte and time for time.
#include <gtest/gtest.h>

#include <random>

#include "support/FaultSupport.h"
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

    // At most 5 entries a folder, 3 levels deep; sizes cluster at the part and copy-block boundaries,
    // where copy loops go wrong, and stay below 900 parts together.
    void AddFolder(const std::string& Folder, int Depth, int64_t Part, std::vector<TTreeEntry>& Out) {
        FTotal = Depth == 0 ? 0 : FTotal;
        Out.push_back({Folder + "\\", "", {}});
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

private:
    std::mt19937 FRng;
    int64_t FTotal = 0;
    int FNames = 0;
};

TEST(RoundTripProperty, RandomTreesComeBackExactly) {
    TTreeMaker maker(SuiteSeed(1977));
    const int64_t partSizes[] = {1, 2, 7, 100, 4096, CopyBlockSize - 1, CopyBlockSize, CopyBlockSize + 1};
    for (int round = 0; round < 30 && !HasFailure(); ++round) {
        TTempDir tmp("rt");
        const int64_t part = maker.Pick(0, 2) == 0 ? maker.Pick(1, 70000) : partSizes[maker.Pick(0, 7)];
        const std::string top = "T " + maker.Name();
        std::vector<TTreeEntry> tree;
        maker.AddFolder(top, 0, part, tree);
        SCOPED_TRACE("round " + std::to_string(round) + ", part size " + std::to_string(part));
        BuildTree(tmp / "src", tree);
        CreateDirectoryA((tmp / "parts").c_str(), nullptr);
        CreateDirectoryA((tmp / "out").c_str(), nullptr);
        const std::string anyPart = tmp / ("parts\\" + top + (maker.Pick(0, 1) ? ".001" : ".h001"));
        ASSERT_EQ(RunJob(false, tmp / ("src\\" + top), tmp / "parts", part), crOk);
        ASSERT_EQ(RunJob(true, anyPart, tmp / "out"), crOk);
        EXPECT_EQ(CompareTrees(tmp / "src", tmp / "out"), "");
    }
}

} // namespace
