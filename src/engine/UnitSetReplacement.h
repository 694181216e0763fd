// Replacing the files of an older set as one transaction, and the names that files take beside others.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// A name beside FileName, in its folder, for the Attempt-th try (from 1): FileName + ".~chunkler", then
// ".~chunkler2" and on, or where that would not fit a path or a folder entry, the end of the real name
// giving way to "~", "~2~", "~3~", ... It never ends in a digit, so it is never taken for a part or header
// file of a set, and is never longer than a path that fits.
std::string BesideName(const std::string& FileName, int Attempt);

// Files that a new set replaces are moved aside before its first byte is written, under names no set uses,
// and removed only once it is complete. A job that fails or is cancelled gives every moved file its name
// back, so the older set is there as before, byte for byte. Nothing is copied: it needs no room on the disk.
class TSetReplacement {
public:
    TSetReplacement() = default;
    // Rolls back unless committed.
    ~TSetReplacement();
    TSetReplacement(const TSetReplacement&) = delete;
    TSetReplacement& operator=(const TSetReplacement&) = delete;

    // Moves FileName (a full path) aside; raises EExceptionLite naming it when it cannot be moved.
    void MoveAside(const std::string& FileName);
    // The files that were moved aside and could not be removed: where they stay, and the first reason.
    struct TLeft {
        std::vector<std::string> Files;
        DWORD Error = 0;
    };
    // The new set is complete: removes what was moved aside.
    TLeft Commit();
    // Gives every moved file its name back; the new set's files must be gone by then.
    void RollBack();

private:
    struct TMoved {
        std::string Name, Aside;
    };
    std::vector<TMoved> FMoved;
};
