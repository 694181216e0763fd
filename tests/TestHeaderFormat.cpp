// The header text: byte layout, completeness, reading it back, and refusing hostile or damaged input.
#include <gtest/gtest.h>

#include "inventory/UnitFileInfo.h"
#include "support/TestSupport.h"

#include <chrono>
#include <cstring>
#include <random>

using namespace testsupport;

namespace {

const std::string T = "\t";
const std::string WorkedExample =
    "ChKl40\tDocs\tD\t0\t20030401090000000\tDocs\\report.doc\tF\t12345\t20030517140309250"
    "\tDocs\\Old\tD\t0\t20021224183005000\t\t";

uint64_t Ticks(const FILETIME& F) {
    return (static_cast<uint64_t>(F.dwHighDateTime) << 32) | F.dwLowDateTime;
}
FILETIME FromTicks(uint64_t V) {
    return {static_cast<DWORD>(V), static_cast<DWORD>(V >> 32)};
}

void AddEntry(TFileInfos& List, const std::string& Name, TPathKind Kind, int64_t Size, const FILETIME& Time) {
    TFileInfo* e = List.Add();
    e->FileName = Name;
    e->Kind = Kind;
    e->Size = Size;
    e->LastWriteTime = Time;
}

std::string Record(const std::string& Name, const std::string& Kind = "F", const std::string& Size = "1",
                   const std::string& Time = "20030517140309250") {
    return T + Name + T + Kind + T + Size + T + Time;
}
std::string Header(const std::string& Records) {
    return "ChKl40" + Records + T + T;
}

// The rule a join needs, stated independently of the reader: relative, inside the output folder,
// ordinary file names only.
bool NameIsSafe(const std::string& Name) {
    if (Name.empty() || Name[0] == '\\')
        return false;
    std::string part;
    for (size_t i = 0; i <= Name.size(); ++i) {
        const unsigned char c = i < Name.size() ? static_cast<unsigned char>(Name[i]) : '\\';
        if (c < 32 || std::strchr("/:<>\"|?*", c))
            return false;
        if (c != '\\') {
            part += static_cast<char>(toupper(c));
            continue;
        }
        if (part.empty() || part.back() == '.' || part.back() == ' ')
            return false;
        std::string stem = part.substr(0, part.find('.'));
        stem.erase(stem.find_last_not_of(' ') + 1);
        for (const char* dev : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
            if (stem == dev)
                return false;
        if (stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) &&
            isdigit(static_cast<unsigned char>(stem[3])))
            return false;
        part.clear();
    }
    return true;
}

} // namespace

TEST(HeaderFormat, WorkedExampleByteForByteAndCollectedFromTwoFiles) {
    TFileInfos list;
    AddEntry(list, "Docs", pkFolder, 0, MakeFileTime(2003, 4, 1, 9, 0, 0, 0));
    AddEntry(list, "Docs\\report.doc", pkFile, 12345, MakeFileTime(2003, 5, 17, 14, 3, 9, 250));
    AddEntry(list, "Docs\\Old", pkFolder, 0, MakeFileTime(2002, 12, 24, 18, 30, 5, 0));
    const std::string text = list.GetHeaderText();
    EXPECT_EQ(text, WorkedExample);
    EXPECT_EQ(list.HeaderSize(), 108);
    // Cut after any byte into two header files, the first alone is never complete, both together are.
    for (size_t cut = 1; cut < text.size(); ++cut)
        EXPECT_FALSE(TFileInfos::IsCompleteHeader(text.substr(0, cut))) << "cut at " << cut;
    EXPECT_TRUE(TFileInfos::IsCompleteHeader(text));
    TFileInfos back;
    back.BaseFolder = "C:\\old";
    ASSERT_TRUE(back.ParseHeader(text));
    EXPECT_EQ(back.BaseFolder, "");
    EXPECT_EQ(back.GetHeaderText(), text);

    TFileInfos empty;
    EXPECT_EQ(empty.GetHeaderText(), "ChKl40\t\t");
    EXPECT_EQ(empty.HeaderSize(), 8);
    EXPECT_TRUE(back.ParseHeader("ChKl40\t\t"));
    EXPECT_EQ(back.Count(), 0);
}

