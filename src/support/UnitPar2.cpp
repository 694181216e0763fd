#include "support/UnitPar2.h"

#include <algorithm>
#include <cstring>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

#include "support/UnitCrc32.h"
#include "support/UnitGf16.h"

namespace {

// Packet types: 16 bytes each, zero-padded.
const std::string TypeMain("PAR 2.0\0Main\0\0\0\0", 16), TypeFileDesc("PAR 2.0\0FileDesc", 16),
    TypeIfsc("PAR 2.0\0IFSC\0\0\0\0", 16), TypeRecovery("PAR 2.0\0RecvSlic", 16),
    TypeCreator("PAR 2.0\0Creator\0", 16);
const std::string Magic("PAR2\0PKT", 8);

constexpr uint64_t HeaderSize = 64;         // magic, length, packet MD5, set ID, type
constexpr uint64_t RecoveryOverhead = 68;   // header and exponent
constexpr uint32_t MaxSlices = 32768;       // input slices have 32768 constants
constexpr uint64_t MaxPacketHeld = 1 << 24; // a main or checksum packet of 32768 files or slices is 640 KB

void Put64(std::string& S, uint64_t V) {
    for (int i = 0; i < 8; ++i)
        S += static_cast<char>(V >> (8 * i));
}
void Put32(std::string& S, uint32_t V) {
    for (int i = 0; i < 4; ++i)
        S += static_cast<char>(V >> (8 * i));
}
uint64_t Get64(const void* P) {
    uint64_t v;
    std::memcpy(&v, P, 8);
    return v;
}
uint32_t Get32(const void* P) {
    uint32_t v;
    std::memcpy(&v, P, 4);
    return v;
}
std::string Bytes(const TMd5Digest& D) {
    return std::string(reinterpret_cast<const char*>(D.data()), D.size());
}
TMd5Digest Digest(const char* P) {
    TMd5Digest d;
    std::memcpy(d.data(), P, d.size());
    return d;
}
uint64_t Pad4(uint64_t N) {
    return (N + 3) / 4 * 4;
}
uint64_t SlicesOf(uint64_t Length, uint64_t SliceSize) {
    return Length / SliceSize + (Length % SliceSize != 0);
}

// A whole packet: the header's MD5 covers the set ID, the type and the body.
std::string Packet(const TMd5Digest& SetId, const std::string& Type, const std::string& Body) {
    const std::string hashed = Bytes(SetId) + Type + Body;
    std::string p = Magic;
    Put64(p, HeaderSize - 32 + hashed.size());
    return p + Bytes(TMd5::Of(hashed.data(), hashed.size())) + hashed;
}

std::string Padded(const std::string& Text) {
    return Text + std::string((4 - Text.size() % 4) % 4, '\0');
}

// Sizes of the packets every recovery file repeats, from the plan alone.
uint64_t DescriptionBytes(const std::string& Name) {
    return HeaderSize + 56 + Pad4(Name.size());
}
uint64_t ChecksumBytes(uint64_t Slices) {
    return HeaderSize + 16 + 20 * Slices;
}
uint64_t MainBytes(uint64_t Files) {
    return HeaderSize + 12 + 16 * Files;
}

size_t Digits(uint64_t N) {
    return std::to_string(N).size();
}
std::string ZeroPadded(uint64_t N, size_t Width) {
    const std::string s = std::to_string(N);
    return std::string(Width > s.size() ? Width - s.size() : 0, '0') + s;
}

const uint8_t Zeros[4096] = {};

template <class F> void ForZeros(uint64_t Count, F Add) {
    for (; Count > 0; Count -= std::min<uint64_t>(Count, sizeof Zeros))
        Add(Zeros, static_cast<size_t>(std::min<uint64_t>(Count, sizeof Zeros)));
}

// One thread of its owner's that runs a job at a time while the owner goes on; the owner waits for each
// job before it starts the next or uses what the job uses. A job's exception is raised by Wait, and the
// thread ends with the object. The thread starts with the first job: under Wine a start costs a
// millisecond or two, too much for every job.
class TWorker {
public:
    TWorker() = default;
    TWorker(const TWorker&) = delete;
    TWorker& operator=(const TWorker&) = delete;
    ~TWorker() {
        {
            std::lock_guard<std::mutex> lock(FMutex);
            FStop = true;
        }
        FChanged.notify_all();
        if (FThread.joinable())
            FThread.join();
    }
    void Start(std::function<void()> Job) {
        Wait();
        std::lock_guard<std::mutex> lock(FMutex);
        FJob = std::move(Job);
        if (!FThread.joinable())
            FThread = std::thread([this] { Run(); });
        FChanged.notify_all();
    }
    void Wait() {
        std::unique_lock<std::mutex> lock(FMutex);
        FChanged.wait(lock, [this] { return !FJob; });
        if (FError)
            std::rethrow_exception(std::exchange(FError, nullptr));
    }

private:
    std::mutex FMutex;
    std::condition_variable FChanged;
    std::function<void()> FJob; // set while a job waits or runs
    std::exception_ptr FError;
    bool FStop = false;
    std::thread FThread;

