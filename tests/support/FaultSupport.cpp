#include "support/FaultSupport.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iostream>

namespace testsupport {

namespace {

using TWriteFile = BOOL(WINAPI*)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
using TFinalPathName = DWORD(WINAPI*)(HANDLE, LPSTR, DWORD, DWORD);

struct TShortWriteState {
    std::string Suffix;
    bool Half = false;
    int Count = 0;
    void** Slot = nullptr;
    TWriteFile RealWrite = nullptr;
} State;

bool IsTarget(HANDLE H) {
    static const auto finalPathName = reinterpret_cast<TFinalPathName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetFinalPathNameByHandleA")));
    char name[MAX_PATH * 2];
    const DWORD n = finalPathName(H, name, sizeof name, 0);
    return n > State.Suffix.size() && n < sizeof name &&
           _stricmp(name + n - State.Suffix.size(), State.Suffix.c_str()) == 0;
}

BOOL WINAPI ShortWriteFile(HANDLE H, LPCVOID Buffer, DWORD Count, LPDWORD Written, LPOVERLAPPED Ov) {
    if (Count == 0 || !IsTarget(H))
        return State.RealWrite(H, Buffer, Count, Written, Ov);
    if (++State.Count > TShortWrites::Budget) {
        *Written = 0;
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
    if (State.Half && Count > 1)
        return State.RealWrite(H, Buffer, Count / 2, Written, Ov);
    *Written = 0;
    return TRUE;
}

// The import table entry of WriteFile in this executable, which the program's core is linked into.
void** WriteFileSlot() {
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
    auto* nt =
        reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const auto& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); imp->Name;
         ++imp) {
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<char*>(byName->Name), "WriteFile") == 0)
                return reinterpret_cast<void**>(&slots->u1.Function);
        }
    }
    std::abort(); // the fault suites cannot run without it
}

void PatchSlot(void** Slot, void* Value) {
    DWORD old = 0;
    VirtualProtect(Slot, sizeof(void*), PAGE_READWRITE, &old);
    *Slot = Value;
    VirtualProtect(Slot, sizeof(void*), old, &old);
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

TShortWrites::TShortWrites(std::string Suffix, bool Half) {
    State.Suffix = std::move(Suffix);
    State.Half = Half;
    State.Count = 0;
    State.Slot = WriteFileSlot();
    State.RealWrite = reinterpret_cast<TWriteFile>(*State.Slot);
    PatchSlot(State.Slot, reinterpret_cast<void*>(&ShortWriteFile));
}

TShortWrites::~TShortWrites() {
    PatchSlot(State.Slot, reinterpret_cast<void*>(State.RealWrite));
}

int TShortWrites::Count() {
    return State.Count;
}

std::string WinToUnixPath(const std::string& WinPath) {
    using TFn = char*(CDECL*)(LPCWSTR);
    static const auto unixName = reinterpret_cast<TFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    std::wstring wide(WinPath.begin(), WinPath.end()); // the tests' paths are ASCII
    char* name = unixName ? unixName(wide.c_str()) : nullptr;
    if (!name)
        return "";
    std::string result = name;
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

bool RunUnix(const std::vector<std::string>& Argv) {
    std::string line = "start.exe /wait /unix";
    for (const auto& arg : Argv)
        line += " \"" + arg + "\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    const bool done = WaitForSingleObject(pi.hProcess, 30000) == WAIT_OBJECT_0;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return done;
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