TEST(HeaderFormat, IsCompleteHeader) {
    struct {
        std::string Text;
        bool Complete;
    } cases[] = {{"", false},
                 {"\t", false},
                 {"\t\t", false},
                 {"ChKl40", false},
                 {"ChKl40\t", false},
                 {"ChKl40\t\t", true},
                 {"XhKl40\t\t", false},
                 {"ChK\t\t", false},
                 {"ChKl40 damaged middle\t\t", true},
                 {WorkedExample + "x", false}};
    for (const auto& c : cases)
        EXPECT_EQ(TFileInfos::IsCompleteHeader(c.Text), c.Complete) << c.Text;
}

TEST(HeaderFormat, TimeFieldWritten) {
    const uint64_t y2003 = Ticks(MakeFileTime(2003, 5, 17, 14, 3, 9, 250));
    struct {
        uint64_t Time;
        const char* Field;
    } cases[] = {
        {y2003, "20030517140309250"},
        {y2003 + 9999, "20030517140309250"}, // fractions of a millisecond are dropped
        {0, "16010101000000000"},
        {Ticks(MakeFileTime(9999, 12, 31, 23, 59, 59, 999)), "99991231235959999"},
        {Ticks(MakeFileTime(10000, 1, 1, 0, 0, 0, 0)), "00000000000000000"}, // would need 5 year digits
        {0x8000000000000000ULL, "00000000000000000"}};                       // not convertible
    for (const auto& c : cases) {
        TFileInfos list;
        AddEntry(list, "f", pkFile, 7, FromTicks(c.Time));
        EXPECT_EQ(list.GetHeaderText(), Header(Record("f", "F", "7", c.Field))) << c.Time;
        EXPECT_EQ(list.HeaderSize(), static_cast<int64_t>(list.GetHeaderText().size()));
    }
}

TEST(HeaderFormat, RecordsRead) {
    const uint64_t t2003 = Ticks(MakeFileTime(2003, 5, 17, 14, 3, 9, 250));
    struct {
        std::string Records;
        bool Ok;
        std::string Name = ""; // of the first record
        TPathKind Kind = pkMissing;
        int64_t Size = 0;
        uint64_t Time = 0;
    } cases[] = {
        {Record("Docs\\", "D", "0"), true, "Docs", pkFolder, 0, t2003},
        {Record("a", "f", "0"), true, "a", pkFolder, 0, t2003},
        {Record("a", "X", "0"), true, "a", pkFolder, 0, t2003},
        {Record("a", "", "0"), true, "a", pkFolder, 0, t2003},
        {Record("big", "F", "6442450944"), true, "big", pkFile, 6442450944, t2003},
        {Record("max", "F", "9223372036854775807"), true, "max", pkFile, INT64_MAX, t2003},
        {Record("a", "F", "1", "2003051714030925"), true, "a", pkFile, 1, t2003 - 225 * 10000},
        {Record("a", "F", "1", "20031317140309250"), true, "a", pkFile, 1, 0}, // month 13
        {Record("a", "F", "1", "20030517140309250999"), true, "a", pkFile, 1, t2003},
        {Record("a", "F", "1", "20030517140309"), false},
        {Record("a", "F", "1", "2003051714030925x"), false},
        {Record("a", "F", "1", "2003+517140309250"), false},
        {Record("a", "F", "1", "2003 517140309250"), false},
        {Record("a", "F", "12a"), false},
        {Record("a", "F", "+12"), false},
        {Record("a", "F", " 12"), false},
        {Record("a", "F", "-1"), false},
        {Record("a", "F", "0x10"), false},
        {Record("a", "F", ""), false},
        {Record("a", "F", "9223372036854775808"), false},
        {Record("a", "F", "99999999999999999999"), false},
        {Record("a", "D", "5"), false}, // a folder never has content
        {Record("a", "F", "9223372036854775807") + Record("b", "F", "1"), false}, // sum leaves int64
    };
    for (const auto& c : cases) {
        TFileInfos list;
        const bool ok = list.ParseHeader(Header(c.Records));
        EXPECT_EQ(ok, c.Ok) << c.Records;
        if (!ok) {
            EXPECT_EQ(list.Count(), 0) << "a refused header leaves nothing behind: " << c.Records;
            continue;
        }
        ASSERT_EQ(list.Count(), 1);
        const TFileInfo& e = *list.GetItem(0);
        EXPECT_EQ(e.FileName, c.Name);
        EXPECT_EQ(e.Kind, c.Kind) << c.Records;
        EXPECT_EQ(e.Size, c.Size) << c.Records;
        EXPECT_EQ(Ticks(e.LastWriteTime), c.Time) << c.Records;
    }
    TFileInfos list;
    for (const std::string& bad :
         {std::string("ChKl41\t\t"), WorkedExample + "x", WorkedExample + T, std::string("ChKl40")})
        EXPECT_FALSE(list.ParseHeader(bad)) << bad;
}

