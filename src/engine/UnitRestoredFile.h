// A file the join restores, and its way to its real name.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "engine/UnitChunklerFileCreation.h"

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
