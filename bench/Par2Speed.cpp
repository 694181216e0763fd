// The arithmetic of PAR2 recovery data alone, in memory: the GF(2^16) multiply-add through each method this
// processor has (one destination, one source into 20 destinations as repair adds it, and batches of 8 as
// creation adds them), MD5 of one sum and of two sums at once, and the creation of 2 and 20 recovery slices
// for 1 GiB in 739 parts of 1.44 MB (the slice size a /RECOVER1 and /RECOVER10 split takes), with the
// processor time it took in the caller's thread and in all (creation adds on a thread of its own) and the
// peak working set. GB/s are 10^9 bytes of source per second.
//
// Exit code 0 when every method gives the table's bytes and memory stays under 256 MiB, 1 otherwise.
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "support/UnitGf16.h"
#include "support/UnitPar2.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point Start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
}

// Processor time of the calling thread and of the whole process (every thread), in seconds: on a machine
// that other programs share, they say what a run cost where the elapsed time says little.
double ThreadSeconds() {
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    return static_cast<double>(ULARGE_INTEGER{{user.dwLowDateTime, user.dwHighDateTime}}.QuadPart) / 1e7;
}
double ProcessSeconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    return static_cast<double>(ULARGE_INTEGER{{user.dwLowDateTime, user.dwHighDateTime}}.QuadPart) / 1e7;
}

// Best of three runs of Work, in seconds.
template <class F> double Best(F Work) {
    double best = 1e30;
    for (int run = 0; run < 3; ++run) {
        const auto start = std::chrono::steady_clock::now();
        Work();
        best = std::min(best, Seconds(start));
    }
    return best;
}

// A split of 1 GiB into 1.44 MB parts with Count recovery slices, the parts' bytes made up as they are fed.
double Create(uint32_t Count, const std::vector<uint8_t>& Part) {
    const uint64_t total = uint64_t{1} << 30, partSize = Part.size();
    std::vector<TPar2Input> plan;
    for (uint64_t at = 0, i = 1; at < total; at += partSize, ++i) {
        std::vector<uint8_t> first(Part.begin(), Part.begin() + 16384);
        first[0] = static_cast<uint8_t>(i);
        const size_t length = static_cast<size_t>(std::min(partSize, total - at));
        plan.push_back(
            {"big.bin." + std::to_string(1000 + i).substr(1), length, TMd5::Of(first.data(), 16384)});
    }
    const TPar2Choice choice = Par2ChooseSliceSize(partSize, plan.size(), total, 12, Count / 2);
    const auto start = std::chrono::steady_clock::now();
    const double thread = ThreadSeconds(), process = ProcessSeconds();
    TPar2Creator creator(plan, choice.SliceSize, Count, partSize, "Created by Chunkler");
    std::vector<uint8_t> part = Part;
    for (size_t i = 0; i < plan.size(); ++i) {
        part[0] = static_cast<uint8_t>(i + 1);
        creator.Add(part.data(), static_cast<size_t>(plan[i].Length));
        creator.EndFile();
    }
    uint64_t written = 0;
    creator.Finish([&](size_t, uint64_t, const void*, size_t N) { written += N; });
    const double seconds = Seconds(start);
    std::printf(
        "create %2u recovery slices of %llu bytes for 1 GiB in %zu parts: %.2f s (%s, %zu files, %.1f "
        "MiB; processor %.2f s in the caller's thread, %.2f s in all)\n",
        Count, static_cast<unsigned long long>(choice.SliceSize), plan.size(), seconds,
        creator.Matches() ? "as planned" : "NOT AS PLANNED", creator.Files().size(),
        static_cast<double>(written) / 1048576, ThreadSeconds() - thread, ProcessSeconds() - process);
    return creator.Matches() ? seconds : -1;
}

