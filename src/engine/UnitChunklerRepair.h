// The recovery files beside a set as a join uses them: every part and header file they describe is
// checked before its bytes are used, and one that is missing, cut short or damaged is rebuilt from them.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/UnitChunklerSetName.h"
#include "support/UnitPar2.h"

enum TChunklerResult : uint8_t;

// How a file of the set stands once checked against the recovery files.
struct TCheckedFile {
    enum TState {
        Unknown, // not described by the recovery files: read as it is
        Intact,  // its bytes are in the caller's buffer (Held of them), or where they are too many, in the
                 // file
        Rebuilt, // read it from RebuiltPath, a temporary file of the output folder
        Missing, // neither there nor to be rebuilt
        Damaged, // there, but cut, grown or changed, and not to be rebuilt
    } State = Unknown;
    int64_t Held = -1; // bytes of an intact file in the buffer; -1 when it was not read into it
    std::string RebuiltPath;
};

// Reads the recovery files of a set in the folder its parts are read from: whether Chunkler or another
// tool made them, any valid PAR2 2.0 set whose files are those of the set. Without such files it changes
// nothing. It never writes into the parts' folder, which may be a CD: rebuilt files lie in the output
// folder under temporary names and are removed with it.
class TSetRepair {
public:
    TSetRepair(const TPartSetName& Set, std::string AOutputDir);
    ~TSetRepair();
    TSetRepair(const TSetRepair&) = delete;
    TSetRepair& operator=(const TSetRepair&) = delete;

    // Checks FileName (without folder) in Folder, reading it into Buffer (grown as needed, and kept from
    // file to file, so that no file costs an allocation); the first file that is not intact has every file
    // of the set checked and everything not intact rebuilt at once, where the recovery data suffice.
    TCheckedFile Check(const std::string& Folder, const std::string& FileName, std::vector<char>& Buffer);

private:
    // The index of FileName among the recovery set's files; -1 when it is none of them.
    int Find(const std::string& FileName) const;
    // Reads the file for its slice checksums: Intact with its bytes in Buffer where it passes.
    TCheckedFile Verify(size_t File, const std::string& Path, std::vector<bool>& Slices,
                        std::vector<char>& Buffer) const;
    // Rebuilds every file of the set that is not intact; False when the recovery data do not suffice.
    bool RepairAll(const std::string& Folder);
    // True when the recovery slices that the volumes' names count could make up for the files missing
    // from Folder: a set that comes on diskettes lacks most of its parts until they come, and checking
    // every file of one there would take minutes for nothing.
    bool MayMakeUpFor(const std::string& Folder) const;

    const TPartSetName FSet;
    const std::string FOutputDir;
    std::vector<std::string> FPar2Files;   // full paths, the index first
    TPar2Set FPar2;                        // without the recovery slices until a repair needs them
    std::map<std::string, size_t> FByName; // upper-cased name, index into FPar2.Files
    bool FRepairTried = false;
    std::map<size_t, std::string> FRebuilt; // file index, temporary path
};
