// The shipped 32-bit Chunkler.exe must be an i386 GUI program that needs no DLL beyond those of every
// Windows installation, since a split copies it next to the parts for machines that have nothing else.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <set>

#include "support/TestSupport.h"

using namespace testsupport;

namespace {

struct TPeImage {
    std::string Bytes;
    const IMAGE_NT_HEADERS32* Nt = nullptr;

    template <class T> const T* At(size_t Offset) const {
        return Offset + sizeof(T) <= Bytes.size() ? reinterpret_cast<const T*>(Bytes.data() + Offset) : nullptr;
    }
    // File offset of a relative virtual address, through the section table.
    size_t FileOffset(DWORD Rva) const {
        auto* section = IMAGE_FIRST_SECTION(Nt);
        for (WORD i = 0; i < Nt->FileHeader.NumberOfSections; ++i, ++section)
            if (Rva >= section->VirtualAddress && Rva < section->VirtualAddress + section->Misc.VirtualSize)
                return Rva - section->VirtualAddress + section->PointerToRawData;
        return Bytes.size();
    }
};

} // namespace

TEST(ProductBinary, IsA32BitGuiProgramThatNeedsOnlySystemDlls) {
    const char* unixPath = std::getenv("CHUNKLER_PRODUCT_EXE");
    ASSERT_NE(unixPath, nullptr);
    std::string path = std::string("Z:") + unixPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    if (!FileExists(path))
        GTEST_SKIP() << "the 32-bit product is not built: " << path;

    TPeImage pe;
    pe.Bytes = ReadFileBytes(path);
    auto* dos = pe.At<IMAGE_DOS_HEADER>(0);
    ASSERT_TRUE(dos && dos->e_magic == IMAGE_DOS_SIGNATURE);
    pe.Nt = pe.At<IMAGE_NT_HEADERS32>(static_cast<size_t>(dos->e_lfanew));
    ASSERT_TRUE(pe.Nt && pe.Nt->Signature == IMAGE_NT_SIGNATURE);
    EXPECT_EQ(pe.Nt->FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
    ASSERT_EQ(pe.Nt->OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR32_MAGIC);
    EXPECT_EQ(pe.Nt->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);

    const auto& dir = pe.Nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    ASSERT_NE(dir.VirtualAddress, 0u);
    std::set<std::string> imported;
    for (size_t off = pe.FileOffset(dir.VirtualAddress);; off += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        auto* desc = pe.At<IMAGE_IMPORT_DESCRIPTOR>(off);
        ASSERT_NE(desc, nullptr);
        if (desc->Name == 0)
            break;
        const size_t nameOff = pe.FileOffset(desc->Name);
        ASSERT_LT(nameOff, pe.Bytes.size());
        std::string name = pe.Bytes.c_str() + nameOff;
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
        imported.insert(name);
    }
    const std::set<std::string> system = {"kernel32.dll", "user32.dll", "gdi32.dll",  "comdlg32.dll",
                                          "shell32.dll",  "ole32.dll",  "msvcrt.dll", "advapi32.dll",
                                          "version.dll",  "comctl32.dll"};
    for (const auto& dll : imported)
        EXPECT_TRUE(system.count(dll)) << dll << " would have to be shipped next to the program";
    EXPECT_TRUE(imported.count("kernel32.dll"));
}
