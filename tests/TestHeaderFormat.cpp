// The header text: byte layout, completeness, reading it back, and refusing hostile or damaged input.
#include <gtest/gtest.h>

#include "inventory/UnitFileInfo.h"
#include "support/TestSupport.h"

#include <random>

using namespace testsupport;

namespace {

const std::string WorkedExample =
    "ChKl40\tDocs\tD\t0\t20030401090000000\tDocs\\report.doc\tF\t12345\t20030517140309250"
    "\tDocs\\Old\tD\t0\t20021224183005000\t\t";

void AddEntry(TFileInfos& List, const std::string& Name, TPathKind Kind, int64_t Size, const FILETIME& Time) {
    TFileInfo* e = List.Add();
    e->FileName = Name;
    e->Kind = Kind;
    e->Size = Size;
    e->LastWriteTime = Time;
}

std::string Record(const std::string& Name, const std::string& Kind = "F", const std::string& Size = "1",
                   const std::string& Time = "20030517140309250") {
    return "\t" + Name + "\t" + Kind + "\t" + Size + "\t" + Time;
}

// Judged by Windows itself: every leading part of the name, placed below an output folder, must
// resolve to exactly that path (no traversal, device, or trailing dot or blank), and no drive or stream.
bool LandsInside(const std::string& Name) {
    if (Name.empty() || Name.find(':') != std::string::npos)
        return false;
    for (size_t end = Name.find('\\');; end = Name.find('\\', end + 1)) {
        const std::string want = "C:\\out\\" + Name.substr(0, end);
        std::string full(want.size() + 16, '\0');
        if (GetFullPathNameA(want.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr) !=
                want.size() ||
            full.compare(0, want.size(), want) != 0)
            return false;
        if (end == std::string::npos)
            return true;
    }
}

} // namespace

TEST(HeaderFormat, WorkedExampleByteForByteAndCollectedFromTwoFiles) {
    TFileInfos list;
    AddEntry(list, "Docs", pkFolder, 0, MakeFileTime(2003, 4, 1, 9, 0, 0, 0));
    AddEntry(list, "Docs\\report.doc", pkFile, 12345, MakeFileTime(2003, 5, 17, 14, 3, 9, 250));
    AddEntry(list, "Docs\\Old", pkFolder, 0, MakeFileTime(2002, 12, 24, 18, 30, 5, 0));
    ASSERT_EQ(list.GetHeaderText(), WorkedExample);
    EXPECT_EQ(list.HeaderSize(), 108);
    // Whatever byte header file 1 ends after, the text is complete only once header file 2 follows.
    for (size_t cut = 1; cut < WorkedExample.size(); ++cut)
        EXPECT_FALSE(TFileInfos::IsCompleteHeader(WorkedExample.substr(0, cut))) << "cut at " << cut;
    EXPECT_TRUE(TFileInfos::IsCompleteHeader(WorkedExample));
    EXPECT_FALSE(TFileInfos::IsCompleteHeader("XhKl40\t\t"));

    TFileInfos back;
    back.BaseFolder = "C:\\old";
    ASSERT_TRUE(back.ParseHeader(WorkedExample));
    EXPECT_EQ(back.BaseFolder, "");
    EXPECT_EQ(back.GetHeaderText(), WorkedExample);

    // A time beyond four year digits is written as zeros, so the reader can always take it back.
    AddEntry(list, "f", pkFile, 7, MakeFileTime(10000, 1, 1, 0, 0, 0, 0));
    EXPECT_TRUE(list.GetHeaderText().ends_with(Record("f", "F", "7", "00000000000000000") + "\t\t"));
    EXPECT_EQ(list.HeaderSize(), static_cast<int64_t>(list.GetHeaderText().size()));
}

