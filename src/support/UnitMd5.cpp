#include "support/UnitMd5.h"

#include <algorithm>
#include <cstring>

namespace {

// The integer part of 4294967296 * |sin(i)| for i = 1 ... 64, as the RFC's appendix lists them.
constexpr uint32_t T[64] = {
    0xD76AA478, 0xE8C7B756, 0x242070DB, 0xC1BDCEEE, 0xF57C0FAF, 0x4787C62A, 0xA8304613, 0xFD469501,
    0x698098D8, 0x8B44F7AF, 0xFFFF5BB1, 0x895CD7BE, 0x6B901122, 0xFD987193, 0xA679438E, 0x49B40821,
    0xF61E2562, 0xC040B340, 0x265E5A51, 0xE9B6C7AA, 0xD62F105D, 0x02441453, 0xD8A1E681, 0xE7D3FBC8,
    0x21E1CDE6, 0xC33707D6, 0xF4D50D87, 0x455A14ED, 0xA9E3E905, 0xFCEFA3F8, 0x676F02D9, 0x8D2A4C8A,
    0xFFFA3942, 0x8771F681, 0x6D9D6122, 0xFDE5380C, 0xA4BEEA44, 0x4BDECFA9, 0xF6BB4B60, 0xBEBFBC70,
    0x289B7EC6, 0xEAA127FA, 0xD4EF3085, 0x04881D05, 0xD9D4D039, 0xE6DB99E5, 0x1FA27CF8, 0xC4AC5665,
    0xF4292244, 0x432AFF97, 0xAB9423A7, 0xFC93A039, 0x655B59C3, 0x8F0CCC92, 0xFFEFF47D, 0x85845DD1,
    0x6FA87E4F, 0xFE2CE6E0, 0xA3014314, 0x4E0811A1, 0xF7537E82, 0xBD3AF235, 0x2AD7D2BB, 0xEB86D391};

inline uint32_t Rotl(uint32_t X, int S) {
    return X << S | X >> (32 - S);
}

// One step [abcd k s i] of a round: a = b + ((a + f(b,c,d) + X[k] + T[i]) <<< s); the four rounds differ
// only in f, in the order of the words k and in the shifts. The word and the constant are added first and f
// last, so that only f waits for b, the result of the step before.
inline uint32_t F(uint32_t X, uint32_t Y, uint32_t Z) {
    return Z ^ (X & (Y ^ Z));
}
// With + for its OR (the two terms share no bit), the term without X goes ahead of X.
inline uint32_t G(uint32_t X, uint32_t Y, uint32_t Z) {
    return (Y & ~Z) + (X & Z);
}
inline uint32_t H(uint32_t X, uint32_t Y, uint32_t Z) {
    return X ^ Y ^ Z;
}
inline uint32_t I(uint32_t X, uint32_t Y, uint32_t Z) {
    return Y ^ (X | ~Z);
}

// The 64 steps as the RFC lists them, spelled out so that the words of the state stay in registers.
// clang-format off
#define MD5_STEPS(STEP) \
    STEP(F, a, b, c, d, 0, 7, 0) STEP(F, d, a, b, c, 1, 12, 1)      \
    STEP(F, c, d, a, b, 2, 17, 2) STEP(F, b, c, d, a, 3, 22, 3)     \
    STEP(F, a, b, c, d, 4, 7, 4) STEP(F, d, a, b, c, 5, 12, 5)      \
    STEP(F, c, d, a, b, 6, 17, 6) STEP(F, b, c, d, a, 7, 22, 7)     \
    STEP(F, a, b, c, d, 8, 7, 8) STEP(F, d, a, b, c, 9, 12, 9)      \
    STEP(F, c, d, a, b, 10, 17, 10) STEP(F, b, c, d, a, 11, 22, 11) \
    STEP(F, a, b, c, d, 12, 7, 12) STEP(F, d, a, b, c, 13, 12, 13)  \
    STEP(F, c, d, a, b, 14, 17, 14) STEP(F, b, c, d, a, 15, 22, 15) \
    STEP(G, a, b, c, d, 1, 5, 16) STEP(G, d, a, b, c, 6, 9, 17)     \
    STEP(G, c, d, a, b, 11, 14, 18) STEP(G, b, c, d, a, 0, 20, 19)  \
    STEP(G, a, b, c, d, 5, 5, 20) STEP(G, d, a, b, c, 10, 9, 21)    \
    STEP(G, c, d, a, b, 15, 14, 22) STEP(G, b, c, d, a, 4, 20, 23)  \
    STEP(G, a, b, c, d, 9, 5, 24) STEP(G, d, a, b, c, 14, 9, 25)    \
    STEP(G, c, d, a, b, 3, 14, 26) STEP(G, b, c, d, a, 8, 20, 27)   \
    STEP(G, a, b, c, d, 13, 5, 28) STEP(G, d, a, b, c, 2, 9, 29)    \
    STEP(G, c, d, a, b, 7, 14, 30) STEP(G, b, c, d, a, 12, 20, 31)  \
    STEP(H, a, b, c, d, 5, 4, 32) STEP(H, d, a, b, c, 8, 11, 33)    \
    STEP(H, c, d, a, b, 11, 16, 34) STEP(H, b, c, d, a, 14, 23, 35) \
    STEP(H, a, b, c, d, 1, 4, 36) STEP(H, d, a, b, c, 4, 11, 37)    \
    STEP(H, c, d, a, b, 7, 16, 38) STEP(H, b, c, d, a, 10, 23, 39)  \
    STEP(H, a, b, c, d, 13, 4, 40) STEP(H, d, a, b, c, 0, 11, 41)   \
    STEP(H, c, d, a, b, 3, 16, 42) STEP(H, b, c, d, a, 6, 23, 43)   \
    STEP(H, a, b, c, d, 9, 4, 44) STEP(H, d, a, b, c, 12, 11, 45)   \
    STEP(H, c, d, a, b, 15, 16, 46) STEP(H, b, c, d, a, 2, 23, 47)  \
    STEP(I, a, b, c, d, 0, 6, 48) STEP(I, d, a, b, c, 7, 10, 49)    \
    STEP(I, c, d, a, b, 14, 15, 50) STEP(I, b, c, d, a, 5, 21, 51)  \
    STEP(I, a, b, c, d, 12, 6, 52) STEP(I, d, a, b, c, 3, 10, 53)   \
    STEP(I, c, d, a, b, 10, 15, 54) STEP(I, b, c, d, a, 1, 21, 55)  \
    STEP(I, a, b, c, d, 8, 6, 56) STEP(I, d, a, b, c, 15, 10, 57)   \
    STEP(I, c, d, a, b, 6, 15, 58) STEP(I, b, c, d, a, 13, 21, 59)  \
    STEP(I, a, b, c, d, 4, 6, 60) STEP(I, d, a, b, c, 11, 10, 61)   \
    STEP(I, c, d, a, b, 2, 15, 62) STEP(I, b, c, d, a, 9, 21, 63)
// clang-format on

#define MD5_STEP(f, a, b, c, d, k, s, i) a = b + Rotl(a + X[k] + T[i] + f(b, c, d), s);

void Transform(uint32_t State[4], const uint8_t* Block) {
    uint32_t X[16];
    std::memcpy(X, Block, sizeof X); // little-endian words on every processor this program runs on
    uint32_t a = State[0], b = State[1], c = State[2], d = State[3];
    MD5_STEPS(MD5_STEP)
    State[0] += a, State[1] += b, State[2] += c, State[3] += d;
}

// Two states through the same block: their steps depend on nothing of each other, so the processor runs
// the two chains side by side, and the word and the constant are added once. Two sums then cost about 1.4
// times one in 32-bit code, whose seven registers cannot hold both states (SSE2 lanes did no better).
#define MD5_STEP_TWO(f, a, b, c, d, k, s, i)                                                                 \
    {                                                                                                        \
        const uint32_t w = X[k] + T[i];                                                                      \
        a = b + Rotl(a + w + f(b, c, d), s);                                                                 \
        a##2 = b##2 + Rotl(a##2 + w + f(b##2, c##2, d##2), s);                                               \
    }

void TransformTwo(uint32_t State[4], uint32_t State2[4], const uint8_t* Block) {
    uint32_t X[16];
    std::memcpy(X, Block, sizeof X);
    uint32_t a = State[0], b = State[1], c = State[2], d = State[3];
    uint32_t a2 = State2[0], b2 = State2[1], c2 = State2[2], d2 = State2[3];
    MD5_STEPS(MD5_STEP_TWO)
    State[0] += a, State[1] += b, State[2] += c, State[3] += d;
    State2[0] += a2, State2[1] += b2, State2[2] += c2, State2[3] += d2;
}
#undef MD5_STEP
#undef MD5_STEP_TWO
#undef MD5_STEPS

} // namespace

