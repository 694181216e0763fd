// Rebuilding lost or damaged input slices of a PAR2 2.0 recovery set from its recovery slices.
#pragma once

#include <cstddef>
#include <cstdint>

#include "support/UnitPar2.h"

// Where the repair reads and writes: every call names a file of the set (an index into TPar2Set::Files)
// or a source of Par2Read, and returns false when it fails.
class TPar2RepairIo {
public:
    virtual ~TPar2RepairIo() = default;
    // Bytes of an input file as it lies on the disk; only slices the caller called intact are asked for,
    // and never beyond the file's length.
    virtual bool ReadInput(size_t File, uint64_t Offset, void* Data, size_t Count) = 0;
    virtual bool ReadRecovery(size_t Source, uint64_t Offset, void* Data, size_t Count) = 0;
    // The rebuilt bytes of the slices that were not intact, each byte once, within the file's length; the
    // caller keeps them in memory or in a file of its own, never in place of the damaged file.
    virtual bool WriteRebuilt(size_t File, uint64_t Offset, const void* Data, size_t Count) = 0;
    // Reads back what WriteRebuilt wrote, to check each rebuilt file whole.
    virtual bool ReadRebuilt(size_t File, uint64_t Offset, void* Data, size_t Count) = 0;
};

enum class TPar2RepairResult {
    Done,        // every slice that was not intact is rebuilt, and every file it belongs to has its MD5
    NotNeeded,   // every slice is intact
    Incomplete,  // the set lacks the main packet or a file's description or slice checksums
    NotEnough,   // fewer usable recovery slices than slices to rebuild
    TooLarge,    // the matrix of k slices to rebuild, 4 k^2 bytes, exceeds the memory limit
    ReadFailed,  // a read of the Io failed
    WriteFailed, // a write of the Io failed
    WrongResult, // the rebuilt data do not match their checksums (a damaged recovery file or input slice)
};

// Rebuilds every slice whose Intact flag is false. Intact has one row per file with one flag per slice,
// as TPar2FileCheck gives them. Memory stays near MemoryLimit whatever the slice size: the matrix takes its
// 4 k^2 bytes first (the default limit holds it for 4096 slices to rebuild), and the slices are rebuilt in
// stripes in the rest, all recovery and intact input slices read once per stripe. Rebuilt slices are
// checked against their slice MD5 and every file with a rebuilt slice against its MD5 before Done.
TPar2RepairResult Par2Repair(const TPar2Set& Set, const TPar2Intact& Intact, TPar2RepairIo& Io,
                             size_t MemoryLimit = 64 << 20);
