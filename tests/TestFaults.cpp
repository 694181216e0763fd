// Splits and joins that meet a fault: a full or read-only disk, writes that fall short, files held open or
// removed by another program, a source that changes during the copy.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>

#include "support/TestSupport.h"

using namespace testsupport;

namespace {

const char* const Names[] = {"a.bin", "b.bin", "sub\\c.bin"};
constexpr int64_t PartSize = 262144; // four parts of the content just fill a 1 MiB disk

// src\Docs holds a.bin, b.bin, empty.txt and sub\c.bin, 1 MiB together; the parts hold a.bin, b.bin and
// c.bin in this order. For a join the set is split into parts first. out is the empty output folder.
struct TScene {
    TTempDir Tmp;
    bool Join;
    std::string Files[3] = {PatternBytes(1000, 1), PatternBytes(600000, 2), PatternBytes(447576, 3)};
    TScene(bool AJoin, int64_t APartSize) : Join(AJoin) {
        for (const char* folder : {"src", "src\\Docs", "src\\Docs\\sub", "parts", "out"})
            CreateDirectoryA((Tmp / folder).c_str(), nullptr);
        WriteFileBytes(Tmp / "src\\Docs\\empty.txt", "");
        for (int i = 0; i < 3; ++i)
            WriteFileBytes(Tmp / "src\\Docs\\" + Names[i], Files[i]);
        EXPECT_EQ(Join ? RunJob(false, Tmp / "src\\Docs", Tmp / "parts", APartSize) : crOk, crOk);
    }
    std::string Input() const { return Tmp / (Join ? "parts\\Docs.001" : "src\\Docs"); }
    std::string Source() const { return Tmp / (Join ? "parts" : "src"); }

    // What a fault leaves in Out. A split: at least Complete full parts, together the start of the content.
    // A join: the first Complete files whole, nothing of the others.
    void ExpectKept(const std::string& Out, int Complete) const {
        std::string kept, whole;
        for (int i = 0; i < (Join ? 3 : 4); ++i) {
            const std::string path =
                Join ? Out + "\\Docs\\" + Names[i] : Out + "\\Docs.00" + std::to_string(i + 1);
            kept += FileExists(path) ? ReadFileBytes(path) : "";
            whole += i < (Join ? Complete : 3) ? Files[i] : "";
        }
        EXPECT_TRUE(Join ? kept == whole
                         : kept.size() >= size_t(PartSize * Complete) &&
                               whole.compare(0, kept.size(), kept) == 0);
    }
};

// Windows Vista's, beyond the system version the program is built for.
extern "C" DWORD WINAPI GetFinalPathNameByHandleA(HANDLE, LPSTR, DWORD, DWORD);

// Every write of the file stream to a file whose name holds ShortPart (none when empty) reports success
// having written half the bytes, none of a single one; after 2000 such writes each further one fails with
// ERROR_DISK_FULL, so a job that would loop for ever ends.
std::string ShortPart;
int ShortWrites = 0;
BOOL WINAPI ShortWrite(HANDLE H, LPCVOID Buffer, DWORD Bytes, LPDWORD Written, LPOVERLAPPED Ov) {
    char name[MAX_PATH * 2] = {};
    GetFinalPathNameByHandleA(H, name, sizeof name - 1, 0);
    if (ShortPart.empty() || !std::strstr(name, ShortPart.c_str()))
        return WriteFile(H, Buffer, Bytes, Written, Ov);
    if (++ShortWrites <= 2000)
        return WriteFile(H, Buffer, Bytes / 2, Written, Ov);
    *Written = 0;
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
}

THandle HoldExclusive(const std::string& Path, DWORD Access) {
    return THandle(CreateFileA(Path.c_str(), Access, 0, nullptr, OPEN_ALWAYS, 0, nullptr));
}

} // namespace

