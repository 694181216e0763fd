// The recovery files of a split: planned from the listing, fed while the parts are written, written at the
// end; and the recovery files of a set told from another tool's.
#include "engine/UnitChunklerRecovery.h"

#include <algorithm>
#include <iterator>

#include "engine/UnitChunkler.h"
#include "inventory/UnitFileInfo.h"
#include "support/UnitLanguage.h"

namespace {

constexpr size_t StartBytes = 16384; // what a File ID holds of its file
// The recovery bytes in memory at one time: a set whose count times part size exceeds it is made in
// stripes, and each stripe after the first reads the written parts again.
constexpr uint64_t StripeBudget = 128 << 20;
constexpr uint32_t BlockSize = 1 << 20;
// The packets that name the files take some 1.2 MB for 999 parts and 32768 slices.
constexpr uint64_t NamingBytes = 4 << 20;
const std::string CreatorText = "Chunkler 4.0";

// The last MaxBytes of a file, as a source of PAR2 packets.
class TFileTail : public TPar2Source {
public:
    TFileTail(const std::string& FileName, uint64_t MaxBytes) : FFile(TFileStreamLite::CreateRead(FileName)) {
        const auto size = static_cast<uint64_t>(FFile->GetSize());
        FStart = size > MaxBytes ? size - MaxBytes : 0;
        FSize = size - FStart;
    }
    uint64_t Size() override { return FSize; }
    bool Read(uint64_t Offset, void* Data, size_t Count) override {
        if (Offset > FSize || Count > FSize - Offset)
            return false;
        try {
            FFile->Seek(static_cast<int64_t>(FStart + Offset), 0);
            return FFile->Read(Data, static_cast<uint32_t>(Count)) == Count;
        } catch (const EExceptionLite&) {
            return false;
        }
    }

private:
    std::unique_ptr<TFileStreamLite> FFile;
    uint64_t FStart = 0, FSize = 0;
};

TMd5Digest Md5Of(const std::string& Bytes) {
    return TMd5::Of(Bytes.data(), Bytes.size());
}

} // namespace

bool IsRecoveryFileOf(const std::string& Path, const std::function<bool(const std::string&)>& Belongs) {
    try {
        TFileTail tail(Path, NamingBytes);
        const TPar2Set set = Par2Read({&tail});
        return set.Found() && !set.Files.empty() &&
               std::all_of(set.Files.begin(), set.Files.end(),
                           [&](const TPar2File& F) { return Belongs(F.Name); });
    } catch (const EExceptionLite&) {
        return false;
    }
}

TSetRecovery::TSetRecovery(TPartSetName ASet, int64_t APartSize, int ACount, std::function<bool()> ACancelled)
    : FSet(std::move(ASet)), FPartSize(APartSize), FCount(ACount), FCancelled(std::move(ACancelled)) {}

TSetRecovery::~TSetRecovery() = default;

void TSetRecovery::AddPlanned(const std::string& Path, int64_t Length, int64_t Offset) {
    if (Length > 0)
        FPlan.push_back({GetFileNamePart(Path), static_cast<uint64_t>(Length), Offset, {}});
}

bool TSetRecovery::Plan(const TFileInfos& Files, const std::string& Header) {
    FPlan.clear();
    // Cut as the writer cuts: every part but the last full, and content that ends on a boundary followed
    // by an empty part, except after the last part a set may have.
    const int64_t total = Files.TotalSize();
    const int parts = static_cast<int>(std::min<int64_t>(total / FPartSize + 1, MaxPartCount));
    for (int number = 1; number <= parts; ++number) {
        const int64_t at = (number - 1) * FPartSize;
        AddPlanned(FSet.Part(number), std::min(FPartSize, total - at), at);
    }
    // The first header file takes the room the last part left on its disk.
    int64_t room = FPartSize - (total - (parts - 1) * FPartSize);
    for (size_t at = 0, number = 1; at < Header.size(); ++number, room = FPartSize) {
        const auto length = static_cast<size_t>(
            std::min<int64_t>(room > 0 ? room : FPartSize, static_cast<int64_t>(Header.size() - at)));
        AddPlanned(FSet.Header(static_cast<int>(number)), static_cast<int64_t>(length), -1);
        FPlan.back().Start = Md5Of(Header.substr(at, std::min(length, StartBytes)));
        at += length;
    }
    return Choose();
}

bool TSetRecovery::Choose() {
    FChoice = {};
    if (FPlan.empty())
        return false;
    uint64_t longest = 0, total = 0;
    size_t longestName = 0;
    for (const TPlanned& file : FPlan) {
        longest = std::max(longest, file.Length);
        total += file.Length;
        longestName = std::max(longestName, file.Name.size());
    }
    // Slices in proportion to the largest file, not to a part size far beyond it (a small file on a CD's
    // part size): the recovery data of n files then take about n times that file. The room grows only
    // where the packets do not fit beside a slice of it.
    const auto partSize = static_cast<uint64_t>(FPartSize);
    for (uint64_t room = longest;; room = std::min(2 * room, partSize)) {
        FChoice = Par2ChooseSliceSize(room, FPlan.size(), total, longestName, static_cast<uint32_t>(FCount));
        if (FChoice.SliceSize > 0 || room >= partSize)
            break;
    }
    return FChoice.SliceSize > 0;
}

