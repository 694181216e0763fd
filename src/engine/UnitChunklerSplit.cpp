// The copy phase of a split: data parts, header files, the joining batch file and the program copy.
#include <limits>
#include <vector>

#include "engine/UnitChunkler.h"
#include "support/UnitImport.h"
#include "support/UnitLanguage.h"

std::string TChunkler::PartFileName(bool IsHeader, int Number) const {
    return AppendBackslash(Params->OutputDir) + FileInfos->GetItem(0)->FileName + (IsHeader ? ".h" : ".") +
           IntToStrZeroPad(Number, 3);
}

int TChunkler::OpenNextSourceFile(std::unique_ptr<TFileStreamLite>& Stream, int FromIndex) {
    Stream.reset();
    const int index = FileInfos->NextFileIndex(FromIndex);
    if (index < 0)
        return -1;
    TFileInfo* info = FileInfos->GetItem(index);
    Stream = TFileStreamLite::CreateRead(AppendBackslash(FileInfos->BaseFolder) + info->FileName);
    // The size at opening, not the scan's: it is the most the copy will take from this file.
    info->Size = Stream->GetSize();
    return index;
}

TChunklerResult TChunkler::CreatePartFile(std::unique_ptr<TFileStreamLite>& Stream, bool& OverwriteAll,
                                          bool IsHeader, int Number) {
    Stream.reset();
    const std::string name = PartFileName(IsHeader, Number);
    if (!MayCreateFile(name, OverwriteAll))
        return crCancelled;
    Stream = TFileStreamLite::CreateWrite(name);
    Sfv.BeginFile(GetFileNamePart(name));
    return crOk;
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
    BatchStream->WriteAll(line.data(), static_cast<uint32_t>(line.size()));
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
    HeaderFilesWritten = 0;
    std::unique_ptr<TFileStreamLite> part;
    try {
        bool overwriteAll = false;
        int64_t leftInPart = Params->PartSize;
        int64_t done = 0;
        Sfv = TSfvFile(Params->CreateSfv);
        TChunklerResult result = WriteDataParts(part, leftInPart, done, overwriteAll);
        if (result == crOk)
            result = WriteHeaderFiles(part, leftInPart, done, overwriteAll);
        if (result == crOk && Params->CreateSfv)
            result = WriteSfvFile(overwriteAll);
        return result;
    } catch (const EExceptionLite& error) {
        // Closed before the box appears, so the user can look at the files while it is shown.
        part.reset();
        ShowMessage(error.Message, MB_OK | MB_ICONERROR);
        return crFileError;
    }
}

TChunklerResult TChunkler::WriteDataParts(std::unique_ptr<TFileStreamLite>& Part, int64_t& LeftInPart,
                                          int64_t& Done, bool& OverwriteAll) {
    std::vector<char> buffer(CopyBlockSize);
    std::unique_ptr<TFileStreamLite> source, batch;
    int sourceIndex = OpenNextSourceFile(source, 0);
    // Bytes of the current source file still to copy, and copied so far.
    int64_t leftInFile = source ? FileInfos->GetItem(sourceIndex)->Size : 0;
    int64_t copiedFromFile = 0;
    int partNumber = 1;
    TChunklerResult result = CreatePartFile(Part, OverwriteAll, false, partNumber);
    AppendBatchLine(batch, partNumber);

    while (result == crOk && source) {
        const auto want = static_cast<uint32_t>(MinInt64(MinInt64(CopyBlockSize, LeftInPart), leftInFile));
        const uint32_t got = want > 0 ? source->Read(buffer.data(), want) : 0;
        if (got > 0) {
            Part->WriteAll(buffer.data(), got);
            Sfv.Add(buffer.data(), got);
            LeftInPart -= got;
            leftInFile -= got;
            copiedFromFile += got;
            Done += got;
        } else {
            // A file that shrank since it was opened ends early; one that grew is cut at its size at
            // opening. Either way the header records exactly what went into the parts.
            FileInfos->GetItem(sourceIndex)->Size = copiedFromFile;
            sourceIndex = OpenNextSourceFile(source, sourceIndex + 1);
            leftInFile = source ? FileInfos->GetItem(sourceIndex)->Size : 0;
            copiedFromFile = 0;
        }
        // The next part is opened before it is known whether more data follow, so content that ends on
        // a part boundary leaves an empty last part.
        if (LeftInPart == 0 && source) {
            result = CreatePartFile(Part, OverwriteAll, false, ++partNumber);
            AppendBatchLine(batch, partNumber);
            LeftInPart = Params->PartSize;
        }
        Hooks().SetProgress(Done);
        if (Hooks().CheckUserCancel(Caption))
            result = crCancelled;
    }
    return result;
}

TChunklerResult TChunkler::WriteHeaderFiles(std::unique_ptr<TFileStreamLite>& Part, int64_t LeftInPart,
                                            int64_t Done, bool& OverwriteAll) {
    const std::string header = FileInfos->GetHeaderText();
    size_t written = 0;
    // The first header file takes what the last part left free, every further one a whole part. Each
    // header file gets one write: whatever a short write leaves goes into the next header file, so the
    // files never hold more than their disks took.
    for (int number = 1; written < header.size(); ++number) {
        const TChunklerResult result = CreatePartFile(Part, OverwriteAll, true, number);
        if (result != crOk)
            return result;
        HeaderFilesWritten = number;
        if (LeftInPart == 0)
            LeftInPart = Params->PartSize;
        const auto count = static_cast<uint32_t>(
            MinInt64(MinInt64(static_cast<int64_t>(header.size() - written), LeftInPart),
                     std::numeric_limits<int32_t>::max()));
        const uint32_t w = Part->Write(header.data() + written, count);
        // A write that takes nothing would create header files for ever.
        if (w == 0 || w > count)
            throw EExceptionLite(TextWriteError);
        Sfv.Add(header.data() + written, w);
        written += w;
        LeftInPart -= w;
        Done += w;
        Hooks().SetProgress(Done);
    }
    return crOk;
}
