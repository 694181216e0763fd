// The replacement of an older set: moved aside, then removed or given back.
#include "engine/UnitSetReplacement.h"

#include <algorithm>

#include "inventory/UnitFileInfo.h"
#include "support/UnitFileStream.h"
#include "support/UnitLanguage.h"

namespace {

// The longest path the ANSI functions take, and the longest name a folder entry may have.
constexpr size_t MaxPathLength = MAX_PATH - 1, MaxNameLength = 255;

// A file the user left under such a name is never written over: the next name is tried.
constexpr char BesideSuffix[] = ".~chunkler";

// How many names beside a file are tried before giving up; each try is a single rename.
constexpr int MaxAttempts = 100;

} // namespace

std::string BesideName(const std::string& FileName, int Attempt) {
    const std::string folder = GetParentFolder(FileName) + "\\", name = GetFileNamePart(FileName);
    const std::string numbered = std::string(BesideSuffix) + (Attempt > 1 ? std::to_string(Attempt) : "");
    if (FileName.size() + numbered.size() + 1 <= MaxPathLength &&
        name.size() + numbered.size() + 1 <= MaxNameLength)
        return FileName + numbered;
    // "~", "~2~", "~3~", ...: no longer than the name it stands for.
    std::string mark = Attempt == 1 ? "~" : "~" + std::to_string(Attempt) + "~";
    mark.erase(0, mark.size() - std::min(mark.size(), name.size()));
    return folder + name.substr(0, name.size() - mark.size()) + mark;
}

TSetReplacement::~TSetReplacement() {
    RollBack();
}

void TSetReplacement::MoveAside(const std::string& FileName) {
    for (int attempt = 1; attempt <= MaxAttempts; ++attempt) {
        const std::string aside = BesideName(FileName, attempt);
        // Without MOVEFILE_REPLACE_EXISTING a name that is taken fails, and the next one is tried.
        if (MoveFileExA(FileName.c_str(), aside.c_str(), MOVEFILE_WRITE_THROUGH)) {
            FMoved.push_back({FileName, aside});
            return;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS)
            throw EExceptionLite(FormatMsgLiteral(MsgCannotReplace, {FileName, SystemErrorText(error)}),
                                 error);
    }
    throw EExceptionLite(FormatMsgLiteral(MsgCannotReplace, {FileName, SystemErrorText(ERROR_FILE_EXISTS)}),
                         ERROR_FILE_EXISTS);
}

TSetReplacement::TLeft TSetReplacement::Commit() {
    TLeft left;
    for (const TMoved& moved : FMoved) {
        if (DeleteFileA(moved.Aside.c_str()))
            continue;
        if (left.Files.empty())
            left.Error = GetLastError();
        left.Files.push_back(moved.Aside);
    }
    FMoved.clear();
    return left;
}

void TSetReplacement::RollBack() {
    // Backwards, so a file that was moved twice ends under its first name.
    for (auto it = FMoved.rbegin(); it != FMoved.rend(); ++it)
        MoveFileExA(it->Aside.c_str(), it->Name.c_str(), MOVEFILE_WRITE_THROUGH);
    FMoved.clear();
}
