// Checking and rebuilding the files of a set with the recovery files beside it.
#include "engine/UnitChunklerRepair.h"

#include <algorithm>
#include <cstdlib>

#include "engine/UnitSetReplacement.h"
#include "inventory/UnitFileInfo.h"
#include "support/UnitImport.h"
#include "support/UnitLanguage.h"
#include "support/UnitFileStream.h"
#include "support/UnitPar2Repair.h"

namespace {

// A file that is no larger is read into memory once and its bytes handed to the join from there, so the
// check costs no second reading; a larger one (a CD's part) is read twice.
constexpr int64_t MaxHeldFileSize = 64 << 20;
constexpr uint32_t BlockSize = 1 << 20;

// All Count bytes at Offset of Stream; False at the end of the file or on a failure.
bool ReadAt(TFileStreamLite& Stream, uint64_t Offset, void* Data, size_t Count) {
    try {
        Stream.Seek(static_cast<int64_t>(Offset), 0);
        for (auto p = static_cast<char*>(Data); Count > 0;) {
            const uint32_t n = Stream.Read(p, static_cast<uint32_t>(std::min<size_t>(Count, BlockSize)));
            if (n == 0)
                return false;
            p += n, Count -= n;
        }
        return true;
    } catch (const EExceptionLite&) {
        return false;
    }
}

class TPar2FileSource : public TPar2Source {
public:
    explicit TPar2FileSource(const std::string& FileName) : FStream(TFileStreamLite::CreateRead(FileName)) {}
    uint64_t Size() override { return static_cast<uint64_t>(FStream->GetSize()); }
    bool Read(uint64_t Offset, void* Data, size_t Count) override {
        return ReadAt(*FStream, Offset, Data, Count);
    }

private:
    std::unique_ptr<TFileStreamLite> FStream;
};

// A name from a recovery file of unknown origin names a file beside the parts, nothing else.
bool IsPlainName(const std::string& Name) {
    return !Name.empty() && Name.find_first_of("\\/:") == std::string::npos && Name != "." && Name != "..";
}

// A file being rebuilt in the output folder: read and written at any offset, removed unless kept.
class TRebuiltFile {
public:
    explicit TRebuiltFile(const std::string& FileName) {
        for (int attempt = 1; attempt < 100 && !FHandle; ++attempt) {
            FPath = BesideName(FileName, attempt);
            FHandle.Reset(CreateFileA(FPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        }
        if (!FHandle)
            throw EExceptionLite(GetLastError());
    }
    ~TRebuiltFile() {
        FHandle.Reset();
        if (!FKept)
            DeleteFileA(FPath.c_str());
    }
    bool Write(uint64_t Offset, const void* Data, size_t Count) {
        DWORD n = 0;
        return Seek(Offset) && WriteFile(FHandle.Get(), Data, static_cast<DWORD>(Count), &n, nullptr) &&
               n == Count;
    }
    bool Read(uint64_t Offset, void* Data, size_t Count) {
        DWORD n = 0;
        return Seek(Offset) && ReadFile(FHandle.Get(), Data, static_cast<DWORD>(Count), &n, nullptr) &&
               n == Count;
    }
    // The file stays, closed, for the join to read; whoever keeps it removes it.
    std::string Keep() {
        FHandle.Reset();
        FKept = true;
        return FPath;
    }

private:
    bool Seek(uint64_t Offset) {
        LARGE_INTEGER to{};
        to.QuadPart = static_cast<LONGLONG>(Offset);
        return SetFilePointerEx(FHandle.Get(), to, nullptr, FILE_BEGIN);
    }
    std::string FPath;
    TKernelHandle FHandle;
    bool FKept = false;
};

// The repair's reads and writes: input files from the parts' folder, recovery slices from the recovery
// files, rebuilt files in the output folder.
class TRepairIo : public TPar2RepairIo {
public:
    TRepairIo(const TPar2Set& ASet, std::vector<std::string> AInputs,
              std::vector<std::unique_ptr<TPar2Source>>& ASources, const std::string& AOutputDir)
        : FSet(ASet), FInputs(std::move(AInputs)), FSources(ASources), FOutputDir(AOutputDir) {}

    bool ReadInput(size_t File, uint64_t Offset, void* Data, size_t Count) override {
        auto& stream = FOpen[File];
        try {
            if (!stream)
                stream = TFileStreamLite::CreateRead(FInputs[File]);
        } catch (const EExceptionLite&) {
            return false;
        }
        return ReadAt(*stream, Offset, Data, Count);
    }
    bool ReadRecovery(size_t Source, uint64_t Offset, void* Data, size_t Count) override {
        return FSources[Source]->Read(Offset, Data, Count);
    }
    bool WriteRebuilt(size_t File, uint64_t Offset, const void* Data, size_t Count) override {
        auto& rebuilt = Rebuilt[File];
        if (!rebuilt)
            rebuilt = std::make_unique<TRebuiltFile>(AppendBackslash(FOutputDir) + FSet.Files[File].Name);
        return rebuilt->Write(Offset, Data, Count);
    }
    bool ReadRebuilt(size_t File, uint64_t Offset, void* Data, size_t Count) override {
        const auto rebuilt = Rebuilt.find(File);
        return rebuilt != Rebuilt.end() && rebuilt->second->Read(Offset, Data, Count);
    }
    // A rebuilt file is whole only with the slices that were intact where it lay: they are copied in.
    bool CopyIntactSlices(const TPar2Intact& Intact) {
        std::vector<char> slice;
        for (auto& [file, rebuilt] : Rebuilt) {
            for (size_t k = 0; k < Intact[file].size(); ++k) {
                const uint64_t from = k * FSet.SliceSize;
                slice.resize(static_cast<size_t>(std::min(FSet.SliceSize, FSet.Files[file].Length - from)));
                if (Intact[file][k] && !(ReadInput(file, from, slice.data(), slice.size()) &&
                                         rebuilt->Write(from, slice.data(), slice.size())))
                    return false;
            }
        }
        return true;
    }

    std::map<size_t, std::unique_ptr<TRebuiltFile>> Rebuilt;

private:
    const TPar2Set& FSet;
    const std::vector<std::string> FInputs;
    std::vector<std::unique_ptr<TPar2Source>>& FSources;
    const std::string FOutputDir;
    std::map<size_t, std::unique_ptr<TFileStreamLite>> FOpen;
};

} // namespace

TSetRepair::TSetRepair(const TPartSetName& Set, std::string AOutputDir)
    : FSet(Set), FOutputDir(std::move(AOutputDir)) {
    for (const WIN32_FIND_DATAA& found : FindFiles(FSet.Par2Pattern()))
        if (FSet.IsRecoveryFileName(found.cFileName))
            FPar2Files.push_back(AppendBackslash(FSet.Folder) + found.cFileName);
    // The index holds the checksums without recovery data; a volume holds them as well.
    std::stable_partition(FPar2Files.begin(), FPar2Files.end(), [&](const std::string& Path) {
        return UpperCaseStr(Path) == UpperCaseStr(FSet.Par2Index());
    });
    for (const std::string& path : FPar2Files) {
        try {
            TPar2FileSource source(path);
            FPar2 = Par2Read({&source});
        } catch (const EExceptionLite&) {
        }
        if (FPar2.Complete)
            break;
    }
    if (!FPar2.Complete)
        return;
    for (size_t i = 0; i < FPar2.Files.size(); ++i)
        if (IsPlainName(FPar2.Files[i].Name))
            FByName.emplace(UpperCaseStr(FPar2.Files[i].Name), i);
}

TSetRepair::~TSetRepair() {
    for (const auto& [file, path] : FRebuilt)
        DeleteFileA(path.c_str());
}

int TSetRepair::Find(const std::string& FileName) const {
    const auto found = FByName.find(UpperCaseStr(FileName));
    return found == FByName.end() ? -1 : static_cast<int>(found->second);
}

TCheckedFile TSetRepair::Check(const std::string& Folder, const std::string& FileName,
                               std::vector<char>& Buffer) {
    const int file = Find(FileName);
    if (file < 0)
        return {};
    if (const auto rebuilt = FRebuilt.find(static_cast<size_t>(file)); rebuilt != FRebuilt.end())
        return {TCheckedFile::Rebuilt, -1, rebuilt->second};
    std::vector<bool> slices;
    const std::string path = AppendBackslash(Folder) + FileName;
    TCheckedFile checked = Verify(static_cast<size_t>(file), path, slices, Buffer);
    if (checked.State == TCheckedFile::Intact)
        return checked;
    if (!FRepairTried && MayMakeUpFor(Folder) && RepairAll(Folder))
        return Check(Folder, FileName, Buffer);
    return checked;
}

TCheckedFile TSetRepair::Verify(size_t File, const std::string& Path, std::vector<bool>& Slices,
                                std::vector<char>& Buffer) const {
    const TPar2File& file = FPar2.Files[File];
    Slices.assign(file.Slices.size(), false);
    if (GetPathKind(Path) != pkFile)
        return {TCheckedFile::Missing, -1, ""};
    TCheckedFile checked{TCheckedFile::Damaged, -1, ""};
    bool whole = false;
    try {
        const auto stream = TFileStreamLite::CreateRead(Path);
        whole = stream->GetSize() == static_cast<int64_t>(file.Length);
        TPar2FileCheck check(file, FPar2.SliceSize);
        if (whole && static_cast<int64_t>(file.Length) <= MaxHeldFileSize) {
            if (Buffer.size() < file.Length)
                Buffer.resize(static_cast<size_t>(file.Length));
            whole = ReadAt(*stream, 0, Buffer.data(), static_cast<size_t>(file.Length));
            check.Add(Buffer.data(), static_cast<size_t>(file.Length));
            checked.Held = static_cast<int64_t>(file.Length);
        } else {
            // What a cut file still holds counts: its slices need not be rebuilt.
            std::vector<char> block(BlockSize);
            while (const uint32_t n = stream->Read(block.data(), BlockSize))
                check.Add(block.data(), n);
        }
        Slices = check.Finish();
    } catch (const EExceptionLite&) {
        whole = false;
    }
    if (whole && std::all_of(Slices.begin(), Slices.end(), [](bool Intact) { return Intact; }))
        checked.State = TCheckedFile::Intact;
    else
        checked.Held = -1;
    return checked;
}

bool TSetRepair::MayMakeUpFor(const std::string& Folder) const {
    std::vector<std::string> present;
    for (const WIN32_FIND_DATAA& found : FindFiles(AppendBackslash(Folder) + "*"))
        present.push_back(UpperCaseStr(found.cFileName));
    uint64_t missing = 0, recovery = 0;
    for (const TPar2File& file : FPar2.Files)
        if (std::find(present.begin(), present.end(), UpperCaseStr(file.Name)) == present.end())
            missing += file.Slices.size();
    // "name.vol3+4.par2" holds 4 recovery slices.
    for (const std::string& path : FPar2Files) {
        const std::string name = GetFileNamePart(path);
        const size_t plus = name.rfind('+');
        if (plus != std::string::npos)
            recovery += static_cast<uint64_t>(std::strtoull(name.c_str() + plus + 1, nullptr, 10));
    }
    return missing <= recovery;
}

bool TSetRepair::RepairAll(const std::string& Folder) {
    FRepairTried = true;
    // Now with the recovery slices of every recovery file.
    std::vector<std::unique_ptr<TPar2Source>> sources;
    std::vector<TPar2Source*> read;
    for (const std::string& path : FPar2Files) {
        try {
            read.push_back(sources.emplace_back(std::make_unique<TPar2FileSource>(path)).get());
        } catch (const EExceptionLite&) {
        }
    }
    const TPar2Set set = Par2Read(read);
    if (!set.Complete || set.SetId != FPar2.SetId || set.Files.size() != FPar2.Files.size())
        return false;
    TPar2Intact intact(set.Files.size());
    std::vector<std::string> inputs;
    std::vector<char> buffer;
    for (size_t i = 0; i < set.Files.size(); ++i) {
        inputs.push_back(IsPlainName(set.Files[i].Name) ? AppendBackslash(Folder) + set.Files[i].Name : "");
        Verify(i, inputs.back(), intact[i], buffer);
    }
    try {
        TRepairIo io(set, inputs, sources, FOutputDir);
        if (Par2Repair(set, intact, io) != TPar2RepairResult::Done || !io.CopyIntactSlices(intact))
            return false;
        for (auto& [file, rebuilt] : io.Rebuilt)
            FRebuilt.emplace(file, rebuilt->Keep());
        return true;
    } catch (const EExceptionLite&) {
        // No room for the rebuilt files in the output folder: the join goes on as without them.
        return false;
    }
}