    void Run() {
        std::unique_lock<std::mutex> lock(FMutex);
        for (;;) {
            FChanged.wait(lock, [this] { return FJob || FStop; });
            if (!FJob)
                return;
            lock.unlock();
            std::exception_ptr error;
            try {
                FJob();
            } catch (...) {
                error = std::current_exception();
            }
            lock.lock();
            FError = error;
            FJob = nullptr;
            FChanged.notify_all();
        }
    }
};

} // namespace

TMd5Digest Par2FileId(const TMd5Digest& Md5First16k, uint64_t Length, const std::string& Name) {
    std::string s = Bytes(Md5First16k);
    Put64(s, Length);
    s += Name;
    return TMd5::Of(s.data(), s.size());
}

TPar2Choice Par2ChooseSliceSize(uint64_t PartSize, size_t FileCount, uint64_t TotalSize, size_t LongestName,
                                uint32_t LostFiles) {
    const uint64_t creator = HeaderSize + 64; // room for a creator text of up to 64 bytes
    for (uint64_t m = 2; m <= MaxSlices; ++m) {
        const uint64_t slice = (PartSize / m + (PartSize % m != 0) + 63) / 64 * 64;
        const uint64_t slices = TotalSize / slice + FileCount; // at most one partial slice per file
        const uint64_t critical =
            MainBytes(FileCount) +
            FileCount * (DescriptionBytes(std::string(LongestName, 'x')) + ChecksumBytes(0)) + 20 * slices +
            creator;
        if (slices > MaxSlices || uint64_t{LostFiles} * m > MaxSlices || slice < 4)
            break;
        if (critical + RecoveryOverhead + slice <= PartSize)
            return {slice, static_cast<uint32_t>(m), static_cast<uint32_t>(LostFiles * m)};
    }
    return {};
}

// ---- Creation

struct TPar2Creator::TState {
    struct TFile {
        TPar2Input Plan;
        TPar2File Done; // the sums, once fed
        uint32_t FirstSlice = 0;
    };
    std::vector<TFile> Files;    // in the plan's order
    std::vector<size_t> IdOrder; // plan indices by File ID
    uint64_t SliceSize = 0, PerVolume = 0;
    uint32_t RecoveryCount = 0;
    bool Valid = false, Matches = true, FirstPass = true;
    TMd5Digest SetId{};
    std::string MainPacket, CreatorPacket;
    std::vector<TPar2OutputFile> Outputs;
    uint64_t CriticalBytes = 0;

    // Feeding: the current file, its position, its sums.
    size_t Current = 0;
    uint64_t Pos = 0;
    TMd5 FileMd5, First16k, SliceMd5;
    TCrc32 SliceCrc;
    // The stripe and the recovery bytes of it, slice after slice; the packet MD5s go on from pass to pass.
    uint64_t From = 0, To = 0;
    std::vector<uint8_t> Recovery;
    std::vector<TMd5> PacketMd5;
    // The stripes of a few input slices gathered for the multiply-add, with their factors (Held slices of
    // RecoveryCount each): each recovery byte is then read and written once for all of them, which more
    // than halves the time for 20 recovery slices. The worker adds one batch while the next is summed and
    // gathered.
    size_t BatchSlices = 1;
    std::vector<uint8_t> Batch, Adding;
    std::vector<uint16_t> Factors, AddingFactors;
    size_t Held = 0;

