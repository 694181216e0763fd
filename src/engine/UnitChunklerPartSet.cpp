// The part set on disk: names, the writer of a split, the reader of a join, and restored files.
#include "engine/UnitChunklerPartSet.h"

#include <algorithm>
#include <limits>
#include <map>

#include "engine/UnitChunkler.h"
#include "engine/UnitChunklerRepair.h"
#include "engine/UnitChunklerRecovery.h"
#include "support/UnitImport.h"
#include "support/UnitLanguage.h"

namespace {

// How CREATE_NEW fails where the name is taken; some file systems answer for a folder as for a file.
bool IsTaken(const EExceptionLite& Error) {
    return Error.Code == ERROR_FILE_EXISTS || Error.Code == ERROR_ALREADY_EXISTS;
}

void RemoveFiles(const std::vector<std::string>& FileNames) {
    for (const std::string& name : FileNames)
        DeleteFileA(name.c_str());
}

} // namespace

// ---- TPartSetName -------------------------------------------------------------------------------

TPartSetName TPartSetName::Of(const std::string& FileName) {
    std::string name = GetFileNamePart(FileName);
    const std::string upper = UpperCaseStr(name);
    if (upper.size() > 5 && upper.ends_with(".PAR2")) {
        name.erase(name.size() - 5);
        if (const size_t vol = upper.rfind(".VOL", name.size());
            vol != std::string::npos && vol > 0 &&
            TPartSetName("", name.substr(0, vol)).IsRecoveryFileName(GetFileNamePart(FileName)))
            name.erase(vol);
        return TPartSetName(GetParentFolder(FileName), name);
    }
    const size_t dot = name.rfind('.');
    return TPartSetName(GetParentFolder(FileName), dot == std::string::npos ? name : name.substr(0, dot));
}

std::string TPartSetName::Number3(int Number) {
    return IntToStrZeroPad(Number, 3);
}

std::string TPartSetName::File(const std::string& Suffix) const {
    return AppendBackslash(Folder) + Name + Suffix;
}

int TPartSetName::Number(const std::string& FileName, bool IsHeader) const {
    const std::string name = UpperCaseStr(FileName), prefix = UpperCaseStr(Name + (IsHeader ? ".H" : "."));
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0)
        return 0;
    const std::string digits = name.substr(prefix.size());
    // Only the names a set writes: "report.2024" or "report.0001" are the user's.
    if (!IsDigits(digits) || digits.size() > 6)
        return 0;
    const int number = std::stoi(digits);
    const bool written = number >= 1 && Number3(number) == digits && (IsHeader || number <= MaxPartCount);
    return written ? number : 0;
}

bool TPartSetName::IsRecoveryFileName(const std::string& FileName) const {
    const std::string name = UpperCaseStr(FileName), prefix = UpperCaseStr(Name + ".");
    if (name.compare(0, prefix.size(), prefix) != 0)
        return false;
    // "PAR2" for the index; "VOL" + first + "+" + count + ".PAR2" for a volume.
    const std::string rest = name.substr(prefix.size());
    if (rest == "PAR2")
        return true;
    const size_t plus = rest.find('+');
    return rest.size() > 5 && rest.ends_with(".PAR2") && rest.rfind("VOL", 0) == 0 &&
           plus != std::string::npos && IsDigits(rest.substr(3, plus - 3)) &&
           IsDigits(rest.substr(plus + 1, rest.size() - 5 - plus - 1));
}

bool TPartSetName::IsOwnSfv() const {
    TSfvFile sfv;
    // 999 lines of names of 255 characters.
    sfv.Parse(ReadFileStart(Sfv(), 600 * 1024));
    return sfv.ListsOnly([this](const std::string& Listed) { return Holds(Listed); });
}

bool TPartSetName::IsOwnRecoveryFile(const std::string& FileName,
                                     const std::vector<std::string>& Written) const {
    if (!IsRecoveryFileName(FileName))
        return false;
    for (const std::string& name : Written)
        if (UpperCaseStr(name) == UpperCaseStr(FileName))
            return true;
    // Not what "par2 create" made for the user's own file of the name.
    return IsRecoveryFileOf(AppendBackslash(Folder) + FileName,
                            [this](const std::string& N) { return Holds(N); });
}

std::vector<std::string> TPartSetName::OlderFiles(bool WithSfv, bool WithBatch,
                                                  const std::vector<std::string>& Recovery) const {
    std::vector<std::string> older;
    for (const WIN32_FIND_DATAA& found : FindFiles(Pattern()))
        if (Holds(found.cFileName) || IsOwnRecoveryFile(found.cFileName, Recovery))
            older.push_back(found.cFileName);
    if (GetPathKind(Sfv()) == pkFile && (WithSfv || IsOwnSfv()))
        older.push_back(GetFileNamePart(Sfv()));
    // A batch file of the split file's own name would be the file itself.
    const TBatchFile batch = Batch();
    if (batch.Refusal() != MsgNoBatchForOwnName && GetPathKind(batch.Path()) == pkFile &&
        (WithBatch || batch.IsOwn()))
        older.push_back(GetFileNamePart(batch.Path()));
    return older;
}

