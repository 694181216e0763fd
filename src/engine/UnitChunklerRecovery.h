// The recovery files of a split (/RECOVERn): a PAR2 2.0 recovery set beside the parts that rebuilds any n
// of its part and header files, made from the bytes as they are written, and the test that tells this
// program's recovery files of a set from those another tool made for the user's own file of the name.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/UnitChunklerResult.h"
#include "engine/UnitChunklerSetName.h"
#include "support/UnitFileStream.h"
#include "support/UnitMd5.h"
#include "support/UnitPar2.h"

class TFileInfos;

// True when the PAR2 file Path names only files for which Belongs holds. Only its end is read: this
// program repeats the packets that name the files behind the recovery data of every volume, and a volume
// may hold most of a CD's part.
bool IsRecoveryFileOf(const std::string& Path, const std::function<bool(const std::string&)>& Belongs);

// Plans, feeds and writes the recovery files of one split. The plan is made before the first byte is
// written, from the listing and the header text, because the slices take their constants in the order of
// File IDs that hold each file's first 16 KiB. Empty files are left out: PAR2 cannot describe them, and
// an empty part is no loss (the empty last part on a boundary, part 1 of a set of empty files).
class TSetRecovery {
public:
    // Count files of the set Set, with parts of PartSize bytes, can be rebuilt. Cancelled is asked once a
    // block while written parts are read again; True ends the job.
    TSetRecovery(TPartSetName ASet, int64_t APartSize, int ACount, std::function<bool()> ACancelled);
    ~TSetRecovery();
    TSetRecovery(const TSetRecovery&) = delete;
    TSetRecovery& operator=(const TSetRecovery&) = delete;

    // The set's files as the split will cut them from the listed sizes and Header. False when no recovery
    // file could fit on the disk of one part.
    bool Plan(const TFileInfos& Files, const std::string& Header);
    // Reads the first 16 KiB of every data part from the source files (a few KB per part); from then on
    // the set's bytes can be fed. Raises EExceptionLite where a source cannot be read.
    void Prepare(const TFileInfos& Files);
    // The names (without folder) of the recovery files to be written.
    std::vector<std::string> FileNames() const;

    // The writer's side: each file of the set as it begins, then its bytes.
    void BeginFile(const std::string& Name);
    void Add(const void* Data, size_t Count);

    // Writes the recovery files of the complete set, each through Create (nullptr: the user keeps an
    // existing file of the name, and the result is crCancelled). Where the bytes fed differ from the plan
    // (a source file changed size during the copy, a short write moved the header's cut), the recovery
    // set is made again from the written files.
    using TCreate = std::function<std::unique_ptr<TFileStreamLite>(const std::string& FileName)>;
    TChunklerResult Write(const TCreate& Create);

private:
    struct TPlanned {
        std::string Name; // without folder
        uint64_t Length = 0;
        int64_t Offset = -1; // in the content, for a data part; -1 for a header file
        TMd5Digest Start{};
    };
    struct TFed {
        std::string Name;
        uint64_t Length = 0;
    };
    void AddPlanned(const std::string& Path, int64_t Length, int64_t Offset);
    // The slice size for the planned files; False when none fits.
    bool Choose();
    void MakeCreator();
    void EndFile();
    bool FedAsPlanned() const;
    // The plan again from the files as written.
    bool PlanWritten();
    // Every planned file from the disk into the creator once; False when cancelled.
    bool FeedWritten();

    const TPartSetName FSet;
    const int64_t FPartSize;
    const int FCount;
    const std::function<bool()> FCancelled;
    std::vector<TPlanned> FPlan;
    TPar2Choice FChoice;
    std::unique_ptr<TPar2Creator> FCreator;
    uint64_t FStripe = 0; // bytes of every slice that one pass makes
    std::vector<TFed> FFed;
    bool FFileOpen = false;
};
