// The CRC-32 alone, in memory: 256 MiB through each method this processor has, best of three runs,
// in GB/s (10^9 bytes per second), so that the split's and join's checksum cost can be told apart
// from their file work.
//
// Exit code 0 when the methods give the same checksum, 1 otherwise.
#include "support/UnitCrc32.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

int main() {
    std::vector<uint32_t> data(64 << 20); // 256 MiB
    uint32_t x = 4711;
    for (auto& w : data)
        w = x = x * 1664525 + 1013904223;
    const size_t bytes = data.size() * sizeof data[0];

    struct TMethod {
        const char* Name;
        uint32_t (*Update)(uint32_t, const void*, size_t);
    };
    std::vector<TMethod> methods = {{"table (slicing-by-8)", Crc32UpdateTable}};
    if (Crc32HasClmul())
        methods.push_back({"carry-less multiplication", Crc32UpdateClmul});
    std::printf("TCrc32 uses %s (PCLMULQDQ %s)\n", methods.back().Name,
                Crc32HasClmul() ? "present" : "absent");

    int failures = 0;
    uint32_t tableCrc = 0;
    for (const TMethod& m : methods) {
        double best = 1e30;
        uint32_t crc = 0;
        for (int run = 0; run < 3; ++run) {
            const auto start = std::chrono::steady_clock::now();
            crc = ~m.Update(0xFFFFFFFF, data.data(), bytes);
            best = std::min(best,
                            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        }
        std::printf("%-26s %6.2f GB/s  (256 MiB in %.3f s, CRC %08X)\n", m.Name,
                    static_cast<double>(bytes) / best / 1e9, best, static_cast<unsigned>(crc));
        if (&m == &methods[0])
            tableCrc = crc;
        else if (crc != tableCrc) {
            std::printf("FAILED: %s differs from the table\n", m.Name);
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
