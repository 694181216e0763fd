#include "support/UnixTools.h"

#include <gtest/gtest.h>

#include <vector>

namespace testsupport {

std::string WinToUnixPath(const std::string& WinPath) {
    // Wine's own export; absent on Windows, where these tests do not run.
    using TGetUnixName = char*(CDECL*)(const WCHAR*);
    static const auto getUnixName = reinterpret_cast<TGetUnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (!getUnixName) return "";
    std::vector<WCHAR> wide(WinPath.size() + 1);
    MultiByteToWideChar(CP_ACP, 0, WinPath.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
    char* unixName = getUnixName(wide.data());
    if (!unixName) return "";
    std::string out = unixName;
    HeapFree(GetProcessHeap(), 0, unixName);
    return out;
}

std::string ShellQuote(const std::string& Text) {
    std::string out = "'";
    for (char c : Text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

DWORD RunUnixShell(const std::string& Script, DWORD TimeoutMs) {
    // Wine starts a Linux executable named by its Z: path; the command line is split by the Windows
    // rules, so the script travels as one quoted argument.
    std::string arg;
    size_t slashes = 0;
    for (char c : Script) {
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
    DWORD code = 0xFFFFFFFF;
    if (WaitForSingleObject(pi.hProcess, TimeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(pi.hProcess, &code);
    else
        ADD_FAILURE() << "timed out: " << Script;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

} // namespace testsupport
