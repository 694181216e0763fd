#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>

namespace testsupport {

namespace {

// The find records of Folder's entries, without "." and "..".
std::vector<WIN32_FIND_DATAA> Entries(std::string Folder) {
    std::vector<WIN32_FIND_DATAA> out;
    WIN32_FIND_DATAA fd;
    const TScopedHandle<HANDLE, &FindClose> h(
        FindFirstFileA((Folder + (Folder.back() == '\\' ? "*" : "\\*")).c_str(), &fd));
    for (bool more = h.Get() != INVALID_HANDLE_VALUE; more; more = FindNextFileA(h.Get(), &fd))
        if (std::strcmp(fd.cFileName, ".") != 0 && std::strcmp(fd.cFileName, "..") != 0)
            out.push_back(fd);
    return out;
}

THandle Open(const std::string& Path, DWORD Access, DWORD Disposition, DWORD Flags = 0) {
    return THandle(CreateFileA(Path.c_str(), Access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, Disposition,
                               Flags, nullptr));
}

void ListInto(const std::string& Root, const std::string& Rel, std::vector<std::string>& Out) {
    for (const auto& fd : Entries(Root + Rel)) {
        const std::string name = Rel + fd.cFileName;
        // To the millisecond, as a header keeps it.
        const FILETIME& t = fd.ftLastWriteTime;
        const std::string time = std::to_string((uint64_t{t.dwHighDateTime} << 32 | t.dwLowDateTime) / 10000);
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            Out.push_back(name + "\\ " + time);
            ListInto(Root, name + "\\", Out);
            continue;
        }
        const std::string bytes = ReadFileBytes(Root + name);
        Out.push_back(name + " " + std::to_string(bytes.size()) + " " +
                      std::to_string(std::hash<std::string>{}(bytes)) + " " + time);
    }
}

} // namespace

TTempDir::TTempDir() {
    static unsigned counter = 0;
    char tmp[MAX_PATH + 1];
    GetTempPathA(sizeof tmp, tmp);
    do
        FPath = tmp + ("chk_" + std::to_string(GetCurrentProcessId())) + "_" + std::to_string(counter++);
    while (!CreateDirectoryA(FPath.c_str(), nullptr));
}

void RemoveTree(const std::string& Path) {
    ClearFolder(Path);
    SetFileAttributesA(Path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!RemoveDirectoryA(Path.c_str()))
        DeleteFileA(Path.c_str());
}

void ClearFolder(const std::string& Path) {
    for (const auto& fd : Entries(Path))
        RemoveTree((Path.back() == '\\' ? Path : Path + "\\") + fd.cFileName);
}

void WriteFileBytes(const std::string& Path, const std::string& Bytes) {
    THandle f = Open(Path, GENERIC_WRITE, CREATE_ALWAYS);
    DWORD n = 0;
    ASSERT_TRUE(WriteFile(f.Get(), Bytes.data(), DWORD(Bytes.size()), &n, nullptr) && n == Bytes.size())
        << Path;
}

std::string ReadFileBytes(const std::string& Path) {
    THandle f = Open(Path, GENERIC_READ, OPEN_EXISTING);
    if (f.Get() == INVALID_HANDLE_VALUE)
        return "<missing>";
    std::string out;
    std::vector<char> buffer(1 << 20);
    for (DWORD n = 0; ReadFile(f.Get(), buffer.data(), DWORD(buffer.size()), &n, nullptr) && n;)
        out.append(buffer.data(), n);
    return out;
}

bool FileExists(const std::string& Path, bool Folder) {
    const DWORD a = GetFileAttributesA(Path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY) != Folder;
}

int64_t FileSize(const std::string& Path) {
    WIN32_FILE_ATTRIBUTE_DATA d;
    return GetFileAttributesExA(Path.c_str(), GetFileExInfoStandard, &d)
               ? int64_t{d.nFileSizeHigh} << 32 | d.nFileSizeLow
               : -1;
}

std::string PatternBytes(size_t Count, uint32_t Seed) {
    std::string s(Count, '\0');
    std::minstd_rand rng(Seed);
    for (char& c : s)
        c = static_cast<char>(rng() >> 8);
    return s;
}

FILETIME MakeFileTime(int Year, int Month, int Day, int Hour, int Minute, int Second, int Millis) {
    const SYSTEMTIME st{WORD(Year),   WORD(Month),  0,           WORD(Day), WORD(Hour),
                        WORD(Minute), WORD(Second), WORD(Millis)};
    FILETIME ft{};
    SystemTimeToFileTime(&st, &ft);
    return ft;
}

FILETIME GetLastWriteTime(const std::string& Path) {
    WIN32_FILE_ATTRIBUTE_DATA d{};
    GetFileAttributesExA(Path.c_str(), GetFileExInfoStandard, &d);
    return d.ftLastWriteTime;
}

