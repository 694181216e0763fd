// MD5 against RFC 1321, GF(2^16) by hand and its methods against each other, PAR2 recovery sets made,
// read and repaired here and by par2cmdline (Debian's par2, on the Linux side), and hostile PAR2 files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <random>

#include "support/TestSupport.h"
#include "support/UnitGf16.h"
#include "support/UnitPar2Repair.h"

using namespace testsupport;

namespace {

std::string Hex(const TMd5Digest& D) {
    std::string s;
    for (const uint8_t b : D)
        s += "0123456789abcdef"[b >> 4], s += "0123456789abcdef"[b & 15];
    return s;
}

struct TNamed {
    std::string Name, Bytes;
    bool operator==(const TNamed&) const = default;
};

TPar2Input Plan(const TNamed& F) {
    return {F.Name, F.Bytes.size(), TMd5::Of(F.Bytes.data(), std::min<size_t>(F.Bytes.size(), 16384))};
}

// The recovery files of Files by suffix, made in one pass or in stripes of Stripe bytes fed in pieces of
// random sizes; empty when the creator refuses the plan.
std::vector<TNamed> Create(const std::vector<TNamed>& Files, uint64_t Slice, uint32_t Count, uint64_t Max,
                           uint64_t Stripe = 0, std::mt19937* Rnd = nullptr) {
    std::vector<TPar2Input> plan;
    for (const TNamed& f : Files)
        plan.push_back(Plan(f));
    TPar2Creator creator(plan, Slice, Count, Max, "Created by Chunkler");
    if (!creator.Valid())
        return {};
    std::vector<TNamed> out;
    for (const TPar2OutputFile& f : creator.Files())
        out.push_back({f.Suffix, std::string(size_t(f.Size), '?')});
    const TPar2Write write = [&](size_t File, uint64_t Offset, const void* Data, size_t N) {
        ASSERT_LE(Offset + N, out[File].Bytes.size());
        std::memcpy(&out[File].Bytes[size_t(Offset)], Data, N);
    };
    for (uint64_t from = 0; from < Slice; from += Stripe ? Stripe : Slice) {
        creator.SetStripe(from, Stripe ? std::min(Slice, from + Stripe) : Slice, write);
        for (const TNamed& f : Files) {
            for (size_t at = 0, n = 0; at < f.Bytes.size(); at += n)
                creator.Add(&f.Bytes[at],
                            n = std::min<size_t>(f.Bytes.size() - at, Rnd ? (*Rnd)() % 70000 : SIZE_MAX));
            creator.EndFile();
        }
    }
    EXPECT_TRUE(creator.Matches());
    creator.Finish(write);
    return out;
}

TPar2Set Read(const std::vector<TNamed>& Par2Files) {
    std::vector<std::unique_ptr<TPar2MemorySource>> sources;
    std::vector<TPar2Source*> list;
    for (const TNamed& f : Par2Files)
        list.push_back((sources.emplace_back(std::make_unique<TPar2MemorySource>(f.Bytes))).get());
    return Par2Read(list);
}

// The set's files as they lie in Files (by name; missing ones empty), repaired in memory.
class TMemoryIo : public TPar2RepairIo {
public:
    std::vector<std::string> Inputs, Rebuilt;
    std::vector<TNamed> Sources;
    bool Copy(const std::string& From, uint64_t Offset, void* Data, size_t N) {
        return Offset + N <= From.size() && (std::memcpy(Data, From.data() + Offset, N), true);
    }
    bool ReadInput(size_t F, uint64_t O, void* D, size_t N) override { return Copy(Inputs[F], O, D, N); }
    bool ReadRecovery(size_t S, uint64_t O, void* D, size_t N) override {
        return Copy(Sources[S].Bytes, O, D, N);
    }
    bool ReadRebuilt(size_t F, uint64_t O, void* D, size_t N) override { return Copy(Rebuilt[F], O, D, N); }
    bool WriteRebuilt(size_t F, uint64_t O, const void* D, size_t N) override {
        Rebuilt[F].resize(std::max(Rebuilt[F].size(), size_t(O) + N));
        return std::memcpy(&Rebuilt[F][size_t(O)], D, N), true;
    }
};

// Checks Files against the set read from Par2Files and repairs them: the repair's result, and the files
// as the repair leaves them in Files.
TPar2RepairResult Repair(std::vector<TNamed>& Files, const std::vector<TNamed>& Par2Files,
                         size_t Memory = 64 << 20) {
    const TPar2Set set = Read(Par2Files);
    EXPECT_TRUE(set.Complete);
    TMemoryIo io;
    io.Sources = Par2Files;
    TPar2Intact intact;
    for (const TPar2File& f : set.Files) {
        const auto it =
            std::find_if(Files.begin(), Files.end(), [&](const TNamed& N) { return N.Name == f.Name; });
        io.Inputs.push_back(it == Files.end() ? "" : it->Bytes);
        TPar2FileCheck check(f, set.SliceSize, intact.size() % 2 == 1);
        check.Add(io.Inputs.back().data(), io.Inputs.back().size());
        intact.push_back(check.Finish());
    }
    io.Rebuilt.resize(set.Files.size());
    const TPar2RepairResult result = Par2Repair(set, intact, io, Memory);
    for (size_t f = 0; f < set.Files.size() && result == TPar2RepairResult::Done; ++f) {
        const size_t length = size_t(set.Files[f].Length), slice = size_t(set.SliceSize);
        std::string whole = io.Inputs[f];
        whole.resize(length), io.Rebuilt[f].resize(length);
        for (size_t s = 0; s < intact[f].size(); ++s)
            if (!intact[f][s])
                whole.replace(s * slice, std::min(slice, length - s * slice), io.Rebuilt[f], s * slice,
                              slice);
        for (TNamed& n : Files)
            n.Bytes = n.Name == set.Files[f].Name ? whole : n.Bytes;
    }
    return result;
}

// Random input files like a set's parts (of PartSize bytes, the last one shorter) and header file.
std::vector<TNamed> RandomFiles(std::mt19937& Rnd, size_t Count, size_t PartSize) {
    std::vector<TNamed> files;
    for (size_t i = 1; i <= Count; ++i)
        files.push_back({"data.bin.00" + std::to_string(i),
                         PatternBytes(i < Count ? PartSize : 1 + Rnd() % PartSize, Rnd())});
    files.push_back({"data.bin.h001", PatternBytes(1 + Rnd() % 3000, Rnd())});
    return files;
}

bool HaveTool() {
    static const bool have = RunUnixShell("command -v par2 >/dev/null") == 0;
    return have;
}

} // namespace

