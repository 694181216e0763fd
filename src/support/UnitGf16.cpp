#include "support/UnitGf16.h"

#include <immintrin.h>

#include <vector>

namespace {

constexpr uint32_t Poly = 0x1100B;

// Logarithms to the base 2, which generates the whole multiplicative group; Exp holds two periods so that
// a sum of two logarithms needs no reduction.
struct TLogTables {
    uint16_t Log[65536];
    uint16_t Exp[2 * 65535];
    TLogTables() {
        uint32_t x = 1;
        for (uint32_t i = 0; i < 65535; ++i) {
            Exp[i] = Exp[i + 65535] = static_cast<uint16_t>(x);
            Log[x] = static_cast<uint16_t>(i);
            x <<= 1;
            if (x & 0x10000)
                x ^= Poly;
        }
        Log[0] = 0; // never used: zero has no logarithm
    }
};

const TLogTables& Tables() {
    static const TLogTables tables;
    return tables;
}

// Factor times x^K for K = 0 ... 15: every product with Factor is an XOR of some of them.
struct TBasis {
    uint16_t X[16];
    explicit TBasis(uint16_t Factor) {
        uint32_t v = Factor;
        for (int k = 0; k < 16; ++k) {
            X[k] = static_cast<uint16_t>(v);
            v <<= 1;
            if (v & 0x10000)
                v ^= Poly;
        }
    }
};

// Factor times every value of the low and of the high byte of a word.
struct TByteTables {
    uint16_t Low[256], High[256];
    explicit TByteTables(uint16_t Factor) {
        const TBasis b(Factor);
        Low[0] = High[0] = 0;
        for (int i = 1; i < 256; ++i) {
            const int bit = __builtin_ctz(static_cast<unsigned>(i));
            Low[i] = Low[i & (i - 1)] ^ b.X[bit];
            High[i] = High[i & (i - 1)] ^ b.X[bit + 8];
        }
    }
};

// Factor times every value of each nibble of a word, split into the bytes of the product: Lo[N][V] is the
// low byte of Factor * (V << 4N), Hi[N][V] the high one. PSHUFB looks up 16 or 32 of them at once.
struct alignas(16) TSplitTables {
    uint8_t Lo[4][16], Hi[4][16];
    explicit TSplitTables(uint16_t Factor) {
        const TBasis b(Factor);
        for (int n = 0; n < 4; ++n)
            for (int v = 0; v < 16; ++v) {
                uint16_t p = 0;
                for (int bit = 0; bit < 4; ++bit)
                    if (v >> bit & 1)
                        p ^= b.X[4 * n + bit];
                Lo[n][v] = static_cast<uint8_t>(p);
                Hi[n][v] = static_cast<uint8_t>(p >> 8);
            }
    }
};

void MulAddWords(const TByteTables& T, const uint8_t* Src, uint8_t* Dst, size_t Bytes) {
    for (size_t i = 0; i + 1 < Bytes; i += 2) {
        const uint16_t p = T.Low[Src[i]] ^ T.High[Src[i + 1]];
        Dst[i] ^= static_cast<uint8_t>(p);
        Dst[i + 1] ^= static_cast<uint8_t>(p >> 8);
    }
}

// SSSE3: 16 words from two vectors. Within each vector the even (low) bytes go to its first half and the
// odd (high) bytes to its second; two such vectors give the low bytes of all 16 words in one register and
// the high bytes in another, the layout PSHUFB needs to look up a nibble of each word at once. The
// products come back in the same two registers and are interleaved into words again.
#define SSSE3 __attribute__((target("ssse3")))

SSSE3 inline __m128i Load16(const uint8_t* P) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(P));
}

struct TNibbles128 {
    __m128i N[4]; // nibbles 0 to 3 of 16 words, one byte each
};

SSSE3 inline TNibbles128 Split128(const uint8_t* Src) {
    const __m128i deinterleave = _mm_setr_epi8(0, 2, 4, 6, 8, 10, 12, 14, 1, 3, 5, 7, 9, 11, 13, 15);
    const __m128i a = _mm_shuffle_epi8(Load16(Src), deinterleave);
    const __m128i b = _mm_shuffle_epi8(Load16(Src + 16), deinterleave);
    const __m128i lo = _mm_unpacklo_epi64(a, b), hi = _mm_unpackhi_epi64(a, b), mask = _mm_set1_epi8(0x0F);
    return {{_mm_and_si128(lo, mask), _mm_and_si128(_mm_srli_epi16(lo, 4), mask), _mm_and_si128(hi, mask),
             _mm_and_si128(_mm_srli_epi16(hi, 4), mask)}};
}

