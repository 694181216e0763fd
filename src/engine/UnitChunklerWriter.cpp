// Writing a set: its parts and header files, the checksum, batch and recovery files, and the replacement
// of an older set.
#include "engine/UnitChunklerWriter.h"

#include <algorithm>
#include <limits>

#include "engine/UnitChunkler.h"
#include "engine/UnitChunklerRecovery.h"
#include "support/UnitLanguage.h"

namespace {

void RemoveFiles(const std::vector<std::string>& FileNames) {
    for (const std::string& name : FileNames)
        DeleteFileA(name.c_str());
}

} // namespace

TPartSetWriter::TPartSetWriter(TPartSetName AName, int64_t APartSize, TStreamMaker AMake,
                               TOverwriteAnswer& AOverwrite, bool AWithBatch, bool AWithSfv,
                               TSetRecovery* ARecovery)
    : FName(std::move(AName)), FPartSize(APartSize), FMake(std::move(AMake)), FOverwrite(AOverwrite),
      FWithBatch(AWithBatch), FSfv(AWithSfv), FRecovery(ARecovery) {}

TPartSetWriter::~TPartSetWriter() {
    FFile.reset();
    FBatch.reset();
    if (!FCompleted)
        RemoveFiles(FWritten);
    // FReplacement rolls back now that the names are free again.
}

TChunklerResult TPartSetWriter::Begin() {
    // Parts of an older, longer set would be joined after the new ones, its checksum file would fail the
    // new parts, and its batch file would rebuild the older file; the overwrite question covers them.
    // Files of the names the recovery files take are asked about now, not once the set is written.
    const std::vector<std::string> older = FName.OlderFiles(
        FSfv.ListsAll(), FWithBatch, FRecovery ? FRecovery->FileNames() : std::vector<std::string>{});
    if (!older.empty() && !FOverwrite.MayReplace(AppendBackslash(FName.Folder) + older.front()))
        return crCancelled;
    for (const std::string& name : older)
        FReplacement.MoveAside(AppendBackslash(FName.Folder) + name);
    return BeginFile(FName.Part(++FPartNumber));
}

std::unique_ptr<TFileStreamLite> TPartSetWriter::Create(const std::string& FileName) {
    // Created since Begin looked, by another program: replaced as the older set is, or kept.
    if (auto stream = CreateIfNew(FMake, FileName))
        return stream;
    if (!FOverwrite.MayReplace(FileName))
        return nullptr;
    FReplacement.MoveAside(FileName);
    return FMake(FileName, CREATE_NEW);
}

std::unique_ptr<TFileStreamLite> TPartSetWriter::CreateWritten(const std::string& FileName) {
    auto stream = Create(FileName);
    if (stream)
        FWritten.push_back(FileName);
    return stream;
}

TChunklerResult TPartSetWriter::BeginFile(const std::string& FileName) {
    FFile.reset();
    FFile = CreateWritten(FileName);
    if (!FFile)
        return crCancelled;
    FSfv.BeginFile(GetFileNamePart(FileName));
    if (FRecovery)
        FRecovery->BeginFile(GetFileNamePart(FileName));
    FRoom = FPartSize;
    return FHeaderNumber == 0 && !AppendBatchLine() ? crCancelled : crOk;
}

TChunklerResult TPartSetWriter::WriteData(const void* Data, uint32_t Count) {
    FFile->WriteAll(Data, Count);
    FSfv.Add(Data, Count);
    if (FRecovery)
        FRecovery->Add(Data, Count);
    FRoom -= Count;
    FWrittenBytes += Count;
    // A set has no part 1000, not even an empty one: content of exactly 999 parts ends with part 999.
    if (FRoom > 0 || FPartNumber == MaxPartCount)
        return crOk;
    return BeginFile(FName.Part(++FPartNumber));
}

TChunklerResult TPartSetWriter::BeginHeaderFile() {
    const int64_t room = FRoom;
    const TChunklerResult result = BeginFile(FName.Header(++FHeaderNumber));
    // The first header file shares the last part's disk.
    if (FHeaderNumber == 1 && room > 0)
        FRoom = room;
    return result;
}

size_t TPartSetWriter::WriteHeader(std::string_view Text) {
    const auto count = static_cast<uint32_t>(std::min<int64_t>(
        std::min<int64_t>(static_cast<int64_t>(Text.size()), FRoom), std::numeric_limits<int32_t>::max()));
    const uint32_t written = FFile->Write(Text.data(), count);
    // A write that takes nothing would create header files for ever.
    if (written == 0 || written > count)
        throw EExceptionLite(TextWriteError);
    FSfv.Add(Text.data(), written);
    if (FRecovery)
        FRecovery->Add(Text.data(), written);
    FRoom -= written;
    FWrittenBytes += written;
    return written;
}

bool TPartSetWriter::AppendBatchLine() {
    if (!FWithBatch)
        return true;
    if (!FBatch) {
        FBatch = CreateWritten(FName.Batch().Path());
        if (!FBatch)
            return false;
    }
    const std::string line = FName.Batch().Line(FPartNumber);
    // A line lost on a full disk would make the batch file rebuild a shorter file without a word.
    FBatch->WriteAll(line.data(), static_cast<uint32_t>(line.size()));
    return true;
}

TPartSetWriter::TCompletion TPartSetWriter::Complete() {
    // Closed first: the recovery files may read the parts again.
    FFile.reset();
    FBatch.reset();
    if (FSfv.ListsAll()) {
        const std::string text = FSfv.Text("Chunkler 4.0");
        auto sfv = CreateWritten(FName.Sfv());
        if (!sfv)
            return {crCancelled, {}};
        sfv->WriteAll(text.data(), static_cast<uint32_t>(text.size()));
    }
    if (FRecovery) {
        const TChunklerResult result =
            FRecovery->Write([this](const std::string& FileName) { return CreateWritten(FileName); });
        if (result != crOk)
            return {result, {}};
    }
    FCompleted = true;
    return {crOk, FReplacement.Commit()};
}
