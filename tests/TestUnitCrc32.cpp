// The CRC-32: known checksums, and the carry-less method against the table at every length and
// alignment where its lanes, 16-byte steps and table tail meet differently.
#include <gtest/gtest.h>

#include "support/UnitCrc32.h"

#include <random>
#include <string>
#include <vector>

TEST(Crc32, KnownValuesAndBothMethodsAgree) {
    std::string mebibyte(1 << 20, '\0');
    for (size_t i = 0; i < mebibyte.size(); ++i)
        mebibyte[i] = static_cast<char>(i * 7 + (i >> 10));
    struct Row {
        const char* Name;
        std::string Data;
        uint32_t Crc;
    };
    const Row rows[] = {
        {"nothing", "", 0},
        {"check string", "123456789", 0xCBF43926},
        {"64 zero bytes, the first length folded", std::string(64, '\0'), 0x758D6336},
        {"100 bytes 0xFF", std::string(100, '\xFF'), 0x03D28681},
        {"1 MiB of i*7 + i/1024", mebibyte, 0x9A7C346B},
    };
    const bool clmul = Crc32HasClmul();
    for (const Row& r : rows) {
        TCrc32 crc;
        crc.Update(r.Data.data(), r.Data.size());
        EXPECT_EQ(crc.Value(), r.Crc) << r.Name;
        EXPECT_EQ(~Crc32UpdateTable(~0u, r.Data.data(), r.Data.size()), r.Crc) << r.Name;
        if (clmul) {
            EXPECT_EQ(~Crc32UpdateClmul(~0u, r.Data.data(), r.Data.size()), r.Crc) << r.Name;
        }
    }

    std::mt19937 rnd(4711);
    std::vector<uint8_t> data((1 << 20) + 64);
    for (auto& b : data)
        b = static_cast<uint8_t>(rnd());
    // Fed in pieces of random sizes, the checksum is that of the whole.
    TCrc32 pieces;
    for (size_t pos = 0, n = 0; pos < data.size(); pos += n) {
        n = std::min<size_t>(rnd() % 3000, data.size() - pos);
        pieces.Update(&data[pos], n);
    }
    EXPECT_EQ(pieces.Value(), ~Crc32UpdateTable(~0u, data.data(), data.size()));

    if (!clmul)
        GTEST_SKIP() << "no PCLMULQDQ on this processor: the carry-less method was not compared";
    std::vector<std::pair<size_t, size_t>> cases; // offset, length
    for (size_t offset = 0; offset < 16; ++offset)
        for (size_t length = 0; length <= 600; ++length)
            cases.push_back({offset, length});
    for (size_t length : {4099, 65536 + 48, 1000003, 1 << 20})
        cases.push_back({5, length});
    for (auto [offset, length] : cases) {
        const uint32_t state = rnd(); // any state, not only the first one
        ASSERT_EQ(Crc32UpdateClmul(state, &data[offset], length),
                  Crc32UpdateTable(state, &data[offset], length))
            << length << " bytes at offset " << offset;
    }
}