    // The stripe's recovery bytes are held in memory, so they fit a size_t.
    size_t Width() const { return static_cast<size_t>(To - From); }
    void StartSlice();
    void EndSlice(uint64_t Filled);
    void AddBatch();
    void Wait() { Worker.Wait(); }
    uint64_t RecoveryOffset(uint32_t Exponent) const {
        const uint64_t volume = Exponent / PerVolume, first = volume * PerVolume;
        return (Exponent - first) * (RecoveryOverhead + SliceSize) + RecoveryOverhead;
    }
    size_t RecoveryFile(uint32_t Exponent) const { return 1 + static_cast<size_t>(Exponent / PerVolume); }
    void WriteStripe(const TPar2Write& Write);
    std::string Critical() const;
    TWorker Worker; // last, so that it is waited for before anything its job uses goes
};

TPar2Creator::TPar2Creator(std::vector<TPar2Input> Plan, uint64_t SliceSize, uint32_t RecoveryCount,
                           uint64_t MaxFileSize, const std::string& CreatorText)
    : S(std::make_unique<TState>()) {
    S->SliceSize = SliceSize;
    S->RecoveryCount = RecoveryCount;
    if (Plan.empty() || SliceSize == 0 || SliceSize % 4 != 0 || RecoveryCount > MaxSlices)
        return;
    std::vector<TMd5Digest> ids;
    for (auto& input : Plan) {
        TState::TFile f;
        f.Done.Id = Par2FileId(input.Md5First16k, input.Length, input.Name);
        f.Done.Name = input.Name;
        f.Done.Length = input.Length;
        f.Plan = std::move(input);
        ids.push_back(f.Done.Id);
        S->Files.push_back(std::move(f));
        S->IdOrder.push_back(S->IdOrder.size());
    }
    std::sort(S->IdOrder.begin(), S->IdOrder.end(), [&](size_t A, size_t B) { return ids[A] < ids[B]; });
    // The main packet names the files by ID in ascending order; equal IDs would be one file to a reader.
    uint64_t slices = 0, critical = MainBytes(Plan.size());
    std::string main;
    Put64(main, SliceSize);
    Put32(main, static_cast<uint32_t>(Plan.size()));
    for (size_t k = 0; k < S->IdOrder.size(); ++k) {
        TState::TFile& f = S->Files[S->IdOrder[k]];
        if (f.Plan.Length == 0 || (k > 0 && ids[S->IdOrder[k - 1]] == f.Done.Id))
            return;
        f.FirstSlice = static_cast<uint32_t>(std::min<uint64_t>(slices, MaxSlices));
        slices += SlicesOf(f.Plan.Length, SliceSize);
        critical += DescriptionBytes(f.Plan.Name) + ChecksumBytes(SlicesOf(f.Plan.Length, SliceSize));
        main += Bytes(f.Done.Id);
    }
    S->SetId = TMd5::Of(main.data(), main.size());
    S->MainPacket = Packet(S->SetId, TypeMain, main);
    S->CreatorPacket = Packet(S->SetId, TypeCreator, Padded(CreatorText));
    S->CriticalBytes = critical + S->CreatorPacket.size();
    const uint64_t limit = MaxFileSize ? MaxFileSize : UINT64_MAX;
    if (slices > MaxSlices || S->CriticalBytes > limit)
        return;
    if (RecoveryCount > 0) {
        const uint64_t room = (limit - S->CriticalBytes) / (RecoveryOverhead + SliceSize);
        if (room == 0)
            return;
        S->PerVolume = std::min<uint64_t>(room, RecoveryCount);
    }
    // Named as par2cmdline names them: the first exponent as wide as the count of recovery slices, the
    // count as wide as the largest.
    S->Outputs.push_back({".par2", S->CriticalBytes});
    for (uint64_t first = 0; first < RecoveryCount; first += S->PerVolume) {
        const uint64_t count = std::min<uint64_t>(S->PerVolume, RecoveryCount - first);
        S->Outputs.push_back({".vol" + ZeroPadded(first, Digits(RecoveryCount)) + "+" +
                                  ZeroPadded(count, Digits(S->PerVolume)) + ".par2",
                              count * (RecoveryOverhead + SliceSize) + S->CriticalBytes});
    }
    for (uint32_t e = 0; e < RecoveryCount; ++e) {
        S->PacketMd5.emplace_back();
        std::string start = Bytes(S->SetId) + TypeRecovery;
        Put32(start, e);
        S->PacketMd5.back().Add(start.data(), start.size());
    }
    S->Valid = true;
    S->To = SliceSize;
    // Both batches together hold no more input than the recovery data, and at least a slice each.
    S->BatchSlices = std::clamp<size_t>(RecoveryCount / 2, 1, 8);
    S->Factors.resize(S->BatchSlices * RecoveryCount);
    S->AddingFactors.resize(S->BatchSlices * RecoveryCount);
}