TEST(HeaderFormat, HostileNamesRefused) {
    const char* hostile[] = {"",
                             "\\\\",
                             "\\abs",
                             "\\\\server\\share\\x",
                             "C:\\x",
                             "a:b",
                             "a/b",
                             "..",
                             ".",
                             "..\\x",
                             "a\\..\\b",
                             "a\\.\\b",
                             "a\\\\b",
                             "a.",
                             "a ",
                             "a.\\b",
                             "a \\b",
                             "a\x01z",
                             "a\x1Fz",
                             "a<b",
                             "a>b",
                             "a\"b",
                             "a|b",
                             "a?b",
                             "a*b",
                             "nul",
                             "NUL.txt",
                             "aux .txt",
                             "Com1.tar.gz",
                             "con",
                             "PRN.x",
                             "lpt9",
                             "COM0",
                             "x\\CONIN$",
                             "conout$.log",
                             "dir\\LpT1\\f",
                             "com\xB9"};
    for (const char* name : hostile) {
        TFileInfos list;
        EXPECT_FALSE(list.ParseHeader(Header(Record(name)))) << "name [" << name << "]";
        EXPECT_EQ(list.Count(), 0);
    }
    const char* harmless[] = {"con1", "nul_",     "a.b",          " lead",         "COM10", "comx",
                              "..a",  ".profile", "r\xE4sum\xE9", "x\\y z\\w.txt", "Docs\\"};
    for (const char* name : harmless) {
        TFileInfos list;
        EXPECT_TRUE(list.ParseHeader(Header(Record(name)))) << name;
    }
}

TEST(HeaderFormat, RealTreeRoundTrip) {
    TTempDir dir;
    const FILETIME t = MakeFileTime(2021, 3, 4, 5, 6, 7, 891);
    BuildTree(dir / "my docs", {{"r\xE4sum\xE9 1.txt", "hello", t},
                                {"empty.bin", "", t},
                                {"hollow\\", ""},
                                {"sub dir\\", ""},
                                {"sub dir\\x", "xyz", MakeFileTime(1999, 12, 31, 23, 59, 59, 1)}});
    {
        HANDLE h = CreateFileA((dir / "my docs\\huge").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                               nullptr);
        LARGE_INTEGER pos;
        pos.QuadPart = 6442450944;
        ASSERT_TRUE(SetFilePointerEx(h, pos, nullptr, FILE_BEGIN) && SetEndOfFile(h));
        CloseHandle(h);
    }
    TFileInfos tree;
    ASSERT_FALSE(tree.BuildFromPath(dir / "my docs", INT64_MAX));
    ASSERT_EQ(tree.Count(), 7);
    const std::string text = tree.GetHeaderText();
    EXPECT_EQ(tree.HeaderSize(), static_cast<int64_t>(text.size()));
    EXPECT_NE(text.find("\tmy docs\\huge\tF\t6442450944\t"), std::string::npos);
    TFileInfos back;
    ASSERT_TRUE(back.ParseHeader(text));
    ASSERT_EQ(back.Count(), tree.Count());
    for (int i = 0; i < tree.Count(); ++i) {
        const TFileInfo &a = *tree.GetItem(i), &b = *back.GetItem(i);
        EXPECT_EQ(b.FileName, a.FileName);
        EXPECT_EQ(b.Kind, a.Kind) << a.FileName;
        EXPECT_EQ(b.Size, a.Size) << a.FileName;
        EXPECT_EQ(Ticks(b.LastWriteTime), Ticks(a.LastWriteTime) / 10000 * 10000) << a.FileName;
    }
}

