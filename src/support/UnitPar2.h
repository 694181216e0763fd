// PAR2 2.0 recovery sets (the "Parity Volume Set" of par2cmdline, QuickPar, MultiPar): the packets, the
// recovery files made while the input files are written, reading any set, and checking input files
// against it. Rebuilding lost slices is UnitPar2Repair.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/UnitCrc32.h"
#include "support/UnitMd5.h"

struct TPar2SliceSum {
    TMd5Digest Md5{};
    uint32_t Crc = 0; // CRC-32 of zip
};

// One input file as its packets describe it. Slices are zero-padded to the slice size in both sums.
struct TPar2File {
    TMd5Digest Id{}, Md5{}, Md5First16k{};
    uint64_t Length = 0;
    std::string Name; // the packet's bytes without their zero padding: no encoding is assumed
    std::vector<TPar2SliceSum> Slices;
};

// The File ID: the MD5 of the 16 KiB MD5, the length (8 bytes, little-endian) and the name.
TMd5Digest Par2FileId(const TMd5Digest& Md5First16k, uint64_t Length, const std::string& Name);

// ---- Creation

// What the caller knows of an input file before it writes it: the name as the receiver's disk holds it,
// the length and the MD5 of its first 16 KiB (of all of it when shorter). The slices take their
// constants in the order of the sorted File IDs, which these three fix: with them known up front, every
// byte is added to the recovery data once, as it is written.
struct TPar2Input {
    std::string Name;
    uint64_t Length = 0;
    TMd5Digest Md5First16k{};
};

// A slice size for input files of at most PartSize bytes such that the index file and a volume file with
// one recovery slice each fit PartSize (FileCount files, TotalSize bytes in all, no name longer than
// LongestName bytes), and the recovery slices that rebuild any LostFiles of them: a part of m slices
// needs m of its own. The smallest m that fits is taken, so a slice is at most half a part: half the part
// size rounded up to a multiple of 64 unless the checksums of many files need more room (64, so that the
// file's MD5 and the slice's take the same blocks in one pass). SliceSize 0: no size fits (parts too small
// for the packets, or more than 32768 slices).
struct TPar2Choice {
    uint64_t SliceSize = 0;
    uint32_t SlicesPerPart = 0, RecoveryCount = 0;
};
TPar2Choice Par2ChooseSliceSize(uint64_t PartSize, size_t FileCount, uint64_t TotalSize, size_t LongestName,
                                uint32_t LostFiles);

// A recovery file to write: the name is the set's name followed by Suffix (".par2", ".vol00+1.par2").
struct TPar2OutputFile {
    std::string Suffix;
    uint64_t Size = 0;
};
// Writes Count bytes at Offset of output file File (an index into Files()); raises where it fails.
using TPar2Write = std::function<void(size_t File, uint64_t Offset, const void* Data, size_t Count)>;

// Makes the recovery files of a set from its input files fed once, in the order of the plan, file after
// file. The index file "<name>.par2" holds the main, file description, slice checksum and creator packets;
// the volume files "<name>.volFIRST+COUNT.par2" hold recovery slices (exponents from 0) followed by the
// same packets, as many slices each as fit MaxFileSize, all of the same size but the last.
//
// Memory is RecoveryCount times the stripe, the part of every slice whose recovery bytes a pass makes
// (all of it by default), and as much again at most (two stripes at least) for the input slices gathered
// for a thread of the creator's own, which adds them while the next ones are summed and ends with the
// creator. Where that is too much, the caller runs several passes: SetStripe ends one stripe and starts
// the next, and the input is fed once more for it (only the first pass sums it).
class TPar2Creator {
public:
    TPar2Creator(std::vector<TPar2Input> Plan, uint64_t SliceSize, uint32_t RecoveryCount,
                 uint64_t MaxFileSize, const std::string& CreatorText);
    ~TPar2Creator();
    TPar2Creator(const TPar2Creator&) = delete;
    TPar2Creator& operator=(const TPar2Creator&) = delete;

    // False when the plan cannot be made: no files, an empty file, a slice size that is not a positive
    // multiple of 4, more than 32768 slices or recovery slices, or recovery files that do not fit.
    bool Valid() const;
    const std::vector<TPar2OutputFile>& Files() const;

    // The next bytes of the current file, then EndFile; files in the order of the plan.
    void Add(const void* Data, size_t Count);
    void EndFile();
    // False once the bytes fed differ from the plan: a file longer or shorter than planned, another first
    // 16 KiB, or more files. The recovery data are then wrong and the caller makes the set another way.
    bool Matches() const;

    // The stripe [From, To) of every slice, 0 <= From < To <= slice size, both even (words are not split),
    // From the end of the last one.
    // The first pass is [0, SliceSize) unless the caller sets it before the first byte.
    void SetStripe(uint64_t From, uint64_t To, const TPar2Write& Write);
    // Writes every byte not written yet, each file from start to end (with one pass, all of them).
    void Finish(const TPar2Write& Write);

private:
    struct TState;
    std::unique_ptr<TState> S;
};

// ---- Reading

// One PAR2 file, read in pieces: a volume file of a CD part is not loaded whole.
class TPar2Source {
public:
    virtual ~TPar2Source() = default;
    virtual uint64_t Size() = 0;
    // False when the bytes cannot be read.
    virtual bool Read(uint64_t Offset, void* Data, size_t Count) = 0;
};

class TPar2MemorySource : public TPar2Source {
public:
    explicit TPar2MemorySource(std::string Bytes) : FBytes(std::move(Bytes)) {}
    uint64_t Size() override { return FBytes.size(); }
    bool Read(uint64_t Offset, void* Data, size_t Count) override;

private:
    std::string FBytes;
};

// Where a recovery slice's data lie: Offset in source Source of the sources read.
struct TPar2RecoverySlice {
    uint32_t Exponent = 0;
    size_t Source = 0;
    uint64_t Offset = 0;
};

struct TPar2Set {
    TMd5Digest SetId{};
    uint64_t SliceSize = 0;
    // The recovery set's files in the order of the main packet, which gives the slices their constants.
    std::vector<TPar2File> Files;
    std::vector<TPar2RecoverySlice> Recovery; // one per exponent
    std::string Creator;                      // the first creator packet's text
    // The main packet was found, and a description and the slice checksums of every file it names.
    bool Complete = false;
    bool Found() const { return SliceSize > 0; }
};

// Reads every packet of the sources: packets whose MD5 does not match and packets of unknown types are
// skipped, as are packets whose lengths or counts contradict the set. The set is the one of the first
// main packet found. Every length read is checked against the source's size before anything is
// allocated for it, and none of a recovery slice's data are held.
TPar2Set Par2Read(const std::vector<TPar2Source*>& Sources);

// ---- Checking an input file

// Checks an input file against its slice checksums while it is read from the start: the CRC-32 of each
// slice decides, at the speed of the checksum file's check; the MD5 of each slice too where WithMd5 is
// set. A slice is intact when all its bytes were read and its sums match.
class TPar2FileCheck {
public:
    TPar2FileCheck(const TPar2File& File, uint64_t SliceSize, bool WithMd5 = false);
    void Add(const void* Data, size_t Count);
    // Intact flags per slice once the file is read (bytes beyond its length are ignored).
    std::vector<bool> Finish();

private:
    const TPar2File& FFile;
    uint64_t FSliceSize, FRead = 0;
    bool FWithMd5;
    TCrc32 FCrc;
    TMd5 FMd5;
    std::vector<bool> FIntact;
    void EndSlice();
};

// Which input slices of the whole set are intact: Intact[file][slice].
using TPar2Intact = std::vector<std::vector<bool>>;
