// Helpers of the fault and abuse suites: a write-fault injector, Unix-side tools for what Win32
// cannot do to a file the program holds open, and snapshots that show what a job left behind.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace testsupport {

// Replaces CreateFileA and WriteFile in this executable's import table, so that every write of the
// program's core (linked into the test) to a chosen file can be made to fail or fall short while the
// system still reports success. One injector at a time; the original calls are restored on destruction.
class TWriteFaultInjector {
public:
    enum TMode {
        wfZeroBytes, // success, nothing written
        wfHalf,      // success, half of the bytes (at least one byte less than asked)
        wfDiskFull,  // failure with ERROR_DISK_FULL
    };
    // Writes to files whose full name satisfies Match; the first SkipWrites such writes pass.
    TWriteFaultInjector(std::function<bool(const std::string&)> Match, TMode Mode, int SkipWrites = 0);
    ~TWriteFaultInjector();
    TWriteFaultInjector(const TWriteFaultInjector&) = delete;
    TWriteFaultInjector& operator=(const TWriteFaultInjector&) = delete;

    int Injected() const; // writes answered with a fault
    // After this many faulty writes every further one fails with ERROR_DISK_FULL: a job that keeps
    // writing into a disk that takes nothing ends anyway, and the test sees the count.
    static constexpr int Budget = 2000;
};

// True when Name ends with Suffix, ignoring case.
bool EndsWithNoCase(const std::string& Name, const std::string& Suffix);

// The Unix path of a Windows path (Wine's own mapping).
std::string WinToUnixPath(const std::string& WinPath);
// Runs a Unix program with its arguments and waits for it (Wine's start /unix). Used to change a file
// that the program holds open: Wine's share modes bind only Windows processes.
bool RunUnix(const std::vector<std::string>& Argv);

// Names in Folder (not recursive), sorted; for "nothing was created here".
std::vector<std::string> ListNames(const std::string& Folder);
// Leaves exactly FreeBytes free on the drive of Root by writing a filler file there (FreeBytes is
// rounded to whole pages by the file system). Returns the free bytes reached.
int64_t FillDrive(const std::string& Root, int64_t FreeBytes);
int64_t FreeBytesOf(const std::string& Root);

// Holds a file open with share mode 0, as another program could.
class TExclusiveOpen {
public:
    explicit TExclusiveOpen(const std::string& Path, DWORD Access = GENERIC_READ | GENERIC_WRITE);
    ~TExclusiveOpen();
    TExclusiveOpen(const TExclusiveOpen&) = delete;
    TExclusiveOpen& operator=(const TExclusiveOpen&) = delete;
    bool IsOpen() const { return FHandle != INVALID_HANDLE_VALUE; }

private:
    HANDLE FHandle;
};

// A seed for randomized suites: CHUNKLER_SEED when set, otherwise Default.
uint32_t SuiteSeed(uint32_t Default);

} // namespace testsupport
