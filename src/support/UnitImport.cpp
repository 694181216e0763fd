#include "support/UnitImport.h"

#include <cstdlib>
#include <cstring>
#include <new>

std::string GetPathRoot(const std::string& Path) {
    const size_t len = Path.size();
    if (len >= 2 && Path[1] == ':')
        return Path.substr(0, 2);
    if (len >= 2 && Path[0] == '\\' && Path[1] == '\\') {
        // Scan (1-based) from position 3 to the second backslash behind the server name; the last
        // character is never scanned, so "\\server\share" keeps its final letter.
        size_t pos = 3;
        int found = 0;
        while (pos < len) {
            if (Path[pos - 1] == '\\' && ++found == 2)
                break;
            ++pos;
        }
        // Only the bare "\\" stops beyond its end; there is no character to step back from.
        if (pos > len)
            return Path;
        if (Path[pos - 1] == '\\')
            --pos;
        return Path.substr(0, pos);
    }
    return std::string();
}

void* AllocSizedBuffer(uint32_t Size) {
    // A total that wraps around 32 bits would hand out a block smaller than asked for.
    if (Size > UINT32_MAX - 4)
        throw std::bad_alloc();
    const uint32_t total = Size + 4;
    auto* block = static_cast<unsigned char*>(std::malloc(total));
    if (!block)
        throw std::bad_alloc();
    std::memcpy(block, &total, 4);
    return block + 4;
}

void FreeSizedBuffer(void* Block) {
    if (Block)
        std::free(static_cast<unsigned char*>(Block) - 4);
}

BOOL OpenFileNameDialog(OPENFILENAMEA* Dialog) {
    using TGetOpenFileNameA = BOOL(WINAPI*)(OPENFILENAMEA*);
    // Stays loaded for the rest of the process, as an imported library would.
    static const auto getOpenFileName = [] {
        HMODULE library = LoadLibraryA("comdlg32.dll");
        return library ? reinterpret_cast<TGetOpenFileNameA>(
                             reinterpret_cast<void*>(GetProcAddress(library, "GetOpenFileNameA")))
                       : nullptr;
    }();
    return getOpenFileName ? getOpenFileName(Dialog) : FALSE;
}
