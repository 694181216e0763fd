// A part set on disk: how its files are named, the object that writes one, the one that reads one, and
// the owner of a file restored from one.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/UnitChunklerBatch.h"
#include "engine/UnitChunklerResult.h"
#include "engine/UnitChunklerSfv.h"
#include "engine/UnitSetReplacement.h"
#include "support/UnitCopyBlock.h"
#include "support/UnitFileStream.h"

class TSetRepair;
class TSetRecovery;

// The files of a set named Name in Folder: Name + ".001" to ".999" for the data parts, Name + ".h001"
// and on for the header files (more digits only past 999), Name + ".sfv" for the checksum file, and the
// batch file beside them.
class TPartSetName {
public:
    TPartSetName(std::string AFolder, std::string AName)
        : Folder(std::move(AFolder)), Name(std::move(AName)) {}
    // The set a part, header or recovery file belongs to: its name up to the last "." (before ".vol"
    // and ".par2" for a recovery file).
    static TPartSetName Of(const std::string& FileName);

    std::string Part(int Number) const { return File("." + Number3(Number)); }
    std::string Header(int Number) const { return File(".h" + Number3(Number)); }
    std::string Sfv() const { return File(".sfv"); }
    // The recovery files: the index Name + ".par2" and the volumes Name + ".vol" + first + "+" + count
    // + ".par2", as the common PAR2 tools name them.
    std::string Par2Index() const { return File(".par2"); }
    std::string Par2Pattern() const { return File(".*par2"); }
    // True when FileName (without folder) is named as a recovery file of the set.
    bool IsRecoveryFileName(const std::string& FileName) const;
    // Every file of the name, for FindFirstFileA.
    std::string Pattern() const { return File(".*"); }
    TBatchFile Batch() const { return TBatchFile(Folder, Name); }
    // The number of the data part or header file FileName (without folder) names; 0 for any other name.
    int PartNumber(const std::string& FileName) const { return Number(FileName, false); }
    int HeaderNumber(const std::string& FileName) const { return Number(FileName, true); }
    // True when FileName (without folder) is a part or header file of the set.
    bool Holds(const std::string& FileName) const { return PartNumber(FileName) || HeaderNumber(FileName); }
    // The files of the name in Folder that a new set replaces (without folder): its parts and header files,
    // the checksum, batch and recovery files where they are recognisably this program's for the name or
    // where the new set writes them (WithSfv, WithBatch, Recovery: the names of its recovery files). Other
    // files of similar names are the user's.
    std::vector<std::string> OlderFiles(bool WithSfv, bool WithBatch,
                                        const std::vector<std::string>& Recovery = {}) const;

    std::string Folder, Name;

private:
    static std::string Number3(int Number);
    std::string File(const std::string& Suffix) const;
    int Number(const std::string& FileName, bool IsHeader) const;
    bool IsOwnSfv() const;
    // True for a recovery file of the set: one of the names Written, or one that names only its files.
    bool IsOwnRecoveryFile(const std::string& FileName, const std::vector<std::string>& Written) const;
};

// The user's answer to "Always overwrite existing files?": asked at the first existing file of a job,
// it holds for every later one. Ask returns True for Yes.
class TOverwriteAnswer {
public:
    explicit TOverwriteAnswer(std::function<bool(const std::string&)> AAsk) : FAsk(std::move(AAsk)) {}
    bool MayReplace(const std::string& FileName) {
        FAll = FAll || FAsk(FileName);
        return FAll;
    }

private:
    std::function<bool(const std::string&)> FAsk;
    bool FAll = false;
};

// Creates FileName through Make; an existing file is replaced only when Answer allows it (nullptr when
// the user keeps it). Creating first and asking only where that fails spares a look-up of every name.
std::unique_ptr<TFileStreamLite> CreateAsking(const TStreamMaker& Make, const std::string& FileName,
                                              TOverwriteAnswer& Answer);