TEST(Md5, Rfc1321Suite) {
    const std::string digits =
        "12345678901234567890123456789012345678901234567890123456789012345678901234567890";
    const std::pair<std::string, std::string> suite[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {digits, "57edf4a22be3c955ac49da2e2107b67a"}};
    for (const auto& [text, md5] : suite) {
        EXPECT_EQ(Hex(TMd5::Of(text.data(), text.size())), md5) << text;
        TMd5 bytewise; // across every block boundary
        for (const char c : text)
            bytewise.Add(&c, 1);
        EXPECT_EQ(Hex(bytewise.Final()), md5) << text;
    }
}

TEST(Gf16, ProductsByHandAndMethodsAgree) {
    // x * x^15 = x^16 = x^12 + x^3 + x + 1; (x + 1)^2 = x^2 + 1; x^30 reduced by hand.
    const struct {
        uint16_t A, B, Product;
    } products[] = {{2, 0x8000, 0x100B}, {0x100, 0x100, 0x100B},
                    {3, 3, 5},           {0x8000, 0x8000, 0x8EFA},
                    {7, 1, 7},           {0, 9, 0}};
    for (const auto& p : products) {
        EXPECT_EQ(Gf16Mul(p.A, p.B), p.Product) << p.A << " * " << p.B;
        EXPECT_EQ(Gf16Mul(p.B, p.A), p.Product) << p.B << " * " << p.A;
    }
    EXPECT_EQ(Gf16Pow(2, 30), 0x8EFA);
    EXPECT_EQ(Gf16Mul(0x8EFA, Gf16Inverse(0x8EFA)), 1);
    const uint16_t constants[] = {2,    4,     16,   128,   256,  2048,
                                  8192, 16384, 4107, 32856, 17132}; // the standard's list
    for (uint32_t i = 0; i < std::size(constants); ++i)
        EXPECT_EQ(Par2InputConstant(i), constants[i]) << i;

    std::mt19937 rnd(1234);
    const std::string src = PatternBytes(70100, 7);
    for (int round = 0; round < 200; ++round) {
        const uint16_t factor = static_cast<uint16_t>(round < 2 ? round : rnd());
        const size_t offset = rnd() % 64, bytes = 2 * (rnd() % (round < 100 ? 200 : 34000));
        std::string dst = PatternBytes(bytes, rnd()), table = dst, ssse3 = dst, avx2 = dst;
        Gf16MulAddTable(factor, &src[offset], table.data(), bytes);
        for (size_t w = 0; w < bytes && round < 20; w += 2) { // the table against Gf16Mul word by word
            const uint16_t in = uint16_t(uint8_t(src[offset + w]) | uint8_t(src[offset + w + 1]) << 8);
            const uint16_t was = uint16_t(uint8_t(dst[w]) | uint8_t(dst[w + 1]) << 8);
            ASSERT_EQ(uint8_t(table[w]) | uint8_t(table[w + 1]) << 8, was ^ Gf16Mul(factor, in)) << w;
        }
        if (Gf16HasSsse3())
            Gf16MulAddSsse3(factor, &src[offset], ssse3.data(), bytes);
        if (Gf16HasAvx2())
            Gf16MulAddAvx2(factor, &src[offset], avx2.data(), bytes);
        ASSERT_EQ(ssse3, Gf16HasSsse3() ? table : dst) << bytes;
        ASSERT_EQ(avx2, Gf16HasAvx2() ? table : dst) << bytes;
        // Two sources into three destinations at once, a factor for each pair (source-major).
        const uint16_t factors[6] = {factor, uint16_t(factor + 1), 0x8EFA, 0, 1, uint16_t(~factor)};
        const void* srcs[2] = {&src[offset], &src[offset + 2]};
        std::string multi[3] = {dst, dst, dst}, single[3] = {dst, dst, dst};
        void* dsts[3] = {multi[0].data(), multi[1].data(), multi[2].data()};
        Gf16MulAddBatch(factors, dsts, 3, srcs, 2, bytes);
        for (int d = 0; d < 3; ++d) {
            Gf16MulAddTable(factors[d], srcs[0], single[d].data(), bytes);
            Gf16MulAddTable(factors[3 + d], srcs[1], single[d].data(), bytes);
            ASSERT_EQ(multi[d], single[d]);
        }
    }
    if (Gf16Method() < 2)
        GTEST_SKIP() << "no AVX2 here: method " << Gf16Method() << " was compared with the table";
}

