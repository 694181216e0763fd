#include "support/UnitPar2Repair.h"

#include <algorithm>
#include <cstring>

#include "support/UnitCrc32.h"
#include "support/UnitGf16.h"

namespace {

struct TSlice {
    size_t File = 0;
    uint32_t Index = 0;    // within the file
    uint16_t Constant = 0; // from its place in the whole set
};

using TRow = std::vector<uint16_t>;

TRow RecoveryRow(const std::vector<TSlice>& Missing, uint32_t Exponent) {
    TRow row;
    for (const TSlice& m : Missing)
        row.push_back(Gf16Pow(m.Constant, Exponent));
    return row;
}

void Scale(TRow& Row, uint16_t Factor) {
    for (uint16_t& w : Row)
        w = Gf16Mul(w, Factor);
}

// The recovery slices to use: the first ones, in the order given, whose rows are independent of the rows
// taken before (two exponents 65535 apart, or a set made with other constants, give dependent rows).
// Kept in echelon form, each row with a 1 at its pivot, a new row reduces to zero exactly when it adds
// nothing.
std::vector<size_t> ChooseRecovery(const std::vector<TSlice>& Missing,
                                   const std::vector<TPar2RecoverySlice>& Recovery) {
    std::vector<TRow> basis;
    std::vector<size_t> pivots, chosen;
    const size_t bytes = 2 * Missing.size();
    for (size_t r = 0; r < Recovery.size() && chosen.size() < Missing.size(); ++r) {
        TRow row = RecoveryRow(Missing, Recovery[r].Exponent);
        for (size_t b = 0; b < basis.size(); ++b)
            if (row[pivots[b]] != 0)
                Gf16MulAdd(row[pivots[b]], basis[b].data(), row.data(), bytes);
        const auto pivot = std::find_if(row.begin(), row.end(), [](uint16_t W) { return W != 0; });
        if (pivot == row.end())
            continue;
        Scale(row, Gf16Inverse(*pivot));
        pivots.push_back(static_cast<size_t>(pivot - row.begin()));
        basis.push_back(std::move(row));
        chosen.push_back(r);
    }
    return chosen;
}

// The inverse of the rows of the chosen recovery slices by Gauss-Jordan elimination; the choice made them
// independent, so a pivot is always found.
std::vector<TRow> Invert(std::vector<TRow> A) {
    const size_t k = A.size(), bytes = 2 * k;
    std::vector<TRow> inverse(k, TRow(k, 0));
    for (size_t i = 0; i < k; ++i)
        inverse[i][i] = 1;
    for (size_t col = 0; col < k; ++col) {
        size_t p = col;
        while (A[p][col] == 0)
            ++p;
        std::swap(A[p], A[col]);
        std::swap(inverse[p], inverse[col]);
        const uint16_t f = Gf16Inverse(A[col][col]);
        Scale(A[col], f);
        Scale(inverse[col], f);
        for (size_t r = 0; r < k; ++r)
            if (r != col && A[r][col] != 0) {
                const uint16_t g = A[r][col];
                Gf16MulAdd(g, A[col].data(), A[r].data(), bytes);
                Gf16MulAdd(g, inverse[col].data(), inverse[r].data(), bytes);
            }
    }
    return inverse;
}

class TRebuild {
public:
    TRebuild(const TPar2Set& Set, const TPar2Intact& Intact, TPar2RepairIo& Io)
        : FSet(Set), FIntact(Intact), FIo(Io) {}
    TPar2RepairResult Run(size_t MemoryLimit);

private:
    // Sorts the slices into present and missing, each with its constant; Done where there is work.
    TPar2RepairResult Classify();
    // Chooses recovery slices for the missing ones and inverts their rows; False when too few are usable.
    bool Solve();
    const TPar2Set& FSet;
    const TPar2Intact& FIntact;
    TPar2RepairIo& FIo;
    std::vector<TSlice> FMissing, FPresent;
    std::vector<size_t> FChosen;
    std::vector<TRow> FInverse;

