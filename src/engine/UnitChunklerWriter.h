// The object that writes a part set: data parts, header files, and the files that go with them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/UnitChunklerFileCreation.h"
#include "engine/UnitChunklerResult.h"
#include "engine/UnitChunklerSetName.h"
#include "engine/UnitChunklerSfv.h"
#include "engine/UnitSetReplacement.h"

class TSetRecovery;

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
