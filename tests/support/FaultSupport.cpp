#include "support/FaultSupport.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

#include "support/TestSupport.h"

namespace testsupport {

namespace {

using TCreateFileA = HANDLE(WINAPI*)(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
using TWriteFile = BOOL(WINAPI*)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);

// The injector's state lives here: the replacement functions are plain functions in the import table.
struct TInjection {
    std::function<bool(const std::string&)> Match;
    TWriteFaultInjector::TMode Mode = TWriteFaultInjector::wfZeroBytes;
    int Skip = 0;
    int Injected = 0;
    std::map<HANDLE, bool> Handles; // handle -> its name matched
    TCreateFileA RealCreate = nullptr;
    TWriteFile RealWrite = nullptr;
    void** CreateSlot = nullptr;
    void** WriteSlot = nullptr;
};
TInjection* Active = nullptr;

HANDLE WINAPI FakeCreateFileA(LPCSTR Name, DWORD Access, DWORD Share, LPSECURITY_ATTRIBUTES Sa, DWORD Disp,
                              DWORD Flags, HANDLE Tmpl) {
    HANDLE h = Active->RealCreate(Name, Access, Share, Sa, Disp, Flags, Tmpl);
    if (h != INVALID_HANDLE_VALUE) {
        DWORD err = GetLastError();
        Active->Handles[h] = (Access & GENERIC_WRITE) && Name && Active->Match(Name);
        SetLastError(err);
    }
    return h;
}

BOOL WINAPI FakeWriteFile(HANDLE H, LPCVOID Buf, DWORD Count, LPDWORD Written, LPOVERLAPPED Ov) {
    auto it = Active->Handles.find(H);
    if (it == Active->Handles.end() || !it->second || Count == 0) return Active->RealWrite(H, Buf, Count, Written, Ov);
    if (Active->Skip > 0) {
        --Active->Skip;
        return Active->RealWrite(H, Buf, Count, Written, Ov);
    }
    ++Active->Injected;
    if (Active->Mode == TWriteFaultInjector::wfDiskFull || Active->Injected > TWriteFaultInjector::Budget) {
        if (Written) *Written = 0;
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
    DWORD part = Active->Mode == TWriteFaultInjector::wfHalf ? Count / 2 : 0;
    if (part == 0) {
        if (Written) *Written = 0;
        return TRUE;
    }
    return Active->RealWrite(H, Buf, part, Written, Ov);
}

void** FindImportSlot(const char* Dll, const char* Function) {
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const auto& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); imp->Name; ++imp) {
        if (_stricmp(reinterpret_cast<char*>(base + imp->Name), Dll) != 0) continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<char*>(byName->Name), Function) == 0)
                return reinterpret_cast<void**>(&slots->u1.Function);
        }
    }
    return nullptr;
}

void PatchSlot(void** Slot, void* Value) {
    DWORD old = 0;
    VirtualProtect(Slot, sizeof(void*), PAGE_READWRITE, &old);
    *Slot = Value;
    VirtualProtect(Slot, sizeof(void*), old, &old);
}

} // namespace

TWriteFaultInjector::TWriteFaultInjector(std::function<bool(const std::string&)> Match, TMode Mode,
                                         int SkipWrites) {
    auto* inj = new TInjection;
    inj->Match = std::move(Match);
    inj->Mode = Mode;
    inj->Skip = SkipWrites;
    inj->CreateSlot = FindImportSlot("kernel32.dll", "CreateFileA");
    inj->WriteSlot = FindImportSlot("kernel32.dll", "WriteFile");
    if (!inj->CreateSlot || !inj->WriteSlot) {
        delete inj;
        std::abort(); // the suite cannot run without its injector; say so loudly
    }
    inj->RealCreate = reinterpret_cast<TCreateFileA>(*inj->CreateSlot);
    inj->RealWrite = reinterpret_cast<TWriteFile>(*inj->WriteSlot);
    Active = inj;
    PatchSlot(inj->CreateSlot, reinterpret_cast<void*>(&FakeCreateFileA));
    PatchSlot(inj->WriteSlot, reinterpret_cast<void*>(&FakeWriteFile));
}