SSSE3 inline void Apply128(const TSplitTables& T, const TNibbles128& X, uint8_t* Dst) {
    __m128i lo = _mm_setzero_si128(), hi = _mm_setzero_si128();
    for (int n = 0; n < 4; ++n) {
        lo = _mm_xor_si128(lo, _mm_shuffle_epi8(Load16(T.Lo[n]), X.N[n]));
        hi = _mm_xor_si128(hi, _mm_shuffle_epi8(Load16(T.Hi[n]), X.N[n]));
    }
    auto d = reinterpret_cast<__m128i*>(Dst);
    _mm_storeu_si128(d, _mm_xor_si128(_mm_loadu_si128(d), _mm_unpacklo_epi8(lo, hi)));
    _mm_storeu_si128(d + 1, _mm_xor_si128(_mm_loadu_si128(d + 1), _mm_unpackhi_epi8(lo, hi)));
}

// AVX2: the same per 128-bit lane, 32 words from two 256-bit vectors; every step stays within its lane,
// so the words come back where they were.
#define AVX2 __attribute__((target("avx2")))

AVX2 inline __m256i Load32(const uint8_t* P) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(P));
}

AVX2 inline __m256i Table256(const uint8_t* T) {
    return _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(T)));
}

struct TNibbles256 {
    __m256i N[4];
};

AVX2 inline TNibbles256 Split256(const uint8_t* Src) {
    const __m256i deinterleave = _mm256_setr_epi8(0, 2, 4, 6, 8, 10, 12, 14, 1, 3, 5, 7, 9, 11, 13, 15, 0, 2,
                                                  4, 6, 8, 10, 12, 14, 1, 3, 5, 7, 9, 11, 13, 15);
    const __m256i a = _mm256_shuffle_epi8(Load32(Src), deinterleave);
    const __m256i b = _mm256_shuffle_epi8(Load32(Src + 32), deinterleave);
    const __m256i lo = _mm256_unpacklo_epi64(a, b), hi = _mm256_unpackhi_epi64(a, b);
    const __m256i mask = _mm256_set1_epi8(0x0F);
    return {{_mm256_and_si256(lo, mask), _mm256_and_si256(_mm256_srli_epi16(lo, 4), mask),
             _mm256_and_si256(hi, mask), _mm256_and_si256(_mm256_srli_epi16(hi, 4), mask)}};
}

struct TTables256 {
    __m256i Lo[4], Hi[4];
};

AVX2 inline TTables256 Broadcast(const TSplitTables& T) {
    TTables256 t;
    for (int n = 0; n < 4; ++n)
        t.Lo[n] = Table256(T.Lo[n]), t.Hi[n] = Table256(T.Hi[n]);
    return t;
}

AVX2 inline void Apply256(const TTables256& T, const TNibbles256& X, uint8_t* Dst) {
    __m256i lo = _mm256_shuffle_epi8(T.Lo[0], X.N[0]), hi = _mm256_shuffle_epi8(T.Hi[0], X.N[0]);
    for (int n = 1; n < 4; ++n) {
        lo = _mm256_xor_si256(lo, _mm256_shuffle_epi8(T.Lo[n], X.N[n]));
        hi = _mm256_xor_si256(hi, _mm256_shuffle_epi8(T.Hi[n], X.N[n]));
    }
    auto d = reinterpret_cast<__m256i*>(Dst);
    _mm256_storeu_si256(d, _mm256_xor_si256(_mm256_loadu_si256(d), _mm256_unpacklo_epi8(lo, hi)));
    _mm256_storeu_si256(d + 1, _mm256_xor_si256(_mm256_loadu_si256(d + 1), _mm256_unpackhi_epi8(lo, hi)));
}

// Batches are done in pieces: 8 KiB of every source, split into twice that in nibbles, stay in the cache
// while every destination takes all of them, so that each destination byte is read and written once per
// batch rather than once per source (measured: smaller pieces were slower, even for one source).
constexpr size_t Piece = 8192;

SSSE3 void BatchSsse3(const std::vector<TSplitTables>& Tables, void* const* Dsts, size_t Count,
                      const uint8_t* const* Srcs, size_t Sources, size_t Bytes) {
    std::vector<TNibbles128> nibbles(Sources * (Piece / 32));
    for (size_t at = 0; at < Bytes; at += Piece) {
        const size_t n = (Bytes - at < Piece ? Bytes - at : Piece) / 32;
        for (size_t s = 0; s < Sources; ++s)
            for (size_t i = 0; i < n; ++i)
                nibbles[s * n + i] = Split128(Srcs[s] + at + 32 * i);
        for (size_t d = 0; d < Count; ++d)
            for (size_t s = 0; s < Sources; ++s)
                for (size_t i = 0; i < n; ++i)
                    Apply128(Tables[s * Count + d], nibbles[s * n + i],
                             static_cast<uint8_t*>(Dsts[d]) + at + 32 * i);
    }
}

AVX2 void BatchAvx2(const std::vector<TSplitTables>& Tables, void* const* Dsts, size_t Count,
                    const uint8_t* const* Srcs, size_t Sources, size_t Bytes) {
    std::vector<TNibbles256> nibbles(Sources * (Piece / 64));
    for (size_t at = 0; at < Bytes; at += Piece) {
        const size_t n = (Bytes - at < Piece ? Bytes - at : Piece) / 64;
        for (size_t s = 0; s < Sources; ++s)
            for (size_t i = 0; i < n; ++i)
                nibbles[s * n + i] = Split256(Srcs[s] + at + 64 * i);
        for (size_t d = 0; d < Count; ++d)
            for (size_t s = 0; s < Sources; ++s) {
                const TTables256 t = Broadcast(Tables[s * Count + d]);
                for (size_t i = 0; i < n; ++i)
                    Apply256(t, nibbles[s * n + i], static_cast<uint8_t*>(Dsts[d]) + at + 64 * i);
            }
    }
}

} // namespace