// Writes one set: data parts of PartSize bytes, then header files that begin in the room the last part
// left on its disk. The files of an older set of the name are moved aside before the first byte is
// written and removed once the new set is complete; until then a failure or a cancel removes every file
// written and gives the older ones their names back, so the folder is as it was before.
class TPartSetWriter {
public:
    // Recovery, where given, is fed every file and writes its recovery files once the set is complete.
    TPartSetWriter(TPartSetName AName, int64_t APartSize, TStreamMaker AMake, TOverwriteAnswer& AOverwrite,
                   bool AWithBatch, bool AWithSfv, TSetRecovery* ARecovery = nullptr);
    ~TPartSetWriter();
    TPartSetWriter(const TPartSetWriter&) = delete;
    TPartSetWriter& operator=(const TPartSetWriter&) = delete;

    // Asks once about the files of an older set of the name, moves them aside, then begins part 1.
    // crCancelled when the user keeps existing files.
    TChunklerResult Begin();
    // Bytes the current part can still take; 0 only once the last part a set may have is full.
    int64_t Room() const { return FRoom; }
    // Count bytes (at most Room) into the current part. A part that is full is followed by the next at
    // once, so content that ends on a part boundary leaves an empty last part.
    TChunklerResult WriteData(const void* Data, uint32_t Count);
    // Begins the next header file; the first one takes the room the last part left.
    TChunklerResult BeginHeaderFile();
    // As much of Text as the current header file takes in one write; whatever a short write leaves
    // goes into the next header file, so no file holds more than its disk took.
    size_t WriteHeader(std::string_view Text);
    // Writes the checksum and recovery files if asked for and removes the older set's files; from now on
    // the set stays.
    struct TCompletion {
        TChunklerResult Result;
        TSetReplacement::TLeft Left; // older files that could not be removed
    };
    TCompletion Complete();

    int HeaderFiles() const { return FHeaderNumber; }
    int64_t BytesWritten() const { return FWrittenBytes; }

private:
    TChunklerResult BeginFile(const std::string& FileName);
    // FileName created anew; one that exists is moved aside with the older set once the user agrees
    // (nullptr when not).
    std::unique_ptr<TFileStreamLite> Create(const std::string& FileName);
    // The same, counted among the files this job wrote.
    std::unique_ptr<TFileStreamLite> CreateWritten(const std::string& FileName);
    // False when the user keeps an existing batch file.
    bool AppendBatchLine();

    const TPartSetName FName;
    const int64_t FPartSize;
    const TStreamMaker FMake;
    TOverwriteAnswer& FOverwrite;
    const bool FWithBatch;
    TSfvFile FSfv;
    TSetRecovery* const FRecovery;
    TSetReplacement FReplacement;      // rolled back after the files written are removed
    std::vector<std::string> FWritten; // every file this job created, full paths
    std::unique_ptr<TFileStreamLite> FFile, FBatch;
    int FPartNumber = 0, FHeaderNumber = 0;
    int64_t FRoom = 0, FWrittenBytes = 0;
    bool FCompleted = false;
};

// A file the join restores. One that replaces nothing is written under its own name; one that replaces
// an existing file is written beside it under a temporary name and takes the real name only once it is
// complete and on the disk. Removed on destruction unless it was kept.
class TRestoredFile {
public:
    // nullptr when FileName exists and the user keeps it.
    static std::unique_ptr<TRestoredFile> Create(const TStreamMaker& Make, const std::string& FileName,
                                                 TOverwriteAnswer& Answer);
    ~TRestoredFile();
    TRestoredFile(const TRestoredFile&) = delete;
    TRestoredFile& operator=(const TRestoredFile&) = delete;

    TFileStreamLite& Stream() { return *FStream; }
    // Every byte is written: the stored time is set last (a later write would move it again) and the
    // file closed, after its data reached the disk where it is to replace a file.
    void Finish(const FILETIME& Time);
    // Takes the real name; the file stays.
    void Keep();

private:
    TRestoredFile(std::string ARealName, std::string AWriteName, std::unique_ptr<TFileStreamLite> AStream)
        : FRealName(std::move(ARealName)), FWriteName(std::move(AWriteName)), FStream(std::move(AStream)) {}
    // A name for a file that is to replace FileName: beside it, never an existing file's name.
    static std::unique_ptr<TFileStreamLite>
    CreateTemporary(const TStreamMaker& Make, const std::string& FileName, std::string& TemporaryName);

    const std::string FRealName, FWriteName;
    std::unique_ptr<TFileStreamLite> FStream;
    bool FKept = false;
};

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
