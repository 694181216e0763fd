#include "support/UnitImport.h"

#include <commdlg.h>

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

bool ChooseExistingFile(HWND Owner, DWORD RecordSize, const std::string& Title, std::string& Path) {
    using TGetOpenFileNameA = BOOL(WINAPI*)(OPENFILENAMEA*);
    // Stays loaded for the rest of the process, as an imported library would.
    static const auto getOpenFileName = [] {
        HMODULE library = LoadLibraryA("comdlg32.dll");
        return library ? reinterpret_cast<TGetOpenFileNameA>(
                             reinterpret_cast<void*>(GetProcAddress(library, "GetOpenFileNameA")))
                       : nullptr;
    }();
    if (!getOpenFileName)
        return false;
    char file[MAX_PATH] = {};
    char fileTitle[MAX_PATH] = {};
    Path.copy(file, MAX_PATH - 1);
    OPENFILENAMEA dialog{};
    dialog.lStructSize = RecordSize;
    dialog.hwndOwner = Owner;
    dialog.hInstance = GetModuleHandleA(nullptr);
    dialog.lpstrFile = file;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrFileTitle = fileTitle;
    dialog.nMaxFileTitle = MAX_PATH;
    dialog.lpstrTitle = Title.empty() ? nullptr : Title.c_str();
    dialog.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    if (!getOpenFileName(&dialog))
        return false;
    Path = file;
    return true;
}
