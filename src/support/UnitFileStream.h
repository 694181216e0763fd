// File access with 64-bit positions over one Win32 handle, and the one exception type of the program.
#pragma once

#include <windows.h>

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "support/UnitScopedHandle.h"

// The system's own text for a Win32 error code, unchanged (its trailing CR LF included);
// empty for 0 and for codes the system has no text for.
std::string SystemErrorText(DWORD Code);

class EExceptionLite : public std::exception {
public:
    explicit EExceptionLite(std::string Msg, DWORD ACode = 0) : Message(std::move(Msg)), Code(ACode) {}
    // The system's text for ACode.
    explicit EExceptionLite(DWORD ACode) : EExceptionLite(SystemErrorText(ACode), ACode) {}
    const char* what() const noexcept override { return Message.c_str(); }

    std::string Message;
    DWORD Code; // the system's error code; 0 for the program's own texts
};

// Unbuffered: each operation is one system call (WriteAll's as many as it takes).
// Every failure raises EExceptionLite with the last error and its text; a short Write is not a failure
// here.
class TFileStreamLite {
public:
    // Disposition CREATE_NEW: only a file that does not exist yet; CREATE_ALWAYS: an existing one is
    // emptied. Nobody else may open the file while the stream lives.
    static std::unique_ptr<TFileStreamLite> CreateWrite(const std::string& FileName,
                                                        DWORD Disposition = CREATE_ALWAYS);
    // Opens an existing file; others may read it at the same time, but not write it.
    static std::unique_ptr<TFileStreamLite> CreateRead(const std::string& FileName);

    virtual ~TFileStreamLite() = default;
    TFileStreamLite(const TFileStreamLite&) = delete;
    TFileStreamLite& operator=(const TFileStreamLite&) = delete;

    // Bytes actually read: fewer at the end of the file, 0 once it is reached.
    uint32_t Read(void* Buffer, uint32_t Count);
    // Bytes the system reports as written; the caller compares.
    virtual uint32_t Write(const void* Buffer, uint32_t Count);
    // Writes all Count bytes: a nearly full disk may take only some of them and still report success,
    // and the next write then fails with the system's own text. A write that takes nothing at all
    // raises TextWriteError ("Error writing to file!").
    void WriteAll(const void* Buffer, uint32_t Count);
    // Origin 0 from the start, 1 from the current position, 2 from the end; returns the new position.
    int64_t Seek(int64_t Offset, uint8_t Origin);
    // Size of the file; the position is left where it was.
    int64_t GetSize();
    // Changes only the last-write time (UTC).
    void SetLastWriteTime(const FILETIME& Time);
    // Returns once the written data are on the disk, not only in the system's cache.
    void Flush();

    HANDLE Handle() const { return FHandle.Get(); }

protected:
    TFileStreamLite(const std::string& FileName, DWORD Access, DWORD ShareMode, DWORD Disposition);

private:
    TKernelHandle FHandle;
};

// Makes the stream of every file a job writes: parts, header, batch and checksum files, restored files.
// Disposition as for TFileStreamLite::CreateWrite.
using TStreamMaker =
    std::function<std::unique_ptr<TFileStreamLite>(const std::string& FileName, DWORD Disposition)>;

// The first bytes of FileName, at most MaxSize; empty when it cannot be read.
std::string ReadFileStart(const std::string& FileName, uint32_t MaxSize);

// Changes only the last-write time (UTC) of an existing folder; raises EExceptionLite on failure.
void SetFolderLastWriteTime(const std::string& Folder, const FILETIME& Time);
