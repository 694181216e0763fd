// The part set on disk: names, the writer of a split, the reader of a join, and restored files.
#include "engine/UnitChunklerPartSet.h"

#include <algorithm>
#include <limits>

#include "engine/UnitChunkler.h"
#include "support/UnitImport.h"
#include "support/UnitLanguage.h"

namespace {

// The longest path the ANSI functions take, and the longest name a folder entry may have.
constexpr size_t MaxPathLength = MAX_PATH - 1, MaxNameLength = 255;

// The temporary name of a restored file. It does not end in digits, so it is never taken for a part
// or header file of the set.
constexpr char TemporarySuffix[] = ".~chunkler";

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
    const std::string name = GetFileNamePart(FileName);
    const size_t dot = name.rfind('.');
    return TPartSetName(GetParentFolder(FileName), dot == std::string::npos ? name : name.substr(0, dot));
}

std::string TPartSetName::Batch() const {
    return StripExtension(File("")) + ".bat";
}

std::string TPartSetName::Number3(int Number) {
    return IntToStrZeroPad(Number, 3);
}

std::string TPartSetName::File(const std::string& Suffix) const {
    return AppendBackslash(Folder) + Name + Suffix;
}

bool TPartSetName::Holds(const std::string& FileName, bool OrSfv) const {
    const std::string name = UpperCaseStr(FileName), prefix = UpperCaseStr(Name + ".");
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0)
        return false;
    std::string tail = name.substr(prefix.size());
    if (OrSfv && tail == "SFV")
        return true;
    if (tail[0] == 'H')
        tail.erase(0, 1);
    return tail.size() >= 3 && IsDigits(tail);
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

void TCopyBlock::Done() {
    const DWORD now = GetTickCount(), took = now - FLast;
    FLast = now;
    if (took < 50 && FSize < MaxSize)
        FSize *= 2;
    else if (took > 250 && FSize > MinSize)
        FSize /= 2;
}

// ---- TPartSetWriter ------------------------------------------------------------------------------

TPartSetWriter::TPartSetWriter(TPartSetName AName, int64_t APartSize, TStreamMaker AMake,
                               TOverwriteAnswer& AOverwrite, bool AWithBatch, bool AWithSfv)
    : FName(std::move(AName)), FPartSize(APartSize), FMake(std::move(AMake)), FOverwrite(AOverwrite),
      FWithBatch(AWithBatch), FSfv(AWithSfv) {}

TPartSetWriter::~TPartSetWriter() {
    FFile.reset();
    FBatch.reset();
    if (!FCompleted)
        RemoveFiles(FWritten);
}

TChunklerResult TPartSetWriter::Begin() {
    // Parts of an older, longer set would be joined after the new ones, and its checksum file would fail
    // the new parts; they are being replaced, so the overwrite question covers them.
    WIN32_FIND_DATAA data{};
    const TScopedHandle<HANDLE, &FindClose> search(FindFirstFileA(FName.Pattern().c_str(), &data));
    for (bool more = bool(search); more; more = FindNextFileA(search.Get(), &data))
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && FName.Holds(data.cFileName, true))
            FOlder.push_back(data.cFileName);
    if (!FOlder.empty() && !FOverwrite.MayReplace(AppendBackslash(FName.Folder) + FOlder.front()))
        return crCancelled;
    return BeginFile(FName.Part(++FPartNumber));
}

TChunklerResult TPartSetWriter::BeginFile(const std::string& FileName) {
    FFile.reset();
    FFile = CreateAsking(FMake, FileName, FOverwrite);
    if (!FFile)
        return crCancelled;
    FWritten.push_back(FileName);
    FSfv.BeginFile(GetFileNamePart(FileName));
    FRoom = FPartSize;
    return FHeaderNumber == 0 && !AppendBatchLine() ? crCancelled : crOk;
}

TChunklerResult TPartSetWriter::WriteData(const void* Data, uint32_t Count) {
    FFile->WriteAll(Data, Count);
    FSfv.Add(Data, Count);
    FRoom -= Count;
    FWrittenBytes += Count;
    return FRoom == 0 ? BeginFile(FName.Part(++FPartNumber)) : crOk;
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
    FRoom -= written;
    FWrittenBytes += written;
    return written;
}

bool TPartSetWriter::AppendBatchLine() {
    if (!FWithBatch)
        return true;
    // Inside a batch file a single "%" starts a variable, even between quotes; "%%" is one "%".
    std::string name;
    for (const char c : FName.Name)
        name += c == '%' ? std::string("%%") : std::string(1, c);
    const std::string part = name + "." + IntToStrZeroPad(FPartNumber, 3);
    std::string line;
    if (!FBatch) {
        FBatch = CreateAsking(FMake, FName.Batch(), FOverwrite);
        if (!FBatch)
            return false;
        FWritten.push_back(FName.Batch());
        line = "copy /b \"" + part + "\" \"" + name + "\"\r\n";
    } else {
        line = "copy /b \"" + name + "\" + \"" + part + "\"\r\n";
    }
    // The command interpreter reads the OEM code page; one byte stays one byte.
    CharToOemA(line.data(), line.data());
    // A line lost on a full disk would make the batch file rebuild a shorter file without a word.
    FBatch->WriteAll(line.data(), static_cast<uint32_t>(line.size()));
    return true;
}

