// Shared helpers of the test executables: scratch folders, building and comparing trees, and
// running the real Chunkler.exe.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// A fresh folder below the system's temp folder, removed with everything in it on destruction.
class TTempDir {
public:
    explicit TTempDir(const std::string& Tag = "t");
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    const std::string& Path() const { return FPath; }
    // Path + "\" + Relative.
    std::string operator/(const std::string& Relative) const;

private:
    std::string FPath;
};

// Removes a file or a whole folder tree; missing paths are fine.
void RemoveTree(const std::string& Path);
// Empties a folder (such as a test drive's root) without removing it.
void ClearFolder(const std::string& Path);

void WriteFileBytes(const std::string& Path, const std::string& Bytes);
std::string ReadFileBytes(const std::string& Path);
bool FileExists(const std::string& Path);
bool FolderExists(const std::string& Path);
int64_t FileSize(const std::string& Path);
// Deterministic pseudo-random content.
std::string PatternBytes(size_t Count, uint32_t Seed = 1);

FILETIME MakeFileTime(int Year, int Month, int Day, int Hour, int Minute, int Second, int Millis);
FILETIME GetLastWriteTime(const std::string& Path);
void SetLastWriteTime(const std::string& Path, const FILETIME& Time);

// One entry of a tree to build: a name ending in "\" is a folder, anything else a file.
struct TTreeEntry {
    std::string Name;
    std::string Content;
    FILETIME Time{}; // zero: leave the time the system gives
};
void BuildTree(const std::string& Root, const std::vector<TTreeEntry>& Entries);

// Every folder, file, content and last-write time below Root, in a comparable form.
struct TTreeItem {
    std::string Name; // relative, folders end with "\"
    int64_t Size = 0;
    uint64_t Time = 0; // files only
    std::string Hash; // files only
    bool operator==(const TTreeItem&) const = default;
};
std::vector<TTreeItem> ListTree(const std::string& Root);
// Empty when equal, otherwise a readable list of the differences.
std::string CompareTrees(const std::string& Expected, const std::string& Actual, bool CompareTimes = true);

// Windows path of a Unix path (Wine's Z: drive).
std::string UnixToWinPath(const std::string& UnixPath);
std::string ChunklerExe(); // the built Chunkler.exe, from CHUNKLER_EXE
std::string ArtifactsDir(); // CHUNKLER_ARTIFACTS, created when missing
// Test drive folders: the Windows root ("T:\") of a drive letter linked by the test set-up.
std::string TestDriveRoot(char Letter);

// Runs Chunkler.exe with Arguments (behind the program name) and returns its exit code.
DWORD RunChunkler(const std::string& Arguments, const std::string& WorkingDir = "", DWORD TimeoutMs = 120000);

} // namespace testsupport
