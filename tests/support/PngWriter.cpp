#include "support/PngWriter.h"

#include <algorithm>
#include <array>
#include <fstream>

namespace testsupport {

namespace {

void PutBigEndian(std::string& Out, uint32_t Value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        Out += static_cast<char>((Value >> shift) & 0xFF);
}

void PutChunk(std::string& Out, const char* Type, const std::string& Data) {
    PutBigEndian(Out, static_cast<uint32_t>(Data.size()));
    const std::string body = std::string(Type, 4) + Data;
    Out += body;
    PutBigEndian(Out, Crc32(body));
}

// A zlib stream of stored (uncompressed) deflate blocks of at most 65535 bytes each.
std::string ZlibStored(const std::string& Raw) {
    std::string out("\x78\x01", 2);
    size_t pos = 0;
    do {
        const size_t len = std::min<size_t>(65535, Raw.size() - pos);
        const bool last = pos + len == Raw.size();
        out += static_cast<char>(last ? 1 : 0);
        out += static_cast<char>(len & 0xFF);
        out += static_cast<char>(len >> 8);
        out += static_cast<char>(~len & 0xFF);
        out += static_cast<char>((~len >> 8) & 0xFF);
        out.append(Raw, pos, len);
        pos += len;
    } while (pos < Raw.size());
    PutBigEndian(out, Adler32(Raw));
    return out;
}

} // namespace

uint32_t Crc32(const std::string& Bytes) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char b : Bytes)
        crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

uint32_t Adler32(const std::string& Bytes) {
    uint32_t a = 1, b = 0;
    for (unsigned char c : Bytes) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    return (b << 16) | a;
}

std::string EncodePng(const TPicture& Picture) {
    std::string raw;
    raw.reserve(static_cast<size_t>(Picture.Height) * (1 + 3 * static_cast<size_t>(Picture.Width)));
    for (int y = 0; y < Picture.Height; ++y) {
        raw += '\0'; // no filter
        for (int x = 0; x < Picture.Width; ++x) {
            const uint32_t p = Picture.At(x, y);
            raw += static_cast<char>((p >> 16) & 0xFF);
            raw += static_cast<char>((p >> 8) & 0xFF);
            raw += static_cast<char>(p & 0xFF);
        }
    }
    std::string header;
    PutBigEndian(header, static_cast<uint32_t>(Picture.Width));
    PutBigEndian(header, static_cast<uint32_t>(Picture.Height));
    header += std::string("\x08\x02\x00\x00\x00", 5); // 8 bits, RGB, deflate, no filter, no interlace
    std::string png("\x89PNG\r\n\x1a\n", 8);
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", ZlibStored(raw));
    PutChunk(png, "IEND", "");
    return png;
}

bool WritePng(const std::string& Path, const TPicture& Picture) {
    std::ofstream file(Path, std::ios::binary);
    const std::string bytes = EncodePng(Picture);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
}

} // namespace testsupport
