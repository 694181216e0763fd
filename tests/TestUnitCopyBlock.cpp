// The copy block: its length follows how long blocks take, on a clock the test moves.
#include <gtest/gtest.h>

#include "support/UnitCopyBlock.h"

// Quick blocks double it up to 1 MiB, slow ones halve it down to 16 KiB, others keep it; the tick count
// wraps on the way without a slow block being taken for a quick one.
TEST(CopyBlock, GrowsWhileQuickAndShrinksWhileSlow) {
    DWORD now = 0xFFFFFF00u;
    TCopyBlock block([&] { return now; });
    EXPECT_EQ(block.Size(1 << 30), 128u * 1024);
    EXPECT_EQ(block.Size(100), 100u);
    const struct {
        const char* Name;
        DWORD Took;
        uint32_t Size; // the next block's length afterwards
    } steps[] = {
        {"quick", 10, 256 * 1024},
        {"quick", 49, 512 * 1024},
        {"quick, across the wrap", 0, 1 << 20},
        {"no larger than 1 MiB", 0, 1 << 20},
        {"50 ms keeps it", 50, 1 << 20},
        {"250 ms keeps it", 250, 1 << 20},
        {"slow", 251, 512 * 1024},
        {"slow", 400, 256 * 1024},
        {"slow", 5000, 128 * 1024},
        {"slow", 300, 64 * 1024},
        {"slow", 300, 32 * 1024},
        {"slow", 300, 16 * 1024},
        {"no smaller than 16 KiB", 9000, 16 * 1024},
        {"quick again", 1, 32 * 1024},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.Name);
        now += s.Took;
        block.Done();
        EXPECT_EQ(block.Size(1 << 30), s.Size);
    }
}
