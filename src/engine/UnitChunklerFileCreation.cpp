// Creating the files of a job over existing ones only with the user's consent.
#include "engine/UnitChunklerFileCreation.h"

#include "inventory/UnitFileInfo.h"

// Some file systems answer for a folder as for a file.
bool IsTaken(const EExceptionLite& Error) {
    return Error.Code == ERROR_FILE_EXISTS || Error.Code == ERROR_ALREADY_EXISTS;
}

std::unique_ptr<TFileStreamLite> CreateIfNew(const TStreamMaker& Make, const std::string& FileName) {
    try {
        return Make(FileName, CREATE_NEW);
    } catch (const EExceptionLite& error) {
        // A folder of the name is no file to overwrite; creating over it fails with the system's text.
        if (!IsTaken(error) || GetPathKind(FileName) != pkFile)
            throw;
    }
    return nullptr;
}

std::unique_ptr<TFileStreamLite> CreateAsking(const TStreamMaker& Make, const std::string& FileName,
                                              TOverwriteAnswer& Answer) {
    if (auto stream = CreateIfNew(Make, FileName))
        return stream;
    if (!Answer.MayReplace(FileName))
        return nullptr;
    return Make(FileName, CREATE_ALWAYS);
}
