// A restored file is written under its own name or beside the file it replaces, and kept or removed.
#include "engine/UnitRestoredFile.h"

#include "engine/UnitSetReplacement.h"

std::unique_ptr<TRestoredFile> TRestoredFile::Create(const TStreamMaker& Make, const std::string& FileName,
                                                     TOverwriteAnswer& Answer) {
    if (auto stream = CreateIfNew(Make, FileName))
        return std::unique_ptr<TRestoredFile>(new TRestoredFile(FileName, FileName, std::move(stream)));
    if (!Answer.MayReplace(FileName))
        return nullptr;
    std::string temporary;
    auto stream = CreateTemporary(Make, FileName, temporary);
    return std::unique_ptr<TRestoredFile>(new TRestoredFile(FileName, temporary, std::move(stream)));
}

std::unique_ptr<TFileStreamLite> TRestoredFile::CreateTemporary(const TStreamMaker& Make,
                                                                const std::string& FileName,
                                                                std::string& TemporaryName) {
    // A file of the temporary name may be left from a join that was killed, or belong to the user: it is
    // never written over; the next free name is taken. A file whose own path fits never fails for its
    // temporary one.
    for (int n = 1; n < 100; ++n) {
        TemporaryName = BesideName(FileName, n);
        try {
            return Make(TemporaryName, CREATE_NEW);
        } catch (const EExceptionLite& error) {
            if (!IsTaken(error))
                throw;
        }
    }
    throw EExceptionLite(ERROR_FILE_EXISTS);
}

TRestoredFile::~TRestoredFile() {
    FStream.reset();
    if (!FKept)
        DeleteFileA(FWriteName.c_str());
}

void TRestoredFile::Finish(const FILETIME& Time) {
    FStream->SetLastWriteTime(Time);
    // File systems may write a rename to the disk before the data it names: a power cut would then leave
    // an empty file where the user's good copy was.
    if (FWriteName != FRealName)
        FStream->Flush();
    FStream.reset();
}

void TRestoredFile::Keep() {
    if (FWriteName != FRealName && !MoveFileExA(FWriteName.c_str(), FRealName.c_str(),
                                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        throw EExceptionLite(GetLastError());
    FKept = true;
}
