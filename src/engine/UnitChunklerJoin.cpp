// The copy phase of a join: header files into the inventory, then part files into folders and files.
#include "engine/UnitChunkler.h"

#include "support/UnitImport.h"
#include "support/UnitLanguage.h"

namespace {

// A header holds about 40 bytes per entry plus its name, so this is room for millions of entries;
// a set whose header files never close would otherwise be read into memory without end.
constexpr size_t MaxHeaderTextSize = 256u * 1024u * 1024u;

// Header and part files share the name of the set up to its last "."; only the number differs.
std::string SetFileName(const std::string& AnyFileOfSet, bool IsHeader, int Number) {
    std::string name = AnyFileOfSet.substr(0, LastDelimiterPos(".", AnyFileOfSet));
    if (IsHeader)
        name += "h";
    return name + IntToStrZeroPad(Number, 3);
}

bool IsDigits(const std::string& Text) {
    if (Text.empty())
        return false;
    for (char c : Text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

} // namespace

TChunklerResult TChunkler::JoinParts() {
    TChunklerResult result = crOk;
    PartFolder = GetParentFolder(Params->SourcePath);
    PartName = GetFileNamePart(Params->SourcePath);
    std::unique_ptr<TFileStreamLite> partStream;
    std::unique_ptr<TFileStreamLite> outputStream;
    try {
        std::vector<char> buffer(CopyBlockSize);
        if (Params->NoHeader)
            result = FileInfos->BuildFromPartFiles(Params->SourcePath) ? crOk : crSourceNotFound;
        else
            result = ReadHeader(partStream, buffer);
        if (result == crOk)
            result = CopyParts(partStream, outputStream, buffer);
    } catch (const EExceptionLite& error) {
        // Closed before the box, so the user can look at what was written while it is shown.
        FreeAndClear(partStream);
        FreeAndClear(outputStream);
        ShowFileError(error);
        result = crFileError;
    }
    FreeAndClear(partStream);
    FreeAndClear(outputStream);
    return result;
}

TChunklerResult TChunkler::ReadHeader(std::unique_ptr<TFileStreamLite>& PartStream,
                                      std::vector<char>& Buffer) {
    TChunklerResult result = crOk;
    std::string text;
    int number = OpenPartFile(PartFolder, PartName, PartStream, true, 1, result);
    while (result == crOk && PartStream) {
        while (uint32_t n = PartStream->Read(Buffer.data(), CopyBlockSize)) {
            if (text.size() + n > MaxHeaderTextSize)
                return crInvalidHeader;
            text.append(Buffer.data(), n);
        }
        if (TFileInfos::IsCompleteHeader(text))
            FreeAndClear(PartStream);
        else
            number = OpenPartFile(PartFolder, PartName, PartStream, true, number + 1, result);
    }
    if (result != crOk)
        return result;
    if (!FileInfos->ParseHeader(text))
        return crInvalidHeader;
    // A negative size would turn into a huge unsigned read count below.
    for (int i = 0; i < FileInfos->Count(); ++i)
        if (FileInfos->GetItem(i)->Size < 0)
            return crInvalidHeader;
    return crOk;
}

TChunklerResult TChunkler::CopyParts(std::unique_ptr<TFileStreamLite>& PartStream,
                                     std::unique_ptr<TFileStreamLite>& OutputStream,
                                     std::vector<char>& Buffer) {
    TChunklerResult result = crOk;
    bool overwriteAll = false;
    int64_t done = 0;
    int64_t remaining = 0;
    int index = 0;
    SetProgressMax(FileInfos->TotalSize());
    int partNumber = OpenPartFile(PartFolder, PartName, PartStream, false, 1, result);
    // No part holds more than the first: a longer one belongs to another set or was damaged, and
    // reading all of it would shift every later byte while the join still reported success. (A shorter
    // one ends the join anyway, when the part after the last is asked for.)
    const int64_t partSize = PartStream ? PartStream->GetSize() : 0;
    if (result == crOk)
        index = CreateOutputFile(OutputStream, remaining, result, 0, overwriteAll);
    while (result == crOk && PartStream && OutputStream) {
        // Never read past the current file, so each read lands in exactly one restored file.
        uint32_t n = 0;
        if (remaining > 0)
            n = PartStream->Read(Buffer.data(), static_cast<uint32_t>(MinInt64(CopyBlockSize, remaining)));
        if (n > 0) {
            // As when splitting: one more try lets a full disk fail with the system's own text.
            uint32_t w = OutputStream->Write(Buffer.data(), n);
            if (w > 0 && w < n)
                w += OutputStream->Write(Buffer.data() + w, n - w);
            if (w != n)
                throw EExceptionLite(TextWriteError);
            remaining -= n;
            done += n;
        }
        if (n == 0 && remaining > 0) {
            if (PartStream->GetSize() > partSize)
                return crInvalidHeader;
            partNumber = OpenPartFile(PartFolder, PartName, PartStream, false, partNumber + 1, result);
        }
        if (result == crOk && remaining == 0) {
            // Only now: a write after setting the time would move it again on some file systems,
            // and an unfinished file must not carry the time of the complete one.
            OutputStream->SetLastWriteTime(FileInfos->GetItem(index)->LastWriteTime);
            index = CreateOutputFile(OutputStream, remaining, result, index + 1, overwriteAll);
        }
        SetProgress(done);
        // Once the last file is complete there is nothing left to cancel.
        if (result == crOk && OutputStream && CheckUserCancel(Caption))
            result = crCancelled;
    }
    return result;
}

int TChunkler::OpenPartFile(std::string& Folder, std::string& APartName,
                            std::unique_ptr<TFileStreamLite>& Stream, bool IsHeader, int Number,
                            TChunklerResult& Result) {
    FreeAndClear(Stream);
    APartName = SetFileName(APartName, IsHeader, Number);
    Result = LocatePartFile(Folder, APartName);
    if (Result == crOk)
        Stream = TFileStreamLite::CreateRead(AppendBackslash(Folder) + APartName);
    return Number;
}

TChunklerResult TChunkler::LocatePartFile(std::string& Folder, const std::string& APartName) {
    if (GetPathKind(AppendBackslash(Folder) + APartName) == pkFile)
        return crOk;
    if (Params->Silent)
        return crSourceNotFound;
    ShowMessage(FormatMsg(MsgInsertNextDisk, {APartName}), MB_ICONINFORMATION | MB_OK);
    if (GetPathKind(AppendBackslash(Folder) + APartName) == pkFile)
        return crOk;
    const std::string wanted = UpperCaseStr(APartName);
    for (;;) {
        std::string chosen;
        if (!Window->OpenFileDialog(OwnerWindow(), AppendBackslash(Folder) + APartName, chosen)) {
            ShowMessage(FormatMsg(MsgFileMissing, {APartName}), MB_ICONWARNING | MB_OK);
            return crCancelled;
        }
        // A file of another name is not the part, however it was picked; ask again.
        if (UpperCaseStr(GetFileNamePart(chosen)) == wanted && GetPathKind(chosen) == pkFile) {
            Folder = GetParentFolder(chosen);
            return crOk;
        }
    }
}

int TChunkler::CreateOutputFile(std::unique_ptr<TFileStreamLite>& Stream, int64_t& Remaining,
                                TChunklerResult& Result, int Index, bool& OverwriteAll) {
    FreeAndClear(Stream);
    const std::string base = AppendBackslash(Params->OutputDir);
    // Folders come before their content in the inventory, so one level at a time is enough; an
    // existing folder is fine.
    for (TFileInfo* entry; (entry = FileInfos->GetItem(Index)) && entry->Kind != pkFile; ++Index)
        CreateDirectoryA((base + entry->FileName).c_str(), nullptr);
    TFileInfo* entry = FileInfos->GetItem(Index);
    if (!entry)
        return Index;
    const std::string path = base + entry->FileName;
    // Joining into the folder that holds the parts must not overwrite a part still to be read.
    if (IsFileOfSet(path))
        throw EExceptionLite(SystemErrorText(ERROR_ACCESS_DENIED));
    if (!MayCreateFile(path, OverwriteAll)) {
        Result = crCancelled;
        return Index;
    }
    Stream = TFileStreamLite::CreateWrite(path);
    Remaining = entry->Size;
    return Index;
}

bool TChunkler::IsFileOfSet(const std::string& Path) const {
    if (UpperCaseStr(GetParentFolder(Path)) != UpperCaseStr(StripTrailingBackslashes(PartFolder)))
        return false;
    const std::string name = UpperCaseStr(GetFileNamePart(Path));
    const std::string prefix = UpperCaseStr(PartName.substr(0, LastDelimiterPos(".", PartName)));
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0)
        return false;
    std::string number = name.substr(prefix.size());
    if (number[0] == 'H')
        number.erase(0, 1);
    return number.size() >= 3 && IsDigits(number);
}