TChunklerResult TPartSetWriter::Complete() {
    if (FSfv.ListsAll()) {
        const std::string text = FSfv.Text("Chunkler 4.0");
        auto sfv = CreateAsking(FMake, FName.Sfv(), FOverwrite);
        if (!sfv)
            return crCancelled;
        FWritten.push_back(FName.Sfv());
        sfv->WriteAll(text.data(), static_cast<uint32_t>(text.size()));
    }
    FFile.reset();
    FBatch.reset();
    for (const std::string& older : FOlder) {
        const std::string path = AppendBackslash(FName.Folder) + older;
        const bool replaced = std::any_of(FWritten.begin(), FWritten.end(), [&](const std::string& Written) {
            return UpperCaseStr(Written) == UpperCaseStr(path);
        });
        if (!replaced && !DeleteFileA(path.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND)
            throw EExceptionLite(GetLastError());
    }
    FCompleted = true;
    return crOk;
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
    // never written over; the next free name is taken. Where the name with the suffix would be too long
    // for a path or a folder entry, the end of the real name gives way to a shorter mark, so a file whose
    // own path fits never fails for its temporary one.
    const std::string folder = GetParentFolder(FileName) + "\\", name = GetFileNamePart(FileName);
    const bool suffixFits = FileName.size() + sizeof TemporarySuffix + 1 <= MaxPathLength &&
                            name.size() + sizeof TemporarySuffix + 1 <= MaxNameLength;
    for (int n = 1; n < 100; ++n) {
        if (suffixFits) {
            TemporaryName = FileName + TemporarySuffix + (n > 1 ? std::to_string(n) : "");
        } else {
            // "~", "~2~", "~3~", ...: never ends in a digit, and no longer than the name it stands for.
            std::string mark = n == 1 ? "~" : "~" + std::to_string(n) + "~";
            mark.erase(0, mark.size() - std::min(mark.size(), name.size()));
            TemporaryName = folder + name.substr(0, name.size() - mark.size()) + mark;
        }
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

TPartSetReader::TPartSetReader(const std::string& AnyFileOfSet, TLocate ALocate)
    : FSet(TPartSetName::Of(AnyFileOfSet)), FLocate(std::move(ALocate)) {
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

TChunklerResult TPartSetReader::Open(bool IsHeader, int Number) {
    FFile.reset();
    const std::string path = IsHeader ? FSet.Header(Number) : FSet.Part(Number);
    FOpenName = GetFileNamePart(path);
    if (GetPathKind(path) != pkFile) {
        const TLocated found = FLocate(FSet.Folder, FOpenName);
        if (found.Result != crOk)
            return found.Result;
        FSet.Folder = found.Folder;
    }
    FFile = TFileStreamLite::CreateRead(AppendBackslash(FSet.Folder) + FOpenName);
    FSfv.BeginFile(FOpenName);
    FPartNumber = IsHeader ? 0 : Number;
    if (!IsHeader && FFirstPartSize < 0)
        FFirstPartSize = FFile->GetSize();
    return crOk;
}

uint32_t TPartSetReader::Read(void* Buffer, uint32_t Count) {
    const uint32_t n = FFile->Read(Buffer, Count);
    FSfv.Add(Buffer, n);
    FDataRead += FPartNumber > 0 ? n : 0;
    return n;
}

TChunklerResult TPartSetReader::NextPart(TCopyBlock& Block) {
    if (const TChunklerResult result = CheckRest(Block); result != crOk)
        return result;
    // Every part but the last holds as much as the first: a shorter one was cut, a longer one belongs
    // to another set, and reading on would shift every later byte while the join reported success.
    if (FFile->GetSize() != FFirstPartSize) {
        DamagedName = FOpenName;
        return crInvalidHeader;
    }
    return Open(false, FPartNumber + 1);
}

TChunklerResult TPartSetReader::CheckRest(TCopyBlock& Block) {
    for (uint32_t n = 1; FSfv.IsRunning() && n > 0;)
        FSfv.Add(Block.Data(), n = FFile->Read(Block.Data(), TCopyBlock::MaxSize));
    if (!FSfv.EndFile()) {
        DamagedName = FOpenName;
        return crChecksumError;
    }
    for (const auto& file : FWaiting)
        file->Keep();
    FWaiting.clear();
    return crOk;
}

void TPartSetReader::Hold(std::unique_ptr<TRestoredFile> File) {
    FWaiting.push_back(std::move(File));
    if (!FSfv.IsRunning()) {
        FWaiting.back()->Keep();
        FWaiting.clear();
    }
}

bool TPartSetReader::IsFileOfSet(const std::string& Path) const {
    return UpperCaseStr(GetParentFolder(Path)) == UpperCaseStr(StripTrailingBackslashes(FSet.Folder)) &&
           FSet.Holds(GetFileNamePart(Path));
}