// The backbone: random sets, repaired here with up to n files lost or damaged, and not with n + 1.
TEST(Par2, RandomRoundTrip) {
    const char* seedText = std::getenv("CHUNKLER_SEED");
    const uint32_t seed = seedText ? uint32_t(std::strtoul(seedText, nullptr, 0)) : 2024;
    std::cout << "seed " << seed << " (set CHUNKLER_SEED to repeat)\n";
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rnd(seed);
    for (int round = 0; round < 12; ++round) {
        const size_t part = 1 + rnd() % 200000;
        const std::vector<TNamed> files = RandomFiles(rnd, 5 + rnd() % 4, part);
        const uint64_t slice = 4 * (1 + part / 1024 + rnd() % 20000); // at most 256 slices a file
        const uint32_t lost = 1 + rnd() % 3, perFile = uint32_t((part + slice - 1) / slice);
        const std::vector<TNamed> par2 = Create(files, slice, lost * perFile, 0, 0, &rnd);
        ASSERT_FALSE(par2.empty());
        // In stripes and in pieces, the same bytes.
        const uint64_t stripe = 4 * (1 + rnd() % (slice / 4));
        ASSERT_TRUE(par2 == Create(files, slice, lost * perFile, 0, stripe, &rnd)) << "stripe " << stripe;
        for (uint32_t damaged = lost; damaged <= lost + 1; ++damaged) {
            std::vector<TNamed> broken = files;
            for (uint32_t d = 0; d < damaged; ++d) {
                std::string& bytes = broken[d].Bytes;
                switch (damaged > lost ? 0 : rnd() % 3) {
                case 0:
                    bytes.clear();
                    break;
                case 1:
                    bytes.resize(rnd() % bytes.size());
                    break;
                default:
                    bytes[rnd() % bytes.size()] ^= 0x40;
                }
            }
            // The matrix of every slice to rebuild and a few stripes' worth; 3 bytes hold no matrix.
            const uint64_t matrix = 4 * uint64_t(lost * perFile) * (lost * perFile);
            const TPar2RepairResult tight = Repair(broken, par2, 3);
            const TPar2RepairResult result = Repair(broken, par2, size_t(matrix + 4096 + rnd() % 200000));
            if (damaged == lost) {
                ASSERT_EQ(tight, TPar2RepairResult::TooLarge) << "round " << round;
                ASSERT_EQ(result, TPar2RepairResult::Done) << "round " << round;
                ASSERT_TRUE(broken == files) << "round " << round;
            } else
                ASSERT_EQ(result, TPar2RepairResult::NotEnough) << "round " << round;
        }
    }
}