// Every fault ends the job with 9 and one of its texts, keeps what was written before, leaves the source as
// the other program left it and creates nothing beside the output folder. Another program acts at the
// first box, the confirmation asked after the checks and the listing, and may hold a file open until the
// job ends. A short write reports success with half the bytes asked, as a nearly full disk may.
TEST(Faults, EveryFaultEndsWithItsTextAndKeepsWhatCameBefore) {
    using TAct = std::function<void(const TTempDir&, THandle&)>;
    const std::string writeError = "Error writing to file!";
    const std::vector<std::string> shortWrite{writeError}, sharing{SystemErrorText(ERROR_SHARING_VIOLATION)},
        noPath{SystemErrorText(ERROR_PATH_NOT_FOUND)}, diskFull{SystemErrorText(ERROR_DISK_FULL), writeError},
        readOnly{SystemErrorText(ERROR_ACCESS_DENIED), SystemErrorText(ERROR_WRITE_PROTECT)};
    // What is tried; a join or a split; the drive whose root takes the output (0: out in the scratch folder);
    // a part of the names of files to which writes fall short; what the other program does; the texts one of
    // which the error box shows; how many full parts or whole restored files must be kept.
    const std::tuple<const char*, bool, char, const char*, TAct, std::vector<std::string>, int> cases[] = {
        // clang-format off
        {"full disk: data parts", false, 'Y', "", [](const TTempDir&, THandle&) {
             WriteFileBytes("Y:\\filler", PatternBytes(100000)); }, diskFull, 3},
        {"full disk: header file", false, 'Y', "", nullptr, diskFull, 4},
        {"full disk: join", true, 'Y', "", nullptr, diskFull, 2},
        {"read-only disk: split", false, 'Q', "", nullptr, readOnly, 0},
        {"short write: data part", false, 0, ".002", nullptr, shortWrite, 1},
        {"short write: header file", false, 0, ".h0", nullptr, shortWrite, 4},
        {"short write: restored file", true, 0, "b.bin", nullptr, shortWrite, 1},
        {"split: output folder removed", false, 0, "", [](const TTempDir& t, THandle&) { RemoveTree(t / "out"); },
         noPath, 0},
        {"split: part 3 held open", false, 0, "", [](const TTempDir& t, THandle& h) {
             h = HoldExclusive(t / "out\\Docs.003", GENERIC_READ | GENERIC_WRITE); }, sharing, 2},
        {"split: source file locked", false, 0, "", [](const TTempDir& t, THandle& h) {
             h = HoldExclusive(t / "src\\Docs\\b.bin", GENERIC_WRITE); }, sharing, 0},
        // clang-format on
    };
    TFileStreamLite::WriteFileCall = &ShortWrite;
    for (const auto& [name, join, drive, shortFile, act, texts, complete] : cases) {
        SCOPED_TRACE(name);
        TScene s(join, PartSize);
        // The set-up mounts small tmpfs drives, Y: writable and Q: read-only, when run as root.
        const std::string out = drive ? std::string(1, drive) + ":\\" : s.Tmp / "out";
        ULARGE_INTEGER size{};
        if (drive &&
            !(GetDiskFreeSpaceExA(out.c_str(), nullptr, &size, nullptr) && size.QuadPart < 2 << 20)) {
            std::cout << name << ": skipped, " << drive << ": is not mounted as expected (needs root)\n";
            continue;
        }
        if (drive)
            ClearFolder(out);
        auto source = ListTree(s.Source());
        std::optional<std::vector<std::string>> outside;
        THandle held;
        TScriptedHooks hooks;
        hooks.OnMessage = [&] {
            if (outside)
                return;
            if (act)
                act(s.Tmp, held);
            if (!held) // what the other program left, unless it holds open a file that cannot be read then
                source = ListTree(s.Source());
            outside = ListNames(s.Tmp.Path());
        };
        ShortPart = shortFile, ShortWrites = 0;
        EXPECT_EQ(RunJob(join, s.Input(), out, PartSize, &hooks), crFileError);
        EXPECT_LT(ShortWrites, 2000) << "the job kept writing";
        ShortPart.clear();
        held.Reset();
        // One error box, and no result box after it.
        const auto error = [](const TMessageRecord& m) { return m.Type == (MB_OK | MB_ICONERROR); };
        EXPECT_TRUE(std::count_if(hooks.Messages.begin(), hooks.Messages.end(), error) == 1 &&
                    error(hooks.Messages.back()));
        EXPECT_EQ(std::count(texts.begin(), texts.end(), hooks.Messages.back().Text), 1)
            << hooks.Messages.back().Text;
        s.ExpectKept(out, complete);
        EXPECT_EQ(ListNames(s.Tmp.Path()), outside) << "made again, or something created beside it";
        EXPECT_TRUE(ListTree(s.Source()) == source) << "the source was touched";
        if (drive)
            ClearFolder(out);
    }
    TFileStreamLite::WriteFileCall = &WriteFile;
}

// Another program grows or shrinks b.bin once a.bin and one block of it are in the parts. The header must
// record exactly the bytes the parts hold, so the join gives b.bin back as it was copied and c.bin is not
// shifted. Wine's share modes bind only Windows programs, so the change comes from the Linux side.
TEST(Faults, SourceChangingDuringTheCopyIsRecordedAsCopied) {
    // The new size of b.bin, and what the parts hold of it: a file is cut at its size when opened.
    for (auto [newSize, copied] : {std::pair{800000, 600000}, {50000, 99000}, {200000, 200000}}) {
        SCOPED_TRACE(newSize);
        TScene s(false, 0);
        const std::string b = UnixPath(s.Tmp / "src\\Docs\\b.bin"), docs = s.Tmp / "out\\Docs\\";
        TScriptedHooks hooks;
        bool changed = false;
        hooks.OnPoll = [&] {
            if (!changed && hooks.Progress >= 1000 + 99000)
                changed = RunUnixShell("truncate -s " + std::to_string(newSize) + " " + b) == 0;
        };
        EXPECT_EQ(RunJob(false, s.Input(), s.Tmp / "parts", 100000, &hooks), crOk);
        EXPECT_TRUE(changed);
        EXPECT_EQ(RunJob(true, s.Tmp / "parts\\Docs.001", s.Tmp / "out"), crOk);
        EXPECT_TRUE(ReadFileBytes(docs + "a.bin") + ReadFileBytes(docs + "b.bin") +
                        ReadFileBytes(docs + "sub\\c.bin") ==
                    s.Files[0] + s.Files[1].substr(0, copied) + s.Files[2]);
    }
}
