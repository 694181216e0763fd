// Screenshots for the test artefacts, written as PNG files (uncompressed deflate blocks).
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

// Writes Picture to Path as an 8-bit RGB PNG; false when the file cannot be written.
bool WritePng(const std::string& Path, const TPicture& Picture);
// The screen under Area (screen coordinates), also written to the artefacts folder as Name.png.
TPicture CaptureScreen(const RECT& Area, const std::string& Name);

} // namespace testsupport
