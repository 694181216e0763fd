// Arithmetic in GF(2^16) as PAR2 2.0 defines it: polynomial x^16 + x^12 + x^3 + x + 1 (0x1100B), words
// of 16 bits, little-endian in the files. Addition is XOR.
#pragma once

#include <cstddef>
#include <cstdint>

uint16_t Gf16Mul(uint16_t A, uint16_t B);
uint16_t Gf16Pow(uint16_t A, uint32_t N); // A^0 is 1, 0^N is 0 for N > 0
uint16_t Gf16Inverse(uint16_t A);         // A must not be 0
uint16_t Gf16Div(uint16_t A, uint16_t B); // B must not be 0

// The constant of input slice Index (from 0, at most 32767) in recovery data: the Index-th power of two
// whose exponent is not divisible by 3, 5, 17 or 257, so that its order is 65535.
uint16_t Par2InputConstant(uint32_t Index);

// The hot loop of creation and repair: Bytes / 2 words at Dst become Dst[i] + Factor * Src[i]. Bytes must be
// even. Gf16MulAdd takes the fastest method this processor has; the others are here to be held to each
// other: the table method works everywhere (two look-ups per word), the split tables look up four nibbles
// of 16 words at once with PSHUFB (SSSE3), or of 32 words (AVX2) where Gf16HasSsse3 / Gf16HasAvx2 say so.
void Gf16MulAdd(uint16_t Factor, const void* Src, void* Dst, size_t Bytes);
void Gf16MulAddTable(uint16_t Factor, const void* Src, void* Dst, size_t Bytes);
void Gf16MulAddSsse3(uint16_t Factor, const void* Src, void* Dst, size_t Bytes);
void Gf16MulAddAvx2(uint16_t Factor, const void* Src, void* Dst, size_t Bytes);
bool Gf16HasSsse3();
bool Gf16HasAvx2();

// One source into Count destinations with a factor each, as repair adds every intact slice to every sum it
// solves for: the source is split into nibbles once for all of them, in pieces that stay in the cache.
void Gf16MulAddMulti(const uint16_t* Factors, void* const* Dsts, size_t Count, const void* Src, size_t Bytes);
// Several sources at once, as creation adds a batch of input slices: Dsts[d] gets Factors[s * Count + d]
// times Srcs[s] for every source s, and its bytes are read and written once for all of them.
void Gf16MulAddBatch(const uint16_t* Factors, void* const* Dsts, size_t Count, const void* const* Srcs,
                     size_t Sources, size_t Bytes);

// The method Gf16MulAdd uses, for the benchmark and the tests: 0 table, 1 SSSE3, 2 AVX2.
int Gf16Method();