TPar2Creator::~TPar2Creator() = default;

bool TPar2Creator::Valid() const {
    return S->Valid;
}
const std::vector<TPar2OutputFile>& TPar2Creator::Files() const {
    return S->Outputs;
}
bool TPar2Creator::Matches() const {
    return S->Matches;
}

void TPar2Creator::TState::StartSlice() {
    const TFile& f = Files[Current];
    const uint16_t constant = Par2InputConstant(f.FirstSlice + static_cast<uint32_t>(Pos / SliceSize));
    for (uint32_t e = 0; e < RecoveryCount; ++e)
        Factors[Held * RecoveryCount + e] = Gf16Pow(constant, e);
    Batch.resize(BatchSlices * Width());
}

void TPar2Creator::TState::AddBatch() {
    Wait();
    std::vector<const void*> srcs;
    std::vector<void*> dsts;
    for (size_t k = 0; k < Held; ++k)
        srcs.push_back(&Batch[k * Width()]);
    for (uint32_t e = 0; e < RecoveryCount; ++e)
        dsts.push_back(&Recovery[e * Width()]);
    std::swap(Batch, Adding);
    std::swap(Factors, AddingFactors);
    const auto add = [this, srcs, dsts] {
        Gf16MulAddBatch(AddingFactors.data(), dsts.data(), RecoveryCount, srcs.data(), srcs.size(), Width());
    };
    // Handing a job over and waiting for it costs about 100 microseconds under Wine, as long as a megabyte
    // of multiply-add takes: smaller batches (narrow stripes, few recovery slices) are added here.
    if (uint64_t{Held} * Width() * RecoveryCount < (1 << 20))
        add();
    else
        Worker.Start(add);
    Held = 0;
}

// The slice's bytes up to Filled are in; the rest of its stripe is the slice's zero padding.
void TPar2Creator::TState::EndSlice(uint64_t Filled) {
    const size_t end = static_cast<size_t>(std::clamp(Filled, From, To) - From);
    std::memset(&Batch[Held * Width() + end], 0, Width() - end);
    if (++Held == BatchSlices)
        AddBatch();
    if (!FirstPass)
        return;
    Files[Current].Done.Slices.push_back({SliceMd5.Final(), SliceCrc.Value()});
    SliceMd5.Reset();
    SliceCrc = TCrc32();
}

void TPar2Creator::Add(const void* Data, size_t Count) {
    TState& s = *S;
    if (!s.Valid || !s.Matches || s.Current >= s.Files.size()) {
        s.Matches = s.Matches && Count == 0;
        return;
    }
    if (s.Recovery.size() != s.RecoveryCount * s.Width())
        s.Recovery.assign(s.RecoveryCount * s.Width(), 0);
    const TState::TFile& f = s.Files[s.Current];
    if (Count > f.Plan.Length - s.Pos) {
        s.Matches = false;
        return;
    }
    auto p = static_cast<const uint8_t*>(Data);
    if (s.FirstPass && s.Pos < 16384)
        s.First16k.Add(p, static_cast<size_t>(std::min<uint64_t>(Count, 16384 - s.Pos)));
    while (Count > 0) {
        const uint64_t at = s.Pos % s.SliceSize;
        if (at == 0)
            s.StartSlice();
        const size_t n = static_cast<size_t>(std::min<uint64_t>(Count, s.SliceSize - at));
        if (s.FirstPass) {
            TMd5::AddBoth(s.FileMd5, s.SliceMd5, p, n);
            s.SliceCrc.Update(p, n);
        }
        // The part of these bytes inside the stripe.
        const uint64_t from = std::max(at, s.From), to = std::min(at + n, s.To);
        if (from < to)
            std::memcpy(&s.Batch[s.Held * s.Width() + static_cast<size_t>(from - s.From)], p + (from - at),
                        static_cast<size_t>(to - from));
        p += n, Count -= n, s.Pos += n;
        if (s.Pos % s.SliceSize == 0)
            s.EndSlice(s.SliceSize);
    }
}

