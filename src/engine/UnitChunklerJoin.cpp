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

// The temporary name of a restored file. It does not end in digits, so it is never taken for a part
// or header file of the set.
constexpr char TemporarySuffix[] = ".~chunkler";

// Runs Action when the scope ends, however it ends.
template <class F> struct TAtExit {
    F Action;
    ~TAtExit() { Action(); }
};

// An existing folder is fine; anything else that keeps the folder from being there ends the join,
// since every entry inside it would be lost.
void CreateOutputFolder(const std::string& Path) {
    if (CreateDirectoryA(Path.c_str(), nullptr))
        return;
    const DWORD error = GetLastError();
    if (error != ERROR_ALREADY_EXISTS || GetPathKind(Path) != pkFolder)
        throw EExceptionLite(SystemErrorText(error));
}

// Every entry created inside a folder moves the folder's time, so the times are set once everything is
// written, and from the end of the list: it names every folder before its content, so backwards each
// folder comes after everything below it.
void RestoreFolderTimes(const TFileInfos& List, const std::string& OutputDir) {
    for (int i = List.Count() - 1; i >= 0; --i)
        if (const TFileInfo* entry = List.GetItem(i); entry->Kind == pkFolder)
            SetFolderLastWriteTime(AppendBackslash(OutputDir) + entry->FileName, entry->LastWriteTime);
}

} // namespace

TChunklerResult TChunkler::JoinParts() {
    PartFolder = GetParentFolder(Params->SourcePath);
    PartName = GetFileNamePart(Params->SourcePath);
    try {
        ReadSfvFile();
        TChunklerResult result = crOk;
        if (Params->NoHeader)
            result = FileInfos->BuildFromPartFiles(Params->SourcePath) ? crOk : crSourceNotFound;
        else
            result = ReadHeader();
        if (result == crOk)
            result = CopyParts();
        if (result == crOk)
            RestoreFolderTimes(*FileInfos, Params->OutputDir);
        return result;
    } catch (const EExceptionLite& error) {
        // The streams are closed by now, so the user can look at what was written while the box is shown.
        ShowMessage(error.Message, MB_OK | MB_ICONERROR);
        return crFileError;
    }
}

