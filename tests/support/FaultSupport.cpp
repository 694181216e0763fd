#include "support/FaultSupport.h"
#include "support/UnixTools.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iostream>

namespace testsupport {

namespace {

using TWriteFile = BOOL(WINAPI*)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
using TFinalPathName = DWORD(WINAPI*)(HANDLE, LPSTR, DWORD, DWORD);

struct TShortWriteState {
    std::string Part;
    int Count = 0;
    void** Slot = nullptr;
    TWriteFile RealWrite = nullptr;
} State;

bool IsTarget(HANDLE H) {
    static const auto finalPathName = reinterpret_cast<TFinalPathName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetFinalPathNameByHandleA")));
    char name[MAX_PATH * 2];
    const DWORD n = finalPathName(H, name, sizeof name, 0);
    return n > 0 && n < sizeof name && std::strstr(name, State.Part.c_str());
}

BOOL WINAPI ShortWriteFile(HANDLE H, LPCVOID Buffer, DWORD Count, LPDWORD Written, LPOVERLAPPED Ov) {
    if (Count == 0 || !IsTarget(H))
        return State.RealWrite(H, Buffer, Count, Written, Ov);
    if (++State.Count > TShortWrites::Budget) {
        *Written = 0;
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
    return State.RealWrite(H, Buffer, Count / 2, Written, Ov);
}

// The import address table entry of WriteFile in this executable, which the program's core is linked into.
void** WriteFileSlot() {
    void* real = reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "WriteFile"));
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
    auto* nt =
        reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const auto& iat = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IAT];
    auto** slots = reinterpret_cast<void**>(base + iat.VirtualAddress);
    for (size_t i = 0; i < iat.Size / sizeof(void*); ++i)
        if (slots[i] == real)
            return &slots[i];
    std::abort(); // the fault suites cannot run without it
}

} // namespace

TChunklerResult RunJob(bool Unsplit, const std::string& Source, const std::string& Output, int64_t PartSize,
                       TScriptedHooks* Hooks) {
    TChunklerStartParams p;
    p.Unsplit = Unsplit;
    p.SourcePath = Source;
    p.OutputDir = Output;
    p.PartSize = PartSize;
    p.Silent = Hooks == nullptr;
    TChunkler engine(Hooks);
    const TChunklerResult result = engine.Execute(p);
    engine.ShowResult(result);
    return result;
}

// The table page stays writable: this is a test executable.
TShortWrites::TShortWrites(std::string Part) {
    State.Part = std::move(Part);
    State.Count = 0;
    State.Slot = WriteFileSlot();
    DWORD old = 0;
    VirtualProtect(State.Slot, sizeof(void*), PAGE_READWRITE, &old);
    State.RealWrite = reinterpret_cast<TWriteFile>(*State.Slot);
    *State.Slot = reinterpret_cast<void*>(&ShortWriteFile);
}

TShortWrites::~TShortWrites() {
    *State.Slot = reinterpret_cast<void*>(State.RealWrite);
}

int TShortWrites::Count() {
    return State.Count;
}

void ResizeThroughUnix(const std::string& Path, int64_t Size) {
    RunUnixShell("truncate -s " + std::to_string(Size) + " " + ShellQuote(UnixPathOf(Path)));
}

std::vector<std::string> ListNames(const std::string& Folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((Folder + (Folder.back() == '\\' ? "*" : "\\*")).c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (std::strcmp(fd.cFileName, ".") != 0 && std::strcmp(fd.cFileName, "..") != 0)
            names.push_back(fd.cFileName);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> ListOutside(const std::string& Around) {
    std::vector<std::string> names = ListNames(Around);
    names.push_back("|");
    for (const auto& name : ListNames("."))
        names.push_back(name);
    return names;
}

uint32_t SuiteSeed(uint32_t Default) {
    const char* text = std::getenv("CHUNKLER_SEED");
    const uint32_t seed = text && *text ? static_cast<uint32_t>(std::strtoul(text, nullptr, 0)) : Default;
    std::cout << "seed " << seed << " (set CHUNKLER_SEED to repeat)\n";
    return seed;
}

} // namespace testsupport
