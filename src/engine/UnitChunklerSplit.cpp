// The copy phase of a split: data parts, header files, the joining batch file and the program copy.
#include <limits>
#include <vector>

#include "engine/UnitChunkler.h"
#include "support/UnitImport.h"
#include "support/UnitLanguage.h"

uint32_t (*TChunkler::PartDataWriter)(TFileStreamLite& Stream, const void* Buffer, uint32_t Count) = nullptr;

uint32_t TChunkler::WritePartData(TFileStreamLite& Stream, const void* Buffer, uint32_t Count) {
    return PartDataWriter ? PartDataWriter(Stream, Buffer, Count) : Stream.Write(Buffer, Count);
}

std::string TChunkler::PartFileName(bool IsHeader, int Number) const {
    return AppendBackslash(Params->OutputDir) + FileInfos->GetItem(0)->FileName + (IsHeader ? ".h" : ".") +
           IntToStrZeroPad(Number, 3);
}

int TChunkler::OpenNextSourceFile(std::unique_ptr<TFileStreamLite>& Stream, int FromIndex) {
    FreeAndClear(Stream);
    const int index = FileInfos->NextFileIndex(FromIndex);
    if (index < 0)
        return -1;
    TFileInfo* info = FileInfos->GetItem(index);
    Stream = TFileStreamLite::CreateRead(AppendBackslash(FileInfos->BaseFolder) + info->FileName);
    // The size at opening, not the scan's: it is the most the copy will take from this file.
    info->Size = Stream->GetSize();
    return index;
}

int TChunkler::CreatePartFile(std::unique_ptr<TFileStreamLite>& Stream, TChunklerResult& Result,
                              bool& OverwriteAll, bool IsHeader, int Number) {
    FreeAndClear(Stream);
    const std::string name = PartFileName(IsHeader, Number);
    if (MayCreateFile(name, OverwriteAll))
        Stream = TFileStreamLite::CreateWrite(name);
    else
        Result = crCancelled;
    return Number;
}

bool TChunkler::OemHoldsName(const std::string& Name) {
    std::string oem(Name.size(), '\0'), back(Name.size(), '\0');
    CharToOemBuffA(Name.data(), oem.data(), static_cast<DWORD>(Name.size()));
    OemToCharBuffA(oem.data(), back.data(), static_cast<DWORD>(oem.size()));
    return back == Name;
}

void TChunkler::AppendBatchLine(std::unique_ptr<TFileStreamLite>& BatchStream, int Number) {
    if (!Params->CreateBatch)
        return;
    const std::string base = AppendBackslash(Params->OutputDir) + FileInfos->GetItem(0)->FileName;
    // Inside a batch file a single "%" starts a variable, even between quotes; "%%" is one "%".
    std::string name;
    for (const char c : GetFileNamePart(base))
        name += c == '%' ? std::string("%%") : std::string(1, c);
    const std::string part = name + "." + IntToStrZeroPad(Number, 3);
    std::string line;
    if (!BatchStream) {
        BatchStream = TFileStreamLite::CreateWrite(StripExtension(base) + ".bat");
        line = "copy /b \"" + part + "\" \"" + name + "\"\r\n";
    } else {
        line = "copy /b \"" + name + "\" + \"" + part + "\"\r\n";
    }
    // The command interpreter reads the OEM code page; one byte stays one byte.
    CharToOemA(line.data(), line.data());
    // A line lost on a full disk would make the batch file rebuild a shorter file without a word.
    if (BatchStream->Write(line.data(), static_cast<uint32_t>(line.size())) != line.size())
        throw EExceptionLite(TextWriteError);
}

void TChunkler::CopyProgramFile() {
    char self[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    // Never replaces a Chunkler.exe that is already there; a failed copy does not concern the split.
    CopyFileA(self, (AppendBackslash(Params->OutputDir) + "Chunkler.exe").c_str(), TRUE);
}

TChunklerResult TChunkler::WriteParts() {
    TChunklerResult result = crOk;
    std::unique_ptr<TFileStreamLite> source, part, batch;
    HeaderFilesWritten = 0;
    try {
        std::vector<char> buffer(CopyBlockSize);
        bool overwriteAll = false;

        int sourceIndex = OpenNextSourceFile(source, 0);
        // Bytes of the current source file still to copy, and copied so far.
        int64_t leftInFile = source ? FileInfos->GetItem(sourceIndex)->Size : 0;
        int64_t copiedFromFile = 0;
        int partNumber = CreatePartFile(part, result, overwriteAll, false, 1);
        AppendBatchLine(batch, partNumber);
        int64_t leftInPart = Params->PartSize;
        int64_t done = 0;

        while (result == crOk && source && part) {
            const auto want =
                static_cast<uint32_t>(MinInt64(MinInt64(CopyBlockSize, leftInPart), leftInFile));
            const uint32_t got = want > 0 ? source->Read(buffer.data(), want) : 0;
            if (got > 0) {
                // A nearly full disk may take only some of the bytes and still report success. One more
                // try lets a full disk fail with the system's own text; a part that still falls short
                // would no longer hold what the header describes.
                uint32_t w = WritePartData(*part, buffer.data(), got);
                if (w > 0 && w < got)
                    w += WritePartData(*part, buffer.data() + w, got - w);
                if (w != got)
                    throw EExceptionLite(TextWriteError);
                leftInPart -= got;
                leftInFile -= got;
                copiedFromFile += got;
                done += got;
            } else {
                // A file that shrank since it was opened ends early; one that grew is cut at its size
                // at opening. Either way the header records exactly what went into the parts.
                FileInfos->GetItem(sourceIndex)->Size = copiedFromFile;
                sourceIndex = OpenNextSourceFile(source, sourceIndex + 1);
                leftInFile = source ? FileInfos->GetItem(sourceIndex)->Size : 0;
                copiedFromFile = 0;
            }
            // The next part is opened before it is known whether more data follow, so content that
            // ends on a part boundary leaves an empty last part.
            if (leftInPart == 0 && source) {
                partNumber = CreatePartFile(part, result, overwriteAll, false, partNumber + 1);
                AppendBatchLine(batch, partNumber);
                leftInPart = Params->PartSize;
            }
            SetProgress(done);
            if (CheckUserCancel(Caption))
                result = crCancelled;
        }

        if (result == crOk) {
            const std::string header = FileInfos->GetHeaderText();
            size_t written = 0;
            int headerNumber = 0;
            // The first header file takes what the last part left free, every further one a whole part.
            // Whatever a short write leaves goes into the next header file.
            while (written < header.size()) {
                headerNumber = CreatePartFile(part, result, overwriteAll, true, headerNumber + 1);
                if (result != crOk)
                    break;
                HeaderFilesWritten = headerNumber;
                if (leftInPart == 0)
                    leftInPart = Params->PartSize;
                const auto count = static_cast<uint32_t>(
                    MinInt64(MinInt64(static_cast<int64_t>(header.size() - written), leftInPart),
                             std::numeric_limits<int32_t>::max()));
                const uint32_t w = WritePartData(*part, header.data() + written, count);
                // A write that takes nothing would create header files for ever.
                if (w == 0 || w > count)
                    throw EExceptionLite(TextWriteError);
                written += w;
                leftInPart -= w;
                done += w;
                SetProgress(done);
            }
        }
    } catch (const EExceptionLite& error) {
        result = crFileError;
        // Closed before the box appears, so the user can look at the files while it is shown.
        FreeAndClear(source);
        FreeAndClear(part);
        FreeAndClear(batch);
        ShowFileError(error);
    }
    FreeAndClear(source);
    FreeAndClear(part);
    FreeAndClear(batch);
    return result;
}