TWriteFaultInjector::~TWriteFaultInjector() {
    PatchSlot(Active->CreateSlot, reinterpret_cast<void*>(Active->RealCreate));
    PatchSlot(Active->WriteSlot, reinterpret_cast<void*>(Active->RealWrite));
    delete Active;
    Active = nullptr;
}

int TWriteFaultInjector::Injected() const { return Active->Injected; }

bool EndsWithNoCase(const std::string& Name, const std::string& Suffix) {
    return Name.size() >= Suffix.size() &&
           _stricmp(Name.c_str() + (Name.size() - Suffix.size()), Suffix.c_str()) == 0;
}

std::string WinToUnixPath(const std::string& WinPath) {
    using TFn = char*(CDECL*)(LPCWSTR);
    static auto fn = reinterpret_cast<TFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (!fn) return "";
    std::wstring w(WinPath.size() + 1, L'\0');
    int n = MultiByteToWideChar(CP_ACP, 0, WinPath.c_str(), -1, w.data(), static_cast<int>(w.size()));
    if (n <= 0) return "";
    char* unixName = fn(w.c_str());
    if (!unixName) return "";
    std::string out = unixName;
    HeapFree(GetProcessHeap(), 0, unixName);
    return out;
}

bool RunUnix(const std::vector<std::string>& Argv) {
    std::string cmd = "start.exe /wait /unix";
    for (const auto& a : Argv) cmd += " \"" + a + "\"";
    std::vector<char> line(cmd.begin(), cmd.end());
    line.push_back('\0');
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
    bool done = WaitForSingleObject(pi.hProcess, 30000) == WAIT_OBJECT_0;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return done;
}

std::vector<std::string> ListNames(const std::string& Folder) {
    std::vector<std::string> names;
    std::string base = Folder;
    if (!base.empty() && base.back() == '\\') base.pop_back();
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((base + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        std::string n = fd.cFileName;
        if (n != "." && n != "..") names.push_back(n);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    std::sort(names.begin(), names.end());
    return names;
}

int64_t FreeBytesOf(const std::string& Root) {
    ULARGE_INTEGER freeToCaller{}, total{}, freeTotal{};
    if (!GetDiskFreeSpaceExA(Root.c_str(), &freeToCaller, &total, &freeTotal)) return -1;
    return static_cast<int64_t>(freeToCaller.QuadPart);
}

int64_t FillDrive(const std::string& Root, int64_t FreeBytes) {
    std::string filler = Root + (Root.back() == '\\' ? "" : "\\") + "filler.bin";
    HANDLE h = CreateFileA(filler.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return -1;
    std::vector<char> block(65536, 'f');
    DWORD n = 0;
    int64_t written = 0;
    while (WriteFile(h, block.data(), static_cast<DWORD>(block.size()), &n, nullptr) && n > 0) written += n;
    // The disk is full now: give back exactly what the test wants free.
    LARGE_INTEGER pos;
    pos.QuadPart = std::max<int64_t>(0, written - FreeBytes);
    SetFilePointerEx(h, pos, nullptr, FILE_BEGIN);
    SetEndOfFile(h);
    CloseHandle(h);
    return FreeBytesOf(Root);
}

TExclusiveOpen::TExclusiveOpen(const std::string& Path, DWORD Access)
    : FHandle(CreateFileA(Path.c_str(), Access, 0, nullptr, OPEN_ALWAYS, 0, nullptr)) {}

TExclusiveOpen::~TExclusiveOpen() {
    if (FHandle != INVALID_HANDLE_VALUE) CloseHandle(FHandle);
}

uint32_t SuiteSeed(uint32_t Default) {
    const char* v = std::getenv("CHUNKLER_SEED");
    return v && *v ? static_cast<uint32_t>(std::strtoul(v, nullptr, 0)) : Default;
}

} // namespace testsupport
