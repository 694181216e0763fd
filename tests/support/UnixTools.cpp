#include "support/UnixTools.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace testsupport {

std::string UnixPathOf(const std::string& WinPath) {
    // Wine's own export; absent on Windows, where these tests do not run.
    using TGetUnixName = char*(CDECL*)(const WCHAR*);
    static const auto getUnixName = reinterpret_cast<TGetUnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (!getUnixName)
        return "";
    std::vector<WCHAR> wide(WinPath.size() + 1);
    MultiByteToWideChar(CP_ACP, 0, WinPath.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
    char* unixName = getUnixName(wide.data());
    if (!unixName)
        return "";
    std::string out = unixName;
    HeapFree(GetProcessHeap(), 0, unixName);
    return out;
}

std::string ShellQuote(const std::string& Text) {
    std::string out = "'";
    for (char c : Text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

DWORD RunUnixShell(const std::string& Script, DWORD TimeoutMs) {
    // Wine starts a Linux executable named by its Z: path but hands back no process handle to wait
    // on, so the script leaves its exit code in a marker file, renamed into place when complete.
    static int counter = 0;
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string marker = std::string(temp) + "unixrun_" + std::to_string(GetCurrentProcessId()) + "_" +
                               std::to_string(++counter);
    const std::string unixMarker = UnixPathOf(marker);
    const std::string full = "( " + Script + " ); echo $? > " + ShellQuote(unixMarker + ".tmp") + " && mv " +
                             ShellQuote(unixMarker + ".tmp") + " " + ShellQuote(unixMarker);

    // The script travels as one argument, split by the Windows rules.
    std::string arg;
    size_t slashes = 0;
    for (char c : full) {
        if (c == '\\') {
            ++slashes;
            continue;
        }
        // Backslashes are literal except before a quote, where each one needs a partner.
        arg.append(c == '"' ? 2 * slashes + 1 : slashes, '\\');
        slashes = 0;
        arg += c;
    }
    arg.append(2 * slashes, '\\');
    std::string cmd = "sh -c \"" + arg + "\"";
    std::vector<char> line(cmd.begin(), cmd.end());
    line.push_back('\0');
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA("Z:\\bin\\sh", line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        ADD_FAILURE() << "cannot start /bin/sh, error " << GetLastError();
        return 0xFFFFFFFF;
    }
    if (pi.hThread)
        CloseHandle(pi.hThread);
    if (pi.hProcess)
        CloseHandle(pi.hProcess);

    for (DWORD waited = 0; waited < TimeoutMs; waited += 10) {
        if (GetFileAttributesA(marker.c_str()) != INVALID_FILE_ATTRIBUTES) {
            HANDLE f = CreateFileA(marker.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
            char text[16] = {};
            DWORD got = 0;
            if (f != INVALID_HANDLE_VALUE) {
                ReadFile(f, text, sizeof text - 1, &got, nullptr);
                CloseHandle(f);
            }
            DeleteFileA(marker.c_str());
            return static_cast<DWORD>(std::strtoul(text, nullptr, 10));
        }
        Sleep(10);
    }
    ADD_FAILURE() << "timed out: " << Script;
    return 0xFFFFFFFF;
}

} // namespace testsupport