void TSetRecovery::MakeCreator() {
    std::vector<TPar2Input> inputs;
    for (const TPlanned& file : FPlan)
        inputs.push_back({file.Name, file.Length, file.Start});
    FCreator.reset();
    FCreator = std::make_unique<TPar2Creator>(std::move(inputs), FChoice.SliceSize, FChoice.RecoveryCount,
                                              static_cast<uint64_t>(FPartSize), CreatorText);
    const uint64_t slice = FChoice.SliceSize;
    // The creator holds the recovery bytes of the stripe and as much again (two stripes at least) of the
    // input it adds them from.
    const uint64_t stripes = FChoice.RecoveryCount + std::max<uint64_t>(FChoice.RecoveryCount, 2);
    FStripe = std::min(slice, std::max<uint64_t>(64, StripeBudget / stripes / 64 * 64));
    // Before the first byte nothing is written yet.
    if (FStripe < slice)
        FCreator->SetStripe(0, FStripe, [](size_t, uint64_t, const void*, size_t) {});
    FFed.clear();
    FFileOpen = false;
}

void TSetRecovery::Prepare(const TFileInfos& Files) {
    // The source files in the order of the content, each with the offset where it begins.
    int index = Files.NextFileIndex(0);
    int64_t begins = 0;
    for (TPlanned& part : FPlan) {
        if (part.Offset < 0)
            continue;
        const int64_t from = part.Offset, to = from + std::min<int64_t>(StartBytes, int64_t(part.Length));
        for (; index >= 0 && begins + Files.GetItem(index)->Size <= from;
             index = Files.NextFileIndex(index + 1))
            begins += Files.GetItem(index)->Size;
        std::string start;
        int64_t fileStart = begins;
        for (int i = index; i >= 0 && fileStart < to; i = Files.NextFileIndex(i + 1)) {
            const TFileInfo& file = *Files.GetItem(i);
            const int64_t first = std::max(from, fileStart), last = std::min(to, fileStart + file.Size);
            if (last > first) {
                const auto source =
                    TFileStreamLite::CreateRead(AppendBackslash(Files.BaseFolder) + file.FileName);
                source->Seek(first - fileStart, 0);
                std::string bytes(static_cast<size_t>(last - first), '\0');
                // A file that shrank since the listing gives fewer: the plan then fails to match.
                bytes.resize(source->Read(bytes.data(), static_cast<uint32_t>(bytes.size())));
                start += bytes;
            }
            fileStart += file.Size;
        }
        part.Start = Md5Of(start);
    }
    MakeCreator();
}

std::vector<std::string> TSetRecovery::FileNames() const {
    std::vector<std::string> names;
    for (const TPar2OutputFile& file : FCreator->Files())
        names.push_back(FSet.Name + file.Suffix);
    return names;
}

void TSetRecovery::BeginFile(const std::string& Name) {
    EndFile();
    FFed.push_back({Name, 0});
    FFileOpen = true;
}

void TSetRecovery::Add(const void* Data, size_t Count) {
    FFed.back().Length += Count;
    FCreator->Add(Data, Count);
}

void TSetRecovery::EndFile() {
    // An empty file is none of the recovery set's.
    if (FFileOpen && FFed.back().Length > 0)
        FCreator->EndFile();
    FFileOpen = false;
}

bool TSetRecovery::FedAsPlanned() const {
    std::vector<TFed> planned, fed;
    for (const TPlanned& file : FPlan)
        planned.push_back({file.Name, file.Length});
    std::copy_if(FFed.begin(), FFed.end(), std::back_inserter(fed),
                 [](const TFed& F) { return F.Length > 0; });
    return FCreator->Matches() &&
           std::equal(planned.begin(), planned.end(), fed.begin(), fed.end(),
                      [](const TFed& A, const TFed& B) { return A.Name == B.Name && A.Length == B.Length; });
}

bool TSetRecovery::PlanWritten() {
    FPlan.clear();
    for (const TFed& file : FFed) {
        if (file.Length == 0)
            continue;
        std::string start(StartBytes, '\0');
        start.resize(TFileStreamLite::CreateRead(AppendBackslash(FSet.Folder) + file.Name)
                         ->Read(start.data(), static_cast<uint32_t>(start.size())));
        FPlan.push_back({file.Name, file.Length, -1, Md5Of(start)});
    }
    if (!Choose())
        return false;
    MakeCreator();
    return true;
}

bool TSetRecovery::FeedWritten() {
    std::vector<char> block(BlockSize);
    for (const TPlanned& file : FPlan) {
        const auto stream = TFileStreamLite::CreateRead(AppendBackslash(FSet.Folder) + file.Name);
        for (uint32_t n = 0; (n = stream->Read(block.data(), BlockSize)) > 0;) {
            FCreator->Add(block.data(), n);
            if (FCancelled())
                return false;
        }
        FCreator->EndFile();
    }
    // Another program changed a part since it was written: the set on the disk is not the one written.
    if (!FCreator->Matches())
        throw EExceptionLite(TextWriteError);
    return true;
}

TChunklerResult TSetRecovery::Write(const TCreate& Create) {
    EndFile();
    if (!FedAsPlanned()) {
        if (!PlanWritten())
            return crInvalidSize;
        if (!FeedWritten())
            return crCancelled;
    }
    std::vector<std::unique_ptr<TFileStreamLite>> files;
    for (const std::string& name : FileNames()) {
        files.push_back(Create(AppendBackslash(FSet.Folder) + name));
        if (!files.back())
            return crCancelled;
    }
    const TPar2Write write = [&](size_t File, uint64_t Offset, const void* Data, size_t Count) {
        files[File]->Seek(static_cast<int64_t>(Offset), 0);
        files[File]->WriteAll(Data, static_cast<uint32_t>(Count));
    };
    const uint64_t slice = FChoice.SliceSize;
    for (uint64_t from = FStripe; from < slice; from += FStripe) {
        FCreator->SetStripe(from, std::min(slice, from + FStripe), write);
        if (!FeedWritten())
            return crCancelled;
    }
    FCreator->Finish(write);
    return crOk;
}
