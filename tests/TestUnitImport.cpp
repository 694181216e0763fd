// Path roots, sized buffers, clearing references and the 64-bit minimum.
#include <gtest/gtest.h>

#include <cstring>
#include <new>

#include "support/UnitImport.h"

TEST(GetPathRoot, DriveShareOrNothing) {
    const std::pair<std::string, std::string> cases[] = {
        {"C:\\data\\file", "C:"},
        {"C:", "C:"},
        {"C:file", "C:"},
        {"1:\\x", "1:"}, // the first character is not checked to be a letter
        {"\\\\server\\share\\dir\\file", "\\\\server\\share"},
        {"\\\\server\\share\\", "\\\\server\\share"},
        {"\\\\server\\share", "\\\\server\\share"},
        {"\\\\server\\", "\\\\server"},
        {"\\\\server", "\\\\server"},
        {"\\\\s\\t", "\\\\s\\t"},
        {"\\\\", "\\\\"},
        {"\\\\\\", "\\\\"},
        {"\\data\\file", ""},
        {"data\\file", ""},
        {"C", ""},
        {"\\", ""},
        {"", ""},
    };
    for (const auto& [path, root] : cases)
        EXPECT_EQ(GetPathRoot(path), root) << path;
}

TEST(SizedBuffer, RemembersItsTotalSizeInFrontOfTheBlock) {
    for (uint32_t size : {0u, 1u, 260u, 65536u}) {
        auto* block = static_cast<unsigned char*>(AllocSizedBuffer(size));
        ASSERT_NE(block, nullptr);
        uint32_t total = 0;
        std::memcpy(&total, block - 4, 4);
        EXPECT_EQ(total, size + 4);
        std::memset(block, 0xAB, size); // the whole usable size is writable
        FreeSizedBuffer(block);
    }
    FreeSizedBuffer(nullptr);
}

TEST(SizedBuffer, SizeWhoseTotalWouldWrapIsRefused) {
    EXPECT_THROW(AllocSizedBuffer(UINT32_MAX), std::bad_alloc);
    EXPECT_THROW(AllocSizedBuffer(UINT32_MAX - 3), std::bad_alloc);
}

namespace {

// Records what its owner's reference held while it was being destroyed.
struct TWatched {
    std::unique_ptr<TWatched>* Owner = nullptr;
    bool* OwnerWasClear = nullptr;
    ~TWatched() { *OwnerWasClear = Owner->get() == nullptr; }
};

} // namespace

TEST(FreeAndClear, ClearsTheReferenceBeforeFreeing) {
    bool ownerWasClear = false;
    std::unique_ptr<TWatched> ref = std::make_unique<TWatched>();
    ref->Owner = &ref;
    ref->OwnerWasClear = &ownerWasClear;
    FreeAndClear(ref);
    EXPECT_EQ(ref, nullptr);
    EXPECT_TRUE(ownerWasClear);

    std::unique_ptr<TWatched> empty;
    FreeAndClear(empty);
    EXPECT_EQ(empty, nullptr);
}

TEST(MinInt64, SmallerOfTwo) {
    EXPECT_EQ(MinInt64(-1, 0), -1);
    EXPECT_EQ(MinInt64(7, 7), 7);
    EXPECT_EQ(MinInt64(INT64_MAX, INT64_MIN), INT64_MIN);
    EXPECT_EQ(MinInt64(5368709120, 131072), 131072);
}
