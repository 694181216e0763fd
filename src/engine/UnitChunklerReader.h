// The object that reads a part set for a join, part after part, checked before its bytes are used.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/UnitChunklerResult.h"
#include "engine/UnitChunklerSetName.h"
#include "engine/UnitChunklerSfv.h"
#include "support/UnitCopyBlock.h"
#include "support/UnitFileStream.h"

class TSetRepair;

// Where a part or header file was found: crOk and its folder, or why not.
struct TLocated {
    TChunklerResult Result;
    std::string Folder;
};

// Reads one set from the folder of the file the join starts from, part after part, and follows every
// file with the checksum file when one lies beside it.
class TPartSetReader {
public:
    // Locate finds a file that is not in the folder where it is looked for (in a window by asking).
    using TLocate = std::function<TLocated(const std::string& Folder, const std::string& FileName)>;
    // Files rebuilt from the recovery files beside the set lie in OutputDir while the reader lives.
    TPartSetReader(const std::string& AnyFileOfSet, const std::string& OutputDir, TLocate ALocate);
    ~TPartSetReader();
    TPartSetReader(const TPartSetReader&) = delete;
    TPartSetReader& operator=(const TPartSetReader&) = delete;

    // The bytes the data parts hold together, as the header says; before the first data part is opened.
    void ExpectData(int64_t Total) { FDataSize = Total; }
    // Closes the open file and opens header or data part Number. A data part must have the size its
    // number gives (crInvalidHeader otherwise, naming it), checked before any of its bytes are used;
    // where recovery files describe the file, it must match them (crChecksumError otherwise), and one that
    // is missing, cut or damaged is rebuilt from them where they suffice, without asking for a disk.
    TJobResult Open(bool IsHeader, int Number);
    // The next bytes of the open file, at most Count: read into Block, or where the check against the
    // recovery files read them already, where they lie. The bytes go to the file's checksum.
    std::string_view Read(TCopyBlock& Block, uint32_t Count);
    // Bytes Read took from data parts so far.
    int64_t DataRead() const { return FDataRead; }
    // The open part ended while the set needs more.
    TJobResult OpenNextPart() { return Open(false, FPartNumber + 1); }
    // Reads what is left of the open file for its checksum alone: bytes the join does not need, such as
    // the tail of the last part, belong to it all the same. crChecksumError when it differs.
    TJobResult CheckRest(TCopyBlock& Block);
    // True while the open file is still to pass a check: the checksum file lists it.
    bool AwaitsCheck() const { return FSfv.IsRunning(); }
    // True when Path is a part, header or recovery file of the set where its parts are looked for.
    bool IsFileOfSet(const std::string& Path) const;

private:
    TPartSetName FSet;
    std::string FOpenName; // without folder
    TLocate FLocate;
    TSfvFile FSfv;
    std::unique_ptr<TSetRepair> FRepair;
    // The open file, or its bytes where checking it against the recovery files read them already.
    std::unique_ptr<TFileStreamLite> FFile;
    std::vector<char> FHeld;
    int64_t FHeldSize = -1, FHeldAt = 0; // -1: the bytes are read from FFile
    std::string_view ReadOpen(TCopyBlock& Block, uint32_t Count);
    // The data parts of the set when every part but the last holds PartSize bytes, and the size of part
    // Number.
    int64_t PartsNeeded(int64_t PartSize) const;
    int64_t ExpectedSize(int Number, int64_t PartSize) const;
    // The size of every part but the last, from part 1 (of First bytes) and the parts beside it.
    int64_t NominalPartSize(int64_t First) const;

    int FPartNumber = 0; // of the open data part; 0 while a header file is open
    int64_t FPartSize = -1, FDataSize = 0, FDataRead = 0;
};
