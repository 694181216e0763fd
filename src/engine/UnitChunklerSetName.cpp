// The names of a set's files, and the recognition of an older set's files by name and content.
#include "engine/UnitChunklerSetName.h"

#include "engine/UnitChunkler.h"
#include "engine/UnitChunklerRecovery.h"
#include "engine/UnitChunklerSfv.h"
#include "support/UnitImport.h"
#include "support/UnitLanguage.h"

TPartSetName TPartSetName::Of(const std::string& FileName) {
    std::string name = GetFileNamePart(FileName);
    const std::string upper = UpperCaseStr(name);
    if (upper.size() > 5 && upper.ends_with(".PAR2")) {
        name.erase(name.size() - 5);
        if (const size_t vol = upper.rfind(".VOL", name.size());
            vol != std::string::npos && vol > 0 &&
            TPartSetName("", name.substr(0, vol)).IsRecoveryFileName(GetFileNamePart(FileName)))
            name.erase(vol);
        return TPartSetName(GetParentFolder(FileName), name);
    }
    const size_t dot = name.rfind('.');
    return TPartSetName(GetParentFolder(FileName), dot == std::string::npos ? name : name.substr(0, dot));
}

std::string TPartSetName::Number3(int Number) {
    return IntToStrZeroPad(Number, 3);
}

std::string TPartSetName::File(const std::string& Suffix) const {
    return AppendBackslash(Folder) + Name + Suffix;
}

int TPartSetName::Number(const std::string& FileName, bool IsHeader) const {
    const std::string name = UpperCaseStr(FileName), prefix = UpperCaseStr(Name + (IsHeader ? ".H" : "."));
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0)
        return 0;
    const std::string digits = name.substr(prefix.size());
    // Only the names a set writes: "report.2024" or "report.0001" are the user's.
    if (!IsDigits(digits) || digits.size() > 6)
        return 0;
    const int number = std::stoi(digits);
    const bool written = number >= 1 && Number3(number) == digits && (IsHeader || number <= MaxPartCount);
    return written ? number : 0;
}

bool TPartSetName::IsRecoveryFileName(const std::string& FileName) const {
    const std::string name = UpperCaseStr(FileName), prefix = UpperCaseStr(Name + ".");
    if (name.compare(0, prefix.size(), prefix) != 0)
        return false;
    // "PAR2" for the index; "VOL" + first + "+" + count + ".PAR2" for a volume.
    const std::string rest = name.substr(prefix.size());
    if (rest == "PAR2")
        return true;
    const size_t plus = rest.find('+');
    return rest.size() > 5 && rest.ends_with(".PAR2") && rest.rfind("VOL", 0) == 0 &&
           plus != std::string::npos && IsDigits(rest.substr(3, plus - 3)) &&
           IsDigits(rest.substr(plus + 1, rest.size() - 5 - plus - 1));
}

bool TPartSetName::IsOwnSfv() const {
    TSfvFile sfv;
    // 999 lines of names of 255 characters.
    sfv.Parse(ReadFileStart(Sfv(), 600 * 1024));
    return sfv.ListsOnly([this](const std::string& Listed) { return Holds(Listed); });
}

bool TPartSetName::IsOwnRecoveryFile(const std::string& FileName,
                                     const std::vector<std::string>& Written) const {
    if (!IsRecoveryFileName(FileName))
        return false;
    for (const std::string& name : Written)
        if (UpperCaseStr(name) == UpperCaseStr(FileName))
            return true;
    // Not what "par2 create" made for the user's own file of the name.
    return IsRecoveryFileOf(AppendBackslash(Folder) + FileName,
                            [this](const std::string& N) { return Holds(N); });
}

std::vector<std::string> TPartSetName::OlderFiles(bool WithSfv, bool WithBatch,
                                                  const std::vector<std::string>& Recovery) const {
    std::vector<std::string> older;
    for (const WIN32_FIND_DATAA& found : FindFiles(Pattern()))
        if (Holds(found.cFileName) || IsOwnRecoveryFile(found.cFileName, Recovery))
            older.push_back(found.cFileName);
    if (GetPathKind(Sfv()) == pkFile && (WithSfv || IsOwnSfv()))
        older.push_back(GetFileNamePart(Sfv()));
    // A batch file of the split file's own name would be the file itself.
    const TBatchFile batch = Batch();
    if (batch.Refusal() != MsgNoBatchForOwnName && GetPathKind(batch.Path()) == pkFile &&
        (WithBatch || batch.IsOwn()))
        older.push_back(GetFileNamePart(batch.Path()));
    return older;
}
