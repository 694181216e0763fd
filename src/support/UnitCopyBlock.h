// The copy buffer of a job and the length of its next block.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <vector>

// Every block costs a few system calls besides its bytes, so blocks grow while they are quick; the cancel
// check and the progress display come once a block, so they shrink while they are slow, as on a diskette
// (some 50 KB a second).
class TCopyBlock {
public:
    static constexpr uint32_t FirstSize = 128 * 1024, MinSize = 16 * 1024, MaxSize = 1024 * 1024;
    // Milliseconds since some start; the system's tick count unless a test moves its own.
    using TClock = std::function<DWORD()>;
    explicit TCopyBlock(TClock AClock = [] { return GetTickCount(); });

    char* Data() { return FBuffer.data(); }
    // The next block's length, no more than Limit.
    uint32_t Size(int64_t Limit) const { return static_cast<uint32_t>(Limit < FSize ? Limit : FSize); }
    // One block is done; the time since the last one sets the next length: doubled after one that took
    // under 50 ms, halved after one over 250 ms.
    void Done();

private:
    std::vector<char> FBuffer = std::vector<char>(MaxSize);
    TClock FClock;
    uint32_t FSize = FirstSize;
    DWORD FLast;
};
