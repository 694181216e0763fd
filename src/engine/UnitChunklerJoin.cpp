// The copy phase of a join: header files into the inventory, then part files into folders and files.
#include "engine/UnitChunkler.h"
#include "engine/UnitChunklerReader.h"
#include "engine/UnitRestoredFile.h"
#include "support/UnitImport.h"
#include "support/UnitLanguage.h"

namespace {

// A header holds about 40 bytes per entry plus its name, so this is room for millions of entries;
// a set whose header files never close would otherwise be read into memory without end.
constexpr size_t MaxHeaderTextSize = 256u * 1024u * 1024u;

// An existing folder is fine; anything else that keeps the folder from being there ends the join,
// since every entry inside it would be lost.
void CreateOutputFolder(const std::string& Path) {
    if (CreateDirectoryA(Path.c_str(), nullptr))
        return;
    const DWORD error = GetLastError();
    if (error != ERROR_ALREADY_EXISTS || GetPathKind(Path) != pkFolder)
        throw EExceptionLite(error);
}

// Every entry created inside a folder moves the folder's time, so the times are set once everything is
// written, and from the end of the list: it names every folder before its content, so backwards each
// folder comes after everything below it. A folder that was there before may refuse a new time; that
// takes nothing from the restored files, as a folder that exists already is no failure to create it.
void RestoreFolderTimes(const TFileInfos& List, const std::string& OutputDir) {
    for (int i = List.Count() - 1; i >= 0; --i) {
        if (const TFileInfo* entry = List.GetItem(i); entry->Kind == pkFolder) {
            try {
                SetFolderLastWriteTime(AppendBackslash(OutputDir) + entry->FileName, entry->LastWriteTime);
            } catch (const EExceptionLite&) {
            }
        }
    }
}

} // namespace

// Restored files that are complete and wait for the part they were read from to pass its check, so that a
// damaged part leaves none of the files read from it and the user's existing copies as they were.
class TWaitingFiles {
public:
    // Kept at once where the open part awaits no check.
    void Add(std::unique_ptr<TRestoredFile> File, const TPartSetReader& Parts) {
        FFiles.push_back(std::move(File));
        if (!Parts.AwaitsCheck())
            KeepAll();
    }
    // Reads the open part to its end for its check; once it passes, the files take their names.
    TJobResult PassPart(TPartSetReader& Parts, TCopyBlock& Block) {
        TJobResult result = Parts.CheckRest(Block);
        if (result.Ok())
            KeepAll();
        return result;
    }

private:
    void KeepAll() {
        for (const auto& file : FFiles)
            file->Keep();
        FFiles.clear();
    }
    std::vector<std::unique_ptr<TRestoredFile>> FFiles;
};

TJobResult TChunkler::JoinParts() {
    try {
        TPartSetReader parts(Params->SourcePath, Params->OutputDir,
                             [this](const std::string& Folder, const std::string& Name) {
                                 return LocatePartFile(Folder, Name);
                             });
        TJobResult result = crOk;
        if (Params->NoHeader)
            result = FileInfos->BuildFromPartFiles(Params->SourcePath) ? crOk : crSourceNotFound;
        else
            result = ReadHeader(parts);
        if (result.Ok())
            result = CopyParts(parts);
        if (result.Ok())
            RestoreFolderTimes(*FileInfos, Params->OutputDir);
        return result;
    } catch (const EExceptionLite& error) {
        // The streams are closed by now, so the user can look at what was written while the box is shown.
        ShowMessage(error.Message, MB_OK | MB_ICONERROR);
        return crFileError;
    }
}

