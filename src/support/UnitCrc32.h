// The CRC-32 of zip, PNG and the common checksum files (reflected polynomial 0xEDB88320).
#pragma once

#include <cstddef>
#include <cstdint>

class TCrc32 {
public:
    void Update(const void* Data, size_t Count);
    // The checksum of every byte given so far; 0 for none.
    uint32_t Value() const { return ~State; }

private:
    uint32_t State = 0xFFFFFFFF;
};
