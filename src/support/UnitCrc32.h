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

// The two ways TCrc32 advances its state (the complement of the checksum so far) over Count bytes; both
// return the new state and give the same values. The table works on every processor; the carry-less
// multiplication only where Crc32HasClmul() says so, and takes the table for fewer than 64 bytes.
uint32_t Crc32UpdateTable(uint32_t State, const void* Data, size_t Count);
uint32_t Crc32UpdateClmul(uint32_t State, const void* Data, size_t Count);
bool Crc32HasClmul();