void TMd5::Add(const void* Data, size_t Count) {
    auto p = static_cast<const uint8_t*>(Data);
    size_t held = FBytes % 64;
    FBytes += Count;
    if (held > 0) {
        const size_t take = Count < 64 - held ? Count : 64 - held;
        std::memcpy(FBlock + held, p, take);
        p += take, Count -= take, held += take;
        if (held < 64)
            return;
        Transform(FState, FBlock);
    }
    for (; Count >= 64; p += 64, Count -= 64)
        Transform(FState, p);
    std::memcpy(FBlock, p, Count);
}

TMd5Digest TMd5::Final() {
    // A 1 bit, zeros up to 56 bytes modulo 64, then the length in bits, low byte first.
    const uint64_t bits = FBytes * 8;
    uint8_t pad[72] = {0x80};
    const size_t padCount = 1 + (119 - FBytes % 64) % 64;
    for (int i = 0; i < 8; ++i)
        pad[padCount + i] = static_cast<uint8_t>(bits >> (8 * i));
    Add(pad, padCount + 8);
    TMd5Digest digest;
    std::memcpy(digest.data(), FState, digest.size());
    return digest;
}

void TMd5::AddBoth(TMd5& A, TMd5& B, const void* Data, size_t Count) {
    if (A.FBytes % 64 != B.FBytes % 64) {
        A.Add(Data, Count);
        B.Add(Data, Count);
        return;
    }
    // Both take the bytes before the next block boundary and after the last one as Add does; the whole
    // blocks between are the same for both.
    auto p = static_cast<const uint8_t*>(Data);
    const size_t lead = std::min<size_t>(Count, (64 - A.FBytes % 64) % 64);
    A.Add(p, lead);
    B.Add(p, lead);
    p += lead, Count -= lead;
    const size_t whole = Count / 64 * 64;
    for (size_t at = 0; at < whole; at += 64)
        TransformTwo(A.FState, B.FState, p + at);
    A.FBytes += whole, B.FBytes += whole;
    A.Add(p + whole, Count - whole);
    B.Add(p + whole, Count - whole);
}
