#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sstream>

namespace testsupport {

namespace {

std::string Env(const char* Name) {
    const char* v = std::getenv(Name);
    return v ? v : "";
}

class THandle {
public:
    explicit THandle(HANDLE h) : H(h) {}
    ~THandle() {
        if (H != INVALID_HANDLE_VALUE && H != nullptr) CloseHandle(H);
    }
    THandle(const THandle&) = delete;
    THandle& operator=(const THandle&) = delete;
    HANDLE H;
};

void ForEachEntry(const std::string& Folder, const std::function<void(const WIN32_FIND_DATAA&)>& Fn) {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((Folder + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        std::string n = fd.cFileName;
        if (n != "." && n != "..") Fn(fd);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
}

std::string HashFile(const std::string& Path) {
    THandle f(CreateFileA(Path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (f.H == INVALID_HANDLE_VALUE) return "<unreadable>";
    uint64_t h = 1469598103934665603ULL;
    std::vector<unsigned char> buf(1 << 20);
    DWORD n = 0;
    while (ReadFile(f.H, buf.data(), static_cast<DWORD>(buf.size()), &n, nullptr) && n > 0)
        for (DWORD i = 0; i < n; ++i) h = (h ^ buf[i]) * 1099511628211ULL;
    char out[17];
    std::snprintf(out, sizeof out, "%016llx", static_cast<unsigned long long>(h));
    return out;
}

void ListInto(const std::string& Root, const std::string& Rel, std::vector<TTreeItem>& Out) {
    ForEachEntry(Root + (Rel.empty() ? "" : "\\" + Rel), [&](const WIN32_FIND_DATAA& fd) {
        std::string name = Rel.empty() ? std::string(fd.cFileName) : Rel + "\\" + fd.cFileName;
        TTreeItem item;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            item.Name = name + "\\";
            Out.push_back(item);
            ListInto(Root, name, Out);
        } else {
            item.Name = name;
            item.Size = (static_cast<int64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
            item.Time = (static_cast<uint64_t>(fd.ftLastWriteTime.dwHighDateTime) << 32) |
                        fd.ftLastWriteTime.dwLowDateTime;
            item.Hash = HashFile(Root + "\\" + name);
            Out.push_back(item);
        }
    });
}

} // namespace

TTempDir::TTempDir(const std::string& Tag) {
    static std::atomic<unsigned> counter{0};
    char tmp[MAX_PATH + 1];
    GetTempPathA(sizeof tmp, tmp);
    for (;;) {
        std::ostringstream s;
        s << tmp << "chk_" << Tag << "_" << GetCurrentProcessId() << "_" << counter++;
        FPath = s.str();
        if (CreateDirectoryA(FPath.c_str(), nullptr)) break;
    }
}

TTempDir::~TTempDir() { RemoveTree(FPath); }

std::string TTempDir::operator/(const std::string& Relative) const { return FPath + "\\" + Relative; }

void RemoveTree(const std::string& Path) {
    DWORD attr = GetFileAttributesA(Path.c_str());
    if (attr == INVALID_FILE_ATTRIBUTES) return;
    if (attr & FILE_ATTRIBUTE_DIRECTORY) {
        ClearFolder(Path);
        RemoveDirectoryA(Path.c_str());
    } else {
        SetFileAttributesA(Path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(Path.c_str());
    }
}

void ClearFolder(const std::string& Path) {
    std::string base = Path;
    if (!base.empty() && base.back() == '\\') base.pop_back();
    std::vector<std::string> names;
    ForEachEntry(base, [&](const WIN32_FIND_DATAA& fd) { names.push_back(base + "\\" + fd.cFileName); });
    for (const auto& n : names) RemoveTree(n);
}

void WriteFileBytes(const std::string& Path, const std::string& Bytes) {
    THandle f(CreateFileA(Path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_NE(f.H, INVALID_HANDLE_VALUE) << "cannot create " << Path << " error " << GetLastError();
    size_t done = 0;
    while (done < Bytes.size()) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(Bytes.size() - done, 1 << 24));
        DWORD n = 0;
        ASSERT_TRUE(WriteFile(f.H, Bytes.data() + done, chunk, &n, nullptr)) << Path;
        done += n;
    }
}

std::string ReadFileBytes(const std::string& Path) {
    THandle f(CreateFileA(Path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (f.H == INVALID_HANDLE_VALUE) return "<missing>";
    std::string out;
    char buf[65536];
    DWORD n = 0;
    while (ReadFile(f.H, buf, sizeof buf, &n, nullptr) && n > 0) out.append(buf, n);
    return out;
}

bool FileExists(const std::string& Path) {
    DWORD a = GetFileAttributesA(Path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::string& Path) {
    DWORD a = GetFileAttributesA(Path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

int64_t FileSize(const std::string& Path) {
    WIN32_FILE_ATTRIBUTE_DATA d;
    if (!GetFileAttributesExA(Path.c_str(), GetFileExInfoStandard, &d)) return -1;
    return (static_cast<int64_t>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
}

std::string PatternBytes(size_t Count, uint32_t Seed) {
    std::string s(Count, '\0');
    uint32_t x = Seed * 2654435761u + 12345u;
    for (size_t i = 0; i < Count; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        s[i] = static_cast<char>(x & 0xFF);
    }
    return s;
}

FILETIME MakeFileTime(int Year, int Month, int Day, int Hour, int Minute, int Second, int Millis) {
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(Year);
    st.wMonth = static_cast<WORD>(Month);
    st.wDay = static_cast<WORD>(Day);
    st.wHour = static_cast<WORD>(Hour);
    st.wMinute = static_cast<WORD>(Minute);
    st.wSecond = static_cast<WORD>(Second);
    st.wMilliseconds = static_cast<WORD>(Millis);
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
    THandle f(CreateFileA(Path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    ASSERT_NE(f.H, INVALID_HANDLE_VALUE) << Path;
    ASSERT_TRUE(SetFileTime(f.H, nullptr, nullptr, &Time)) << Path;
}

void BuildTree(const std::string& Root, const std::vector<TTreeEntry>& Entries) {
    CreateDirectoryA(Root.c_str(), nullptr);
    for (const auto& e : Entries) {
        std::string path = Root + "\\" + e.Name;
        if (!e.Name.empty() && e.Name.back() == '\\') {
            path.pop_back();
            CreateDirectoryA(path.c_str(), nullptr);
        } else {
            WriteFileBytes(path, e.Content);
            if (e.Time.dwLowDateTime || e.Time.dwHighDateTime) SetLastWriteTime(path, e.Time);
        }
    }
}

std::vector<TTreeItem> ListTree(const std::string& Root) {
    std::vector<TTreeItem> out;
    std::string base = Root;
    while (!base.empty() && base.back() == '\\') base.pop_back();
    ListInto(base, "", out);
    std::sort(out.begin(), out.end(), [](const TTreeItem& a, const TTreeItem& b) { return a.Name < b.Name; });
    return out;
}

std::string CompareTrees(const std::string& Expected, const std::string& Actual, bool CompareTimes) {
    auto a = ListTree(Expected), b = ListTree(Actual);
    std::ostringstream diff;
    size_t i = 0, j = 0;
    while (i < a.size() || j < b.size()) {
        if (j >= b.size() || (i < a.size() && a[i].Name < b[j].Name)) {
            diff << "missing: " << a[i++].Name << "\n";
        } else if (i >= a.size() || b[j].Name < a[i].Name) {
            diff << "extra: " << b[j++].Name << "\n";
        } else {
            const auto &x = a[i++], &y = b[j++];
            if (x.Size != y.Size || x.Hash != y.Hash)
                diff << "content: " << x.Name << " (" << x.Size << " vs " << y.Size << ")\n";
            else if (CompareTimes && x.Time != y.Time)
                diff << "time: " << x.Name << " (" << x.Time << " vs " << y.Time << ")\n";
        }
    }
    return diff.str();
}

std::string UnixToWinPath(const std::string& UnixPath) {
    std::string p = "Z:" + UnixPath;
    std::replace(p.begin(), p.end(), '/', '\\');
    return p;
}

std::string ChunklerExe() { return UnixToWinPath(Env("CHUNKLER_EXE")); }

std::string ArtifactsDir() {
    std::string dir = UnixToWinPath(Env("CHUNKLER_ARTIFACTS"));
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

std::string TestDriveRoot(char Letter) { return std::string(1, Letter) + ":\\"; }

DWORD RunChunkler(const std::string& Arguments, const std::string& WorkingDir, DWORD TimeoutMs) {
    std::string cmd = "\"" + ChunklerExe() + "\" " + Arguments;
    std::vector<char> line(cmd.begin(), cmd.end());
    line.push_back('\0');
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        WorkingDir.empty() ? nullptr : WorkingDir.c_str(), &si, &pi)) {
        ADD_FAILURE() << "cannot start " << cmd << " error " << GetLastError();
        return 0xFFFFFFFF;
    }
    THandle process(pi.hProcess), thread(pi.hThread);
    if (WaitForSingleObject(pi.hProcess, TimeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(pi.hProcess, 99);
        ADD_FAILURE() << "timed out: " << cmd;
        return 0xFFFFFFFE;
    }
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    return code;
}

} // namespace testsupport