TJobResult TChunkler::ReadHeader(TPartSetReader& Parts) {
    TCopyBlock block;
    std::string text;
    for (int number = 1; !TFileInfos::IsCompleteHeader(text); ++number) {
        if (TJobResult result = Parts.Open(true, number); !result.Ok())
            return result;
        for (std::string_view bytes; !(bytes = Parts.Read(block, TCopyBlock::MaxSize)).empty();) {
            if (text.size() + bytes.size() > MaxHeaderTextSize)
                return crInvalidHeader;
            text += bytes;
        }
        if (TJobResult result = Parts.CheckRest(block); !result.Ok())
            return result;
    }
    if (!FileInfos->ParseHeader(text))
        return crInvalidHeader;
    // A negative size would turn into a huge unsigned read count below, and a total beyond Int64 into a
    // negative one.
    int64_t total = 0;
    for (int i = 0; i < FileInfos->Count(); ++i)
        if (FileInfos->GetItem(i)->Size < 0 ||
            __builtin_add_overflow(total, FileInfos->GetItem(i)->Size, &total))
            return crInvalidHeader;
    return crOk;
}

TJobResult TChunkler::CopyParts(TPartSetReader& Parts) {
    Hooks().SetProgressMax(FileInfos->TotalSize());
    TOverwriteAnswer overwrite([this](const std::string& Name) { return MayReplace(Name); });
    TCopyBlock block;
    TWaitingFiles waiting;
    Parts.ExpectData(FileInfos->TotalSize());
    TJobResult result = Parts.Open(false, 1);
    for (int index = 0; result.Ok() && index < FileInfos->Count(); ++index) {
        const TFileInfo& entry = *FileInfos->GetItem(index);
        const std::string path = AppendBackslash(Params->OutputDir) + entry.FileName;
        if (entry.Kind != pkFile) {
            CreateOutputFolder(path);
            continue;
        }
        // Joining into the folder that holds the parts must not overwrite a part still to be read.
        if (Parts.IsFileOfSet(path))
            return {crFileError, MsgOverwritesSetFile, path};
        auto file = TRestoredFile::Create(MakeStream, path, overwrite);
        if (!file)
            return crCancelled;
        result = RestoreFile(Parts, block, waiting, *file, entry.Size);
        if (result.Ok()) {
            file->Finish(entry.LastWriteTime);
            waiting.Add(std::move(file), Parts);
        }
        // Once the last file is complete there is nothing left to cancel.
        if (result.Ok() && index + 1 < FileInfos->Count() && Cancelled())
            result = crCancelled;
    }
    return result.Ok() ? waiting.PassPart(Parts, block) : result;
}

TJobResult TChunkler::RestoreFile(TPartSetReader& Parts, TCopyBlock& Block, TWaitingFiles& Waiting,
                                  TRestoredFile& File, int64_t Size) {
    // Never read past the file, so each read lands in exactly one restored file.
    for (int64_t left = Size; left > 0;) {
        const std::string_view bytes = Parts.Read(Block, Block.Size(left));
        const auto n = static_cast<uint32_t>(bytes.size());
        File.Stream().WriteAll(bytes.data(), n);
        left -= n;
        TJobResult result = n == 0 ? Waiting.PassPart(Parts, Block) : crOk;
        if (n == 0 && result.Ok())
            result = Parts.OpenNextPart();
        Block.Done();
        Hooks().SetProgress(Parts.DataRead());
        if (!result.Ok())
            return result;
        if (left > 0 && Cancelled())
            return crCancelled;
    }
    return crOk;
}

TLocated TChunkler::LocatePartFile(const std::string& Folder, const std::string& FileName) {
    if (IsSilent())
        return {crSourceNotFound, ""};
    ShowMessage(FormatMsg(MsgInsertNextDisk, {FileName}), MB_ICONINFORMATION | MB_OK);
    if (GetPathKind(AppendBackslash(Folder) + FileName) == pkFile)
        return {crOk, Folder};
    const std::string wanted = UpperCaseStr(FileName);
    for (;;) {
        std::string chosen;
        if (!Hooks().OpenFileDialog(Hooks().OwnerWindow(), AppendBackslash(Folder) + FileName, chosen)) {
            ShowMessage(FormatMsg(MsgFileMissing, {FileName}), MB_ICONWARNING | MB_OK);
            return {crCancelled, ""};
        }
        // A file of another name is not the part, however it was picked; ask again.
        if (UpperCaseStr(GetFileNamePart(chosen)) == wanted && GetPathKind(chosen) == pkFile)
            return {crOk, GetParentFolder(chosen)};
    }
}