void TPar2Creator::EndFile() {
    TState& s = *S;
    if (!s.Valid || !s.Matches || s.Current >= s.Files.size() || s.Pos != s.Files[s.Current].Plan.Length) {
        s.Matches = false;
        return;
    }
    TState::TFile& f = s.Files[s.Current];
    if (s.Pos % s.SliceSize != 0) {
        if (s.FirstPass)
            ForZeros(s.SliceSize - s.Pos % s.SliceSize, [&](const void* Z, size_t N) {
                s.SliceMd5.Add(Z, N);
                s.SliceCrc.Update(Z, N);
            });
        s.EndSlice(s.Pos % s.SliceSize);
    }
    if (s.FirstPass) {
        f.Done.Md5 = s.FileMd5.Final();
        f.Done.Md5First16k = s.First16k.Final();
        s.FileMd5.Reset();
        s.First16k.Reset();
        s.Matches = f.Done.Md5First16k == f.Plan.Md5First16k;
    }
    ++s.Current;
    s.Pos = 0;
}

void TPar2Creator::TState::WriteStripe(const TPar2Write& Write) {
    AddBatch();
    Wait();
    for (uint32_t e = 0; e < RecoveryCount; ++e) {
        const uint8_t* data = &Recovery[e * Width()];
        PacketMd5[e].Add(data, Width());
        Write(RecoveryFile(e), RecoveryOffset(e) + From, data, Width());
    }
}

void TPar2Creator::SetStripe(uint64_t From, uint64_t To, const TPar2Write& Write) {
    TState& s = *S;
    if (s.Current > 0 || s.Pos > 0) { // a pass was fed: its stripe is done
        s.WriteStripe(Write);
        s.FirstPass = false;
        s.Current = 0;
        s.Pos = 0;
    }
    s.From = From;
    s.To = To;
    s.Recovery.clear();
}

std::string TPar2Creator::TState::Critical() const {
    std::string c = MainPacket;
    for (const size_t i : IdOrder) {
        const TPar2File& f = Files[i].Done;
        std::string desc = Bytes(f.Id) + Bytes(f.Md5) + Bytes(f.Md5First16k);
        Put64(desc, f.Length);
        c += Packet(SetId, TypeFileDesc, desc + Padded(f.Name));
        std::string sums = Bytes(f.Id);
        for (const TPar2SliceSum& slice : f.Slices) {
            sums += Bytes(slice.Md5);
            Put32(sums, slice.Crc);
        }
        c += Packet(SetId, TypeIfsc, sums);
    }
    return c + CreatorPacket;
}

void TPar2Creator::Finish(const TPar2Write& Write) {
    TState& s = *S;
    s.Wait();
    if (s.Recovery.size() != s.RecoveryCount * s.Width())
        s.Recovery.assign(s.RecoveryCount * s.Width(), 0);
    s.AddBatch();
    s.Wait();
    const std::string critical = s.Critical();
    Write(0, 0, critical.data(), critical.size());
    for (uint32_t e = 0; e < s.RecoveryCount; ++e) {
        const uint8_t* data = &s.Recovery[e * s.Width()];
        s.PacketMd5[e].Add(data, s.Width());
        std::string header = Magic;
        Put64(header, RecoveryOverhead + s.SliceSize);
        header += Bytes(s.PacketMd5[e].Final()) + Bytes(s.SetId) + TypeRecovery;
        Put32(header, e);
        const size_t file = s.RecoveryFile(e);
        const uint64_t at = s.RecoveryOffset(e);
        Write(file, at - RecoveryOverhead, header.data(), header.size());
        Write(file, at + s.From, data, s.Width());
        if (e + 1 == s.RecoveryCount || s.RecoveryFile(e + 1) != file)
            Write(file, at + s.SliceSize, critical.data(), critical.size());
    }
}

// ---- Reading

