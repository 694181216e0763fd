#include "support/UnitFileStream.h"

#include "support/UnitLanguage.h"

std::string SystemErrorText(DWORD Code) {
    if (Code == 0)
        return {};
    // One byte more than announced, so the text always ends in a zero byte.
    char buffer[1025] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, Code, 0, buffer, 1024, nullptr);
    return std::string(buffer);
}

namespace {

[[noreturn]] void RaiseLastError() {
    throw EExceptionLite(GetLastError());
}

} // namespace

TFileStreamLite::TFileStreamLite(const std::string& FileName, DWORD Access, DWORD ShareMode,
                                 DWORD Disposition)
    : FHandle(CreateFileA(FileName.c_str(), Access, ShareMode, nullptr, Disposition, 0, nullptr)) {
    if (!FHandle)
        RaiseLastError();
}

std::unique_ptr<TFileStreamLite> TFileStreamLite::CreateWrite(const std::string& FileName,
                                                              DWORD Disposition) {
    return std::unique_ptr<TFileStreamLite>(new TFileStreamLite(FileName, GENERIC_WRITE, 0, Disposition));
}

std::unique_ptr<TFileStreamLite> TFileStreamLite::CreateRead(const std::string& FileName) {
    return std::unique_ptr<TFileStreamLite>(
        new TFileStreamLite(FileName, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING));
}

uint32_t TFileStreamLite::Read(void* Buffer, uint32_t Count) {
    DWORD done = 0;
    if (!ReadFile(Handle(), Buffer, Count, &done, nullptr))
        RaiseLastError();
    return done;
}

uint32_t TFileStreamLite::Write(const void* Buffer, uint32_t Count) {
    DWORD done = 0;
    if (!WriteFile(Handle(), Buffer, Count, &done, nullptr))
        RaiseLastError();
    return done;
}

void TFileStreamLite::WriteAll(const void* Buffer, uint32_t Count) {
    const auto* bytes = static_cast<const char*>(Buffer);
    while (Count > 0) {
        const uint32_t done = Write(bytes, Count);
        // Without this a disk that takes nothing and reports no error would be written to for ever.
        if (done == 0)
            throw EExceptionLite(TextWriteError);
        bytes += done;
        Count -= done;
    }
}

int64_t TFileStreamLite::Seek(int64_t Offset, uint8_t Origin) {
    LONG high = static_cast<LONG>(Offset >> 32);
    // A legal position may have all low bits set, which looks like INVALID_SET_FILE_POINTER; only
    // the last error tells a failure apart.
    SetLastError(0);
    const DWORD low = SetFilePointer(Handle(), static_cast<LONG>(Offset & 0xFFFFFFFF), &high, Origin);
    if (GetLastError() != 0)
        RaiseLastError();
    return static_cast<int64_t>((static_cast<uint64_t>(static_cast<DWORD>(high)) << 32) | low);
}

int64_t TFileStreamLite::GetSize() {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(Handle(), &size))
        RaiseLastError();
    return size.QuadPart;
}

void TFileStreamLite::SetLastWriteTime(const FILETIME& Time) {
    if (!SetFileTime(Handle(), nullptr, nullptr, &Time))
        RaiseLastError();
}

void TFileStreamLite::Flush() {
    if (!FlushFileBuffers(Handle()))
        RaiseLastError();
}

void SetFolderLastWriteTime(const std::string& Folder, const FILETIME& Time) {
    // A folder can only be opened with backup semantics; writing its attributes is all it takes.
    const TKernelHandle folder(CreateFileA(Folder.c_str(), FILE_WRITE_ATTRIBUTES,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!folder || !SetFileTime(folder.Get(), nullptr, nullptr, &Time))
        RaiseLastError();
}

std::string ReadFileStart(const std::string& FileName, uint32_t MaxSize) {
    try {
        std::string text(MaxSize, '\0');
        text.resize(TFileStreamLite::CreateRead(FileName)->Read(text.data(), MaxSize));
        return text;
    } catch (const EExceptionLite&) {
        return {};
    }
}
