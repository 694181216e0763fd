// Reading a set: finding its parts, their sizes, their checksums and what the recovery files rebuild.
#include "engine/UnitChunklerReader.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <map>

#include "engine/UnitChunkler.h"
#include "engine/UnitChunklerRepair.h"
#include "support/UnitImport.h"
#include "support/UnitLanguage.h"

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