bool TPar2MemorySource::Read(uint64_t Offset, void* Data, size_t Count) {
    if (Offset > FBytes.size() || Count > FBytes.size() - Offset)
        return false;
    std::memcpy(Data, FBytes.data() + Offset, Count);
    return true;
}

namespace {

struct TPacketFound {
    TMd5Digest SetId;
    std::string Type, Body; // Body empty for recovery slices, whose data stay where they are
    uint64_t BodyBytes = 0, BodyOffset = 0;
    size_t Source = 0;
    uint32_t Exponent = 0;
};

// The first magic sequence at or after From, or Size.
uint64_t FindMagic(TPar2Source& Source, uint64_t From, uint64_t Size, std::vector<char>& Buffer) {
    while (From + HeaderSize <= Size) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(Buffer.size(), Size - From));
        if (!Source.Read(From, Buffer.data(), n))
            return Size;
        const auto end = Buffer.begin() + static_cast<ptrdiff_t>(n);
        const auto at = std::search(Buffer.begin(), end, Magic.begin(), Magic.end());
        if (at != end)
            return From + static_cast<uint64_t>(at - Buffer.begin());
        From += n - (Magic.size() - 1);
    }
    return Size;
}

// The packet at At when its MD5 matches; bodies of types other than recovery slices are kept.
bool ReadPacket(TPar2Source& Source, uint64_t At, uint64_t Size, std::vector<char>& Buffer, TPacketFound& P) {
    char h[HeaderSize];
    if (!Source.Read(At, h, sizeof h))
        return false;
    const uint64_t length = Get64(h + 8);
    if (length < HeaderSize || length % 4 != 0 || length > Size - At)
        return false;
    P.Type.assign(h + 48, 16);
    P.BodyBytes = length - HeaderSize;
    P.BodyOffset = At + HeaderSize;
    const bool recovery = P.Type == TypeRecovery;
    if ((recovery && P.BodyBytes < 4) || (!recovery && P.BodyBytes > MaxPacketHeld))
        return false;
    TMd5 md5;
    md5.Add(h + 32, 32);
    P.Body.clear();
    for (uint64_t done = 0; done < P.BodyBytes;) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(Buffer.size(), P.BodyBytes - done));
        if (!Source.Read(P.BodyOffset + done, Buffer.data(), n))
            return false;
        md5.Add(Buffer.data(), n);
        if (done == 0 && recovery)
            P.Exponent = Get32(Buffer.data());
        else if (!recovery)
            P.Body.append(Buffer.data(), n);
        done += n;
    }
    P.SetId = Digest(h + 32);
    return md5.Final() == Digest(h + 16);
}

void ScanSource(TPar2Source& Source, size_t Index, std::vector<TPacketFound>& Packets) {
    const uint64_t size = Source.Size();
    std::vector<char> buffer(1 << 16);
    for (uint64_t at = FindMagic(Source, 0, size, buffer); at < size;) {
        TPacketFound p;
        p.Source = Index;
        if (ReadPacket(Source, at, size, buffer, p)) {
            at += HeaderSize + p.BodyBytes;
            Packets.push_back(std::move(p));
        } else
            ++at;
        at = FindMagic(Source, at, size, buffer);
    }
}

// The file with ID Id from the packets of the set: its description and slice checksums where they are
// there and agree with each other.
TPar2File DescribeFile(const TMd5Digest& Id, const TPar2Set& Set, const std::vector<TPacketFound>& Packets,
                       bool& Complete) {
    TPar2File f;
    f.Id = Id;
    bool described = false, summed = false;
    for (const TPacketFound& p : Packets) {
        if (p.SetId != Set.SetId || p.Body.size() < 16 || Digest(p.Body.data()) != Id)
            continue;
        if (!described && p.Type == TypeFileDesc && p.Body.size() >= 56) {
            described = true;
            f.Md5 = Digest(p.Body.data() + 16);
            f.Md5First16k = Digest(p.Body.data() + 32);
            f.Length = Get64(p.Body.data() + 48);
            f.Name = p.Body.substr(56);
            f.Name.erase(f.Name.find_last_not_of('\0') + 1);
        }
    }
    const uint64_t slices = described ? SlicesOf(f.Length, Set.SliceSize) : 0;
    for (const TPacketFound& p : Packets)
        if (described && !summed && p.SetId == Set.SetId && p.Type == TypeIfsc && p.Body.size() >= 16 &&
            Digest(p.Body.data()) == Id && (p.Body.size() - 16) / 20 == slices &&
            (p.Body.size() - 16) % 20 == 0) {
            summed = true;
            for (uint64_t k = 0; k < slices; ++k)
                f.Slices.push_back({Digest(p.Body.data() + 16 + 20 * k), Get32(p.Body.data() + 32 + 20 * k)});
        }
    Complete = Complete && described && summed;
    return f;
}

} // namespace

