// The CRC-32 of zip and PNG, and the carry-less method against the table at every length and alignment.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "support/UnitCrc32.h"

TEST(Crc32, KnownValuesAndBothMethodsAgree) {
    std::string data(1 << 20, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 7 + (i >> 10));
    for (const auto& [text, crc] :
         {std::pair<std::string, uint32_t>{"", 0}, {"123456789", 0xCBF43926}, {data, 0x9A7C346B}}) {
        TCrc32 sum; // the method of this processor
        sum.Update(text.data(), text.size());
        EXPECT_EQ(sum.Value(), crc) << text.size() << " bytes";
        EXPECT_EQ(~Crc32UpdateTable(~0u, text.data(), text.size()), crc) << text.size() << " bytes";
    }
    std::mt19937 rnd(4711);
    for (char& c : data)
        c = static_cast<char>(rnd());
    TCrc32 pieces; // fed in pieces of random sizes, the checksum is that of the whole
    for (size_t pos = 0, n = 0; pos < data.size(); pos += n)
        pieces.Update(&data[pos], n = std::min<size_t>(rnd() % 3000, data.size() - pos));
    EXPECT_EQ(pieces.Value(), ~Crc32UpdateTable(~0u, data.data(), data.size()));
    if (!Crc32HasClmul())
        GTEST_SKIP() << "no PCLMULQDQ on this processor: the carry-less method was not compared";
    std::vector<size_t> lengths{4099, 65584, 1000003}; // and every one up to 600
    for (size_t bytes = 0; bytes <= 600; ++bytes)
        lengths.push_back(bytes);
    for (size_t offset = 0; offset < 16; ++offset)
        for (const size_t bytes : lengths) {
            const uint32_t state = rnd(); // any state, not only the first one
            ASSERT_EQ(Crc32UpdateClmul(state, &data[offset], bytes),
                      Crc32UpdateTable(state, &data[offset], bytes))
                << bytes << " bytes at offset " << offset;
        }
}