TEST(HeaderFormat, HostileNamesAndMalformedFieldsRefused) {
    const char* hostile[] = {
        "\\\\",         "\\abs",     "\\\\server\\share\\x",
        "C:\\x",        "a/b",       "..\\x",
        "a\\..\\b",     "a\\.\\b",   "a\\\\b",
        "a.",           "a ",        "a.\\b",
        "a \\b",        "a\x1Fz",    "a<b",
        "a>b",          "a\"b",      "a|b",
        "a?b",          "a*b",       "nul",
        "con",          "NUL.txt",   "aux .txt",
        "Com1.tar.gz",  "PRN.x",     "lpt9",
        "COM0",         "x\\CONIN$", "conout$.log",
        "dir\\LpT1\\f", "com\xB9",
    };
    // A folder never has content, the sizes must add up within int64, and no record may be empty.
    std::vector<std::string> refused = {
        Record("a", "D", "5"), Record("a", "F", "9223372036854775807") + Record("b"), Record("a") + "\t",
        Record("a", "F", "1", "20030517140309"), Record("a", "F", "1", "2003+517140309250")};
    for (const char* size : {"-1", "+12", "12a", "", "9223372036854775808", "18446744073709551617"})
        refused.push_back(Record("a", "F", size));
    for (const char* name : hostile)
        refused.push_back(Record(name));
    for (const std::string& records : refused) {
        TFileInfos list;
        EXPECT_FALSE(list.ParseHeader("ChKl40" + records + "\t\t")) << "[" << records << "]";
        EXPECT_EQ(list.Count(), 0) << "a refused header leaves nothing behind";
    }
    EXPECT_FALSE(TFileInfos().ParseHeader("ChKl41\t\t"));
    for (const char* name :
         {"con1", "nul_", "COM10", "comx", "..a", ".profile", " lead", "r\xE4s\xE9 x\\y z"})
        EXPECT_TRUE(TFileInfos().ParseHeader("ChKl40" + Record(name) + "\t\t")) << name;
    EXPECT_TRUE(TFileInfos().ParseHeader("ChKl40" + Record("a", "F", "9223372036854775807") + "\t\t"));
}

// Listed from disk: folders whose name begins with a dot are left out, hidden files are not.
TEST(HeaderFormat, RealTreeRoundTrip) {
    TTempDir dir;
    const FILETIME t = MakeFileTime(2021, 3, 4, 5, 6, 7, 891), t1 = MakeFileTime(1999, 12, 31, 23, 59, 59, 1);
    BuildTree(dir / "my docs", {{".git\\", ""}, {".git\\x", "x"}, {".empty", "", t}, {"hollow\\", ""}});
    BuildTree(dir / "my docs", {{"r\xE4sum\xE9 1.txt", "hello", t1}});
    SetFileAttributesA((dir / "my docs\\.empty").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    HANDLE huge =
        CreateFileA((dir / "my docs\\huge").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    const LARGE_INTEGER size{.QuadPart = 6442450944}; // 6 GiB, left sparse by the file system
    EXPECT_TRUE(SetFilePointerEx(huge, size, nullptr, FILE_BEGIN) && SetEndOfFile(huge));
    CloseHandle(huge);
    TFileInfos tree;
    ASSERT_FALSE(tree.BuildFromPath(dir / "my docs\\", INT64_MAX));
    EXPECT_EQ(tree.BaseFolder, dir.Path());
    ASSERT_EQ(tree.Count(), 5);
    const std::string text = tree.GetHeaderText();
    EXPECT_EQ(tree.HeaderSize(), static_cast<int64_t>(text.size()));
    for (const char* record :
         {"\tmy docs\\huge\tF\t6442450944\t", "\tmy docs\\.empty\tF\t0\t20210304050607891\t",
          "\tmy docs\\r\xE4sum\xE9 1.txt\tF\t5\t19991231235959001\t", "\tmy docs\\hollow\tD\t0\t"})
        EXPECT_NE(text.find(record), std::string::npos) << record;
    TFileInfos back;
    ASSERT_TRUE(back.ParseHeader(text));
    EXPECT_EQ(back.GetHeaderText(), text);
}

TEST(HeaderFormat, DamagedHeadersNeverCrashAndNeverYieldUnsafeNames) {
    const std::string base = WorkedExample.substr(0, WorkedExample.size() - 2) +
                             Record("a b\\c.d", "F", "77") + Record("con1\\x\xE4", "D", "0") + "\t\t";
    const unsigned seed = 20240611;
    std::printf("damaged headers: seed %u\n", seed);
    std::mt19937 rng(seed);
    auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng); };
    const char interesting[] = "\t\\./: \x01<*|\"FD0129nNuUlLcCoOmM$";
    int accepted = 0;
    for (int round = 0; round < 5000; ++round) {
        std::string text = base;
        for (size_t m = 0, count = 1 + pick(3); m < count && !text.empty(); ++m) {
            const size_t at = pick(text.size());
            if (const size_t how = pick(3); how == 0)
                text[at] = pick(2) ? interesting[pick(sizeof interesting - 1)] : static_cast<char>(pick(256));
            else if (how == 1)
                text.resize(at);
            else
                text.insert(at, text.substr(pick(text.size()), pick(40)));
        }
        TFileInfos list;
        const bool ok = list.ParseHeader(text);
        accepted += ok ? 1 : 0;
        ASSERT_TRUE(ok || list.Count() == 0) << "seed " << seed << " round " << round;
        for (int i = 0; i < list.Count(); ++i)
            ASSERT_TRUE(LandsInside(list.GetItem(i)->FileName))
                << "seed " << seed << " round " << round << ": " << list.GetItem(i)->FileName;
    }
    EXPECT_GT(accepted, 50) << "the damage should leave some headers readable, seed " << seed;
}
