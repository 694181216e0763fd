// File access with 64-bit positions over one Win32 handle, and the one exception type of the program.
#pragma once

#include <windows.h>

#include <cstdint>
#include <exception>
#include <memory>
#include <string>

// The system's own text for a Win32 error code, unchanged (its trailing CR LF included);
// empty for 0 and for codes the system has no text for.
std::string SystemErrorText(DWORD Code);

class EExceptionLite : public std::exception {
public:
    explicit EExceptionLite(std::string Msg) : Message(std::move(Msg)) {}
    const char* what() const noexcept override { return Message.c_str(); }

    std::string Message;
};

// Unbuffered: each operation is one system call (or GetSize's three, WriteAll's as many as it takes).
// Every failure raises EExceptionLite with SystemErrorText of the last error; a short Write is not a
// failure here.
class TFileStreamLite {
public:
    // Creates or empties the file; nobody else may open it while the stream lives.
    static std::unique_ptr<TFileStreamLite> CreateWrite(const std::string& FileName);
    // As CreateWrite, but only a file that does not exist yet.
    static std::unique_ptr<TFileStreamLite> CreateNew(const std::string& FileName);
    // Opens an existing file; others may read it at the same time, but not write it.
    static std::unique_ptr<TFileStreamLite> CreateRead(const std::string& FileName);

    ~TFileStreamLite();
    TFileStreamLite(const TFileStreamLite&) = delete;
    TFileStreamLite& operator=(const TFileStreamLite&) = delete;

    // The system call behind every Write; a test puts a disk that takes fewer bytes in its place.
    static inline decltype(&WriteFile) WriteFileCall = &WriteFile;

    // Bytes actually read: fewer at the end of the file, 0 once it is reached.
    uint32_t Read(void* Buffer, uint32_t Count);
    // Bytes the system reports as written; the caller compares.
    uint32_t Write(const void* Buffer, uint32_t Count);
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

    HANDLE Handle = INVALID_HANDLE_VALUE;

private:
    TFileStreamLite(const std::string& FileName, DWORD Access, DWORD ShareMode, DWORD Disposition);
};

// Changes only the last-write time (UTC) of an existing folder; raises EExceptionLite on failure.
void SetFolderLastWriteTime(const std::string& Folder, const FILETIME& Time);
