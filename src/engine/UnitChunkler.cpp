// The engine object: checks, result texts, the user's side of a job, and the split and join drivers.
#include "engine/UnitChunkler.h"

#include <commdlg.h>

#include <algorithm>
#include <iterator>
#include <limits>

#include "engine/UnitChunklerSetName.h"
#include "engine/UnitChunklerRecovery.h"
#include "support/UnitImport.h"
#include "support/UnitLanguage.h"

// The open-file dialog record of the Windows 2000 layout: 88 bytes in the 32-bit program.
static_assert(sizeof(void*) != 4 || sizeof(OPENFILENAMEW) == 88);

int TChunklerHooks::ShowMessage(HWND Owner, const std::string& Text, const std::string& Caption, UINT Type) {
    return MessageBoxA(Owner, Text.c_str(), Caption.c_str(), Type);
}

bool TChunklerHooks::OpenFileDialog(HWND Owner, const std::string& PresetPath, std::string& ChosenPath) {
    std::wstring path = AnsiToWide(PresetPath);
    if (!ChooseExistingFile(Owner, sizeof(OPENFILENAMEW), "", path))
        return false;
    // A name the code page cannot hold comes with a "?", which names no part, and is asked for again.
    WideToAnsi(path, ChosenPath);
    return true;
}

TChunkler::TChunkler(TChunklerHooks* User) : FileInfos(std::make_unique<TFileInfos>()), FUser(User) {}

TChunklerResult TChunkler::Execute(TChunklerStartParams& AParams) {
    Params = &AParams;
    const bool join = Params->Unsplit;
    FResult = CheckParams(!join);
    Hooks().ShowWaitCursor();
    try {
        Caption = FormatMsg(join ? MsgJoin : MsgSplit);
        if (FResult.Ok())
            FResult = join ? Join() : Split();
    } catch (...) {
        FResult = crUnknownError;
    }
    Hooks().HideWaitCursor();
    Hooks().SetProgressMax(0);
    return FResult.Code;
}

void TChunkler::ShowResult(TChunklerResult Code) {
    // The catalogue text of each result code, indexed by the code; -1 for none. crOk, crFileError (the
    // copy phases show the system's text at once), crCancelled and any value above crChecksumError show
    // nothing of their own.
    static const int messages[] = {-1,
                                   MsgNotFound,
                                   MsgNotFound,
                                   MsgFolderNotAllowed,
                                   MsgFolderExpected,
                                   MsgRemovableOutput,
                                   MsgInvalidSize,
                                   MsgTooManyParts,
                                   MsgInvalidHeader,
                                   -1,
                                   MsgNoBatchForFolder};
    const TJobResult shown = Code == FResult.Code ? FResult : TJobResult(Code);
    if (shown.Message >= 0)
        ShowMessage(shown.Error ? FormatMsgLiteral(shown.Message, {shown.Name, SystemErrorText(shown.Error)})
                                : FormatMsgLiteral(shown.Message, {shown.Name}),
                    MB_OK | (Code == crFileError ? MB_ICONERROR : MB_ICONWARNING));
    else if (Code == crUnknownError)
        ShowMessage(TextUnknownError, MB_OK | MB_ICONWARNING);
    else if (Code < std::size(messages) && messages[Code] >= 0)
        ShowMessage(FormatMsg(messages[Code]), MB_OK | MB_ICONWARNING);
}

TJobResult TChunkler::CheckParams(bool ForSplit) {
    TJobResult result = CheckSource(ForSplit);
    if (const TChunklerResult output = CheckOutputDir(); output != crOk)
        result = output;
    if (ForSplit && Params->PartSize <= 0)
        result = crInvalidSize;
    // A /RECOVER switch of another number is refused as a malformed size is.
    if (ForSplit && Params->RecoverCount < 0)
        result = {crInvalidSize, MsgRecoverInvalid, ""};
    // A name the code page cannot hold came with "?" for the letters it lacks and looked missing; where it
    // is there, the truth is that no ANSI function can open it. Tested last, so this is what the user hears.
    for (const auto& [wide, path] : {std::pair{&Params->WideSourcePath, &Params->SourcePath},
                                     std::pair{&Params->WideOutputDir, &Params->OutputDir}})
        if (!wide->empty() && GetFileAttributesW(wide->c_str()) != INVALID_FILE_ATTRIBUTES)
            result = {crFileError, MsgFolderUnreadable, *path, ERROR_INVALID_NAME};
    return result;
}

TChunklerResult TChunkler::CheckSource(bool ForSplit) {
    Params->SourcePath = StripTrailingBackslashes(ExpandFullPath(Params->SourcePath));
    switch (GetPathKind(Params->SourcePath)) {
    case pkMissing:
        return crSourceNotFound;
    case pkFolder:
    case pkRoot:
        if (!ForSplit)
            return crFolderNotAllowed;
        if (Params->CreateBatch) {
            // "copy /b" can only rebuild one file; the split goes on without the batch file.
            Params->CreateBatch = false;
            ShowResult(crNoBatchForFolder);
        }
        return crOk;
    case pkFile:
        break;
    }
    return crOk;
}

TChunklerResult TChunkler::CheckOutputDir() {
    Params->OutputDir = StripTrailingBackslashes(ExpandFullPath(Params->OutputDir));
    switch (GetPathKind(Params->OutputDir)) {
    case pkMissing:
        return crOutputNotFound;
    case pkFile:
        return crFolderExpected;
    case pkFolder:
    case pkRoot:
        break;
    }
    return IsOnRemovableDrive(Params->OutputDir) ? crRemovableOutput : crOk;
}

