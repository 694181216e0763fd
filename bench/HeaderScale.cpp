// A header of 200,000 records, in process: written, collected from header-file slices as a join
// collects it, and parsed. Prints the time of each step and the process's peak working set, which
// must stay within a bound proportional to the header (a join holds the collected text and the
// parsed list, never copies of it per header file).
//
// Exit code 0 when every result is right and memory within the bound, 1 otherwise. Times are
// figures only: they depend on the machine.
#include <windows.h>

#include <psapi.h>

#include "engine/UnitChunkler.h"
#include "inventory/UnitFileInfo.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace {

constexpr int RecordCount = 200000;
int Failures = 0;

void Check(bool Ok, const char* What) {
    if (!Ok) {
        std::printf("FAILED: %s\n", What);
        ++Failures;
    }
}

double SecondsSince(std::chrono::steady_clock::time_point Start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
}

void Report(const std::string& What, double Seconds, size_t Bytes) {
    std::printf("%-32s %7.3f s  (%zu bytes of header)\n", What.c_str(), Seconds, Bytes);
}

// A tree as a split lists it: 1,000 folders two levels deep, files spread over them, varied sizes
// (one beyond 4 GiB) and times with milliseconds. Returns the header length that the record layout
// gives: magic, two closing TABs, and per record four TABs, name, kind, size digits and 17 time digits.
size_t FillTree(TFileInfos& List) {
    SYSTEMTIME st{};
    st.wYear = 2003, st.wMonth = 5, st.wDay = 17, st.wHour = 14, st.wMinute = 3, st.wSecond = 9;
    st.wMilliseconds = 250;
    FILETIME ft{};
    SystemTimeToFileTime(&st, &ft);
    const uint64_t baseTime = (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
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

std::string WriteHeader() {
    TFileInfos list;
    const size_t expected = FillTree(list);
    const auto start = std::chrono::steady_clock::now();
    std::string text = list.GetHeaderText();
    Report("GetHeaderText, 200,000 records", SecondsSince(start), text.size());
    Check(text.size() == expected, "the header text has the length its records give");
    return text;
}

// The join appends header file after header file and asks after each whether the text is whole; the
// first file takes what the last data part left free, every further one a full part.
std::string CollectHeader(const std::string& Text) {
    std::string collected;
    const size_t partSize = static_cast<size_t>(DefaultPartSize);
    const auto start = std::chrono::steady_clock::now();
    size_t slice = partSize / 3;
    int complete = 0, files = 0;
    for (size_t pos = 0; pos < Text.size(); pos += slice, slice = partSize) {
        collected.append(Text, pos, slice);
        ++files;
        complete += TFileInfos::IsCompleteHeader(collected);
    }
    Report("collecting " + std::to_string(files) + " header files", SecondsSince(start), collected.size());
    Check(complete == 1 && TFileInfos::IsCompleteHeader(collected),
          "only the last header file completes the text");
    return collected;
}

} // namespace

int main() {
    std::string text = WriteHeader();
    const std::string collected = CollectHeader(text);
    const size_t headerSize = text.size();
    std::string().swap(text);

    TFileInfos parsed;
    const auto start = std::chrono::steady_clock::now();
    const bool ok = parsed.ParseHeader(collected);
    Report("ParseHeader", SecondsSince(start), collected.size());
    Check(ok && parsed.Count() == RecordCount && parsed.GetItem(1)->Size == 6442450944LL,
          "the parsed header gives back every record");

    PROCESS_MEMORY_COUNTERS counters{};
    Check(GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters), "GetProcessMemoryInfo");
    const size_t peak = counters.PeakWorkingSetSize;
    const size_t limit = 5 * headerSize + 64 * 1024 * 1024;
    std::printf("peak working set %.1f MiB, bound 5 x header + 64 MiB = %.1f MiB: %s\n",
                static_cast<double>(peak) / 1048576, static_cast<double>(limit) / 1048576,
                peak > 0 && peak < limit ? "within" : "EXCEEDED");
    Check(peak > 0 && peak < limit, "peak working set within the bound");
    return Failures == 0 ? 0 : 1;
}