uint16_t Gf16Mul(uint16_t A, uint16_t B) {
    if (A == 0 || B == 0)
        return 0;
    const TLogTables& t = Tables();
    return t.Exp[t.Log[A] + t.Log[B]];
}

uint16_t Gf16Pow(uint16_t A, uint32_t N) {
    if (N == 0)
        return 1;
    if (A == 0)
        return 0;
    const TLogTables& t = Tables();
    return t.Exp[static_cast<uint64_t>(t.Log[A]) * N % 65535];
}

uint16_t Gf16Inverse(uint16_t A) {
    const TLogTables& t = Tables();
    return t.Exp[(65535 - t.Log[A]) % 65535];
}

uint16_t Gf16Div(uint16_t A, uint16_t B) {
    return Gf16Mul(A, Gf16Inverse(B));
}

uint16_t Par2InputConstant(uint32_t Index) {
    static const std::vector<uint16_t> logs = [] {
        std::vector<uint16_t> l;
        for (uint32_t n = 1; l.size() < 32768; ++n)
            if (n % 3 != 0 && n % 5 != 0 && n % 17 != 0 && n % 257 != 0)
                l.push_back(static_cast<uint16_t>(n));
        return l;
    }();
    return Tables().Exp[logs[Index & 32767]];
}

void Gf16MulAddTable(uint16_t Factor, const void* Src, void* Dst, size_t Bytes) {
    MulAddWords(TByteTables(Factor), static_cast<const uint8_t*>(Src), static_cast<uint8_t*>(Dst), Bytes);
}

SSSE3 void Gf16MulAddSsse3(uint16_t Factor, const void* Src, void* Dst, size_t Bytes) {
    const TSplitTables t(Factor);
    auto s = static_cast<const uint8_t*>(Src);
    auto d = static_cast<uint8_t*>(Dst);
    for (; Bytes >= 32; Bytes -= 32, s += 32, d += 32)
        Apply128(t, Split128(s), d);
    Gf16MulAddTable(Factor, s, d, Bytes);
}

AVX2 void Gf16MulAddAvx2(uint16_t Factor, const void* Src, void* Dst, size_t Bytes) {
    const TTables256 t = Broadcast(TSplitTables(Factor));
    auto s = static_cast<const uint8_t*>(Src);
    auto d = static_cast<uint8_t*>(Dst);
    for (; Bytes >= 64; Bytes -= 64, s += 64, d += 64)
        Apply256(t, Split256(s), d);
    Gf16MulAddTable(Factor, s, d, Bytes);
}

bool Gf16HasSsse3() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("ssse3") != 0;
    }();
    return has;
}

bool Gf16HasAvx2() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return has;
}

int Gf16Method() {
    return Gf16HasAvx2() ? 2 : Gf16HasSsse3() ? 1 : 0;
}

void Gf16MulAdd(uint16_t Factor, const void* Src, void* Dst, size_t Bytes) {
    switch (Gf16Method()) {
    case 2:
        return Gf16MulAddAvx2(Factor, Src, Dst, Bytes);
    case 1:
        return Gf16MulAddSsse3(Factor, Src, Dst, Bytes);
    default:
        return Gf16MulAddTable(Factor, Src, Dst, Bytes);
    }
}

void Gf16MulAddMulti(const uint16_t* Factors, void* const* Dsts, size_t Count, const void* Src,
                     size_t Bytes) {
    Gf16MulAddBatch(Factors, Dsts, Count, &Src, 1, Bytes);
}

void Gf16MulAddBatch(const uint16_t* Factors, void* const* Dsts, size_t Count, const void* const* Srcs,
                     size_t Sources, size_t Bytes) {
    const auto srcs = reinterpret_cast<const uint8_t* const*>(Srcs);
    const int method = Gf16Method();
    const size_t unit = method == 2 ? 64 : method == 1 ? 32 : 0, whole = unit ? Bytes / unit * unit : 0;
    if (method > 0) {
        std::vector<TSplitTables> tables;
        tables.reserve(Sources * Count);
        for (size_t k = 0; k < Sources * Count; ++k)
            tables.emplace_back(Factors[k]);
        (method == 2 ? BatchAvx2 : BatchSsse3)(tables, Dsts, Count, srcs, Sources, whole);
    }
    for (size_t s = 0; s < Sources; ++s)
        for (size_t d = 0; d < Count; ++d)
            Gf16MulAddTable(Factors[s * Count + d], srcs[s] + whole, static_cast<uint8_t*>(Dsts[d]) + whole,
                            Bytes - whole);
}
