// Helpers of the fault suites: one job run in process, writes that fall short on demand, Unix-side
// tools for what Win32 cannot do to a file the program holds open, and the seed of randomized suites.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/ScriptedHooks.h"

namespace testsupport {

// One job without the program copy: window mode through Hooks (result shown), silent without them.
TChunklerResult RunJob(bool Unsplit, const std::string& Source, const std::string& Output,
                       int64_t PartSize = 0, TScriptedHooks* Hooks = nullptr);

// While it lives, every WriteFile of this executable to a file whose name ends with Suffix reports
// success having written nothing (Half false) or half the bytes. After Budget such writes each further
// one fails with ERROR_DISK_FULL, so a job that would loop for ever ends and the count shows it.
class TShortWrites {
public:
    TShortWrites(std::string Suffix, bool Half);
    ~TShortWrites();
    TShortWrites(const TShortWrites&) = delete;
    TShortWrites& operator=(const TShortWrites&) = delete;
    static int Count();
    static constexpr int Budget = 2000;
};

// Wine's Unix path of a Windows path, and a Unix program run to its end: Wine's share modes bind only
// Windows processes, so this is how a file the program holds open is changed.
std::string WinToUnixPath(const std::string& WinPath);
bool RunUnix(const std::vector<std::string>& Argv);

// Names in Folder (not recursive), sorted.
std::vector<std::string> ListNames(const std::string& Folder);
// The names in Around and in the current directory: a job may add none of them.
std::vector<std::string> ListOutside(const std::string& Around);

// CHUNKLER_SEED when set, otherwise Default; printed so that a failing run can be repeated.
uint32_t SuiteSeed(uint32_t Default);

} // namespace testsupport
