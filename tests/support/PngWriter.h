// Writes pictures as PNG files (uncompressed deflate blocks): enough for test screenshots.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// A picture as 0x00RRGGBB values, row by row from the top.
struct TPicture {
    int Width = 0;
    int Height = 0;
    std::vector<uint32_t> Pixels;

    uint32_t At(int X, int Y) const { return Pixels[static_cast<size_t>(Y) * Width + X]; }
};

// The PNG file bytes of Picture (8-bit RGB, no interlacing).
std::string EncodePng(const TPicture& Picture);
// Writes Picture to Path; false when the file cannot be written.
bool WritePng(const std::string& Path, const TPicture& Picture);

uint32_t Crc32(const std::string& Bytes);
uint32_t Adler32(const std::string& Bytes);

} // namespace testsupport