void SetLastWriteTime(const std::string& Path, const FILETIME& Time) {
    THandle f = Open(Path, FILE_WRITE_ATTRIBUTES, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
    ASSERT_TRUE(SetFileTime(f.Get(), nullptr, nullptr, &Time)) << Path;
}

void BuildTree(const std::string& Root, const std::vector<TTreeEntry>& Entries) {
    CreateDirectoryA(Root.c_str(), nullptr);
    for (const auto& e : Entries) {
        const std::string path = (Root.back() == '\\' ? Root : Root + "\\") + e.Name;
        if (e.Name.back() == '\\')
            CreateDirectoryA(path.c_str(), nullptr);
        else
            WriteFileBytes(path, e.Content);
        if (e.Time.dwLowDateTime || e.Time.dwHighDateTime)
            SetLastWriteTime(path, e.Time);
        if (e.Attributes)
            SetFileAttributesA(path.c_str(), e.Attributes);
    }
}

std::vector<std::string> ListTree(const std::string& Root) {
    std::vector<std::string> out;
    ListInto(Root.back() == '\\' ? Root : Root + "\\", "", out);
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<std::string> ListNames(const std::string& Folder) {
    std::vector<std::string> names;
    for (const auto& fd : Entries(Folder))
        names.push_back(fd.cFileName);
    std::sort(names.begin(), names.end());
    return names;
}

TChunklerResult RunJob(bool Unsplit, const std::string& Source, const std::string& Output, int64_t PartSize,
                       TScriptedHooks* Hooks, TStreamMaker Streams, int RecoverCount) {
    TChunklerStartParams p{.SourcePath = Source,
                           .OutputDir = Output,
                           .PartSize = PartSize,
                           .Silent = !Hooks,
                           .Unsplit = Unsplit,
                           .RecoverCount = RecoverCount};
    TChunkler engine(Hooks);
    if (Streams)
        engine.MakeStream = Streams;
    const TChunklerResult result = engine.Execute(p);
    engine.ShowResult(result);
    return result;
}

DWORD RunProgram(const std::string& CommandLine, const std::string& WorkingDir, const char* Application,
                 UINT CodePage) {
    std::wstring line = Wide(CommandLine, CodePage), dir = Wide(WorkingDir, CP_ACP);
    STARTUPINFOW si{.cb = sizeof(STARTUPINFOW)};
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(Application ? Wide(Application, CP_ACP).c_str() : nullptr, line.data(), nullptr,
                        nullptr, FALSE, 0, nullptr, WorkingDir.empty() ? nullptr : dir.c_str(), &si, &pi))
        return 0xFFFFFFFF;
    // Wine hands back no handles for a Linux program, and leaves stale stack contents in hThread, which may
    // be a handle of the job under test.
    THandle process(pi.hProcess), thread(pi.hProcess ? pi.hThread : nullptr);
    DWORD code = 0xFFFFFFFE;
    if (WaitForSingleObject(pi.hProcess, 120000) == WAIT_OBJECT_0)
        GetExitCodeProcess(pi.hProcess, &code);
    else
        TerminateProcess(pi.hProcess, code);
    return code;
}

std::wstring Wide(const std::string& Text, UINT CodePage) {
    std::wstring wide(Text.size(), L'\0');
    return wide.substr(0, size_t(MultiByteToWideChar(CodePage, 0, Text.data(), int(Text.size()), wide.data(),
                                                     int(Text.size()))));
}

std::string ChunklerExe() {
    std::string path = std::string("\"Z:") + std::getenv("CHUNKLER_EXE") + "\"";
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string UseOwnDesktop() {
    static const std::string name = "chk_desktop_" + std::to_string(GetCurrentProcessId());
    static HDESK desktop = CreateDesktopA(name.c_str(), nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    SetThreadDesktop(desktop);
    return "winsta0\\" + name;
}

std::string WindowText(HWND Wnd) {
    char text[2048] = {};
    SendMessageTimeoutA(Wnd, WM_GETTEXT, sizeof text, LPARAM(text), SMTO_ABORTIFHUNG, 5000, nullptr);
    return text;
}

std::string UnixPath(const std::string& WinPath) {
    // Wine's own export; absent on Windows, where these tests do not run.
    static const auto getUnixName = reinterpret_cast<char*(CDECL*)(const WCHAR*)>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    char* unixName = getUnixName ? getUnixName(Wide(WinPath, CP_ACP).c_str()) : nullptr;
    std::string out = "'";
    for (const char* c = unixName ? unixName : ""; *c; ++c)
        out += *c == '\'' ? std::string("'\\''") : std::string(1, *c);
    HeapFree(GetProcessHeap(), 0, unixName);
    return out + "'";
}

DWORD RunUnixShell(const std::string& Script) {
    // Wine starts a Linux program named by its Z: path but hands back no process handle to wait on, so the
    // script leaves its exit code in a marker file, renamed into place when complete. The script travels in
    // the environment, untouched by the Windows rules for splitting a command line.
    TTempDir dir;
    const std::string marker = dir / "code", unixMarker = UnixPath(marker);
    SetEnvironmentVariableA("CHK_SCRIPT", ("( " + Script + " ); echo $? > " + unixMarker + ".tmp && mv " +
                                           unixMarker + ".tmp " + unixMarker)
                                              .c_str());
    if (RunProgram("sh -c \"eval \\\"$CHK_SCRIPT\\\"\"", "", "Z:\\bin\\sh") == 0xFFFFFFFF)
        return 0xFFFFFFFF;
    for (int waited = 0; waited < 60000 && !FileExists(marker); waited += 10)
        Sleep(10);
    return FileExists(marker) ? DWORD(std::strtoul(ReadFileBytes(marker).c_str(), nullptr, 10)) : 0xFFFFFFFF;
}

} // namespace testsupport
