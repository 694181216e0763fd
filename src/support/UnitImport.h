// Small helpers shared by every unit: path roots and drive types, the 64-bit minimum and the open-file
// dialog.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// The drive ("C:") or share root ("\\server\share") at the start of Path, without trailing
// backslash; empty when Path starts with neither.
std::string GetPathRoot(const std::string& Path);

// True when Path lies on a diskette or CD-ROM drive (GetDriveTypeA of its root), where the program never
// writes.
bool IsOnRemovableDrive(const std::string& Path);

inline int64_t MinInt64(int64_t A, int64_t B) {
    return A < B ? A : B;
}

// The system's open-file dialog for one existing file, owned by Owner. Path presets the name field (cut
// to fit) and receives the choice; an empty Title keeps the system's own. RecordSize is the size the
// dialog record announces. False when the user cancels, and when comdlg32 cannot be loaded: importing
// it makes Wine start its desktop process at every program start, which costs a silent run more than
// a small split takes, so it is loaded on first use.
bool ChooseExistingFile(HWND Owner, DWORD RecordSize, const std::string& Title, std::string& Path);
