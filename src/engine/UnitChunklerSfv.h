// The checksum file beside a set: one "name CRC-32" line per file, the plain format that common
// checksum tools on Windows and Linux read and write.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "support/UnitCrc32.h"

// Follows the bytes of the files of a set as they are written or read. A split with a checksum file
// follows every file it begins (ListsAll); otherwise only the files that Parse found listed are followed
// and compared, so a job without a checksum file follows nothing.
class TSfvFile {
public:
    explicit TSfvFile(bool AListAll = false) : FListAll(AListAll) {}
    // Takes the checksums of the lines "name" + " " + 8 hexadecimal digits; comment lines (";") and
    // lines of any other form are skipped, the first line of a name counts.
    void Parse(const std::string& Text);
    // True when Parse found at least one line and Belongs holds for the name of every one.
    bool ListsOnly(const std::function<bool(const std::string&)>& Belongs) const;
    // Starts following file Name (a bare file name); its bytes come through Add.
    void BeginFile(const std::string& Name);
    void Add(const void* Data, size_t Count);
    // True when every file begun is followed, as in a split that writes a checksum file.
    bool ListsAll() const { return FListAll; }
    // True while the file begun last is followed.
    bool IsRunning() const { return FRunning; }
    // Ends the file begun last; False when Parse found it listed with another checksum.
    bool EndFile();
    // Every file begun, in order, behind the comment line Comment; CR LF line ends.
    std::string Text(const std::string& Comment) const;

private:
    struct TEntry {
        std::string Name;
        TCrc32 Crc;
    };
    std::vector<TEntry> FFiles;
    std::map<std::string, uint32_t> FListed; // by upper-cased name
    bool FListAll = false;
    bool FRunning = false;
};
