// Small helpers shared by every unit: path roots and drive types, the 64-bit minimum, the open-file
// dialog, and paths as the system hands them over.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The drive ("C:") or share root ("\\server\share") at the start of Path, without trailing
// backslash; empty when Path starts with neither.
std::string GetPathRoot(const std::string& Path);

// True when Path lies on a diskette or CD-ROM drive (GetDriveTypeA of its root), where the program never
// writes.
bool IsOnRemovableDrive(const std::string& Path);

inline int64_t MinInt64(int64_t A, int64_t B) {
    return A < B ? A : B;
}

// The files (not folders) whose names match Pattern (FindFirstFileA's wildcards), in the system's order;
// none where the folder cannot be listed.
std::vector<WIN32_FIND_DATAA> FindFiles(const std::string& Pattern);

// The system's open-file dialog for one existing file, owned by Owner. Path presets the name field (cut
// to fit) and receives the choice, wide so that a name outside the ANSI code page comes back whole; an empty
// Title keeps the system's own. RecordSize is the size the dialog record announces. False when the user
// cancels, and when comdlg32 cannot be loaded: importing it makes Wine start its desktop process at every
// program start, which costs a silent run more than a small split takes, so it is loaded on first use.
bool ChooseExistingFile(HWND Owner, DWORD RecordSize, const std::string& Title, std::wstring& Path);

// Text in the ANSI code page, with "?" for every letter the code page lacks, never a look-alike ("Lodz" for
// "Łódź" would name another file); False when there was such a letter.
bool WideToAnsi(std::wstring_view Text, std::string& Ansi);
std::wstring AnsiToWide(const std::string& Text);

// A path as the system hands it over, in the ANSI code page and with every "/" taken as "\", as Windows
// takes it and as the path rules here expect it; False as WideToAnsi.
bool ToAnsiPath(std::wstring Path, std::string& Ansi);