TEST(Par2, SliceSizeAndFileSizes) {
    const struct {
        uint64_t Part;
        size_t Files;
        uint64_t Total;
        uint32_t Lost;
        TPar2Choice Expected;
    } rows[] = {{1453568, 740, 1073741824 + 4000, 10, {726784, 2, 20}},
                {650000000, 3, 1300000000, 1, {325000000, 2, 2}},
                {1000, 2, 2000, 1, {0, 0, 0}}}; // the packets alone fill a part
    for (const auto& r : rows) {
        const TPar2Choice c = Par2ChooseSliceSize(r.Part, r.Files, r.Total, 16, r.Lost);
        EXPECT_EQ(c.SliceSize, r.Expected.SliceSize) << r.Part;
        EXPECT_EQ(c.RecoveryCount, r.Expected.RecoveryCount) << r.Part;
    }
    // Every recovery file fits the part size, and they are named as par2cmdline names them.
    std::mt19937 rnd(99);
    const std::vector<TNamed> files = RandomFiles(rnd, 9, 20000);
    const TPar2Choice c = Par2ChooseSliceSize(20000, files.size(), 200000, 13, 3);
    const std::vector<TNamed> par2 = Create(files, c.SliceSize, c.RecoveryCount, 20000);
    std::string names;
    for (const TNamed& f : par2) {
        names += f.Name + " ";
        EXPECT_LE(f.Bytes.size(), 20000u) << f.Name;
    }
    EXPECT_EQ(names, ".par2 .vol0+1.par2 .vol1+1.par2 .vol2+1.par2 .vol3+1.par2 .vol4+1.par2 .vol5+1.par2 ");
}

TEST(Par2, HostileFilesAreIgnored) {
    std::mt19937 rnd(5);
    std::vector<TNamed> files = RandomFiles(rnd, 3, 30000);
    const std::vector<TNamed> par2 = Create(files, 4096, 6, 0);
    const std::string& volume = par2[1].Bytes;
    for (int round = 0; round < 300; ++round) {
        std::string bad = volume;
        const size_t at = rnd() % bad.size();
        if (round % 3 == 0)
            bad.resize(at); // cut short
        else if (round % 3 == 1)
            bad[at] ^= char(1 + rnd() % 255);
        else // a length field of a packet made absurd
            std::memset(&bad[bad.find("PAR2", at) == std::string::npos ? 8 : bad.find("PAR2", at) + 8], 0xFF,
                        rnd() % 8 + 1);
        const TPar2Set set = Read({{"", bad}});
        for (const TPar2RecoverySlice& r : set.Recovery) // every slice kept is the one made
            ASSERT_EQ(bad.substr(size_t(r.Offset) - 4, 4100), volume.substr(size_t(r.Offset) - 4, 4100))
                << round;
    }
    // Garbage before, between and after the packets, one critical packet broken in the index: still read.
    std::string index = par2[0].Bytes;
    index[100] ^= 1; // the main packet
    const TPar2Set set = Read({{"", "junk" + index}, {"", PatternBytes(999) + volume + "PAR2"}});
    EXPECT_TRUE(set.Complete);
    EXPECT_EQ(set.Recovery.size(), 6u);
    EXPECT_EQ(set.Creator, "Created by Chunkler");
    files[0].Bytes[7] ^= 2;
    EXPECT_EQ(Repair(files, {{"", "junk" + index}, {"", PatternBytes(999) + volume + "PAR2"}}),
              TPar2RepairResult::Done);
}

// par2cmdline verifies and repairs what we make, and we repair what it makes.
TEST(Par2, Par2cmdlineBothWays) {
    if (!HaveTool())
        GTEST_SKIP() << "par2 is not installed";
    TTempDir dir;
    const std::string unixDir = UnixPath(dir.Path());
    std::mt19937 rnd(77);
    const std::vector<TNamed> files = RandomFiles(rnd, 5, 300000);
    for (const TNamed& f : files)
        WriteFileBytes(dir / f.Name, f.Bytes);
    const std::vector<TNamed> ours = Create(files, 65536, 10, 0);
    for (const TNamed& f : ours)
        WriteFileBytes(dir / ("data.bin" + f.Name), f.Bytes);
    EXPECT_EQ(RunUnixShell("cd " + unixDir + " && par2 verify -q -q data.bin.par2"), 0u);
    EXPECT_EQ(RunUnixShell("cd " + unixDir +
                           " && rm data.bin.001 data.bin.h001 && echo x >> data.bin.002 && "
                           "par2 repair -q -q data.bin.par2 && rm data.bin.*.1"),
              0u);
    for (const TNamed& f : files)
        EXPECT_TRUE(ReadFileBytes(dir / f.Name) == f.Bytes) << f.Name;
    for (const int block : {4096, 100000}) {
        ASSERT_EQ(RunUnixShell("cd " + unixDir + " && rm -f *.par2 && par2 create -q -q -s" +
                               std::to_string(block) + " -c8 theirs.par2 data.bin.*"),
                  0u);
        std::vector<TNamed> theirs;
        for (const std::string& name : ListNames(dir.Path()))
            if (name.ends_with(".par2"))
                theirs.push_back({name, ReadFileBytes(dir / name)});
        std::vector<TNamed> broken = files;
        broken.back().Bytes.clear();
        broken[2].Bytes[block + 5] ^= 1;
        broken[4].Bytes[9] ^= 1;
        EXPECT_EQ(Repair(broken, theirs), TPar2RepairResult::Done) << block;
        EXPECT_TRUE(broken == files) << block;
    }
}
