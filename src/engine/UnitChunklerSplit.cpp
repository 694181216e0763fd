// The copy phase of a split: data parts, header files, the joining batch file and the program copy.
#include <algorithm>

#include "engine/UnitChunkler.h"
#include "engine/UnitChunklerWriter.h"
#include "support/UnitCopyBlock.h"
#include "engine/UnitChunklerRecovery.h"
#include "support/UnitImport.h"
#include "support/UnitLanguage.h"

// Decided before the first part is written, so no batch file is ever begun for a name it cannot serve.
void TChunkler::CheckBatchName() {
    const std::string& name = FileInfos->GetItem(0)->FileName;
    if (const int refusal = TBatchFile(Params->OutputDir, name).Refusal();
        Params->CreateBatch && refusal >= 0) {
        Params->CreateBatch = false;
        ShowMessage(FormatMsgLiteral(refusal, {name}), MB_OK | MB_ICONWARNING);
    }
}

void TChunkler::CopyProgramFile() {
    char self[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    // Never replaces a Chunkler.exe that is already there; a failed copy does not concern the split.
    CopyFileA(self, (AppendBackslash(Params->OutputDir) + "Chunkler.exe").c_str(), TRUE);
}

TChunkler::TWrittenSet TChunkler::WriteParts(TSetRecovery* Recovery) {
    try {
        if (Recovery)
            Recovery->Prepare(*FileInfos);
        TOverwriteAnswer overwrite([this](const std::string& Name) { return MayReplace(Name); });
        TPartSetWriter set(TPartSetName(Params->OutputDir, FileInfos->GetItem(0)->FileName), Params->PartSize,
                           MakeStream, overwrite, Params->CreateBatch, Params->CreateSfv, Recovery);
        TChunklerResult result = set.Begin();
        if (result == crOk)
            result = WriteDataParts(set);
        if (result == crOk)
            result = WriteHeaderFiles(set);
        if (result != crOk)
            return {result};
        const TPartSetWriter::TCompletion done = set.Complete();
        // The new set is whole; an older file that stays under another name takes nothing from it.
        if (!done.Left.Files.empty())
            ShowMessage(FormatMsgLiteral(MsgOlderFilesLeft,
                                         {std::to_string(done.Left.Files.size()), done.Left.Files.front(),
                                          SystemErrorText(done.Left.Error)}),
                        MB_OK | MB_ICONWARNING);
        return {done.Result, set.HeaderFiles()};
    } catch (const EExceptionLite& error) {
        // The files of the set are removed and the older ones have their names back by now.
        ShowMessage(error.Message, MB_OK | MB_ICONERROR);
        return {crFileError};
    }
}

TChunklerResult TChunkler::WriteDataParts(TPartSetWriter& Set) {
    TCopyBlock block;
    TChunklerResult result = crOk;
    for (int index = FileInfos->NextFileIndex(0); result == crOk && index >= 0;
         index = FileInfos->NextFileIndex(index + 1)) {
        TFileInfo& entry = *FileInfos->GetItem(index);
        const auto source =
            TFileStreamLite::CreateRead(AppendBackslash(FileInfos->BaseFolder) + entry.FileName);
        // A file that shrank since it was opened ends early; one that grew is cut at its size at opening.
        // Either way the header records exactly what went into the parts.
        const int64_t size = source->GetSize();
        uint32_t got = 0;
        entry.Size = 0;
        do {
            const int64_t left = size - entry.Size;
            // A file that grew since the listing can need more parts than a set may have.
            if (left > 0 && Set.Room() == 0)
                return crTooManyParts;
            got = left > 0 ? source->Read(block.Data(), block.Size(std::min(Set.Room(), left))) : 0;
            if (got > 0)
                result = Set.WriteData(block.Data(), got);
            entry.Size += got;
            block.Done();
            Hooks().SetProgress(Set.BytesWritten());
            if (result == crOk && Cancelled())
                result = crCancelled;
        } while (result == crOk && got > 0);
    }
    return result;
}

TChunklerResult TChunkler::WriteHeaderFiles(TPartSetWriter& Set) {
    const std::string header = FileInfos->GetHeaderText();
    for (size_t written = 0; written < header.size();) {
        if (const TChunklerResult result = Set.BeginHeaderFile(); result != crOk)
            return result;
        written += Set.WriteHeader(std::string_view(header).substr(written));
        Hooks().SetProgress(Set.BytesWritten());
    }
    return crOk;
}