TEST(HeaderFormat, DamagedHeadersNeverCrashAndNeverYieldUnsafeNames) {
    const std::string base = WorkedExample.substr(0, WorkedExample.size() - 2) +
                             Record("a b\\c.d", "F", "77") + Record("con1\\x\xE4", "D", "0") + T + T;
    const unsigned seed = 20240611;
    std::mt19937 rng(seed);
    const char interesting[] = "\t\\./: \x01<*|\"FD0129nNuUlLcCoOmM$";
    auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng); };
    int accepted = 0;
    for (int round = 0; round < 5000; ++round) {
        std::string text = base;
        for (int m = 0, count = 1 + static_cast<int>(pick(3)); m < count && !text.empty(); ++m) {
            const size_t at = pick(text.size());
            switch (pick(4)) {
            case 0: // flip a byte
                text[at] = pick(2) ? interesting[pick(sizeof interesting - 1)] : static_cast<char>(pick(256));
                break;
            case 1: // cut
                text.resize(at);
                break;
            case 2: // duplicate a slice
                text.insert(at, text.substr(at, pick(40)));
                break;
            default: { // swap two fields
                const size_t a = text.find('\t', at),
                             b = a == std::string::npos ? a : text.find('\t', a + 1 + pick(60));
                if (b == std::string::npos)
                    break;
                const size_t aEnd = text.find('\t', a + 1),
                             bEnd = std::min(text.find('\t', b + 1), text.size());
                text = text.substr(0, a + 1) + text.substr(b + 1, bEnd - b - 1) +
                       text.substr(aEnd, b + 1 - aEnd) + text.substr(a + 1, aEnd - a - 1) + text.substr(bEnd);
            }
            }
        }
        TFileInfos list;
        if (!list.ParseHeader(text)) {
            ASSERT_EQ(list.Count(), 0) << "seed " << seed << " round " << round;
            continue;
        }
        ++accepted;
        int64_t total = 0;
        for (int i = 0; i < list.Count(); ++i) {
            const TFileInfo& e = *list.GetItem(i);
            ASSERT_TRUE(NameIsSafe(e.FileName))
                << "seed " << seed << " round " << round << " name " << e.FileName;
            ASSERT_TRUE(e.Size >= 0 && (e.Kind == pkFile || e.Size == 0))
                << "seed " << seed << " round " << round;
            ASSERT_LE(e.Size, INT64_MAX - total);
            total += e.Size;
        }
    }
    EXPECT_GT(accepted, 50) << "the damage should leave some headers readable, seed " << seed;
}

TEST(HeaderFormat, TwoHundredThousandRecordsParseInLinearTime) {
    std::string records;
    for (int i = 0; i < 200000; ++i)
        records += Record("dir" + std::to_string(i / 1000) + "\\file" + std::to_string(i) + ".dat", "F",
                          std::to_string(i * 7919LL));
    const std::string text = Header(records);
    // Best of two runs, so that a busy machine does not pass for a quadratic reader.
    double parse = 1e9, write = 1e9;
    for (int run = 0; run < 2; ++run) {
        TFileInfos list;
        const auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(list.ParseHeader(text));
        const auto parsed = std::chrono::steady_clock::now();
        ASSERT_EQ(list.GetHeaderText(), text);
        const auto written = std::chrono::steady_clock::now();
        ASSERT_EQ(list.Count(), 200000);
        parse = std::min(parse, std::chrono::duration<double>(parsed - start).count());
        write = std::min(write, std::chrono::duration<double>(written - parsed).count());
    }
    EXPECT_LT(parse, 1.0) << "parsing";
    EXPECT_LT(write, 1.0) << "writing";
}
