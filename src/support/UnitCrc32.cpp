#include "support/UnitCrc32.h"

namespace {

// Slicing-by-8: table K holds the effect of a byte followed by K zero bytes, so one step folds eight
// bytes in. Byte by byte, 256 MiB took 750 ms instead of 145 ms here, more than the whole split of
// them without checksums.
struct TCrcTables {
    uint32_t T[8][256];
};

constexpr TCrcTables MakeCrcTables() {
    TCrcTables tables{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t crc = i;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        tables.T[0][i] = crc;
    }
    for (int k = 1; k < 8; ++k)
        for (uint32_t i = 0; i < 256; ++i)
            tables.T[k][i] = (tables.T[k - 1][i] >> 8) ^ tables.T[0][tables.T[k - 1][i] & 0xFF];
    return tables;
}

constexpr TCrcTables CrcTables = MakeCrcTables();

// Little-endian whatever the machine; the compiler makes one load of it.
uint32_t LoadLE32(const uint8_t* P) {
    return uint32_t{P[0]} | uint32_t{P[1]} << 8 | uint32_t{P[2]} << 16 | uint32_t{P[3]} << 24;
}

} // namespace

void TCrc32::Update(const void* Data, size_t Count) {
    const auto& t = CrcTables.T;
    auto p = static_cast<const uint8_t*>(Data);
    uint32_t crc = State;
    for (; Count >= 8; Count -= 8, p += 8) {
        const uint32_t low = crc ^ LoadLE32(p);
        const uint32_t high = LoadLE32(p + 4);
        crc = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^ t[4][low >> 24] ^
              t[3][high & 0xFF] ^ t[2][(high >> 8) & 0xFF] ^ t[1][(high >> 16) & 0xFF] ^ t[0][high >> 24];
    }
    for (; Count > 0; --Count, ++p)
        crc = (crc >> 8) ^ t[0][(crc ^ *p) & 0xFF];
    State = crc;
}
