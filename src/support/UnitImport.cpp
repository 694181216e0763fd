#include "support/UnitImport.h"

#include "support/UnitScopedHandle.h"

#include <commdlg.h>

#include <algorithm>

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

bool IsOnRemovableDrive(const std::string& Path) {
    std::string root = GetPathRoot(Path);
    if (!root.empty() && root.back() != '\\')
        root += '\\';
    const UINT type = GetDriveTypeA(root.c_str());
    return type == DRIVE_REMOVABLE || type == DRIVE_CDROM;
}

bool ChooseExistingFile(HWND Owner, DWORD RecordSize, const std::string& Title, std::wstring& Path) {
    using TGetOpenFileNameW = BOOL(WINAPI*)(OPENFILENAMEW*);
    // Stays loaded for the rest of the process, as an imported library would.
    static const auto getOpenFileName = [] {
        HMODULE library = LoadLibraryA("comdlg32.dll");
        return library ? reinterpret_cast<TGetOpenFileNameW>(
                             reinterpret_cast<void*>(GetProcAddress(library, "GetOpenFileNameW")))
                       : nullptr;
    }();
    if (!getOpenFileName)
        return false;
    wchar_t file[MAX_PATH] = {};
    wchar_t fileTitle[MAX_PATH] = {};
    Path.copy(file, MAX_PATH - 1);
    const std::wstring title = AnsiToWide(Title);
    OPENFILENAMEW dialog{};
    dialog.lStructSize = RecordSize;
    dialog.hwndOwner = Owner;
    dialog.hInstance = GetModuleHandleA(nullptr);
    dialog.lpstrFile = file;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrFileTitle = fileTitle;
    dialog.nMaxFileTitle = MAX_PATH;
    dialog.lpstrTitle = title.empty() ? nullptr : title.c_str();
    dialog.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    if (!getOpenFileName(&dialog))
        return false;
    Path = file;
    return true;
}

std::vector<WIN32_FIND_DATAA> FindFiles(const std::string& Pattern) {
    std::vector<WIN32_FIND_DATAA> files;
    WIN32_FIND_DATAA data{};
    const TScopedHandle<HANDLE, &FindClose> search(FindFirstFileA(Pattern.c_str(), &data));
    for (bool more = bool(search); more; more = FindNextFileA(search.Get(), &data))
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            files.push_back(data);
    return files;
}

bool WideToAnsi(std::wstring_view Text, std::string& Ansi) {
    // Three bytes for each UTF-16 unit hold it in any code page. UTF-8 as the ANSI code page (a choice
    // of Windows 10 and later) holds every letter, and refuses to be asked.
    Ansi.assign(Text.size() * 3, '\0');
    const bool utf8 = GetACP() == CP_UTF8;
    BOOL substituted = FALSE;
    const int n = Text.empty() ? 0
                               : WideCharToMultiByte(CP_ACP, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, Text.data(),
                                                     static_cast<int>(Text.size()), Ansi.data(),
                                                     static_cast<int>(Ansi.size()), nullptr,
                                                     utf8 ? nullptr : &substituted);
    Ansi.resize(static_cast<size_t>(n));
    return !substituted && (n > 0 || Text.empty());
}

std::wstring AnsiToWide(const std::string& Text) {
    std::wstring wide(Text.size(), L'\0');
    const int n = Text.empty() ? 0
                               : MultiByteToWideChar(CP_ACP, 0, Text.data(), static_cast<int>(Text.size()),
                                                     wide.data(), static_cast<int>(wide.size()));
    wide.resize(static_cast<size_t>(n));
    return wide;
}

bool ToAnsiPath(std::wstring Path, std::string& Ansi) {
    std::replace(Path.begin(), Path.end(), L'/', L'\\');
    return WideToAnsi(Path, Ansi);
}
