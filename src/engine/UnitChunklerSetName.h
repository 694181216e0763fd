// How the files of a part set are named, and which files of a folder belong to an older set of a name.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/UnitChunklerBatch.h"

// The files of a set named Name in Folder: Name + ".001" to ".999" for the data parts, Name + ".h001"
// and on for the header files (more digits only past 999), Name + ".sfv" for the checksum file, and the
// batch file beside them.
class TPartSetName {
public:
    TPartSetName(std::string AFolder, std::string AName)
        : Folder(std::move(AFolder)), Name(std::move(AName)) {}
    // The set a part, header or recovery file belongs to: its name up to the last "." (before ".vol"
    // and ".par2" for a recovery file).
    static TPartSetName Of(const std::string& FileName);

    std::string Part(int Number) const { return File("." + Number3(Number)); }
    std::string Header(int Number) const { return File(".h" + Number3(Number)); }
    std::string Sfv() const { return File(".sfv"); }
    // The recovery files: the index Name + ".par2" and the volumes Name + ".vol" + first + "+" + count
    // + ".par2", as the common PAR2 tools name them.
    std::string Par2Index() const { return File(".par2"); }
    std::string Par2Pattern() const { return File(".*par2"); }
    // True when FileName (without folder) is named as a recovery file of the set.
    bool IsRecoveryFileName(const std::string& FileName) const;
    // Every file of the name, for FindFirstFileA.
    std::string Pattern() const { return File(".*"); }
    TBatchFile Batch() const { return TBatchFile(Folder, Name); }
    // The number of the data part or header file FileName (without folder) names; 0 for any other name.
    int PartNumber(const std::string& FileName) const { return Number(FileName, false); }
    int HeaderNumber(const std::string& FileName) const { return Number(FileName, true); }
    // True when FileName (without folder) is a part or header file of the set.
    bool Holds(const std::string& FileName) const { return PartNumber(FileName) || HeaderNumber(FileName); }
    // The files of the name in Folder that a new set replaces (without folder): its parts and header files,
    // the checksum, batch and recovery files where they are recognisably this program's for the name or
    // where the new set writes them (WithSfv, WithBatch, Recovery: the names of its recovery files). Other
    // files of similar names are the user's.
    std::vector<std::string> OlderFiles(bool WithSfv, bool WithBatch,
                                        const std::vector<std::string>& Recovery = {}) const;

    std::string Folder, Name;

private:
    static std::string Number3(int Number);
    std::string File(const std::string& Suffix) const;
    int Number(const std::string& FileName, bool IsHeader) const;
    bool IsOwnSfv() const;
    // True for a recovery file of the set: one of the names Written, or one that names only its files.
    bool IsOwnRecoveryFile(const std::string& FileName, const std::vector<std::string>& Written) const;
};
