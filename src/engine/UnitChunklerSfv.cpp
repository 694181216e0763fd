// The checksum file of a set: written beside the parts by a split that asks for it, and compared
// with the bytes a join reads whenever it lies beside the file the join starts from.
#include "engine/UnitChunklerSfv.h"

#include <algorithm>
#include <cstdio>

#include "support/UnitImport.h"
#include "support/UnitLanguage.h"

namespace {

bool ParseCrc(const std::string& Hex, uint32_t& Value) {
    if (Hex.size() != 8)
        return false;
    Value = 0;
    for (char c : Hex) {
        const int digit = DigitValue(c, 16);
        if (digit < 0)
            return false;
        Value = Value << 4 | static_cast<uint32_t>(digit);
    }
    return true;
}

} // namespace

void TSfvFile::Parse(const std::string& Text) {
    size_t start = 0;
    while (start < Text.size()) {
        size_t end = Text.find('\n', start);
        if (end == std::string::npos)
            end = Text.size();
        std::string line = Text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        // The checksum follows the last blank: names may hold blanks themselves.
        const size_t blank = line.rfind(' ');
        uint32_t crc = 0;
        if (line.empty() || line[0] == ';' || blank == std::string::npos || blank == 0 ||
            !ParseCrc(line.substr(blank + 1), crc))
            continue;
        FListed.emplace(UpperCaseStr(line.substr(0, blank)), crc);
    }
}

bool TSfvFile::ListsOnly(const std::function<bool(const std::string&)>& Belongs) const {
    return !FListed.empty() && std::all_of(FListed.begin(), FListed.end(),
                                           [&](const auto& Entry) { return Belongs(Entry.first); });
}

void TSfvFile::BeginFile(const std::string& Name) {
    FRunning = FListAll || FListed.count(UpperCaseStr(Name)) > 0;
    if (FRunning)
        FFiles.push_back({Name, TCrc32()});
}

void TSfvFile::Add(const void* Data, size_t Count) {
    if (FRunning)
        FFiles.back().Crc.Update(Data, Count);
}

bool TSfvFile::EndFile() {
    const bool compare = FRunning && !FListAll;
    FRunning = false;
    return !compare || FListed.at(UpperCaseStr(FFiles.back().Name)) == FFiles.back().Crc.Value();
}

std::string TSfvFile::Text(const std::string& Comment) const {
    std::string text = "; " + Comment + "\r\n";
    for (const TEntry& entry : FFiles) {
        char crc[9];
        std::snprintf(crc, sizeof crc, "%08X", static_cast<unsigned>(entry.Crc.Value()));
        text += entry.Name + " " + crc + "\r\n";
    }
    return text;
}
