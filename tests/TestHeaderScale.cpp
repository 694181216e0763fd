// A header of 200,000 records: written, collected from header-file slices and parsed, each in well
// under a second, without the process's memory running away. Prints its figures for `make bench`.
#include <gtest/gtest.h>

#include "engine/UnitChunkler.h"
#include "inventory/UnitFileInfo.h"
#include "support/TestSupport.h"

#include <chrono>
#include <cstdio>

using namespace testsupport;

namespace {

constexpr int RecordCount = 200000;
constexpr double TimeLimitSeconds = 1.0;

// PeakWorkingSetSize from psapi, loaded at run time so that the test needs no extra link library.
size_t PeakWorkingSet() {
    struct TCounters {
        DWORD cb;
        DWORD PageFaultCount;
        SIZE_T PeakWorkingSetSize, WorkingSetSize, QuotaPeakPagedPoolUsage, QuotaPagedPoolUsage,
            QuotaPeakNonPagedPoolUsage, QuotaNonPagedPoolUsage, PagefileUsage, PeakPagefileUsage;
    };
    using TGetInfo = BOOL(WINAPI*)(HANDLE, TCounters*, DWORD);
    HMODULE psapi = LoadLibraryA("psapi.dll");
    if (!psapi)
        return 0;
    auto getInfo =
        reinterpret_cast<TGetInfo>(reinterpret_cast<void*>(GetProcAddress(psapi, "GetProcessMemoryInfo")));
    TCounters counters{};
    counters.cb = sizeof counters;
    const bool ok = getInfo && getInfo(GetCurrentProcess(), &counters, sizeof counters);
    FreeLibrary(psapi);
    return ok ? counters.PeakWorkingSetSize : 0;
}

double SecondsSince(std::chrono::steady_clock::time_point Start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
}

void Report(const char* What, double Seconds, size_t Bytes) {
    std::printf("HeaderScale: %-44s %7.3f s  (%zu bytes of header)\n", What, Seconds, Bytes);
    std::fflush(stdout);
}

// A tree as a split lists it: 1,000 folders two levels deep, files spread over them, varied sizes
// (one beyond 4 GiB) and times with milliseconds. Returns the header length that the record layout
// gives: magic, two closing TABs, and per record four TABs, name, kind, size digits and 17 time digits.
size_t FillTree(TFileInfos& List) {
    const uint64_t baseTime = [] {
        const FILETIME t = MakeFileTime(2003, 5, 17, 14, 3, 9, 250);
        return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    }();
    size_t expected = 6 + 2;
    for (int i = 0; i < RecordCount; ++i) {
        TFileInfo* e = List.Add();
        const bool folder = i % 200 == 0;
        e->FileName = "root\\dir" + std::to_string(i / 20000) + "\\sub" + std::to_string(i / 200);
        if (!folder)
            e->FileName += "\\file" + std::to_string(i) + ".dat";
        e->Kind = folder ? pkFolder : pkFile;
        e->Size = folder ? 0 : (i == 1 ? 6442450944LL : i * 7919LL % 1000003);
        const uint64_t time = baseTime + static_cast<uint64_t>(i) * 12345678;
        e->LastWriteTime = {static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
        expected += 4 + e->FileName.size() + 1 + std::to_string(e->Size).size() + 17;
    }
    return expected;
}

} // namespace

TEST(HeaderScale, TwoHundredThousandRecordsWrittenCollectedAndParsedQuicklyInBoundedMemory) {
    std::string text;
    {
        TFileInfos list;
        const size_t expected = FillTree(list);
        const auto start = std::chrono::steady_clock::now();
        text = list.GetHeaderText();
        const double seconds = SecondsSince(start);
        Report("GetHeaderText, 200,000 records", seconds, text.size());
        ASSERT_EQ(text.size(), expected);
        EXPECT_LT(seconds, TimeLimitSeconds) << "writing";
    }

    // The join appends header file after header file and asks after each whether the text is whole;
    // the first file takes what the last data part left free, every further one a full part.
    std::string collected;
    {
        const size_t partSize = static_cast<size_t>(DefaultPartSize);
        const auto start = std::chrono::steady_clock::now();
        size_t slice = partSize / 3;
        int complete = 0, files = 0;
        for (size_t pos = 0; pos < text.size(); pos += slice, slice = partSize) {
            collected.append(text, pos, slice);
            ++files;
            if (TFileInfos::IsCompleteHeader(collected))
                ++complete;
        }
        const double seconds = SecondsSince(start);
        Report(("collecting " + std::to_string(files) + " header files").c_str(), seconds, collected.size());
        EXPECT_EQ(complete, 1) << "only the last header file completes the text";
        EXPECT_TRUE(TFileInfos::IsCompleteHeader(collected));
        EXPECT_LT(seconds, TimeLimitSeconds) << "collecting";
    }
    const size_t headerSize = text.size();
    std::string().swap(text);

    TFileInfos parsed;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(parsed.ParseHeader(collected));
    const double seconds = SecondsSince(start);
    Report("ParseHeader", seconds, collected.size());
    EXPECT_EQ(parsed.Count(), RecordCount);
    EXPECT_EQ(parsed.GetItem(1)->Size, 6442450944LL);
    EXPECT_LT(seconds, TimeLimitSeconds) << "parsing";

    const size_t peak = PeakWorkingSet();
    const size_t limit = 5 * headerSize + 64 * 1024 * 1024;
    std::printf("HeaderScale: peak working set %.1f MiB, limit 5 x header + 64 MiB = %.1f MiB\n",
                static_cast<double>(peak) / 1048576, static_cast<double>(limit) / 1048576);
    ASSERT_GT(peak, 0u) << "GetProcessMemoryInfo failed";
    EXPECT_LT(peak, limit);
}