TPar2Set Par2Read(const std::vector<TPar2Source*>& Sources) {
    std::vector<TPacketFound> packets;
    for (size_t i = 0; i < Sources.size(); ++i)
        ScanSource(*Sources[i], i, packets);
    TPar2Set set;
    const auto main = std::find_if(packets.begin(), packets.end(), [](const TPacketFound& P) {
        return P.Type == TypeMain && P.Body.size() >= 12 && (P.Body.size() - 12) % 16 == 0 &&
               Get64(P.Body.data()) > 0 && Get64(P.Body.data()) % 4 == 0 &&
               Get32(P.Body.data() + 8) <= (P.Body.size() - 12) / 16;
    });
    if (main == packets.end())
        return set;
    set.SetId = main->SetId;
    set.SliceSize = Get64(main->Body.data());
    set.Complete = true;
    uint64_t slices = 0;
    const uint32_t files = Get32(main->Body.data() + 8);
    for (uint32_t k = 0; k < files; ++k) {
        set.Files.push_back(
            DescribeFile(Digest(main->Body.data() + 12 + 16 * k), set, packets, set.Complete));
        slices += set.Files.back().Slices.size();
    }
    set.Complete = set.Complete && slices <= MaxSlices;
    for (const TPacketFound& p : packets) {
        if (p.SetId != set.SetId)
            continue;
        if (p.Type == TypeCreator && set.Creator.empty())
            set.Creator = p.Body.substr(0, p.Body.find_last_not_of('\0') + 1);
        if (p.Type == TypeRecovery && p.BodyBytes == 4 + set.SliceSize && p.Exponent < 65535 &&
            std::none_of(set.Recovery.begin(), set.Recovery.end(),
                         [&](const TPar2RecoverySlice& R) { return R.Exponent == p.Exponent; }))
            set.Recovery.push_back({p.Exponent, p.Source, p.BodyOffset + 4});
    }
    return set;
}

// ---- Checking an input file

TPar2FileCheck::TPar2FileCheck(const TPar2File& File, uint64_t SliceSize, bool WithMd5)
    : FFile(File), FSliceSize(SliceSize), FWithMd5(WithMd5), FIntact(File.Slices.size(), false) {}

void TPar2FileCheck::Add(const void* Data, size_t Count) {
    auto p = static_cast<const uint8_t*>(Data);
    while (Count > 0 && FRead < FFile.Length && FRead / FSliceSize < FIntact.size()) {
        const uint64_t end = std::min(FRead / FSliceSize * FSliceSize + FSliceSize, FFile.Length);
        const size_t n = static_cast<size_t>(std::min<uint64_t>(Count, end - FRead));
        FCrc.Update(p, n);
        if (FWithMd5)
            FMd5.Add(p, n);
        p += n, Count -= n, FRead += n;
        if (FRead == end)
            EndSlice();
    }
}

void TPar2FileCheck::EndSlice() {
    const uint64_t slice = (FRead - 1) / FSliceSize, padding = (FSliceSize - FRead % FSliceSize) % FSliceSize;
    ForZeros(padding, [&](const void* Z, size_t N) {
        FCrc.Update(Z, N);
        if (FWithMd5)
            FMd5.Add(Z, N);
    });
    const TPar2SliceSum& sum = FFile.Slices[static_cast<size_t>(slice)];
    FIntact[static_cast<size_t>(slice)] = FCrc.Value() == sum.Crc && (!FWithMd5 || FMd5.Final() == sum.Md5);
    FCrc = TCrc32();
    FMd5.Reset();
}

std::vector<bool> TPar2FileCheck::Finish() {
    return FIntact;
}
