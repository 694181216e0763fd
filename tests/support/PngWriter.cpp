#include "support/PngWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "support/TestSupport.h"
#include "ui/UnitGdi.h"

namespace testsupport {

namespace {

uint32_t Crc32(const std::string& Bytes) {
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char byte : Bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
    }
    return ~crc;
}

void PutBigEndian(std::string& Out, uint32_t Value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        Out += static_cast<char>((Value >> shift) & 0xFF);
}

void PutChunk(std::string& Out, const std::string& Type, const std::string& Data) {
    PutBigEndian(Out, static_cast<uint32_t>(Data.size()));
    Out += Type + Data;
    PutBigEndian(Out, Crc32(Type + Data));
}

// A zlib stream of stored deflate blocks, at most 65535 bytes each.
std::string ZlibStored(const std::string& Raw) {
    std::string out("\x78\x01", 2);
    size_t pos = 0;
    do {
        const auto len = static_cast<uint32_t>(std::min<size_t>(65535, Raw.size() - pos));
        const uint32_t lengths = len | (~len << 16); // LEN and its complement, little-endian
        out += static_cast<char>(pos + len == Raw.size() ? 1 : 0);
        for (int shift = 0; shift < 32; shift += 8)
            out += static_cast<char>((lengths >> shift) & 0xFF);
        out.append(Raw, pos, len);
        pos += len;
    } while (pos < Raw.size());
    uint32_t a = 1, b = 0;
    for (unsigned char byte : Raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    PutBigEndian(out, (b << 16) | a);
    return out;
}

} // namespace

bool WritePng(const std::string& Path, const TPicture& Picture) {
    std::string raw;
    for (int y = 0; y < Picture.Height; ++y) {
        raw += '\0'; // no filter
        for (int x = 0; x < Picture.Width; ++x)
            for (int shift : {16, 8, 0})
                raw += static_cast<char>((Picture.At(x, y) >> shift) & 0xFF);
    }
    std::string header;
    PutBigEndian(header, static_cast<uint32_t>(Picture.Width));
    PutBigEndian(header, static_cast<uint32_t>(Picture.Height));
    header += std::string("\x08\x02\x00\x00\x00", 5); // 8 bits, RGB, deflate, no filter, no interlace
    std::string png("\x89PNG\r\n\x1a\n", 8);
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", ZlibStored(raw));
    PutChunk(png, "IEND", "");
    std::ofstream file(Path, std::ios::binary);
    file.write(png.data(), static_cast<std::streamsize>(png.size()));
    return static_cast<bool>(file);
}

TPicture CaptureScreen(const RECT& Area, const std::string& Name) {
    TPicture picture{Area.right - Area.left, Area.bottom - Area.top, {}};
    const size_t count = static_cast<size_t>(picture.Width) * picture.Height;
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), picture.Width, -picture.Height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    {
        TGdiBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        if (bits) {
            TSelectGuard select(memory, bitmap.Get());
            BitBlt(memory, 0, 0, picture.Width, picture.Height, screen, Area.left, Area.top, SRCCOPY);
            GdiFlush();
            const auto* pixels = static_cast<const uint32_t*>(bits);
            for (size_t i = 0; i < count; ++i)
                picture.Pixels.push_back(pixels[i] & 0xFFFFFF);
        }
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    picture.Pixels.resize(count); // black when the capture failed
    EXPECT_TRUE(bits && WritePng(ArtifactsDir() + "\\" + Name + ".png", picture)) << Name;
    return picture;
}

} // namespace testsupport
