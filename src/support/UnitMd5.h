// MD5 (RFC 1321): the checksum of every packet, slice and file of a PAR2 recovery set.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

using TMd5Digest = std::array<uint8_t, 16>;

class TMd5 {
public:
    void Add(const void* Data, size_t Count);
    // The digest of every byte added so far; the object is spent afterwards (call Reset to reuse it).
    TMd5Digest Final();
    void Reset() { *this = TMd5(); }
    uint64_t Bytes() const { return FBytes; }
    // The same bytes added to both: one pass over them where both are as far into a 64-byte block.
    static void AddBoth(TMd5& A, TMd5& B, const void* Data, size_t Count);

    static TMd5Digest Of(const void* Data, size_t Count) {
        TMd5 md5;
        md5.Add(Data, Count);
        return md5.Final();
    }

private:
    uint32_t FState[4] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476};
    uint64_t FBytes = 0;
    uint8_t FBlock[64] = {};
};