    bool Stripe(uint64_t From, size_t Width, std::vector<uint8_t>& Sums, std::vector<uint8_t>& In,
                std::vector<TMd5>& Md5, std::vector<TCrc32>& Crc, TPar2RepairResult& Result);
    bool ReadSlice(const TSlice& Slice, uint64_t From, size_t Width, uint8_t* Data, bool Rebuilt);
    TPar2RepairResult CheckFiles(size_t Width);
};

// Bytes [From, From + Width) of a slice, zero beyond the end of its file.
bool TRebuild::ReadSlice(const TSlice& Slice, uint64_t From, size_t Width, uint8_t* Data, bool Rebuilt) {
    const uint64_t length = FSet.Files[Slice.File].Length, start = Slice.Index * FSet.SliceSize + From;
    const size_t n = start < length ? static_cast<size_t>(std::min<uint64_t>(Width, length - start)) : 0;
    std::memset(Data + n, 0, Width - n);
    return n == 0 || (Rebuilt ? FIo.ReadRebuilt(Slice.File, start, Data, n)
                              : FIo.ReadInput(Slice.File, start, Data, n));
}

// One stripe: each chosen recovery slice less the share of every intact slice leaves the sum of the missing
// slices' shares, and the inverse turns those sums into the missing slices.
bool TRebuild::Stripe(uint64_t From, size_t Width, std::vector<uint8_t>& Sums, std::vector<uint8_t>& In,
                      std::vector<TMd5>& Md5, std::vector<TCrc32>& Crc, TPar2RepairResult& Result) {
    const size_t k = FMissing.size();
    std::vector<void*> dsts(k);
    std::vector<uint16_t> factors(k);
    for (size_t i = 0; i < k; ++i) {
        dsts[i] = &Sums[i * Width];
        const TPar2RecoverySlice& r = FSet.Recovery[FChosen[i]];
        if (!FIo.ReadRecovery(r.Source, r.Offset + From, dsts[i], Width))
            return Result = TPar2RepairResult::ReadFailed, false;
    }
    for (const TSlice& s : FPresent) {
        if (!ReadSlice(s, From, Width, In.data(), false))
            return Result = TPar2RepairResult::ReadFailed, false;
        for (size_t i = 0; i < k; ++i)
            factors[i] = Gf16Pow(s.Constant, FSet.Recovery[FChosen[i]].Exponent);
        Gf16MulAddMulti(factors.data(), dsts.data(), k, In.data(), Width);
    }
    for (size_t j = 0; j < k; ++j) {
        std::fill(In.begin(), In.begin() + static_cast<ptrdiff_t>(Width), 0);
        for (size_t i = 0; i < k; ++i)
            if (FInverse[j][i] != 0)
                Gf16MulAdd(FInverse[j][i], dsts[i], In.data(), Width);
        Md5[j].Add(In.data(), Width);
        Crc[j].Update(In.data(), Width);
        const TSlice& m = FMissing[j];
        const uint64_t length = FSet.Files[m.File].Length, start = m.Index * FSet.SliceSize + From;
        if (start < length &&
            !FIo.WriteRebuilt(m.File, start, In.data(),
                              static_cast<size_t>(std::min<uint64_t>(Width, length - start))))
            return Result = TPar2RepairResult::WriteFailed, false;
    }
    return true;
}

// Every file with a rebuilt slice, read whole in order, against its MD5.
TPar2RepairResult TRebuild::CheckFiles(size_t Width) {
    std::vector<uint8_t> buffer(Width);
    for (size_t f = 0; f < FSet.Files.size(); ++f) {
        if (std::all_of(FIntact[f].begin(), FIntact[f].end(), [](bool B) { return B; }))
            continue;
        const TPar2File& file = FSet.Files[f];
        TMd5 md5;
        for (uint32_t s = 0; s < file.Slices.size(); ++s)
            for (uint64_t from = 0; from < FSet.SliceSize && s * FSet.SliceSize + from < file.Length;
                 from += Width) {
                const size_t n = static_cast<size_t>(std::min<uint64_t>(
                    {uint64_t{Width}, FSet.SliceSize - from, file.Length - s * FSet.SliceSize - from}));
                if (!ReadSlice({f, s, 0}, from, n, buffer.data(), !FIntact[f][s]))
                    return TPar2RepairResult::ReadFailed;
                md5.Add(buffer.data(), n);
            }
        if (md5.Final() != file.Md5)
            return TPar2RepairResult::WrongResult;
    }
    return TPar2RepairResult::Done;
}

TPar2RepairResult TRebuild::Classify() {
    if (!FSet.Complete || FIntact.size() != FSet.Files.size())
        return TPar2RepairResult::Incomplete;
    uint32_t global = 0;
    for (size_t f = 0; f < FSet.Files.size(); ++f) {
        if (FIntact[f].size() != FSet.Files[f].Slices.size())
            return TPar2RepairResult::Incomplete;
        for (uint32_t s = 0; s < FIntact[f].size(); ++s)
            (FIntact[f][s] ? FPresent : FMissing).push_back({f, s, Par2InputConstant(global++)});
    }
    if (FMissing.empty())
        return TPar2RepairResult::NotNeeded;
    return FMissing.size() > FSet.Recovery.size() ? TPar2RepairResult::NotEnough : TPar2RepairResult::Done;
}

bool TRebuild::Solve() {
    FChosen = ChooseRecovery(FMissing, FSet.Recovery);
    if (FChosen.size() < FMissing.size())
        return false;
    std::vector<TRow> rows;
    for (const size_t r : FChosen)
        rows.push_back(RecoveryRow(FMissing, FSet.Recovery[r].Exponent));
    FInverse = Invert(std::move(rows));
    return true;
}

TPar2RepairResult TRebuild::Run(size_t MemoryLimit) {
    if (const TPar2RepairResult result = Classify(); result != TPar2RepairResult::Done)
        return result;
    const size_t k = FMissing.size();
    // The rows of the chosen recovery slices and their inverse, 2 k^2 bytes each, are held at once; the
    // stripes get the rest of the limit.
    const uint64_t matrices = 4 * uint64_t{k} * k;
    if (matrices > MemoryLimit)
        return TPar2RepairResult::TooLarge;
    if (!Solve())
        return TPar2RepairResult::NotEnough;
    // Stripes of whole vectors of the multiply-add; the last one takes what is left (a multiple of 4).
    const uint64_t room = (MemoryLimit - matrices) / (k + 1) / 64 * 64;
    const size_t width =
        static_cast<size_t>(std::min<uint64_t>(FSet.SliceSize, std::max<uint64_t>(room, 64)));
    std::vector<uint8_t> sums(k * width), in(width);
    std::vector<TMd5> md5(k);
    std::vector<TCrc32> crc(k);
    TPar2RepairResult result = TPar2RepairResult::Done;
    for (uint64_t from = 0; from < FSet.SliceSize; from += width)
        if (!Stripe(from, static_cast<size_t>(std::min<uint64_t>(width, FSet.SliceSize - from)), sums, in,
                    md5, crc, result))
            return result;
    for (size_t j = 0; j < k; ++j) {
        const TPar2SliceSum& sum = FSet.Files[FMissing[j].File].Slices[FMissing[j].Index];
        if (md5[j].Final() != sum.Md5 || crc[j].Value() != sum.Crc)
            return TPar2RepairResult::WrongResult;
    }
    return CheckFiles(width);
}

} // namespace

TPar2RepairResult Par2Repair(const TPar2Set& Set, const TPar2Intact& Intact, TPar2RepairIo& Io,
                             size_t MemoryLimit) {
    return TRebuild(Set, Intact, Io).Run(MemoryLimit);
}
