// Random trees split at random part sizes and joined again, silently or answering a user, from any file of
// the set: every byte, folder and last-write time must come back.
#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <random>

#include "support/TestSupport.h"

using namespace testsupport;

TEST(RoundTrip, RandomTreesComeBackExactly) {
    const char* seedText = std::getenv("CHUNKLER_SEED");
    const uint32_t seed = seedText ? uint32_t(std::strtoul(seedText, nullptr, 0)) : 1977;
    std::cout << "seed " << seed << " (set CHUNKLER_SEED to repeat)\n";
    std::mt19937 rng(seed);
    const auto pick = [&](int Lo, int Hi) { return std::uniform_int_distribution<int>(Lo, Hi)(rng); };
    // Blanks, dots and Windows-1252 letters inside; the number at the end keeps names apart ignoring case and
    // away from a trailing dot or blank, which Windows drops.
    int names = 0;
    const auto name = [&] {
        static const char letters[] = "abcXYZ019 _-.\xe4\xf6\xfc\xc4\xdf\xe9\xe8\xf1";
        std::string text(1, letters[pick(0, 8)]);
        for (int i = pick(0, 10); i > 0; --i)
            text += letters[pick(0, sizeof letters - 2)];
        return text + "_" + std::to_string(++names);
    };
    const int64_t partSizes[] = {1, 2, 7, 100, 4096, CopyBlockSize - 1, CopyBlockSize, CopyBlockSize + 1};
    for (int round = 0; round < 15 && !HasFailure(); ++round) {
        const int64_t part = pick(0, 2) == 0 ? pick(1, 70000) : partSizes[pick(0, 7)];
        // At most 5 entries a folder, 3 levels deep, empty folders and files among them; sizes cluster at the
        // part and copy-block boundaries, where copy loops go wrong, and stay below 900 parts together.
        std::vector<TTreeEntry> tree;
        int64_t total = 0;
        const auto addFolder = [&](auto& Self, const std::string& Folder, int Depth) -> void {
            tree.push_back({Folder + "\\", ""});
            for (int i = pick(0, 5); i > 0; --i) {
                if (Depth < 3 && pick(0, 3) == 0) {
                    Self(Self, Folder + "\\" + name(), Depth + 1);
                    continue;
                }
                const int64_t edge = pick(0, 1) ? part : CopyBlockSize;
                int64_t size =
                    std::min<int64_t>(pick(0, 3) ? edge * pick(1, 2) + pick(-1, 1) : pick(0, 300000), 400000);
                size = total + size > 900 * part ? 0 : size;
                total += size;
                tree.push_back({Folder + "\\" + name(), PatternBytes(size_t(size), rng()),
                                MakeFileTime(pick(1981, 2037), pick(1, 12), pick(1, 28), pick(0, 23),
                                             pick(0, 59), pick(0, 59), pick(0, 999))});
            }
        };
        const std::string top = "T " + name();
        addFolder(addFolder, top, 0);
        TTempDir tmp("rt");
        BuildTree(tmp / "src", tree);
        BuildTree(tmp.Path(), {{"parts\\", ""}, {"out\\", ""}});
        const std::string from = tmp / ("parts\\" + top + (pick(0, 1) ? ".001" : ".h001"));
        TScriptedHooks hooks;
        SCOPED_TRACE("round " + std::to_string(round) + ", part size " + std::to_string(part) + ", from " +
                     from);
        ASSERT_EQ(RunJob(false, tmp / ("src\\" + top), tmp / "parts", part, pick(0, 1) ? &hooks : nullptr),
                  crOk);
        ASSERT_EQ(RunJob(true, from, tmp / "out", 0, pick(0, 1) ? &hooks : nullptr), crOk);
        EXPECT_EQ(ListTree(tmp / "src"), ListTree(tmp / "out"));
    }
}