// ---- Creating files ------------------------------------------------------------------------------

// FileName created anew, or nullptr where a file of that name exists already.
static std::unique_ptr<TFileStreamLite> CreateIfNew(const TStreamMaker& Make, const std::string& FileName) {
    try {
        return Make(FileName, CREATE_NEW);
    } catch (const EExceptionLite& error) {
        // A folder of the name is no file to overwrite; creating over it fails with the system's text.
        if (!IsTaken(error) || GetPathKind(FileName) != pkFile)
            throw;
    }
    return nullptr;
}

std::unique_ptr<TFileStreamLite> CreateAsking(const TStreamMaker& Make, const std::string& FileName,
                                              TOverwriteAnswer& Answer) {
    if (auto stream = CreateIfNew(Make, FileName))
        return stream;
    if (!Answer.MayReplace(FileName))
        return nullptr;
    return Make(FileName, CREATE_ALWAYS);
}

// ---- TPartSetWriter ------------------------------------------------------------------------------

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

// ---- TRestoredFile -------------------------------------------------------------------------------

std::unique_ptr<TRestoredFile> TRestoredFile::Create(const TStreamMaker& Make, const std::string& FileName,
                                                     TOverwriteAnswer& Answer) {
    if (auto stream = CreateIfNew(Make, FileName))
        return std::unique_ptr<TRestoredFile>(new TRestoredFile(FileName, FileName, std::move(stream)));
    if (!Answer.MayReplace(FileName))
        return nullptr;
    std::string temporary;
    auto stream = CreateTemporary(Make, FileName, temporary);
    return std::unique_ptr<TRestoredFile>(new TRestoredFile(FileName, temporary, std::move(stream)));
}

std::unique_ptr<TFileStreamLite> TRestoredFile::CreateTemporary(const TStreamMaker& Make,
                                                                const std::string& FileName,
                                                                std::string& TemporaryName) {
    // A file of the temporary name may be left from a join that was killed, or belong to the user: it is
    // never written over; the next free name is taken. A file whose own path fits never fails for its
    // temporary one.
    for (int n = 1; n < 100; ++n) {
        TemporaryName = BesideName(FileName, n);
        try {
            return Make(TemporaryName, CREATE_NEW);
        } catch (const EExceptionLite& error) {
            if (!IsTaken(error))
                throw;
        }
    }
    throw EExceptionLite(ERROR_FILE_EXISTS);
}

TRestoredFile::~TRestoredFile() {
    FStream.reset();
    if (!FKept)
        DeleteFileA(FWriteName.c_str());
}

void TRestoredFile::Finish(const FILETIME& Time) {
    FStream->SetLastWriteTime(Time);
    // File systems may write a rename to the disk before the data it names: a power cut would then leave
    // an empty file where the user's good copy was.
    if (FWriteName != FRealName)
        FStream->Flush();
    FStream.reset();
}