TChunklerResult TChunkler::ReadHeader() {
    std::vector<char> buffer(CopyBlockSize);
    std::unique_ptr<TFileStreamLite> header;
    std::string text;
    int number = 1;
    TChunklerResult result = OpenPartFile(header, true, number);
    while (result == crOk && header) {
        while (uint32_t n = header->Read(buffer.data(), CopyBlockSize)) {
            if (text.size() + n > MaxHeaderTextSize)
                return crInvalidHeader;
            text.append(buffer.data(), n);
            Sfv.Add(buffer.data(), n);
        }
        if (!PartIntact(*header, buffer))
            return crChecksumError;
        if (TFileInfos::IsCompleteHeader(text))
            header.reset();
        else
            result = OpenPartFile(header, true, ++number);
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

TChunklerResult TChunkler::CopyParts() {
    std::vector<char> buffer(CopyBlockSize);
    // Declared before the streams, so it runs after they are closed.
    const TAtExit dropUnfinished{[this] { DropRestoredFile(); }};
    std::unique_ptr<TFileStreamLite> part, output;
    bool overwriteAll = false;
    int64_t done = 0;
    int index = 0;
    int partNumber = 1;
    const int64_t total = FileInfos->TotalSize();
    Hooks().SetProgressMax(total);
    TChunklerResult result = OpenPartFile(part, false, partNumber);
    // No part holds more than the first: a longer one belongs to another set or was damaged, and
    // reading all of it would shift every later byte while the join still reported success. (A shorter
    // one ends the join anyway, when the part after the last is asked for.)
    const int64_t partSize = part ? part->GetSize() : 0;
    if (result == crOk)
        result = CreateOutputFile(output, index, overwriteAll);
    int64_t remaining = output ? FileInfos->GetItem(index)->Size : 0;
    while (result == crOk && output) {
        // Never read past the current file, so each read lands in exactly one restored file.
        uint32_t n = 0;
        if (remaining > 0)
            n = part->Read(buffer.data(), static_cast<uint32_t>(MinInt64(CopyBlockSize, remaining)));
        if (n > 0) {
            Sfv.Add(buffer.data(), n);
            output->WriteAll(buffer.data(), n);
            remaining -= n;
            done += n;
        }
        if (n == 0 && remaining > 0) {
            if (!PartIntact(*part, buffer))
                return crChecksumError;
            if (part->GetSize() > partSize)
                return crInvalidHeader;
            result = OpenPartFile(part, false, ++partNumber);
        }
        if (result == crOk && remaining == 0) {
            // Once every byte of content is read, the rest of the part is checked before the last
            // restored file is finished: a damaged part leaves it unfinished, and so not kept.
            if (done == total && !PartIntact(*part, buffer))
                return crChecksumError;
            // Only now: a write after setting the time would move it again on some file systems,
            // and an unfinished file must not carry the time of the complete one.
            output->SetLastWriteTime(FileInfos->GetItem(index)->LastWriteTime);
            FinishRestoredFile(output);
            ++index;
            result = CreateOutputFile(output, index, overwriteAll);
            remaining = output ? FileInfos->GetItem(index)->Size : 0;
        }
        Hooks().SetProgress(done);
        // Once the last file is complete there is nothing left to cancel.
        if (result == crOk && output && Hooks().CheckUserCancel(Caption))
            result = crCancelled;
    }
    // Content that ends without a file to restore, such as a set of folders alone, leaves the open
    // part unchecked so far.
    if (result == crOk && part && !PartIntact(*part, buffer))
        return crChecksumError;
    return result;
}

TChunklerResult TChunkler::OpenPartFile(std::unique_ptr<TFileStreamLite>& Stream, bool IsHeader, int Number) {
    Stream.reset();
    PartName = SetFileName(PartName, IsHeader, Number);
    const TChunklerResult result = LocatePartFile();
    if (result == crOk) {
        Stream = TFileStreamLite::CreateRead(AppendBackslash(PartFolder) + PartName);
        Sfv.BeginFile(PartName);
    }
    return result;
}

TChunklerResult TChunkler::LocatePartFile() {
    if (GetPathKind(AppendBackslash(PartFolder) + PartName) == pkFile)
        return crOk;
    if (Params->Silent)
        return crSourceNotFound;
    ShowMessage(FormatMsg(MsgInsertNextDisk, {PartName}), MB_ICONINFORMATION | MB_OK);
    if (GetPathKind(AppendBackslash(PartFolder) + PartName) == pkFile)
        return crOk;
    const std::string wanted = UpperCaseStr(PartName);
    for (;;) {
        std::string chosen;
        if (!Hooks().OpenFileDialog(Hooks().OwnerWindow(), AppendBackslash(PartFolder) + PartName, chosen)) {
            ShowMessage(FormatMsg(MsgFileMissing, {PartName}), MB_ICONWARNING | MB_OK);
            return crCancelled;
        }
        // A file of another name is not the part, however it was picked; ask again.
        if (UpperCaseStr(GetFileNamePart(chosen)) == wanted && GetPathKind(chosen) == pkFile) {
            PartFolder = GetParentFolder(chosen);
            return crOk;
        }
    }
}

TChunklerResult TChunkler::CreateOutputFile(std::unique_ptr<TFileStreamLite>& Stream, int& Index,
                                            bool& OverwriteAll) {
    Stream.reset();
    const std::string base = AppendBackslash(Params->OutputDir);
    // Folders come before their content in the inventory, so one level at a time is enough.
    for (TFileInfo* entry; (entry = FileInfos->GetItem(Index)) && entry->Kind != pkFile; ++Index)
        CreateOutputFolder(base + entry->FileName);
    const TFileInfo* entry = FileInfos->GetItem(Index);
    if (!entry)
        return crOk;
    const std::string path = base + entry->FileName;
    // Joining into the folder that holds the parts must not overwrite a part still to be read.
    if (IsFileOfSet(path))
        throw EExceptionLite(SystemErrorText(ERROR_ACCESS_DENIED));
    if (!MayCreateFile(path, OverwriteAll))
        return crCancelled;
    Stream = CreateRestoredFile(path);
    return crOk;
}

std::unique_ptr<TFileStreamLite> TChunkler::CreateRestoredFile(const std::string& FileName) {
    // A file of the temporary name may be left from a join that was killed, or belong to the user: it
    // is never written over; the next free name is taken. Trying to create it costs one lookup of the
    // folder less than asking first, which a join of many small files notices under Wine.
    static const std::string exists = SystemErrorText(ERROR_FILE_EXISTS);
    for (int n = 1;; ++n) {
        const std::string temporary = FileName + TemporarySuffix + (n > 1 ? std::to_string(n) : "");
        try {
            auto stream = TFileStreamLite::CreateNew(temporary);
            RestoredName = FileName;
            TemporaryName = temporary;
            return stream;
        } catch (const EExceptionLite& error) {
            if (n >= 99 || error.Message != exists)
                throw;
        }
    }
}

void TChunkler::FinishRestoredFile(std::unique_ptr<TFileStreamLite>& Stream) {
    Stream.reset();
    // Only now is an existing file of the real name replaced.
    if (!MoveFileExA(TemporaryName.c_str(), RestoredName.c_str(), MOVEFILE_REPLACE_EXISTING))
        throw EExceptionLite(SystemErrorText(GetLastError()));
    TemporaryName.clear();
}

void TChunkler::DropRestoredFile() {
    if (!TemporaryName.empty())
        DeleteFileA(TemporaryName.c_str());
    TemporaryName.clear();
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
