// How a job ends: the result code, and what the window says of it where the code alone does not.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// Result of a job; in a silent run also the exit code.
enum TChunklerResult : uint8_t {
    crOk = 0,
    crSourceNotFound = 1,
    crOutputNotFound = 2,
    crFolderNotAllowed = 3,
    crFolderExpected = 4,
    crRemovableOutput = 5,
    crInvalidSize = 6,
    crTooManyParts = 7,
    crInvalidHeader = 8,
    crFileError = 9,
    crNoBatchForFolder = 10, // only ever shown, never returned
    crCancelled = 11,
    crUnknownError = 12,
    crChecksumError = 13, // a part or header file differs from its checksum file
};

// A result as a phase finds it: the code, and where one code stands for several reasons, the catalogue
// text that says which, the name of the file or folder it concerns and the system's error behind it.
struct TJobResult {
    TJobResult(TChunklerResult ACode = crOk) : Code(ACode) {}
    TJobResult(TChunklerResult ACode, int AMessage, std::string AName, DWORD AError = 0)
        : Code(ACode), Message(AMessage), Name(std::move(AName)), Error(AError) {}
    bool Ok() const { return Code == crOk; }

    TChunklerResult Code;
    int Message = -1; // the catalogue text for the box, Name for its "#" and the system's text for a second
                      // one where Error is set; -1: the code's own text
    std::string Name;
    DWORD Error = 0;
};
