// Helpers of the fault suites: one job run in process, writes that fall short on demand, a file changed
// behind Wine's back, listings that show what a job created, and the seed of the randomized suites.
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

// Sets the size of a file through Unix, as another program may while this one holds the file open:
// Wine's share modes bind only Windows processes.
void ResizeThroughUnix(const std::string& Path, int64_t Size);

// Names in Folder (not recursive), sorted.
std::vector<std::string> ListNames(const std::string& Folder);
// The names in Around and in the current directory: a job may add none of them.
std::vector<std::string> ListOutside(const std::string& Around);

// CHUNKLER_SEED when set, otherwise Default; printed so that a failing run can be repeated.
uint32_t SuiteSeed(uint32_t Default);

} // namespace testsupport
