// Path roots and sized buffers.
#include <gtest/gtest.h>

#include <cstring>
#include <new>

#include "support/UnitImport.h"

TEST(GetPathRoot, DriveShareOrNothing) {
    const std::pair<std::string, std::string> cases[] = {
        {"C:\\data\\file", "C:"},
        {"C:file", "C:"},
        {"\\\\server\\share\\dir\\file", "\\\\server\\share"},
        {"\\\\server\\share\\", "\\\\server\\share"},
        {"\\\\s\\t", "\\\\s\\t"}, // the share's last letter is kept
        {"\\\\server\\", "\\\\server"},
        {"\\\\", "\\\\"},
        {"\\\\\\", "\\\\"},
        {"\\data\\file", ""},
    };
    for (const auto& [path, root] : cases)
        EXPECT_EQ(GetPathRoot(path), root) << path;
}

TEST(SizedBuffer, TotalSizeInFrontAndNoWrapAround) {
    auto* block = static_cast<unsigned char*>(AllocSizedBuffer(260));
    uint32_t total = 0;
    std::memcpy(&total, block - 4, 4);
    EXPECT_EQ(total, 264u);
    FreeSizedBuffer(block);
    FreeSizedBuffer(nullptr);
    EXPECT_THROW(AllocSizedBuffer(UINT32_MAX - 3), std::bad_alloc);
}