int64_t TChunkler::PartCount(int64_t Bytes) const {
    const int64_t size = Params ? Params->PartSize : 0;
    if (size <= 0 || Bytes <= 0)
        return 0;
    return Bytes / size + (Bytes % size != 0 ? 1 : 0);
}

bool TChunkler::IsSilent() const {
    return !Params || Params->Silent || !FUser;
}

int64_t TChunkler::PartLimit() const {
    int64_t limit = 0;
    // A part size from the command line can be big enough for the product to leave Int64; no content
    // can reach such a limit.
    if (__builtin_mul_overflow(Params->PartSize, int64_t{MaxPartCount}, &limit))
        return std::numeric_limits<int64_t>::max();
    return limit;
}

TChunklerHooks& TChunkler::Hooks() {
    return IsSilent() ? FSilent : *FUser;
}

int TChunkler::ShowMessage(const std::string& Text, UINT Type) {
    return Hooks().ShowMessage(Hooks().OwnerWindow(), Text, Caption, Type);
}

TJobResult TChunkler::Split() {
    const TFileInfos::TListing listing =
        FileInfos->BuildFromPath(Params->SourcePath, PartLimit(), LeftOutOfSplit());
    // A folder of the user's left out of the listing would be missing from the set without a word;
    // nothing has been written yet, and the box names it, so it can be fixed or left out.
    if (const DWORD error = listing.Error; error != 0)
        return error == ERROR_BAD_DEVICE ? TJobResult(crFileError, MsgDeviceName, listing.Where)
                                         : TJobResult(crFileError, MsgFolderUnreadable, listing.Where, error);
    if (listing.TooLarge)
        return crTooManyParts;
    // An empty drive root lists nothing, so there is no name for the part files.
    if (FileInfos->Count() == 0)
        return crSourceNotFound;
    CheckBatchName();
    std::unique_ptr<TSetRecovery> recovery;
    if (Params->RecoverCount > 0) {
        recovery = std::make_unique<TSetRecovery>(
            TPartSetName(Params->OutputDir, FileInfos->GetItem(0)->FileName), Params->PartSize,
            Params->RecoverCount, [this] { return Cancelled(); });
        // Parts too small for the recovery packets are known from the listing, before any question.
        if (!recovery->Plan(*FileInfos, FileInfos->GetHeaderText()))
            return {crInvalidSize, MsgRecoverTooSmall, ""};
    }
    const std::string question = FormatMsg(
        MsgConfirmPartCount, {std::to_string(PartCount(FileInfos->TotalSize())), FormatMsg(MsgEscHint)});
    if (ShowMessage(question, MB_YESNO | MB_ICONINFORMATION) != IDYES)
        return crCancelled;
    Hooks().SetProgressMax(FileInfos->TotalSize() + FileInfos->HeaderSize());
    const TWrittenSet written = WriteParts(recovery.get());
    if (!written.Result.Ok())
        return written.Result;
    // Only beside a complete set: a split that fails leaves the folder as it was.
    if (Params->CopyProgram)
        CopyProgramFile();
    ShowSplitSummary(written.HeaderFiles);
    return crOk;
}

std::function<bool(const std::string&)> TChunkler::LeftOutOfSplit() const {
    // An output folder inside the source would be split into itself: the older set there would be read
    // while it is replaced. Archivers leave out the archive they write; this leaves out the folder. Where
    // the source is the output folder, the files of its older set are left out, as they are replaced; a
    // file of the user's that the new set would replace is not, and its move aside fails the split.
    const std::string output = UpperCaseStr(Params->OutputDir);
    std::vector<std::string> older;
    for (const std::string& name :
         TPartSetName(Params->OutputDir, GetFileNamePart(Params->SourcePath)).OlderFiles(false, false))
        older.push_back(UpperCaseStr(name));
    return [output, older](const std::string& Path) {
        const std::string path = UpperCaseStr(Path);
        return path == output ||
               (UpperCaseStr(GetParentFolder(Path)) == output &&
                std::count(older.begin(), older.end(), UpperCaseStr(GetFileNamePart(Path))) > 0);
    };
}

// Names the files a join will need. The parts follow from the content (an empty last part at an exact
// boundary is never read, but part 1 always is); the header files are counted as written, since a
// header that starts on a nearly full last part spreads over more files than its size suggests.
void TChunkler::ShowSplitSummary(int HeaderFiles) {
    const int64_t parts = std::max<int64_t>(1, PartCount(FileInfos->TotalSize()));
    std::string text = FormatMsg(MsgSplitDone, {std::to_string(parts), std::to_string(HeaderFiles)});
    if (Params->PartSize == DefaultPartSize || Params->PartSize == SmallDiskPartSize)
        text += "\r\n" + FormatMsg(MsgDiskNote);
    ShowMessage(text, MB_OK | MB_ICONINFORMATION);
}

TJobResult TChunkler::Join() {
    if (ShowMessage(FormatMsg(MsgConfirmJoin, {FormatMsg(MsgEscHint)}), MB_YESNO | MB_ICONINFORMATION) !=
        IDYES)
        return crCancelled;
    return JoinParts();
}

bool TChunkler::MayReplace(const std::string& FileName) {
    return ShowMessage(FormatMsg(MsgConfirmOverwrite, {FileName}),
                       MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
}

bool TChunkler::Cancelled() {
    return Hooks().CheckUserCancel(Caption);
}
