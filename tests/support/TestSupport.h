// Shared helpers of the test executables: scratch folders, trees built and compared, jobs run in
// process or through the real Chunkler.exe, and the Linux side reached from under Wine.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "support/ScriptedHooks.h"

namespace testsupport {

// Owns a kernel handle; INVALID_HANDLE_VALUE and nullptr both mean none.
struct THandleCloser {
    void operator()(HANDLE H) const {
        if (H != INVALID_HANDLE_VALUE)
            CloseHandle(H);
    }
};
using THandle = std::unique_ptr<void, THandleCloser>;

// A fresh folder below the system's temp folder, removed with everything in it on destruction.
class TTempDir {
public:
    explicit TTempDir(const std::string& Tag = "t");
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    const std::string& Path() const { return FPath; }
    std::string operator/(const std::string& Relative) const { return FPath + "\\" + Relative; }

private:
    std::string FPath;
};

// Removes a file or a whole folder tree; missing paths are fine.
void RemoveTree(const std::string& Path);
// Empties a folder (such as a test drive's root) without removing it.
void ClearFolder(const std::string& Path);

void WriteFileBytes(const std::string& Path, const std::string& Bytes);
std::string ReadFileBytes(const std::string& Path); // "<missing>" when it cannot be opened
bool FileExists(const std::string& Path);
bool FolderExists(const std::string& Path);
int64_t FileSize(const std::string& Path); // -1 when missing
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

// Every folder and file below Root with size, content hash and (files only) last-write time.
struct TTreeItem {
    std::string Name; // relative, folders end with "\"
    int64_t Size = 0;
    uint64_t Time = 0;
    uint64_t Hash = 0;
    bool operator==(const TTreeItem&) const = default;
};
std::vector<TTreeItem> ListTree(const std::string& Root);
// Empty when equal, otherwise a readable list of the differences.
std::string CompareTrees(const std::string& Expected, const std::string& Actual);
// Names in Folder (not recursive), sorted.
std::vector<std::string> ListNames(const std::string& Folder);

std::string TestDriveRoot(char Letter); // "T:\" of a drive linked by the test set-up
// True when Letter is the small tmpfs drive the set-up mounts as root (writable or not, as asked).
bool SmallDriveMounted(char Letter, bool Writable);

// One job without the program copy: window mode through Hooks (the result shown), silent without them.
TChunklerResult RunJob(bool Unsplit, const std::string& Source, const std::string& Output,
                       int64_t PartSize = 0, TScriptedHooks* Hooks = nullptr);
// Runs a Windows program and returns its exit code (failing the test after two minutes).
DWORD RunProgram(const std::string& CommandLine, const std::string& WorkingDir = "");
// Chunkler.exe with Arguments behind the program name.
DWORD RunChunkler(const std::string& Arguments, const std::string& WorkingDir = "");

// While it lives, every WriteFile of this executable to a file whose name holds Part reports success
// having written half the bytes, none of a single one. After Budget such writes each further one fails
// with ERROR_DISK_FULL, so a job that would loop for ever ends, and Count shows it.
class TShortWrites {
public:
    explicit TShortWrites(std::string Part);
    ~TShortWrites();
    TShortWrites(const TShortWrites&) = delete;
    TShortWrites& operator=(const TShortWrites&) = delete;
    static int Count();
    static constexpr int Budget = 2000;
};

// --- Windows on screen
// Moves the calling thread to a desktop of the test program's own, where windows of other test programs
// stay out of the way, and returns its name for STARTUPINFO.lpDesktop.
std::string UseOwnDesktop();
// WM_GETTEXT, which unlike GetWindowTextA also reads controls of another process.
std::string WindowText(HWND Wnd);
struct TDialogInfo {
    HWND Wnd = nullptr; // nullptr: no dialog came
    HWND Owner = nullptr;
    std::string Caption;
    std::string Text; // the texts of its static children, joined by "\n"
};
// A visible top-level "#32770" window of the process, waiting at most TimeoutMs (0: look once).
TDialogInfo WaitForDialog(DWORD ProcessId, DWORD TimeoutMs = 20000);
// Presses the button Id as a click does and waits until the dialog has gone.
void AnswerDialog(HWND Dialog, int Id);

// The Unix path Wine maps a Windows path to; empty when Wine cannot map it.
std::string UnixPathOf(const std::string& WinPath);
std::string ShellQuote(const std::string& Text);
// Runs "/bin/sh -c Script" as a Linux process and returns its exit code (0xFFFFFFFF on failure).
DWORD RunUnixShell(const std::string& Script);

// CHUNKLER_SEED when set, otherwise Default; printed so that a failing run can be repeated.
uint32_t SuiteSeed(uint32_t Default);

} // namespace testsupport