// Each multiply-add method over 64 MiB, held to the table; the number of methods that differ.
int MethodSpeeds(const std::vector<uint8_t>& Src) {
    const size_t bytes = Src.size();
    std::vector<uint8_t> reference(bytes), dst(bytes);
    struct TMethod {
        const char* Name;
        void (*MulAdd)(uint16_t, const void*, void*, size_t);
        bool Present;
    };
    const TMethod methods[] = {{"table", Gf16MulAddTable, true},
                               {"SSSE3 split tables", Gf16MulAddSsse3, Gf16HasSsse3()},
                               {"AVX2 split tables", Gf16MulAddAvx2, Gf16HasAvx2()}};
    std::printf("Gf16MulAdd uses %s\n", methods[Gf16Method()].Name);
    Gf16MulAddTable(0x1234, Src.data(), reference.data(), bytes);
    int failures = 0;
    for (const TMethod& m : methods) {
        if (!m.Present)
            continue;
        std::fill(dst.begin(), dst.end(), 0);
        m.MulAdd(0x1234, Src.data(), dst.data(), bytes);
        const bool same = dst == reference;
        failures += !same;
        const double s = Best([&] { m.MulAdd(0x1234, Src.data(), dst.data(), bytes); });
        std::printf("multiply-add, %-19s %6.2f GB/s%s\n", m.Name, static_cast<double>(bytes) / s / 1e9,
                    same ? "" : "  DIFFERS FROM THE TABLE");
    }
    return failures;
}

// One 1 MiB source into 20 destinations of 1 MiB, as creation adds a slice to every recovery slice, alone
// and in batches of 8 sources.
void ManyDestinations(const std::vector<uint8_t>& Src) {
    const size_t piece = 1 << 20;
    std::vector<uint8_t> dst(20 * piece);
    std::vector<uint16_t> factors(8 * 20);
    std::vector<void*> dsts(20);
    for (size_t k = 0; k < factors.size(); ++k)
        factors[k] = static_cast<uint16_t>(0x1234 + 77 * k);
    for (size_t d = 0; d < 20; ++d)
        dsts[d] = &dst[d * piece];
    const double multi = Best([&] {
        for (int i = 0; i < 16; ++i)
            Gf16MulAddMulti(factors.data(), dsts.data(), 20, &Src[i * piece], piece);
    });
    std::printf("multiply-add into 20 at once:    %6.2f GB/s of source times destinations\n",
                16.0 * piece * 20 / multi / 1e9);
    const double batch = Best([&] {
        for (size_t i = 0; i < 16; i += 8) {
            const void* srcs[8];
            for (size_t k = 0; k < 8; ++k)
                srcs[k] = &Src[(i + k) * piece];
            Gf16MulAddBatch(factors.data(), dsts.data(), 20, srcs, 8, piece);
        }
    });
    std::printf("the same, 8 sources at a time:   %6.2f GB/s of source times destinations\n",
                16.0 * piece * 20 / batch / 1e9);
}

void Md5Speeds(const std::vector<uint8_t>& Src) {
    const double md5 = Best([&] { TMd5::Of(Src.data(), Src.size()); });
    std::printf("MD5:                             %6.2f GB/s\n", static_cast<double>(Src.size()) / md5 / 1e9);
    const double both = Best([&] {
        TMd5 a, b;
        TMd5::AddBoth(a, b, Src.data(), Src.size());
    });
    std::printf("MD5, two sums of the same bytes: %6.2f GB/s\n",
                static_cast<double>(Src.size()) / both / 1e9);
}

} // namespace

int main() {
    std::vector<uint8_t> src(64 << 20);
    uint32_t x = 4711;
    for (auto& b : src)
        b = static_cast<uint8_t>((x = x * 1664525 + 1013904223) >> 24);
    int failures = MethodSpeeds(src);
    ManyDestinations(src);
    Md5Speeds(src);
    const std::vector<uint8_t> part(src.begin(), src.begin() + 1453568);
    std::vector<uint8_t>().swap(src);
    for (const uint32_t count : {2u, 20u})
        failures += Create(count, part) < 0;
    PROCESS_MEMORY_COUNTERS counters{};
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    std::printf("peak working set %.1f MiB (the 64 MiB test buffers included)\n",
                static_cast<double>(counters.PeakWorkingSetSize) / 1048576);
    return failures == 0 ? 0 : 1;
}
