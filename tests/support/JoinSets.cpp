#include "support/JoinSets.h"

#include <algorithm>
#include <map>
#include <sstream>

#include "support/TestSupport.h"

namespace testsupport {

namespace {

std::string Number3(int N) {
    std::string s = std::to_string(N);
    return std::string(s.size() < 3 ? 3 - s.size() : 0, '0') + s;
}

} // namespace

std::string HeaderRecord(const std::string& Name, char Kind, int64_t Size, const std::string& Time) {
    return Name + "\t" + std::string(1, Kind) + "\t" + std::to_string(Size) + "\t" + Time;
}

std::string HeaderText(const std::vector<std::string>& Records) {
    std::string text = "ChKl40";
    for (const auto& r : Records)
        text += "\t" + r;
    return text + "\t\t";
}

int WriteSet(const std::string& Folder, const std::string& SetName, const std::string& Data, size_t PartSize,
             const std::string& Header, size_t HeaderSlice) {
    int parts = 0;
    for (size_t pos = 0; pos < Data.size(); pos += PartSize)
        WriteFileBytes(Folder + "\\" + SetName + "." + Number3(++parts), Data.substr(pos, PartSize));
    if (HeaderSlice == 0)
        HeaderSlice = std::max<size_t>(Header.size(), 1);
    int headers = 0;
    for (size_t pos = 0; pos < Header.size(); pos += HeaderSlice)
        WriteFileBytes(Folder + "\\" + SetName + ".h" + Number3(++headers), Header.substr(pos, HeaderSlice));
    return parts;
}

std::string CompareTreesToMillisecond(const std::string& Expected, const std::string& Actual) {
    auto a = ListTree(Expected), b = ListTree(Actual);
    auto upper = [](std::string Name) {
        CharUpperBuffA(Name.data(), static_cast<DWORD>(Name.size()));
        return Name;
    };
    std::map<std::string, int> seen;
    for (const auto& item : a) ++seen[upper(item.Name)];
    for (auto* list : {&a, &b}) {
        std::erase_if(*list, [&](const TTreeItem& Item) { return seen[upper(Item.Name)] > 1; });
        for (auto& item : *list) item.Time /= 10000;
    }
    std::ostringstream diff;
    size_t i = 0, j = 0;
    while (i < a.size() || j < b.size()) {
        if (j >= b.size() || (i < a.size() && a[i].Name < b[j].Name)) {
            diff << "missing: " << a[i++].Name << "\n";
        } else if (i >= a.size() || b[j].Name < a[i].Name) {
            diff << "extra: " << b[j++].Name << "\n";
        } else {
            const auto &x = a[i++], &y = b[j++];
            if (!(x == y))
                diff << "differs: " << x.Name << " (" << x.Size << "/" << x.Time << " vs " << y.Size << "/"
                     << y.Time << ")\n";
        }
    }
    return diff.str();
}

int CountSetFiles(const std::string& Folder, const std::string& SetName, const std::string& Infix) {
    int n = 0;
    while (FileExists(Folder + "\\" + SetName + "." + Infix + Number3(n + 1)))
        ++n;
    return n;
}

} // namespace testsupport