void TRestoredFile::Keep() {
    if (FWriteName != FRealName && !MoveFileExA(FWriteName.c_str(), FRealName.c_str(),
                                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        throw EExceptionLite(GetLastError());
    FKept = true;
}

// ---- TPartSetReader ------------------------------------------------------------------------------

namespace {

// Whatever else lies in that folder under this name is not read beyond this; a set of 999 parts
// needs some 30 KB.
constexpr uint32_t MaxSfvFileSize = 1024 * 1024;

} // namespace

TPartSetReader::TPartSetReader(const std::string& AnyFileOfSet, const std::string& OutputDir, TLocate ALocate)
    : FSet(TPartSetName::Of(AnyFileOfSet)), FLocate(std::move(ALocate)),
      FRepair(std::make_unique<TSetRepair>(FSet, OutputDir)) {
    const std::string sfv = FSet.Sfv();
    if (FSet.Name.empty() || GetPathKind(sfv) != pkFile)
        return;
    std::string text(MaxSfvFileSize, '\0');
    text.resize(TFileStreamLite::CreateRead(sfv)->Read(text.data(), MaxSfvFileSize));
    // A line cut at the limit could read as another checksum.
    if (text.size() == MaxSfvFileSize)
        text.erase(text.rfind('\n') + 1);
    FSfv.Parse(text);
}

TPartSetReader::~TPartSetReader() = default;

TJobResult TPartSetReader::Open(bool IsHeader, int Number) {
    FFile.reset();
    FHeldAt = 0;
    FOpenName = GetFileNamePart(IsHeader ? FSet.Header(Number) : FSet.Part(Number));
    TCheckedFile checked = FRepair->Check(FSet.Folder, FOpenName, FHeld);
    const bool there = checked.State == TCheckedFile::Unknown
                           ? GetPathKind(AppendBackslash(FSet.Folder) + FOpenName) == pkFile
                           : checked.State != TCheckedFile::Missing;
    if (!there) {
        const TLocated found = FLocate(FSet.Folder, FOpenName);
        if (found.Result != crOk)
            return found.Result;
        FSet.Folder = found.Folder;
        checked = FRepair->Check(FSet.Folder, FOpenName, FHeld);
    }
    FHeldSize = checked.Held;
    if (checked.State == TCheckedFile::Rebuilt)
        FFile = TFileStreamLite::CreateRead(checked.RebuiltPath);
    else if (FHeldSize < 0)
        FFile = TFileStreamLite::CreateRead(AppendBackslash(FSet.Folder) + FOpenName);
    FSfv.BeginFile(FOpenName);
    FPartNumber = IsHeader ? 0 : Number;
    if (!IsHeader) {
        // A part cut short or one of another set would shift every later byte of the files restored from
        // it.
        const int64_t size = FFile ? FFile->GetSize() : FHeldSize;
        if (FPartSize < 0)
            FPartSize = NominalPartSize(size);
        if (size != ExpectedSize(Number, FPartSize))
            return {crInvalidHeader, MsgPartSizeWrong, FOpenName};
    }
    if (checked.State == TCheckedFile::Damaged)
        return {crChecksumError, MsgChecksumError, FOpenName};
    return crOk;
}

int64_t TPartSetReader::PartsNeeded(int64_t PartSize) const {
    if (PartSize <= 0)
        return FDataSize == 0 ? 1 : std::numeric_limits<int64_t>::max();
    return std::max<int64_t>(1, FDataSize / PartSize + (FDataSize % PartSize != 0));
}

int64_t TPartSetReader::ExpectedSize(int Number, int64_t PartSize) const {
    const int64_t parts = PartsNeeded(PartSize);
    if (PartSize <= 0)
        return FDataSize == 0 ? 0 : -1;
    // Past the last part only the empty one that content ending on a boundary leaves.
    return Number < parts ? PartSize : Number == parts ? FDataSize - (parts - 1) * PartSize : 0;
}

int64_t TPartSetReader::NominalPartSize(int64_t First) const {
    // Part 1 gives the size, unless part 2 gives one that the parts in the folder fit better: then part 1
    // itself is the one cut short or grown, and it is named before any of its bytes are used. A part
    // that a size needs and the folder lacks counts against it, as one of the wrong size does.
    std::map<int, int64_t> sizes;
    for (const WIN32_FIND_DATAA& found : FindFiles(FSet.Pattern()))
        if (const int number = FSet.PartNumber(found.cFileName); number > 1)
            sizes[number] = int64_t{found.nFileSizeHigh} << 32 | found.nFileSizeLow;
    const auto misfits = [&](int64_t PartSize) {
        int count = 0;
        for (int number = 2; number <= MaxPartCount; ++number) {
            const auto part = sizes.find(number);
            count += part == sizes.end() ? number <= PartsNeeded(PartSize)
                                         : part->second != ExpectedSize(number, PartSize);
        }
        return count;
    };
    const auto second = sizes.find(2);
    return second != sizes.end() && misfits(second->second) < misfits(First) ? second->second : First;
}

std::string_view TPartSetReader::ReadOpen(TCopyBlock& Block, uint32_t Count) {
    if (FFile)
        return std::string_view(Block.Data(), FFile->Read(Block.Data(), Count));
    const auto n = static_cast<size_t>(std::min<int64_t>(Count, FHeldSize - FHeldAt));
    const std::string_view bytes(FHeld.data() + FHeldAt, n);
    FHeldAt += static_cast<int64_t>(n);
    return bytes;
}

std::string_view TPartSetReader::Read(TCopyBlock& Block, uint32_t Count) {
    const std::string_view bytes = ReadOpen(Block, Count);
    FSfv.Add(bytes.data(), bytes.size());
    FDataRead += FPartNumber > 0 ? static_cast<int64_t>(bytes.size()) : 0;
    return bytes;
}

TJobResult TPartSetReader::CheckRest(TCopyBlock& Block) {
    for (std::string_view bytes = "-"; FSfv.IsRunning() && !bytes.empty();) {
        bytes = ReadOpen(Block, TCopyBlock::MaxSize);
        FSfv.Add(bytes.data(), bytes.size());
    }
    if (!FSfv.EndFile())
        return {crChecksumError, MsgChecksumError, FOpenName};
    return crOk;
}

bool TPartSetReader::IsFileOfSet(const std::string& Path) const {
    return UpperCaseStr(GetParentFolder(Path)) == UpperCaseStr(StripTrailingBackslashes(FSet.Folder)) &&
           (FSet.Holds(GetFileNamePart(Path)) || FSet.IsRecoveryFileName(GetFileNamePart(Path)));
}
